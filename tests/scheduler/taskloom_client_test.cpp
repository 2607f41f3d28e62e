// A late-binding client of the registered Taskloom.dll, driving the real Task
// Scheduler of the wine prefix by DISPID, as the main program does.

#include "platform/win32/com_ptr.h"
#include "taskloom_idl.h"

#include <oleauto.h>
#include <olectl.h>
#include <sddl.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace
{

using qw::CComPtr;

struct Var
{
    VARIANT v;
    Var() { VariantInit(&v); }
    Var(const Var& o) : Var() { VariantCopy(&v, const_cast<VARIANT*>(&o.v)); }
    Var& operator=(const Var&) = delete;
    ~Var() { VariantClear(&v); }
};

Var Str(const std::wstring& s)
{
    Var r;
    V_VT(&r.v) = VT_BSTR;
    V_BSTR(&r.v) = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    return r;
}
Var Num(long n, VARTYPE type = VT_I4)
{
    Var r;
    V_VT(&r.v) = VT_I4;
    V_I4(&r.v) = n;
    VariantChangeType(&r.v, &r.v, 0, type);
    return r;
}
Var Date(double d)
{
    Var r;
    V_VT(&r.v) = VT_DATE;
    V_DATE(&r.v) = d;
    return r;
}

struct Outcome
{
    HRESULT hr = E_FAIL;
    Var value;
    EXCEPINFO ex{};
    ~Outcome()
    {
        SysFreeString(ex.bstrSource);
        SysFreeString(ex.bstrDescription);
        SysFreeString(ex.bstrHelpFile);
    }
    // The error a client sees: the exception's code when there is one.
    HRESULT Error() const { return hr == DISP_E_EXCEPTION ? ex.scode : hr; }
    std::wstring Text() const
    {
        Var copy = value;
        return SUCCEEDED(VariantChangeType(&copy.v, &copy.v, 0, VT_BSTR)) ? V_BSTR(&copy.v) : L"";
    }
    long Long() const
    {
        Var copy = value;
        return SUCCEEDED(VariantChangeType(&copy.v, &copy.v, 0, VT_I4)) ? V_I4(&copy.v) : -99999;
    }
    double Real() const { return V_VT(&value.v) == VT_DATE ? V_DATE(&value.v) : -1.0; }
    CComPtr<IDispatch> Object() const
    {
        CComPtr<IDispatch> d;
        if (V_VT(&value.v) == VT_DISPATCH && V_DISPATCH(&value.v))
            V_DISPATCH(&value.v)->QueryInterface(IID_IDispatch, d.PutVoid());
        return d;
    }
};

Outcome Invoke(IDispatch* object, DISPID id, WORD flags, std::vector<Var> args = {})
{
    Outcome out;
    if (!object)
    {
        out.hr = E_POINTER;
        return out;
    }
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it)
        reversed.push_back(it->v);
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags == DISPATCH_PROPERTYPUT)
    {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
    }
    UINT argError = 0;
    out.hr =
        object->Invoke(id, IID_NULL, 0x409, flags, &params,
                       flags == DISPATCH_PROPERTYPUT ? nullptr : &out.value.v, &out.ex, &argError);
    return out;
}

Outcome Get(IDispatch* o, DISPID id, std::vector<Var> args = {})
{
    return Invoke(o, id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, std::move(args));
}
Outcome Put(IDispatch* o, DISPID id, Var value)
{
    return Invoke(o, id, DISPATCH_PROPERTYPUT, {value});
}
Outcome Call(IDispatch* o, DISPID id, std::vector<Var> args = {})
{
    return Invoke(o, id, DISPATCH_METHOD, std::move(args));
}

// Wine's scheduler service reads a task file for a moment after each change;
// a delete then fails with a sharing violation, which a user would retry.
HRESULT DeleteAt(IDispatch* schedule, long position)
{
    HRESULT error = S_OK;
    for (int tries = 0; tries < 20; ++tries)
    {
        error = Call(schedule, 0x60030004, {Num(position, VT_I2)}).Error();
        if (error != HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION))
            break;
        Sleep(250);
    }
    return error;
}

CComPtr<IDispatch> NewSchedule()
{
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(L"TaskScheduler.Schedule", &clsid), S_OK);
    CComPtr<IDispatch> schedule;
    EXPECT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, schedule.PutVoid()),
        S_OK);
    return schedule;
}

struct Member
{
    const wchar_t* name;
    DISPID id;
};

// Schedule
constexpr DISPID kCreateTask = 0x60030002, kRefresh = 0x60030003, kDelete = 0x60030004, kJob = 0,
                 kCount = 0x68030000;
// Job
constexpr DISPID kFlags = 0x6803000B, kApplicationName = 0x68030012, kCommandLine = 0x68030011,
                 kCreator = 0x6803000F, kLastRunTime = 0x68030006, kName = 0x68030003,
                 kSave = 0x60030016, kShowProperties = 0x60030017, kWorkingDirectory = 0x68030001,
                 kTriggers = 0x68030000;
// Triggers and Trigger
constexpr DISPID kAdd = 0x60030002, kRemove = 0x60030003, kTriggersCount = 0x68030001, kItem = 0,
                 kTriggersUpdate = 0x60030004, kTriggerRefresh = 0x60030010,
                 kTriggerUpdate = 0x60030011, kText = 0x68030008, kEndDay = 0x68030002;
constexpr DISPID kDaysInterval = 0x6803000E, kDay = 0x6803000D, kMonths = 0x6803000C,
                 kDaysOfTheWeek = 0x6803000B, kWeek = 0x6803000A, kWeeksInterval = 0x68030009,
                 kTriggerType = 0x68030007, kBeginDay = 0x68030003, kStartTime = 0x68030000;

// One line per slot of the interface after IDispatch's seven, in slot order:
// the DISPID, the kind, the name, and each argument's name and type.
std::vector<std::wstring> Slots(ITypeInfo* dispatch)
{
    std::vector<std::wstring> slots;
    HREFTYPE ref = 0;
    CComPtr<ITypeInfo> info;
    if (FAILED(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) ||
        FAILED(dispatch->GetRefTypeInfo(ref, info.Put())))
        return slots;
    TYPEATTR* type = nullptr;
    info->GetTypeAttr(&type);
    for (UINT i = 0; i < type->cFuncs; ++i)
    {
        FUNCDESC* f = nullptr;
        info->GetFuncDesc(i, &f);
        BSTR names[8] = {};
        UINT count = 0;
        info->GetNames(f->memid, names, 8, &count);
        const wchar_t* kinds[] = {L"", L"method", L"get", L"", L"let"};
        wchar_t id[16];
        swprintf(id, 16, L"%08X", static_cast<unsigned>(f->memid));
        std::wstring line = std::wstring(id) + L" " + kinds[f->invkind] + L" " + names[0] + L"(";
        for (SHORT p = 0; p < f->cParams; ++p)
        {
            const ELEMDESC& e = f->lprgelemdescParam[p];
            const bool retval = (e.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) != 0;
            // GetNames answers a DISPID with the get's names: a let's new
            // value has no name to read.
            std::wstring name = L"value";
            if (retval)
                name = L"result";
            else if (f->invkind != INVOKE_PROPERTYPUT && static_cast<UINT>(p + 1) < count)
                name = names[p + 1];
            TYPEDESC t = e.tdesc;
            std::wstring vt;
            while (t.vt == VT_PTR)
            {
                vt += L"*";
                t = *t.lptdesc;
            }
            if (t.vt == VT_USERDEFINED)
            {
                CComPtr<ITypeInfo> user;
                BSTR userName = nullptr;
                info->GetRefTypeInfo(t.hreftype, user.Put());
                user->GetDocumentation(MEMBERID_NIL, &userName, nullptr, nullptr, nullptr);
                vt = userName + vt;
                SysFreeString(userName);
            }
            else
                vt = std::to_wstring(t.vt) + vt;
            line += (p ? L", " : L"") + name + L":" + vt;
            if (e.paramdesc.wParamFlags & PARAMFLAG_FOPT)
                line += L" optional";
            if (e.paramdesc.wParamFlags & PARAMFLAG_FHASDEFAULT)
                line += L" default";
        }
        line += L")";
        if (f->wFuncFlags & FUNCFLAG_FHIDDEN)
            line += L" hidden";
        slots.push_back(line);
        for (UINT n = 0; n < count; ++n)
            SysFreeString(names[n]);
        info->ReleaseFuncDesc(f);
    }
    info->ReleaseTypeAttr(type);
    return slots;
}

// Deletes the named task through a fresh listing, as a user would.
void DeleteTask(const std::wstring& name)
{
    auto s = NewSchedule();
    Call(s.Get(), kRefresh);
    for (long i = Get(s.Get(), kCount).Long(); i >= 1; --i)
    {
        if (Get(Get(s.Get(), kJob, {Num(i, VT_I2)}).Object().Get(), kName).Text() == name)
        {
            EXPECT_EQ(DeleteAt(s.Get(), i), S_OK);
        }
    }
}

class TaskloomClientTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(TaskloomClientTest, EveryMemberNameGivesItsDispid)
{
    const std::vector<Member> schedule = {
        {L"CreateTask", 0x60030002}, {L"NewEnum", -4}, {L"Refresh", 0x60030003},
        {L"Delete", 0x60030004},     {L"Job", 0},      {L"TargetComputer", 0x68030001},
        {L"Count", 0x68030000}};
    const std::vector<Member> job = {{L"ApplicationName", 0x68030012},
                                     {L"CommandLine", 0x68030011},
                                     {L"Comment", 0x68030010},
                                     {L"Creator", 0x6803000F},
                                     {L"ErrorRetryCount", 0x6803000E},
                                     {L"ErrorRetryInterval", 0x6803000D},
                                     {L"ExitCode", 0x6803000C},
                                     {L"Flags", 0x6803000B},
                                     {L"IdleWait", 0x6803000A},
                                     {L"MaxRunTime", 0x68030009},
                                     {L"Priority", 0x68030008},
                                     {L"Status", 0x68030007},
                                     {L"Edit", 0x60030013},
                                     {L"Run", 0x60030014},
                                     {L"Terminate", 0x60030015},
                                     {L"LastRunTime", 0x68030006},
                                     {L"NextRunTime", 0x68030005},
                                     {L"FileName", 0x68030004},
                                     {L"Name", 0x68030003},
                                     {L"Save", 0x60030016},
                                     {L"ShowProperties", 0x60030017},
                                     {L"WorkingDirectory", 0x68030001},
                                     {L"Triggers", 0x68030000}};
    const std::vector<Member> triggers = {
        {L"Add", 0x60030002},   {L"NewEnum", -4}, {L"Remove", 0x60030003},
        {L"Count", 0x68030001}, {L"Item", 0},     {L"Update", 0x60030004}};
    const std::vector<Member> trigger = {
        {L"DaysInterval", 0x6803000E},   {L"Day", 0x6803000D},      {L"Months", 0x6803000C},
        {L"DaysOfTheWeek", 0x6803000B},  {L"Week", 0x6803000A},     {L"WeeksInterval", 0x68030009},
        {L"Refresh", 0x60030010},        {L"Update", 0x60030011},   {L"Text", 0x68030008},
        {L"TriggerType", 0x68030007},    {L"Duration", 0x68030006}, {L"Interval", 0x68030005},
        {L"Flags", 0x68030004},          {L"BeginDay", 0x68030003}, {L"EndDay", 0x68030002},
        {L"RandomInterval", 0x68030001}, {L"StartTime", 0x68030000}};

    auto s = NewSchedule();
    ASSERT_TRUE(s);
    Outcome created = Call(s.Get(), kCreateTask, {Str(L"qw-names")});
    ASSERT_EQ(created.hr, S_OK);
    auto j = created.Object();
    ASSERT_TRUE(j);
    Outcome gotTriggers = Get(j.Get(), kTriggers);
    auto ts = gotTriggers.Object();
    ASSERT_TRUE(ts) << std::hex << gotTriggers.Error();
    Outcome added = Call(ts.Get(), kAdd);
    auto t = added.Object();
    ASSERT_TRUE(t) << std::hex << added.Error();
    for (auto [object, members] : {std::pair{s.Get(), &schedule}, std::pair{j.Get(), &job},
                                   std::pair{ts.Get(), &triggers}, std::pair{t.Get(), &trigger}})
        for (const Member& m : *members)
        {
            LPOLESTR name = const_cast<LPOLESTR>(m.name);
            DISPID id = 12345;
            EXPECT_EQ(object->GetIDsOfNames(IID_NULL, &name, 1, 0x409, &id), S_OK) << m.name;
            EXPECT_EQ(id, m.id) << m.name;
        }

    // The library: name, version, locale, and the six enumerations.
    CComPtr<ITypeInfo> info;
    ASSERT_EQ(s->GetTypeInfo(0, 0x409, info.Put()), S_OK);
    CComPtr<ITypeLib> lib;
    UINT index = 0;
    ASSERT_EQ(info->GetContainingTypeLib(lib.Put(), &index), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->lcid, 0x409u);
    lib->ReleaseTLibAttr(attr);
    // The dual interface's vtable half, which the type-library marshaler reads.
    // widl (wine 8) records dual interfaces without TYPEFLAG_FOLEAUTOMATION;
    // dual alone makes RegisterTypeLib register them for that marshaler.
    HREFTYPE vtable = 0;
    CComPtr<ITypeInfo> vtableInfo;
    ASSERT_EQ(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtable), S_OK);
    ASSERT_EQ(info->GetRefTypeInfo(vtable, vtableInfo.Put()), S_OK);
    TYPEATTR* type = nullptr;
    ASSERT_EQ(vtableInfo->GetTypeAttr(&type), S_OK);
    const WORD wanted = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE;
    EXPECT_EQ(type->wTypeFlags & wanted, wanted);
    EXPECT_EQ(type->typekind, TKIND_INTERFACE);
    EXPECT_EQ(type->cFuncs, 8) << "the slots after IDispatch's seven";
    vtableInfo->ReleaseTypeAttr(type);
    std::set<std::wstring> enums;
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i)
    {
        CComPtr<ITypeInfo> e;
        TYPEATTR* a = nullptr;
        if (FAILED(lib->GetTypeInfo(i, e.Put())) || FAILED(e->GetTypeAttr(&a)))
            continue;
        if (a->typekind == TKIND_ENUM)
        {
            BSTR name = nullptr;
            e->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
            std::wstring line = std::wstring(name) + L":";
            SysFreeString(name);
            for (UINT v = 0; v < a->cVars; ++v)
            {
                VARDESC* d = nullptr;
                e->GetVarDesc(v, &d);
                BSTR constant = nullptr;
                UINT got = 0;
                e->GetNames(d->memid, &constant, 1, &got);
                line += L" " + std::wstring(constant) + L"=" + std::to_wstring(V_I4(d->lpvarValue));
                SysFreeString(constant);
                e->ReleaseVarDesc(d);
            }
            enums.insert(line);
        }
        e->ReleaseTypeAttr(a);
    }
    const std::set<std::wstring> expected = {
        L"saTaskFlags: tfInteractive=1 tfDeleteWhenDone=2 tfDisabled=4 tfStartOnlyIfIdle=16 "
        L"tfKillOnIdleEnd=32 tfDontStartIfOnBatteries=64 tfKillIfGoingOnBatteries=128 "
        L"tfRunOnlyIfDocked=256 tfHidden=512 tfRunIfConnectedToInternet=1024 "
        L"tfRestartOnIdleResume=2048",
        L"saTriggerTypes: ttAtLogon=7 ttAtSystemStart=6 ttOnIdle=5 ttDaily=1 "
        L"ttMonthlyDate=3 ttMonthlyWeekDay=4 ttOnce=0 ttWeekly=2",
        L"saTriggerMonths: tmJanuary=1 tmFebruary=2 tmMarch=4 tmApril=8 tmMay=16 "
        L"tmJune=32 tmJuly=64 tmAugust=128 tmSeptember=256 tmOctober=512 "
        L"tmNovember=1024 tmDecember=2048",
        L"saTriggerDays: tdSunday=1 tdMonday=2 tdTuesday=4 tdWednesday=8 tdThursday=16 "
        L"tdFriday=32 tdSaturday=64",
        L"saTriggerWeeks: twFirst=1 twLast=5 twSecond=2 twThird=3 twFourth=4",
        L"saTriggerFlags: tfTriggerDisabled=4 tfHasEndDate=1 tfKillAtDurationEnd=2"};
    EXPECT_EQ(enums, expected);

    // Every slot after IDispatch's seven, in order: DISPID, kind, name,
    // argument names and types (2 Integer, 3 Long, 7 Date, 8 String,
    // 9 Object, 12 Variant).
    const std::vector<std::vector<std::wstring>> slots = {
        {
            L"60030002 method CreateTask(Name:8, result:_Job**)",
            L"FFFFFFFC method NewEnum(result:12*) hidden",
            L"60030003 method Refresh()",
            L"60030004 method Delete(Index:2)",
            L"00000000 get Job(Index:2, result:_Job**)",
            L"68030001 get TargetComputer(result:8*)",
            L"68030001 let TargetComputer(value:8)",
            L"68030000 get Count(result:3*)",
        },
        {
            L"68030012 get ApplicationName(result:8*)",
            L"68030012 let ApplicationName(value:8)",
            L"68030011 get CommandLine(result:8*)",
            L"68030011 let CommandLine(value:8)",
            L"68030010 get Comment(result:8*)",
            L"68030010 let Comment(value:8)",
            L"6803000F get Creator(result:8*)",
            L"6803000F let Creator(value:8)",
            L"6803000E get ErrorRetryCount(result:2*)",
            L"6803000E let ErrorRetryCount(value:2)",
            L"6803000D get ErrorRetryInterval(result:2*)",
            L"6803000D let ErrorRetryInterval(value:2)",
            L"6803000C get ExitCode(result:3*)",
            L"6803000B get Flags(result:saTaskFlags*)",
            L"6803000B let Flags(value:saTaskFlags)",
            L"6803000A get IdleWait(result:2*)",
            L"6803000A let IdleWait(value:2)",
            L"68030009 get MaxRunTime(result:3*)",
            L"68030009 let MaxRunTime(value:3)",
            L"68030008 get Priority(result:3*)",
            L"68030008 let Priority(value:3)",
            L"68030007 get Status(result:3*)",
            L"60030013 method Edit(Parent:9)",
            L"60030014 method Run()",
            L"60030015 method Terminate()",
            L"68030006 get LastRunTime(result:7*)",
            L"68030005 get NextRunTime(result:7*)",
            L"68030004 get FileName(result:8*)",
            L"68030003 get Name(result:8*)",
            L"60030016 method Save(FileName:12 optional)",
            L"60030017 method ShowProperties()",
            L"68030001 get WorkingDirectory(result:8*)",
            L"68030001 let WorkingDirectory(value:8)",
            L"68030000 get Triggers(result:_Triggers**)",
        },
        {
            L"60030002 method Add(result:_Trigger**)",
            L"FFFFFFFC method NewEnum(result:12*) hidden",
            L"60030003 method Remove(Index:2)",
            L"68030001 get Count(result:3*)",
            L"00000000 get Item(Index:12, result:_Trigger**)",
            L"60030004 method Update()",
        },
        {
            L"6803000E get DaysInterval(result:2*)",
            L"6803000E let DaysInterval(value:2)",
            L"6803000D get Day(result:2*)",
            L"6803000D let Day(value:2)",
            L"6803000C get Months(result:saTriggerMonths*)",
            L"6803000C let Months(value:saTriggerMonths)",
            L"6803000B get DaysOfTheWeek(result:saTriggerDays*)",
            L"6803000B let DaysOfTheWeek(value:saTriggerDays)",
            L"6803000A get Week(result:saTriggerWeeks*)",
            L"6803000A let Week(value:saTriggerWeeks)",
            L"68030009 get WeeksInterval(result:2*)",
            L"68030009 let WeeksInterval(value:2)",
            L"60030010 method Refresh()",
            L"60030011 method Update()",
            L"68030008 get Text(result:8*)",
            L"68030007 get TriggerType(result:saTriggerTypes*)",
            L"68030007 let TriggerType(value:saTriggerTypes)",
            L"68030006 get Duration(result:3*)",
            L"68030006 let Duration(value:3)",
            L"68030005 get Interval(result:3*)",
            L"68030005 let Interval(value:3)",
            L"68030004 get Flags(result:saTriggerFlags*)",
            L"68030004 let Flags(value:saTriggerFlags)",
            L"68030003 get BeginDay(result:7*)",
            L"68030003 let BeginDay(value:7)",
            L"68030002 get EndDay(result:7*)",
            L"68030002 let EndDay(value:7)",
            L"68030001 get RandomInterval(result:2*)",
            L"68030001 let RandomInterval(value:2)",
            L"68030000 get StartTime(result:7*)",
            L"68030000 let StartTime(value:7)",
        }};
    size_t which = 0;
    for (auto object : {s.Get(), j.Get(), ts.Get(), t.Get()})
    {
        CComPtr<ITypeInfo> dispatch;
        ASSERT_EQ(object->GetTypeInfo(0, 0x409, dispatch.Put()), S_OK);
        EXPECT_EQ(Slots(dispatch.Get()), slots[which++]);
    }

    // Only Schedule can be created.
    CComPtr<IUnknown> made;
    const CLSID jobClass = {
        0xB5C55A35, 0x54F4, 0x4363, {0x8E, 0xAF, 0x4F, 0xE7, 0x66, 0x3E, 0x12, 0xE9}};
    EXPECT_NE(
        CoCreateInstance(jobClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, made.PutVoid()),
        S_OK);
    DeleteTask(L"qw-names");
}

struct TriggerPlan
{
    long type;
    std::vector<std::pair<DISPID, long>> fields;
};

TEST_F(TaskloomClientTest, AWholeTaskLifeByDispid)
{
    const std::wstring name = L"qw-life";
    auto s = NewSchedule();
    ASSERT_TRUE(s);
    EXPECT_EQ(Get(s.Get(), kCount).Long(), 0) << "a new Schedule is empty until Refresh";
    Outcome created = Call(s.Get(), kCreateTask, {Str(name)});
    ASSERT_EQ(created.hr, S_OK);
    auto job = created.Object();
    ASSERT_TRUE(job);
    EXPECT_EQ(Get(s.Get(), kCount).Long(), 1);
    EXPECT_EQ(Get(job.Get(), kCreator).Text(), L"Taskloom");
    EXPECT_EQ(Call(s.Get(), kCreateTask, {Str(name)}).Error() & 0x80000000, 0x80000000u)
        << "a second task of the same name";

    // Disabled, so that the scheduler service never starts it on one of its
    // triggers while the test runs.
    EXPECT_EQ(Put(job.Get(), kFlags, Num(4)).hr, S_OK);
    EXPECT_EQ(Put(job.Get(), kCreator, Str(L"Quellwipe")).hr, S_OK);
    EXPECT_EQ(
        Put(job.Get(), kApplicationName, Str(L"C:\\Program Files\\Quellwipe\\Quellwipe.exe")).hr,
        S_OK);
    EXPECT_EQ(Put(job.Get(), kCommandLine, Str(L"\"/s\" \"Nightly\" \"C:\\a b\\ü.txt\"")).hr, S_OK);
    EXPECT_EQ(Put(job.Get(), kWorkingDirectory, Str(L"C:\\Program Files\\Quellwipe")).hr, S_OK);

    const double begin = 46388; // 1 January 2027
    const std::vector<TriggerPlan> plans = {
        {0, {}},
        {1, {{kDaysInterval, 3}}},
        {2, {{kWeeksInterval, 2}, {kDaysOfTheWeek, 2 | 32}}},
        {3, {{kDay, 1 | 4096}, {kMonths, 1 | 2048}}},
        {4, {{kWeek, 5}, {kDaysOfTheWeek, 64}, {kMonths, 4095}}},
        {5, {}},
        {6, {}},
        {7, {}},
    };
    auto triggers = Get(job.Get(), kTriggers).Object();
    ASSERT_TRUE(triggers);
    for (const TriggerPlan& plan : plans)
    {
        auto t = Call(triggers.Get(), kAdd).Object();
        ASSERT_TRUE(t);
        EXPECT_EQ(Put(t.Get(), kTriggerType, Num(plan.type)).hr, S_OK);
        EXPECT_EQ(Put(t.Get(), kBeginDay, Date(begin + 0.7)).hr, S_OK);
        EXPECT_EQ(Put(t.Get(), kStartTime, Date(begin + (9 * 60 + 41) / 1440.0 + 20 / 86400.0)).hr,
                  S_OK);
        for (auto [id, value] : plan.fields)
            EXPECT_EQ(Put(t.Get(), id, Num(value)).hr, S_OK) << plan.type << " field " << id;
        if (plan.type == 2)
        {
            Outcome wrong = Put(t.Get(), kDaysInterval, Num(1, VT_I2));
            EXPECT_EQ(wrong.hr, DISP_E_EXCEPTION);
            EXPECT_EQ(wrong.ex.scode, static_cast<HRESULT>(0x80040001));
            EXPECT_STREQ(wrong.ex.bstrDescription, L"Invalid trigger type");
        }
        if (plan.type == 4)
        {
            EXPECT_EQ(Put(t.Get(), kWeek, Num(40000)).Error(), DISP_E_OVERFLOW);
        }
    }
    EXPECT_EQ(Get(triggers.Get(), kTriggersCount).Long(), 8);
    EXPECT_EQ(Get(triggers.Get(), kItem, {Num(9)}).Error(), DISP_E_BADINDEX);
    EXPECT_EQ(Call(job.Get(), kSave).hr, S_OK);
    EXPECT_EQ(Get(job.Get(), kLastRunTime).Real(), 0.0) << "never ran";
    Outcome sheet = Call(job.Get(), kShowProperties);
    EXPECT_EQ(sheet.Error(), E_NOTIMPL) << "wine 8 has no property sheet";

    // A new Schedule reads it all back from the task file.
    auto again = NewSchedule();
    EXPECT_EQ(Call(again.Get(), kRefresh).hr, S_OK);
    const long count = Get(again.Get(), kCount).Long();
    long position = 0;
    for (long i = 1; i <= count; ++i)
    {
        Outcome job_i = Get(again.Get(), kJob, {Num(i, VT_I2)});
        ASSERT_EQ(job_i.hr, S_OK) << "every position up to Count";
        if (Get(job_i.Object().Get(), kName).Text() == name)
            position = i;
    }
    ASSERT_NE(position, 0);
    EXPECT_EQ(Get(again.Get(), kJob, {Num(count + 1, VT_I2)}).Error(), DISP_E_BADINDEX);
    auto read = Get(again.Get(), kJob, {Num(position, VT_I2)}).Object();
    ASSERT_TRUE(read);
    EXPECT_EQ(Get(read.Get(), kCreator).Text(), L"Quellwipe");
    EXPECT_EQ(Get(read.Get(), kFlags).Long(), 4);
    EXPECT_EQ(Get(read.Get(), kApplicationName).Text(),
              L"C:\\Program Files\\Quellwipe\\Quellwipe.exe");
    EXPECT_EQ(Get(read.Get(), kCommandLine).Text(), L"\"/s\" \"Nightly\" \"C:\\a b\\ü.txt\"");
    EXPECT_EQ(Get(read.Get(), kWorkingDirectory).Text(), L"C:\\Program Files\\Quellwipe");
    auto readTriggers = Get(read.Get(), kTriggers).Object();
    ASSERT_TRUE(readTriggers);
    ASSERT_EQ(Get(readTriggers.Get(), kTriggersCount).Long(), 8);
    for (size_t i = 0; i < plans.size(); ++i)
    {
        auto t = Get(readTriggers.Get(), kItem, {Num(static_cast<long>(i + 1))}).Object();
        ASSERT_TRUE(t);
        EXPECT_EQ(Get(t.Get(), kTriggerType).Long(), plans[i].type);
        EXPECT_EQ(Get(t.Get(), kBeginDay).Real(), begin) << "the date part only";
        EXPECT_DOUBLE_EQ(Get(t.Get(), kStartTime).Real(), (9 * 60 + 41) / 1440.0)
            << "hour and minute, no seconds";
        for (auto [id, value] : plans[i].fields)
            EXPECT_EQ(Get(t.Get(), id).Long(), id == kDay ? (value & 0xFFFF) : value)
                << plans[i].type << " field " << id;
    }

    EXPECT_EQ(DeleteAt(again.Get(), position), S_OK);
    EXPECT_EQ(Get(again.Get(), kCount).Long(), count - 1);
    EXPECT_EQ(Call(again.Get(), kDelete, {Num(count + 5, VT_I2)}).Error(), DISP_E_BADINDEX);
    auto third = NewSchedule();
    Call(third.Get(), kRefresh);
    EXPECT_EQ(Get(third.Get(), kCount).Long(), count - 1) << "the task file is gone";
}

TEST_F(TaskloomClientTest, TheModuleUnloadsOnlyWhenNothingIsHeld)
{
    HMODULE module = LoadLibraryW(L"Taskloom.dll");
    if (!module)
    {
        wchar_t path[MAX_PATH] = {};
        DWORD size = sizeof path;
        RegGetValueW(HKEY_CLASSES_ROOT,
                     L"CLSID\\{4CF5566A-64AA-4738-BACF-C84A90FC557D}\\InprocServer32", nullptr,
                     RRF_RT_REG_SZ, nullptr, path, &size);
        module = LoadLibraryW(path);
    }
    ASSERT_TRUE(module);
    auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_TRUE(canUnload);
    {
        auto s = NewSchedule();
        EXPECT_EQ(canUnload(), S_FALSE);
    }
    CoFreeUnusedLibraries();
    EXPECT_EQ(canUnload(), S_OK);
    FreeLibrary(module);
}

const HRESULT kTriggerNotFound = static_cast<HRESULT>(0x80041309);

TEST_F(TaskloomClientTest, ARemovedTriggersObjectFailsAndItsNeighbourKeepsItsOwnTime)
{
    auto job = Call(NewSchedule().Get(), kCreateTask, {Str(L"qw-removed")}).Object();
    ASSERT_TRUE(job);
    Put(job.Get(), kFlags, Num(4)); // never started by the service
    auto triggers = Get(job.Get(), kTriggers).Object();
    auto first = Call(triggers.Get(), kAdd).Object(), second = Call(triggers.Get(), kAdd).Object();
    Outcome end = Get(first.Get(), kEndDay);
    EXPECT_TRUE(end.hr == S_OK && end.Real() == 0.0) << "no end date: " << std::hex << end.Error();
    Put(first.Get(), kStartTime, Date(1 / 24.0));
    Put(second.Get(), kStartTime, Date(2 / 24.0));
    ASSERT_EQ(Call(job.Get(), kSave).hr, S_OK);
    ASSERT_EQ(Call(triggers.Get(), kRemove, {Num(1, VT_I2)}).hr, S_OK);

    Outcome put = Put(first.Get(), kStartTime, Date(5 / 24.0));
    EXPECT_EQ(put.Error(), kTriggerNotFound);
    EXPECT_STREQ(put.ex.bstrDescription, L"The trigger was removed from its task");
    EXPECT_EQ(Call(first.Get(), kTriggerUpdate).Error(), kTriggerNotFound);
    EXPECT_EQ(Call(second.Get(), kTriggerRefresh).hr, S_OK);
    EXPECT_DOUBLE_EQ(Get(second.Get(), kStartTime).Real(), 2 / 24.0) << "its own time";
    Put(second.Get(), kStartTime, Date(3 / 24.0));
    EXPECT_EQ(Call(second.Get(), kTriggerUpdate).hr, S_OK) << "at its new place";
    Call(triggers.Get(), kTriggersUpdate);
    auto only = Get(triggers.Get(), kItem, {Num(1)}).Object();
    EXPECT_DOUBLE_EQ(Get(only.Get(), kStartTime).Real(), 3 / 24.0);
    DeleteTask(L"qw-removed");
}

bool Emptied(const VARIANT& v)
{
    return V_VT(&v) == VT_EMPTY;
}
template <class T> bool Emptied(T* p)
{
    return p == nullptr;
}

TEST_F(TaskloomClientTest, FailingCallsEmptyTheirOutParametersForAVtableCaller)
{
    CComPtr<_Schedule> s;
    ASSERT_EQ(NewSchedule()->QueryInterface(__uuidof(_Schedule), s.PutVoid()), S_OK);
    Var name = Str(L"qw-outs"), index = Num(77);
    CComPtr<_Job> job;
    CComPtr<_Triggers> triggers;
    CComPtr<_Trigger> removed;
    ASSERT_EQ(s->CreateTask(V_BSTR(&name.v), job.Put()), S_OK);
    ASSERT_EQ(job->get_Triggers(triggers.Put()), S_OK);
    ASSERT_EQ(triggers->Add(removed.Put()), S_OK);
    ASSERT_EQ(triggers->Remove(1), S_OK);

    // Each out parameter starts as garbage, as an uninitialised one is.
    auto check = [](HRESULT expected, auto out, auto call)
    {
        std::memset(&out, 0x5A, sizeof out);
        EXPECT_EQ(call(&out), expected);
        EXPECT_TRUE(Emptied(out)) << std::hex << expected;
    };
    check(DISP_E_BADINDEX, static_cast<_Job*>(nullptr),
          [&](_Job** o) { return s->get_Job(9999, o); });
    check(HRESULT_FROM_WIN32(ERROR_FILE_EXISTS), static_cast<_Job*>(nullptr),
          [&](_Job** o) { return s->CreateTask(V_BSTR(&name.v), o); });
    check(DISP_E_BADINDEX, static_cast<_Trigger*>(nullptr),
          [&](_Trigger** o) { return triggers->get_Item(index.v, o); });
    check(kTriggerNotFound, BSTR{}, [&](BSTR* o) { return removed->get_Text(o); });
    DISPPARAMS none{};
    check(DISP_E_UNKNOWNINTERFACE, VARIANT{},
          [&](VARIANT* o)
          { return s->Invoke(kCount, IID_IUnknown, 0, DISPATCH_PROPERTYGET, &none, o, 0, 0); });
    DeleteTask(L"qw-outs");
}

// Which of the keys registration writes are there.
std::vector<bool> Registered()
{
    std::vector<bool> present;
    for (const wchar_t* key :
         {L"CLSID\\{4CF5566A-64AA-4738-BACF-C84A90FC557D}\\InprocServer32",
          L"TypeLib\\{C2BC67AB-3B9D-4ADC-97B3-58F162E7DB64}",
          L"Interface\\{084A6FBB-9C37-4D41-9C35-F4EDFEEB8332}", L"TaskScheduler.Schedule\\CurVer",
          L"TaskScheduler.Schedule.1\\CLSID"})
    {
        HKEY k = nullptr;
        present.push_back(RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &k) == 0);
        RegCloseKey(k);
    }
    return present;
}

// Everyone may read and delete the key and change its permissions, or do
// anything; read-only, nobody may write a value or make a key below it.
void MakeReadOnly(const wchar_t* path, bool readOnly)
{
    HKEY key = nullptr, probe = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, WRITE_DAC, nullptr, &key, nullptr);
    ConvertStringSecurityDescriptorToSecurityDescriptorW(
        readOnly ? L"D:P(A;;KRSDWD;;;WD)" : L"D:P(A;;KA;;;WD)", SDDL_REVISION_1, &sd, nullptr);
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
    LocalFree(sd);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_SET_VALUE, &probe) != 0, readOnly);
    RegCloseKey(probe);
}

TEST_F(TaskloomClientTest, RegistrationCompletesOrLeavesTheRegistryAsItWas)
{
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof path;
    RegGetValueW(HKEY_CLASSES_ROOT,
                 L"CLSID\\{4CF5566A-64AA-4738-BACF-C84A90FC557D}\\InprocServer32", nullptr,
                 RRF_RT_REG_SZ, nullptr, path, &size);
    HMODULE module = LoadLibraryW(path);
    ASSERT_TRUE(module) << "registered by regsvr32 before the client runs";
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto registerServer = reinterpret_cast<Entry>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    auto unregisterServer = reinterpret_cast<Entry>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
    const std::vector<bool> all(5, true), none(5, false);
    ASSERT_EQ(Registered(), all);
    ASSERT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(Registered(), none);

    // The last rows' key refuses writes: what was written before it, the
    // type library included, is taken back; over an earlier registration,
    // that one stands.
    const wchar_t* blocked = L"TaskScheduler.Schedule.1";
    for (const auto& before : {none, all})
    {
        MakeReadOnly(blocked, true);
        EXPECT_EQ(registerServer(), SELFREG_E_CLASS);
        EXPECT_EQ(Registered(), before);
        MakeReadOnly(blocked, false);
        EXPECT_EQ(registerServer(), S_OK);
    }

    // Keys already gone count as removed, and the rest goes all the same.
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"CLSID\\{4CF5566A-64AA-4738-BACF-C84A90FC557D}");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"TypeLib\\{C2BC67AB-3B9D-4ADC-97B3-58F162E7DB64}");
    EXPECT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(unregisterServer(), S_OK) << "a second time";
    EXPECT_EQ(Registered(), none);
    EXPECT_EQ(registerServer(), S_OK);
    FreeLibrary(module);
}

} // namespace
