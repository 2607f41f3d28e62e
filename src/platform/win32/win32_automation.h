#pragma once

#include "platform/automation.h"

namespace qw
{

// Objects made by CoCreateInstance from their ProgID and driven through
// IDispatch::Invoke on the calling thread, which has COM initialised.
class CWin32AutomationFactory : public IAutomationFactory
{
public:
    std::shared_ptr<IAutomationObject> Create(std::string_view progId) override;
};

} // namespace qw
