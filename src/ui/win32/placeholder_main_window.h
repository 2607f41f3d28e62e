#pragma once

#include "app/shred_app.h"

namespace qw
{

inline constexpr wchar_t kMainWindowClass[] = L"QuellwipeMainWindow";

// A plain window that stands in for the movie-faced main window: it shows
// the title and the current method settings and closes on request.
class CPlaceholderMainWindow : public IMainWindow
{
public:
    void RunModal(CShredApp& app) override;
};

} // namespace qw
