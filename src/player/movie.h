#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qw
{

// The movie reports a user action: a command beginning "IDC_FS_" and its
// argument text.
using CommandHandler = std::function<void(const std::string& command, const std::string& argument)>;

inline constexpr std::uint32_t kWhite = 0xFFFFFF;

// The face of a window, as the window frame drives it. Values cross as
// text; a variable the movie never defined reads "undefined".
class IMovie
{
public:
    virtual ~IMovie() = default;
    // Loads the movie at a full path; false when it could not be read (the
    // player keeps a diagnostic and shows an empty face).
    virtual bool LoadMovie(const std::string& path) = 0;
    virtual void SetScale(const std::string& scale) = 0;
    // 0: the movie is centred in the window; 1: it starts at the top left.
    virtual void SetAlignMode(int mode) = 0;
    virtual void SetBackgroundColor(std::uint32_t rgb) = 0;
    virtual void GotoFrame(int frame) = 0;
    virtual void SetVariable(const std::string& name, const std::string& value) = 0;
    virtual std::string GetVariable(const std::string& name) = 0;
    // The FSCommand event.
    virtual void SetCommandHandler(CommandHandler handler) = 0;
};

// A window outline from the skin file, applied to the window it belongs to.
class ISkinControl
{
public:
    virtual ~ISkinControl() = default;
    virtual bool LoadSkin(const std::string& path) = 0;
    virtual bool ApplySkin(const std::string& region) = 0;
};

} // namespace qw
