#include "platform/win32/win32_automation.h"

#include "platform/win32/com_ptr.h"
#include "platform/win32/wide.h"

#include <oleauto.h>
#include <windows.h>

#include <cstdio>

namespace qw
{
namespace
{

// Owns one VARIANT.
struct CVariant
{
    VARIANT v;
    CVariant() { VariantInit(&v); }
    CVariant(const CVariant&) = delete;
    CVariant& operator=(const CVariant&) = delete;
    ~CVariant() { VariantClear(&v); }
};

std::string HexCode(std::uint32_t code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

[[noreturn]] void Fail(std::uint32_t code, std::string description)
{
    if (description.empty())
    {
        description = SystemErrorText(code);
    }
    if (description.empty())
    {
        description = "Error " + HexCode(code);
    }
    throw AutomationError(code, std::move(description));
}

class CDispatchObject;

void ToVariant(const AutomationValue& value, VARIANT& out);

AutomationValue FromVariant(VARIANT& in);

class CDispatchObject : public IAutomationObject
{
public:
    explicit CDispatchObject(CComPtr<IDispatch> dispatch) : m_dispatch(std::move(dispatch)) {}

    IDispatch* Get() const { return m_dispatch.Get(); }

    AutomationValue Invoke(std::int32_t dispid, InvokeKind kind,
                           const std::vector<AutomationValue>& arguments) override
    {
        // Arguments travel last first.
        std::vector<CVariant> args(arguments.size());
        for (std::size_t i = 0; i < arguments.size(); ++i)
        {
            ToVariant(arguments[i], args[arguments.size() - 1 - i].v);
        }
        std::vector<VARIANT> raw;
        raw.reserve(args.size());
        for (CVariant& a : args)
        {
            raw.push_back(a.v);
        }
        DISPPARAMS params{};
        params.rgvarg = raw.empty() ? nullptr : raw.data();
        params.cArgs = static_cast<UINT>(raw.size());
        DISPID named = DISPID_PROPERTYPUT;
        WORD flags = DISPATCH_METHOD;
        if (kind == InvokeKind::Put)
        {
            params.rgdispidNamedArgs = &named;
            params.cNamedArgs = 1;
            flags = DISPATCH_PROPERTYPUT;
        }
        else if (kind == InvokeKind::Get)
        {
            flags = DISPATCH_PROPERTYGET | DISPATCH_METHOD;
        }
        CVariant result;
        EXCEPINFO exception{};
        UINT badArgument = 0;
        const HRESULT hr = m_dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                              kind == InvokeKind::Put ? nullptr : &result.v,
                                              &exception, &badArgument);
        if (hr == DISP_E_EXCEPTION)
        {
            if (exception.pfnDeferredFillIn)
            {
                exception.pfnDeferredFillIn(&exception);
            }
            const std::uint32_t code = static_cast<std::uint32_t>(
                exception.scode != 0 ? exception.scode : exception.wCode);
            std::string description =
                exception.bstrDescription ? WideToUtf8(exception.bstrDescription) : std::string();
            SysFreeString(exception.bstrSource);
            SysFreeString(exception.bstrDescription);
            SysFreeString(exception.bstrHelpFile);
            Fail(code, std::move(description));
        }
        if (FAILED(hr))
        {
            Fail(static_cast<std::uint32_t>(hr), {});
        }
        return FromVariant(result.v);
    }

private:
    CComPtr<IDispatch> m_dispatch;
};

void ToVariant(const AutomationValue& value, VARIANT& out)
{
    if (const auto* i2 = std::get_if<std::int16_t>(&value))
    {
        V_VT(&out) = VT_I2;
        V_I2(&out) = *i2;
    }
    else if (const auto* i4 = std::get_if<std::int32_t>(&value))
    {
        V_VT(&out) = VT_I4;
        V_I4(&out) = *i4;
    }
    else if (const auto* date = std::get_if<AutomationDate>(&value))
    {
        V_VT(&out) = VT_DATE;
        V_DATE(&out) = date->days;
    }
    else if (const auto* text = std::get_if<std::string>(&value))
    {
        const std::wstring wide = Utf8ToWide(*text);
        V_VT(&out) = VT_BSTR;
        V_BSTR(&out) = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    }
    else if (const auto* object = std::get_if<std::shared_ptr<IAutomationObject>>(&value))
    {
        auto* dispatch = dynamic_cast<CDispatchObject*>(object->get());
        V_VT(&out) = VT_DISPATCH;
        V_DISPATCH(&out) = dispatch ? dispatch->Get() : nullptr;
        if (V_DISPATCH(&out))
        {
            V_DISPATCH(&out)->AddRef();
        }
    }
    else
    {
        // An optional argument left out.
        V_VT(&out) = VT_ERROR;
        V_ERROR(&out) = DISP_E_PARAMNOTFOUND;
    }
}

AutomationValue FromVariant(VARIANT& in)
{
    switch (V_VT(&in))
    {
    case VT_I2:
        return V_I2(&in);
    case VT_I4:
        return static_cast<std::int32_t>(V_I4(&in));
    case VT_DATE:
        return AutomationDate{V_DATE(&in)};
    case VT_BSTR:
        return V_BSTR(&in) ? WideToUtf8({V_BSTR(&in), SysStringLen(V_BSTR(&in))}) : std::string();
    case VT_DISPATCH:
        if (V_DISPATCH(&in))
        {
            V_DISPATCH(&in)->AddRef();
            return std::make_shared<CDispatchObject>(CComPtr<IDispatch>(V_DISPATCH(&in)));
        }
        return std::shared_ptr<IAutomationObject>();
    case VT_EMPTY:
        return std::monostate{};
    default:
        break;
    }
    // Anything else as the nearest Long, else as text.
    CVariant copy;
    if (SUCCEEDED(VariantChangeType(&copy.v, &in, 0, VT_I4)))
    {
        return static_cast<std::int32_t>(V_I4(&copy.v));
    }
    if (SUCCEEDED(VariantChangeType(&copy.v, &in, 0, VT_BSTR)) && V_BSTR(&copy.v))
    {
        return WideToUtf8({V_BSTR(&copy.v), SysStringLen(V_BSTR(&copy.v))});
    }
    return std::monostate{};
}

} // namespace

std::shared_ptr<IAutomationObject> CWin32AutomationFactory::Create(std::string_view progId)
{
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(Utf8ToWide(progId).c_str(), &clsid)))
    {
        return nullptr;
    }
    CComPtr<IDispatch> dispatch;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                IID_IDispatch, dispatch.PutVoid())))
    {
        return nullptr;
    }
    return std::make_shared<CDispatchObject>(std::move(dispatch));
}

} // namespace qw
