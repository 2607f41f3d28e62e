#include "engine/other_names.h"

#include "engine/shred_host.h"
#include "lang/placeholders.h"
#include "platform/file_system.h"

#include <string>
#include <vector>

namespace qw
{
namespace
{

constexpr int kKeyOtherNames = 9079;
// More names than fit a message window are counted, not listed.
constexpr std::size_t kListedNames = 10;

} // namespace

void ReportOtherNames(IShredHost& host, IEntry& file)
{
    const std::uint32_t count = file.Status().linkCount;
    if (count <= 1)
    {
        return;
    }
    std::string list;
    std::vector<std::string> names = host.Files().OtherNames(file);
    for (std::size_t i = 0; i < names.size() && i < kListedNames; ++i)
    {
        list += "#" + names[i];
    }
    if (names.size() > kListedNames)
    {
        list += "#...";
    }
    host.Tell(EngineMessage::Naming(
        MessageSize::Middle,
        Substitute(host.Text(kKeyOtherNames), {{"%u", std::to_string(count - 1)}, {"%t", list}}),
        file.Path()));
}

} // namespace qw
