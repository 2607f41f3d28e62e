#include "player/variable_store.h"

#include "player/movie_format.h"
#include "player/text_lines.h"

#include <limits>

namespace qw
{

void CVariableStore::Define(const std::string& name, std::string value)
{
    m_values[name] = std::move(value);
}

void CVariableStore::DefineArray(const std::string& name)
{
    m_arrays[name];
}

bool CVariableStore::Set(const std::string& name, std::string value)
{
    if (name.size() <= kRootPrefix.size() ||
        name.compare(0, kRootPrefix.size(), kRootPrefix) != 0 || IsArray(name) ||
        Derived(name).first != nullptr)
    {
        return false;
    }
    m_values[name] = std::move(value);
    return true;
}

std::string CVariableStore::Get(std::string_view name) const
{
    if (const auto value = m_values.find(name); value != m_values.end())
    {
        return value->second;
    }
    if (const auto array = m_arrays.find(name); array != m_arrays.end())
    {
        std::string joined;
        for (const std::string& item : array->second.items)
        {
            joined += (joined.empty() ? "" : ",") + item;
        }
        return joined;
    }
    const auto [array, member] = Derived(name);
    if (array != nullptr)
    {
        if (member == "length")
        {
            return std::to_string(array->items.size());
        }
        const auto index = ParseInt(member, 0, std::numeric_limits<int>::max());
        if (index && static_cast<std::size_t>(*index) < array->items.size())
        {
            return array->items[*index];
        }
    }
    return std::string(kUndefined);
}

bool CVariableStore::IsDefined(std::string_view name) const
{
    return m_values.count(name) != 0 || IsArray(name);
}

bool CVariableStore::IsArray(std::string_view name) const
{
    return m_arrays.count(name) != 0;
}

const std::vector<std::string>& CVariableStore::Items(std::string_view array) const
{
    static const std::vector<std::string> kNone;
    const auto found = m_arrays.find(array);
    return found == m_arrays.end() ? kNone : found->second.items;
}

void CVariableStore::Append(std::string_view array, std::string item)
{
    if (Array* found = Find(array))
    {
        found->items.push_back(std::move(item));
    }
}

void CVariableStore::Clear(std::string_view array)
{
    if (Array* found = Find(array))
    {
        found->items.clear();
        found->selected.reset();
    }
}

void CVariableStore::RemoveSelected(std::string_view array)
{
    Array* found = Find(array);
    if (found == nullptr || !found->selected)
    {
        return;
    }
    found->items.erase(found->items.begin() + static_cast<std::ptrdiff_t>(*found->selected));
    if (found->items.empty())
    {
        found->selected.reset();
    }
    else if (*found->selected >= found->items.size())
    {
        found->selected = found->items.size() - 1;
    }
}

std::optional<std::size_t> CVariableStore::Selected(std::string_view array) const
{
    const auto found = m_arrays.find(array);
    return found == m_arrays.end() ? std::nullopt : found->second.selected;
}

void CVariableStore::Select(std::string_view array, std::optional<std::size_t> index)
{
    if (Array* found = Find(array))
    {
        found->selected = index && *index < found->items.size() ? index : std::nullopt;
    }
}

std::pair<const CVariableStore::Array*, std::string_view>
CVariableStore::Derived(std::string_view name) const
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
    {
        return {nullptr, {}};
    }
    const auto array = m_arrays.find(name.substr(0, dot));
    if (array == m_arrays.end())
    {
        return {nullptr, {}};
    }
    return {&array->second, name.substr(dot + 1)};
}

CVariableStore::Array* CVariableStore::Find(std::string_view array)
{
    const auto found = m_arrays.find(array);
    return found == m_arrays.end() ? nullptr : &found->second;
}

} // namespace qw
