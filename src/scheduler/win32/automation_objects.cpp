#include "scheduler/win32/automation_objects.h"

#include "platform/win32/com_guard.h"
#include "platform/win32/com_ptr.h"
#include "scheduler/schedule_model.h"
#include "scheduler/win32/task_scheduler_adapter.h"
#include "scheduler/win32/taskloom_module.h"
#include "taskloom_idl.h"

#include <new>
#include <string>
#include <vector>

namespace qw::sched
{

namespace
{

// --- errors --------------------------------------------------------------------

std::wstring DescriptionOf(HRESULT hr)
{
    const char* own = OwnDescription(hr);
    if (*own)
        return std::wstring(own, own + std::char_traits<char>::length(own));
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result(text ? text : L"", n);
    LocalFree(text);
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r'))
        result.pop_back();
    return result;
}

// Leaves the error's description for the caller's EXCEPINFO.
HRESULT Raise(HRESULT hr, REFIID iid)
{
    CComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(create.Put())))
    {
        create->SetGUID(iid);
        create->SetSource(const_cast<LPOLESTR>(L"TaskScheduler"));
        std::wstring description = DescriptionOf(hr);
        create->SetDescription(description.data());
        CComPtr<IErrorInfo> info;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.PutVoid())))
            SetErrorInfo(0, info.Get());
    }
    return hr;
}

// Every member body runs here: nothing is thrown across the COM boundary.
template <class F> HRESULT Guard(REFIID iid, F&& body)
{
    const HRESULT hr = Guarded(std::forward<F>(body));
    return FAILED(hr) ? Raise(hr, iid) : hr;
}

std::u16string FromBstr(BSTR s)
{
    return s ? std::u16string(reinterpret_cast<const char16_t*>(s), SysStringLen(s))
             : std::u16string();
}

HRESULT ToBstr(const std::u16string& s, BSTR* out)
{
    if (!out)
        return E_POINTER;
    *out =
        SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// Out parameters are emptied on entry, so that a caller that frees whatever
// it got back after a failure never frees what it put there itself.
template <class T> void Clear(T* out)
{
    if (out)
        *out = T{};
}

void Clear(VARIANT* out)
{
    if (out)
        VariantInit(out);
}

template <class T> HRESULT Out(T* out, T value)
{
    if (!out)
        return E_POINTER;
    *out = value;
    return S_OK;
}

// --- the IDispatch base ----------------------------------------------------------

template <class Interface> class CAutomationObject : public Interface, public ISupportErrorInfo
{
public:
    explicit CAutomationObject(const IID& iid) : m_iid(iid) { ObjectCreated(); }
    virtual ~CAutomationObject() { ObjectDestroyed(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == m_iid)
            *object = static_cast<Interface*>(this);
        else if (riid == IID_ISupportErrorInfo)
            *object = static_cast<ISupportErrorInfo*>(this);
        else
        {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_refs); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0)
            delete this;
        return refs;
    }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return Out(count, 1u); }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override
    {
        Clear(info);
        if (!info)
            return E_POINTER;
        return index == 0 ? TypeInfoOf(m_iid, info) : DISP_E_BADINDEX;
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        for (UINT i = 0; ids && i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        if (riid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        CComPtr<ITypeInfo> info;
        const HRESULT hr = TypeInfoOf(m_iid, info.Put());
        return FAILED(hr) ? hr : DispGetIDsOfNames(info.Get(), names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argError) override
    {
        Clear(result);
        Clear(exception);
        Clear(argError);
        if (riid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        CComPtr<ITypeInfo> info;
        const HRESULT hr = TypeInfoOf(m_iid, info.Put());
        if (FAILED(hr))
            return hr;
        SetErrorInfo(0, nullptr);
        return DispInvoke(static_cast<Interface*>(this), info.Get(), id, flags, params, result,
                          exception, argError);
    }

    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override
    {
        return riid == m_iid ? S_OK : S_FALSE;
    }

protected:
    template <class F> HRESULT Do(F&& body) { return Guard(m_iid, std::forward<F>(body)); }

private:
    const IID& m_iid;
    LONG m_refs = 1;
};

// Hands a new object to an out parameter; the object starts with one
// reference, which the caller receives.
template <class Object, class Interface, class Model>
HRESULT Hand(std::shared_ptr<Model> model, Interface** out)
{
    Clear(out);
    if (!out)
        return E_POINTER;
    *out = new Object(std::move(model));
    return S_OK;
}

// --- enumerators -----------------------------------------------------------------

class CEnumObjects : public IEnumVARIANT
{
public:
    explicit CEnumObjects(std::vector<CComPtr<IDispatch>> items, size_t next = 0)
        : m_items(std::move(items)), m_next(next)
    {
        ObjectCreated();
    }
    virtual ~CEnumObjects() { ObjectDestroyed(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IEnumVARIANT)
        {
            *object = static_cast<IEnumVARIANT*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_refs); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0)
            delete this;
        return refs;
    }
    STDMETHODIMP Next(ULONG count, VARIANT* items, ULONG* fetched) override
    {
        Clear(fetched);
        for (ULONG i = 0; items && i < count; ++i)
            VariantInit(&items[i]);
        if (!items || (count > 1 && !fetched))
            return E_POINTER;
        ULONG n = 0;
        for (; n < count && m_next < m_items.size(); ++n, ++m_next)
        {
            V_VT(&items[n]) = VT_DISPATCH;
            V_DISPATCH(&items[n]) = m_items[m_next].Get();
            V_DISPATCH(&items[n])->AddRef();
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override
    {
        const size_t left = m_items.size() - m_next;
        m_next += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override
    {
        m_next = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumVARIANT** copy) override
    {
        return Guard(IID_IEnumVARIANT,
                     [&]() -> HRESULT
                     {
                         Clear(copy);
                         if (!copy)
                             return E_POINTER;
                         *copy = new CEnumObjects(m_items, m_next);
                         return S_OK;
                     });
    }

private:
    std::vector<CComPtr<IDispatch>> m_items;
    size_t m_next;
    LONG m_refs = 1;
};

template <class Object, class Model>
HRESULT EnumerateInto(const std::vector<std::shared_ptr<Model>>& models, VARIANT* result)
{
    Clear(result);
    if (!result)
        return E_POINTER;
    std::vector<CComPtr<IDispatch>> items;
    items.reserve(models.size());
    for (const auto& model : models)
        items.emplace_back(static_cast<IDispatch*>(new Object(model)));
    VariantInit(result);
    V_VT(result) = VT_UNKNOWN;
    V_UNKNOWN(result) = new CEnumObjects(std::move(items));
    return S_OK;
}

// --- Trigger -------------------------------------------------------------------------

class CTriggerObject : public CAutomationObject<_Trigger>
{
public:
    explicit CTriggerObject(std::shared_ptr<CTriggerModel> model)
        : CAutomationObject(IID__Trigger), m(std::move(model))
    {
    }

    template <class T> HRESULT GetTyped(TypedField field, T* out)
    {
        return GetNumber(&CTriggerModel::GetTyped, field, out);
    }
    HRESULT SetTyped(TypedField field, std::int32_t value)
    {
        return Do([&]() -> HRESULT { return m->SetTyped(field, value); });
    }
    template <class T> HRESULT GetCommon(CommonField field, T* out)
    {
        return GetNumber(&CTriggerModel::GetCommon, field, out);
    }
    HRESULT SetCommon(CommonField field, std::int32_t value)
    {
        return Do([&]() -> HRESULT { return m->SetCommon(field, value); });
    }
    HRESULT GetDate(DateField field, DATE* out)
    {
        Clear(out);
        return Do(
            [&]() -> HRESULT
            {
                double value = 0;
                const Hr hr = m->GetDate(field, value);
                return Failed(hr) ? hr : Out(out, value);
            });
    }
    HRESULT SetDate(DateField field, DATE value)
    {
        return Do([&]() -> HRESULT { return m->SetDate(field, value); });
    }

    STDMETHODIMP get_DaysInterval(short* r) override
    {
        return GetTyped(TypedField::DaysInterval, r);
    }
    STDMETHODIMP put_DaysInterval(short v) override
    {
        return SetTyped(TypedField::DaysInterval, v);
    }
    STDMETHODIMP get_Day(short* r) override { return GetTyped(TypedField::Day, r); }
    STDMETHODIMP put_Day(short v) override { return SetTyped(TypedField::Day, v); }
    STDMETHODIMP get_Months(saTriggerMonths* r) override { return GetTyped(TypedField::Months, r); }
    STDMETHODIMP put_Months(saTriggerMonths v) override { return SetTyped(TypedField::Months, v); }
    STDMETHODIMP get_DaysOfTheWeek(saTriggerDays* r) override
    {
        return GetTyped(TypedField::DaysOfTheWeek, r);
    }
    STDMETHODIMP put_DaysOfTheWeek(saTriggerDays v) override
    {
        return SetTyped(TypedField::DaysOfTheWeek, v);
    }
    STDMETHODIMP get_Week(saTriggerWeeks* r) override { return GetTyped(TypedField::Week, r); }
    STDMETHODIMP put_Week(saTriggerWeeks v) override { return SetTyped(TypedField::Week, v); }
    STDMETHODIMP get_WeeksInterval(short* r) override
    {
        return GetTyped(TypedField::WeeksInterval, r);
    }
    STDMETHODIMP put_WeeksInterval(short v) override
    {
        return SetTyped(TypedField::WeeksInterval, v);
    }
    STDMETHODIMP Refresh() override
    {
        return Do([&]() -> HRESULT { return m->Refresh(); });
    }
    STDMETHODIMP Update() override
    {
        return Do([&]() -> HRESULT { return m->Update(); });
    }
    STDMETHODIMP get_Text(BSTR* r) override
    {
        Clear(r);
        return Do(
            [&]() -> HRESULT
            {
                std::u16string text;
                const Hr hr = m->Text(text);
                return Failed(hr) ? hr : ToBstr(text, r);
            });
    }
    STDMETHODIMP get_TriggerType(saTriggerTypes* r) override
    {
        return GetCommon(CommonField::TriggerType, r);
    }
    STDMETHODIMP put_TriggerType(saTriggerTypes v) override
    {
        return SetCommon(CommonField::TriggerType, v);
    }
    STDMETHODIMP get_Duration(LONG* r) override { return GetCommon(CommonField::Duration, r); }
    STDMETHODIMP put_Duration(LONG v) override { return SetCommon(CommonField::Duration, v); }
    STDMETHODIMP get_Interval(LONG* r) override { return GetCommon(CommonField::Interval, r); }
    STDMETHODIMP put_Interval(LONG v) override { return SetCommon(CommonField::Interval, v); }
    STDMETHODIMP get_Flags(saTriggerFlags* r) override { return GetCommon(CommonField::Flags, r); }
    STDMETHODIMP put_Flags(saTriggerFlags v) override { return SetCommon(CommonField::Flags, v); }
    STDMETHODIMP get_BeginDay(DATE* r) override { return GetDate(DateField::BeginDay, r); }
    STDMETHODIMP put_BeginDay(DATE v) override { return SetDate(DateField::BeginDay, v); }
    STDMETHODIMP get_EndDay(DATE* r) override { return GetDate(DateField::EndDay, r); }
    STDMETHODIMP put_EndDay(DATE v) override { return SetDate(DateField::EndDay, v); }
    STDMETHODIMP get_RandomInterval(short* r) override
    {
        return GetCommon(CommonField::RandomInterval, r);
    }
    STDMETHODIMP put_RandomInterval(short v) override
    {
        return SetCommon(CommonField::RandomInterval, v);
    }
    STDMETHODIMP get_StartTime(DATE* r) override { return GetDate(DateField::StartTime, r); }
    STDMETHODIMP put_StartTime(DATE v) override { return SetDate(DateField::StartTime, v); }

private:
    template <class Field, class T>
    HRESULT GetNumber(Hr (CTriggerModel::*get)(Field, std::int32_t&) const, Field field, T* out)
    {
        Clear(out);
        return Do(
            [&]() -> HRESULT
            {
                std::int32_t value = 0;
                const Hr hr = ((*m).*get)(field, value);
                return Failed(hr) ? hr : Out(out, static_cast<T>(value));
            });
    }

    std::shared_ptr<CTriggerModel> m;
};

// --- Triggers ------------------------------------------------------------------------

class CTriggersObject : public CAutomationObject<_Triggers>
{
public:
    explicit CTriggersObject(std::shared_ptr<CTriggersModel> model)
        : CAutomationObject(IID__Triggers), m(std::move(model))
    {
    }

    STDMETHODIMP Add(_Trigger** r) override
    {
        Clear(r);
        return Do(
            [&]() -> HRESULT
            {
                if (!r)
                    return E_POINTER;
                std::shared_ptr<CTriggerModel> trigger;
                const Hr hr = m->Add(trigger);
                return Failed(hr) ? hr : Hand<CTriggerObject>(trigger, r);
            });
    }
    STDMETHODIMP NewEnum(VARIANT* r) override
    {
        return Do([&]() -> HRESULT { return EnumerateInto<CTriggerObject>(m->Items(), r); });
    }
    STDMETHODIMP Remove(short index) override
    {
        return Do([&]() -> HRESULT { return m->Remove(index); });
    }
    STDMETHODIMP get_Count(LONG* r) override
    {
        Clear(r);
        return Do([&]() -> HRESULT { return Out(r, static_cast<LONG>(m->Count())); });
    }
    STDMETHODIMP get_Item(VARIANT index, _Trigger** r) override
    {
        Clear(r);
        return Do(
            [&]() -> HRESULT
            {
                if (!r)
                    return E_POINTER;
                // Triggers carry no keys: a text key never names one.
                VARIANT position;
                VariantInit(&position);
                HRESULT hr = VariantCopyInd(&position, &index);
                if (SUCCEEDED(hr) && V_VT(&position) == VT_BSTR)
                    hr = DISP_E_BADINDEX;
                if (SUCCEEDED(hr))
                    hr = VariantChangeType(&position, &position, 0, VT_I4);
                if (FAILED(hr))
                {
                    VariantClear(&position);
                    return hr;
                }
                std::shared_ptr<CTriggerModel> trigger;
                const Hr found = m->Item(V_I4(&position), trigger);
                return Failed(found) ? found : Hand<CTriggerObject>(trigger, r);
            });
    }
    STDMETHODIMP Update() override
    {
        return Do([&]() -> HRESULT { return m->Update(); });
    }

private:
    std::shared_ptr<CTriggersModel> m;
};

// --- Job -------------------------------------------------------------------------------

class CJobObject : public CAutomationObject<_Job>
{
public:
    explicit CJobObject(std::shared_ptr<CJobModel> model)
        : CAutomationObject(IID__Job), m(std::move(model))
    {
    }

    HRESULT GetText(TaskText which, BSTR* r)
    {
        Clear(r);
        return Do(
            [&]() -> HRESULT
            {
                std::u16string text;
                const Hr hr = m->Task().GetText(which, text);
                return Failed(hr) ? hr : ToBstr(text, r);
            });
    }
    HRESULT SetText(TaskText which, BSTR v)
    {
        return Do([&]() -> HRESULT { return m->Task().SetText(which, FromBstr(v)); });
    }
    template <class T> HRESULT GetNumber(TaskNumber which, T* r)
    {
        Clear(r);
        return Do(
            [&]() -> HRESULT
            {
                std::uint32_t value = 0;
                const Hr hr = m->Task().GetNumber(which, value);
                return Failed(hr) ? hr : Out(r, static_cast<T>(value));
            });
    }
    HRESULT SetNumber(TaskNumber which, std::uint32_t v)
    {
        return Do([&]() -> HRESULT { return m->Task().SetNumber(which, v); });
    }
    template <class F> HRESULT Call(F&& call)
    {
        return Do([&]() -> HRESULT { return call(m->Task()); });
    }

    STDMETHODIMP get_ApplicationName(BSTR* r) override
    {
        return GetText(TaskText::ApplicationName, r);
    }
    STDMETHODIMP put_ApplicationName(BSTR v) override
    {
        return SetText(TaskText::ApplicationName, v);
    }
    STDMETHODIMP get_CommandLine(BSTR* r) override { return GetText(TaskText::Parameters, r); }
    STDMETHODIMP put_CommandLine(BSTR v) override { return SetText(TaskText::Parameters, v); }
    STDMETHODIMP get_Comment(BSTR* r) override { return GetText(TaskText::Comment, r); }
    STDMETHODIMP put_Comment(BSTR v) override { return SetText(TaskText::Comment, v); }
    STDMETHODIMP get_Creator(BSTR* r) override { return GetText(TaskText::Creator, r); }
    STDMETHODIMP put_Creator(BSTR v) override { return SetText(TaskText::Creator, v); }
    STDMETHODIMP get_ErrorRetryCount(short* r) override
    {
        return GetNumber(TaskNumber::ErrorRetryCount, r);
    }
    STDMETHODIMP put_ErrorRetryCount(short v) override
    {
        return SetNumber(TaskNumber::ErrorRetryCount, static_cast<std::uint16_t>(v));
    }
    STDMETHODIMP get_ErrorRetryInterval(short* r) override
    {
        return GetNumber(TaskNumber::ErrorRetryInterval, r);
    }
    STDMETHODIMP put_ErrorRetryInterval(short v) override
    {
        return SetNumber(TaskNumber::ErrorRetryInterval, static_cast<std::uint16_t>(v));
    }
    STDMETHODIMP get_ExitCode(LONG* r) override
    {
        Clear(r);
        return Do(
            [&]() -> HRESULT
            {
                std::uint32_t code = 0;
                const Hr hr = m->Task().GetExitCode(code);
                return Failed(hr) ? hr : Out(r, static_cast<LONG>(code));
            });
    }
    STDMETHODIMP get_Flags(saTaskFlags* r) override { return GetNumber(TaskNumber::Flags, r); }
    STDMETHODIMP put_Flags(saTaskFlags v) override
    {
        return SetNumber(TaskNumber::Flags, static_cast<std::uint32_t>(v));
    }
    STDMETHODIMP get_IdleWait(short* r) override
    {
        Clear(r);
        return Do(
            [&]() -> HRESULT
            {
                std::int16_t minutes = 0;
                const Hr hr = m->GetIdleWait(minutes);
                return Failed(hr) ? hr : Out(r, static_cast<short>(minutes));
            });
    }
    STDMETHODIMP put_IdleWait(short v) override
    {
        return Do([&]() -> HRESULT { return m->SetIdleWait(v); });
    }
    STDMETHODIMP get_MaxRunTime(LONG* r) override { return GetNumber(TaskNumber::MaxRunTime, r); }
    STDMETHODIMP put_MaxRunTime(LONG v) override
    {
        return SetNumber(TaskNumber::MaxRunTime, static_cast<std::uint32_t>(v));
    }
    STDMETHODIMP get_Priority(LONG* r) override { return GetNumber(TaskNumber::Priority, r); }
    STDMETHODIMP put_Priority(LONG v) override
    {
        return SetNumber(TaskNumber::Priority, static_cast<std::uint32_t>(v));
    }
    STDMETHODIMP get_Status(LONG* r) override
    {
        Clear(r);
        return Do(
            [&]() -> HRESULT
            {
                std::int32_t status = 0;
                const Hr hr = m->Task().GetStatus(status);
                return Failed(hr) ? hr : Out(r, static_cast<LONG>(status));
            });
    }
    // The property sheet has no owner: the parent is accepted and not used.
    STDMETHODIMP Edit(IDispatch*) override
    {
        return Call([](ITaskHandle& t) { return t.EditWorkItem(); });
    }
    STDMETHODIMP Run() override
    {
        return Call([](ITaskHandle& t) { return t.Run(); });
    }
    STDMETHODIMP Terminate() override
    {
        return Call([](ITaskHandle& t) { return t.Terminate(); });
    }
    STDMETHODIMP get_LastRunTime(DATE* r) override
    {
        Clear(r);
        return Do(
            [&]() -> HRESULT
            {
                double date = 0;
                const Hr hr = m->LastRunTime(date);
                return Failed(hr) ? hr : Out(r, date);
            });
    }
    STDMETHODIMP get_NextRunTime(DATE* r) override
    {
        Clear(r);
        return Do(
            [&]() -> HRESULT
            {
                double date = 0;
                const Hr hr = m->NextRunTime(date);
                return Failed(hr) ? hr : Out(r, date);
            });
    }
    STDMETHODIMP get_FileName(BSTR* r) override
    {
        Clear(r);
        return Do(
            [&]() -> HRESULT
            {
                std::u16string file;
                const Hr hr = m->Task().GetCurFile(file);
                return Failed(hr) ? hr : ToBstr(file, r);
            });
    }
    STDMETHODIMP get_Name(BSTR* r) override
    {
        Clear(r);
        return Do([&]() -> HRESULT { return ToBstr(m->Name(), r); });
    }
    STDMETHODIMP Save(VARIANT fileName) override
    {
        return Do(
            [&]() -> HRESULT
            {
                VARIANT name;
                VariantInit(&name);
                HRESULT hr = VariantCopyInd(&name, &fileName);
                const bool missing =
                    SUCCEEDED(hr) &&
                    (V_VT(&name) == VT_EMPTY ||
                     (V_VT(&name) == VT_ERROR && V_ERROR(&name) == DISP_E_PARAMNOTFOUND));
                if (SUCCEEDED(hr) && !missing)
                    hr = VariantChangeType(&name, &name, 0, VT_BSTR);
                if (FAILED(hr))
                {
                    VariantClear(&name);
                    return hr;
                }
                const std::u16string text = missing ? std::u16string() : FromBstr(V_BSTR(&name));
                VariantClear(&name);
                return m->Save(&text);
            });
    }
    STDMETHODIMP ShowProperties() override
    {
        return Call([](ITaskHandle& t) { return t.EditWorkItem(); });
    }
    STDMETHODIMP get_WorkingDirectory(BSTR* r) override
    {
        return GetText(TaskText::WorkingDirectory, r);
    }
    STDMETHODIMP put_WorkingDirectory(BSTR v) override
    {
        return SetText(TaskText::WorkingDirectory, v);
    }
    STDMETHODIMP get_Triggers(_Triggers** r) override
    {
        Clear(r);
        return Do([&]() -> HRESULT { return Hand<CTriggersObject>(m->Triggers(), r); });
    }

private:
    std::shared_ptr<CJobModel> m;
};

// --- Schedule --------------------------------------------------------------------------

class CScheduleObject : public CAutomationObject<_Schedule>
{
public:
    explicit CScheduleObject(std::shared_ptr<CScheduleModel> model)
        : CAutomationObject(IID__Schedule), m(std::move(model))
    {
    }

    STDMETHODIMP CreateTask(BSTR name, _Job** r) override
    {
        Clear(r);
        return Do(
            [&]() -> HRESULT
            {
                if (!r)
                    return E_POINTER;
                std::shared_ptr<CJobModel> job;
                const Hr hr = m->CreateTask(FromBstr(name), job);
                return Failed(hr) ? hr : Hand<CJobObject>(job, r);
            });
    }
    STDMETHODIMP NewEnum(VARIANT* r) override
    {
        return Do([&]() -> HRESULT { return EnumerateInto<CJobObject>(m->Jobs(), r); });
    }
    STDMETHODIMP Refresh() override
    {
        return Do(
            [&]() -> HRESULT
            {
                m->Refresh();
                return S_OK;
            });
    }
    STDMETHODIMP Delete(short index) override
    {
        return Do([&]() -> HRESULT { return m->Delete(index); });
    }
    STDMETHODIMP get_Job(short index, _Job** r) override
    {
        Clear(r);
        return Do(
            [&]() -> HRESULT
            {
                if (!r)
                    return E_POINTER;
                std::shared_ptr<CJobModel> job;
                const Hr hr = m->Job(index, job);
                return Failed(hr) ? hr : Hand<CJobObject>(job, r);
            });
    }
    STDMETHODIMP get_TargetComputer(BSTR* r) override
    {
        Clear(r);
        return Do(
            [&]() -> HRESULT
            {
                std::u16string computer;
                const Hr hr = m->Scheduler().GetTargetComputer(computer);
                return Failed(hr) ? hr : ToBstr(computer, r);
            });
    }
    STDMETHODIMP put_TargetComputer(BSTR v) override
    {
        return Do([&]() -> HRESULT { return m->Scheduler().SetTargetComputer(FromBstr(v)); });
    }
    STDMETHODIMP get_Count(LONG* r) override
    {
        Clear(r);
        return Do([&]() -> HRESULT { return Out(r, static_cast<LONG>(m->Count())); });
    }

private:
    std::shared_ptr<CScheduleModel> m;
};

} // namespace

HRESULT CreateScheduleObject(REFIID iid, void** object)
{
    return Guard(IID__Schedule,
                 [&]() -> HRESULT
                 {
                     if (!object)
                         return E_POINTER;
                     *object = nullptr;
                     std::shared_ptr<ITaskSchedulerHandle> scheduler;
                     const Hr hr = ConnectTaskScheduler(scheduler);
                     if (Failed(hr))
                         return hr;
                     CComPtr<_Schedule> schedule(new CScheduleObject(
                         std::make_shared<CScheduleModel>(std::move(scheduler))));
                     return schedule->QueryInterface(iid, object);
                 });
}

} // namespace qw::sched
