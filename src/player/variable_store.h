#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qw
{

inline constexpr std::string_view kUndefined = "undefined";

// A movie's variables. Every value is text and every name is a full path
// beginning "_root."; a name never defined reads "undefined". An array also
// answers "<name>.length" and "<name>.<index>", and keeps which entry its
// list has selected.
class CVariableStore
{
public:
    void Define(const std::string& name, std::string value);
    void DefineArray(const std::string& name);

    // False for a name outside "_root.", an array, or an array's derived
    // names: those change only through the array operations.
    bool Set(const std::string& name, std::string value);
    std::string Get(std::string_view name) const;
    bool IsDefined(std::string_view name) const;

    bool IsArray(std::string_view name) const;
    const std::vector<std::string>& Items(std::string_view array) const;
    void Append(std::string_view array, std::string item);
    void Clear(std::string_view array);
    // Drops the selected entry; the selection moves to the entry that took
    // its place, or the new last one.
    void RemoveSelected(std::string_view array);
    std::optional<std::size_t> Selected(std::string_view array) const;
    void Select(std::string_view array, std::optional<std::size_t> index);

private:
    struct Array
    {
        std::vector<std::string> items;
        std::optional<std::size_t> selected;
    };
    // The array a derived name such as "_root.Files.length" belongs to, and
    // the part after its dot.
    std::pair<const Array*, std::string_view> Derived(std::string_view name) const;
    Array* Find(std::string_view array);

    std::map<std::string, std::string, std::less<>> m_values;
    std::map<std::string, Array, std::less<>> m_arrays;
};

} // namespace qw
