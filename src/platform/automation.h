#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qw
{

class IAutomationObject;

// An automation date: days since 30 December 1899, the time of day as the
// fraction.
struct AutomationDate
{
    double days = 0.0;
};

// What crosses an automation call: nothing, a 16-bit Integer, a 32-bit
// Long, a date, a string or an object.
using AutomationValue = std::variant<std::monostate, std::int16_t, std::int32_t, AutomationDate,
                                     std::string, std::shared_ptr<IAutomationObject>>;

enum class InvokeKind
{
    Method,
    Get,
    Put,
};

// A call the object refused: its code and the text that explains it (the
// component's own, or the system's for the code).
class AutomationError : public std::runtime_error
{
public:
    AutomationError(std::uint32_t code, std::string description)
        : std::runtime_error(description), m_code(code), m_description(std::move(description))
    {
    }
    std::uint32_t Code() const { return m_code; }
    const std::string& Description() const { return m_description; }

private:
    std::uint32_t m_code;
    std::string m_description;
};

// An object driven late-bound, by dispatch identifier. Every call may throw
// AutomationError.
class IAutomationObject
{
public:
    virtual ~IAutomationObject() = default;
    virtual AutomationValue Invoke(std::int32_t dispid, InvokeKind kind,
                                   const std::vector<AutomationValue>& arguments) = 0;
};

// Creates automation objects by their ProgID.
class IAutomationFactory
{
public:
    virtual ~IAutomationFactory() = default;
    // Nothing when the class is unknown or its object cannot be made.
    virtual std::shared_ptr<IAutomationObject> Create(std::string_view progId) = 0;
};

} // namespace qw
