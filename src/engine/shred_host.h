#pragma once

#include "engine/run_events.h"
#include "lang/message_window.h"
#include "platform/presenter.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace qw
{

class CRandom;
class IFileSystem;
class IProgressWindow;
class IShell;

inline constexpr int kEngineDriveLetters = 26;

// The method and pass count a run uses for what it was given: a method
// outside 0..1 is quick, a count outside 1..10 is 3. No value of either
// means "write nothing".
inline constexpr int CorrectedMethod(int method)
{
    return method == 0 || method == 1 ? method : 0;
}
// Overwrite passes one round of the method writes: the thorough one writes
// random data, its complement and fresh random data.
inline constexpr int PassesPerRound(int method)
{
    return CorrectedMethod(method) == 1 ? 3 : 1;
}
inline constexpr int CorrectedPasses(int passes)
{
    return passes >= 1 && passes <= 10 ? passes : 3;
}
// A subfolder or remove rule outside 0..2 (never, ask, always) is "never":
// nothing is entered or removed that nobody chose.
inline constexpr int CorrectedRule(int rule)
{
    return rule >= 0 && rule <= 2 ? rule : 0;
}

// What a run was asked to do, filled once by the application before it calls
// the engine.
struct ShredOptions
{
    bool unattended = false;
    int method = 0;     // 0 quick, 1 thorough
    int passes = 3;     // repeat count of the thorough method, 1..10
    int folderRule = 0; // 0 never, 1 ask, 2 always
    int removeRule = 0;
    // The last pass is read back from the drive and compared.
    bool verify = true;
    bool legacyFreeSpace = false; // the old free-space call, 32-bit counts
    bool xpOrMe = false;
    // "C:\" for each usable drive, empty otherwise, and its NTFS flag.
    std::array<std::string, kEngineDriveLetters> driveRoots;
    std::array<bool, kEngineDriveLetters> ntfs{};
    std::string userSid;
    // The folders that are never shredded as a whole.
    std::vector<std::string> protectedFolders;
    // What this run was given, canonical: a file with other names (hard
    // links) is overwritten only when all of them lie in here.
    std::vector<std::string> runTargets;
};

// What an unattended run does with a message instead of showing it.
enum class Unattended
{
    Log,      // its text becomes the run status and goes to the activity log
    Show,     // shown all the same: the few questions a run must ask
    AnswerYes // not shown; the answer is "Yes"
};

struct EngineMessage
{
    EngineMessage(MessageSize size, int frame, const char* type, std::string text,
                  std::string insert = {}, Unattended whenUnattended = Unattended::Log)
        : size(size), frame(frame), type(type), text(std::move(text)), insert(std::move(insert)),
          whenUnattended(whenUnattended)
    {
    }

    MessageSize size = MessageSize::Small;
    int frame = 1;
    const char* type = "info";
    std::string text;         // the looked-up text, "#" for line breaks
    std::string insert;       // "%s"
    std::string secondInsert; // "%u", Small windows only
    Unattended whenUnattended = Unattended::Log;
    bool logInserts = false; // the log receives the text with its inserts
    // What the report leaves behind, and why: every report leaves something
    // unless it says otherwise. A question says Declined (left when the
    // answer is not to go ahead) or None.
    LeftReason reason = LeftReason::Other;
    std::uint32_t code = 0; // the system's error code behind it

    EngineMessage& Because(LeftReason why, std::uint32_t systemCode = 0)
    {
        reason = why;
        code = systemCode;
        return *this;
    }

    // A report about one entry that stays behind: the log names it too, since
    // an unattended run's reader has nothing else to find it by.
    static EngineMessage Naming(MessageSize size, std::string text, std::string path)
    {
        EngineMessage message{size, 1, "info", std::move(text), std::move(path)};
        message.logInserts = true;
        return message;
    }
};

// Everything the engine needs from the program around it.
class IShredHost
{
public:
    virtual ~IShredHost() = default;
    virtual const ShredOptions& Options() const = 0;
    virtual IFileSystem& Files() = 0;
    virtual IShell& Shell() = 0;
    // The one overwrite buffer of the run.
    virtual std::vector<std::uint8_t>& Buffer() = 0;
    virtual CRandom& Random() = 0;
    // A fresh seed for each file.
    virtual std::uint64_t NewSeed() = 0;

    virtual bool Cancelled() const = 0;
    virtual void SetCancelled(bool cancelled) = 0;
    // Keeps the windows alive between blocks; Cancel sets the cancel flag.
    virtual void Pump() = 0;
    // A pause before a retry, the windows kept alive.
    virtual void Wait(std::chrono::milliseconds span) = 0;

    // Made on first use (its failure is reported), destroyed at the end.
    virtual bool CreateProgressWindow() = 0;
    virtual IProgressWindow* Progress() = 0;
    virtual void DestroyProgressWindow() = 0;

    // Texts of the language pack: the main section, and the "Messages"
    // section of the pack beside the program.
    virtual std::string Text(int key) const = 0;
    virtual std::string MessageText(int key) const = 0;

    // Shows the message, or in an unattended run does what it asks for.
    // Returns the answer; empty when logged. What it leaves goes to Events().
    virtual std::string Tell(const EngineMessage& message) = 0;

    // Where the run's events go.
    virtual IRunEvents& Events() = 0;
};

} // namespace qw
