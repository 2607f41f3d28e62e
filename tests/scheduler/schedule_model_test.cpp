#include "fakes/fake_task_scheduler.h"
#include "scheduler/automation_date.h"
#include "scheduler/schedule_model.h"

#include <gtest/gtest.h>

namespace qw::test
{
namespace
{

const Hr kAccessDenied = static_cast<Hr>(0x80070005u);

struct ScheduleFixture : ::testing::Test
{
    FakeWorld world;
    CScheduleModel schedule{MakeFakeScheduler(world)};

    std::vector<std::string> Names()
    {
        std::vector<std::string> names;
        for (const auto& job : schedule.Jobs())
            names.push_back(Narrow(job->Name()));
        return names;
    }
    std::vector<std::string> CallsSince(std::size_t from)
    {
        return {world.calls.begin() + static_cast<long>(from), world.calls.end()};
    }
    std::shared_ptr<CJobModel> JobWithTriggers(int count)
    {
        FakeTaskState state;
        state.triggers.resize(count);
        for (int i = 0; i < count; ++i)
            state.triggers[i].startHour = static_cast<std::uint16_t>(i);
        world.AddFile(u"t.job", state);
        schedule.Refresh();
        std::shared_ptr<CJobModel> job;
        EXPECT_EQ(schedule.Job(schedule.Count(), job), kOk);
        return job;
    }
};

TEST_F(ScheduleFixture, RefreshListsTasksAndDeleteRemovesTheOneAtItsPosition)
{
    EXPECT_EQ(schedule.Count(), 0);
    std::shared_ptr<CJobModel> job;
    EXPECT_EQ(schedule.Job(1, job), kBadIndex);

    for (auto name : {u"a.job", u"b.job", u"c.job"})
        world.AddFile(name);
    schedule.Refresh();
    EXPECT_EQ(schedule.Count(), 3);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c"}));

    for (int bad : {0, 4, -1})
    {
        const auto before = world.calls.size();
        EXPECT_EQ(schedule.Delete(bad), kBadIndex);
        EXPECT_EQ(world.calls.size(), before) << "no file may be deleted for " << bad;
    }
    EXPECT_EQ(schedule.Delete(2), kOk);
    EXPECT_EQ(world.calls.back(), "Delete(b.job)");
    EXPECT_EQ(schedule.Count(), 2);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(world.saved.count(u"b.job"), 0u);

    world.failing["Delete"] = kAccessDenied;
    EXPECT_EQ(schedule.Delete(1), kAccessDenied);
    EXPECT_EQ(schedule.Count(), 2);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "c"}));
}

TEST_F(ScheduleFixture, RefreshCountsOnlyTheJobsItCouldMake)
{
    world.AddFile(u"a.job");
    world.AddFile(u"A.JOB"); // same key without regard to case
    world.AddFile(u"b.job");
    world.extraNames = {std::nullopt, u"gone.job"}; // a null name, one that cannot be activated
    schedule.Refresh();
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b"}));
    ASSERT_EQ(schedule.Count(), 2);
    for (int i = 1; i <= schedule.Count(); ++i)
    {
        std::shared_ptr<CJobModel> job;
        EXPECT_EQ(schedule.Job(i, job), kOk);
    }

    world.failing["Enum"] = kAccessDenied;
    schedule.Refresh();
    EXPECT_EQ(schedule.Count(), 0);
    world.failing = {{"Next", kAccessDenied}};
    schedule.Refresh();
    EXPECT_EQ(schedule.Count(), 0);
}

TEST_F(ScheduleFixture, CreateTaskSavesANamelessJobThatOnlyRefreshMakesDeletable)
{
    std::shared_ptr<CJobModel> job;
    ASSERT_EQ(schedule.CreateTask(u"nightly", job), kOk);
    EXPECT_EQ(CallsSince(0), (std::vector<std::string>{"NewWorkItem(nightly)", "GetTriggerCount",
                                                       "SetText(Taskloom)", "Save(<own>)"}));
    EXPECT_EQ(schedule.Count(), 1);
    EXPECT_TRUE(job->Name().empty());
    ASSERT_EQ(world.saved.count(u"nightly.job"), 1u);
    EXPECT_EQ(world.saved[u"nightly.job"].texts[TaskText::Creator], u"Taskloom");

    EXPECT_TRUE(Failed(schedule.Delete(1)));
    EXPECT_EQ(schedule.Count(), 1);
    EXPECT_EQ(world.saved.count(u"nightly.job"), 1u);

    schedule.Refresh();
    EXPECT_EQ(schedule.Delete(1), kOk);
    EXPECT_EQ(world.saved.count(u"nightly.job"), 0u);
    EXPECT_EQ(schedule.Count(), 0);
}

TEST_F(ScheduleFixture, AFailingStepOfCreateTaskAddsNothing)
{
    world.AddFile(u"taken.job");
    std::shared_ptr<CJobModel> job;
    EXPECT_TRUE(Failed(schedule.CreateTask(u"taken", job)));
    for (const char* op : {"NewWorkItem", "GetTriggerCount", "SetText", "Save"})
    {
        world.failing = {{op, kAccessDenied}};
        EXPECT_EQ(schedule.CreateTask(u"new", job), kAccessDenied) << op;
        EXPECT_EQ(schedule.Count(), 0) << op;
        EXPECT_TRUE(schedule.Jobs().empty()) << op;
    }
}

TEST_F(ScheduleFixture, SaveWritesEveryTriggerBeforeTheFile)
{
    auto job = JobWithTriggers(2);
    const std::u16string empty;
    for (const std::u16string* name : std::initializer_list<const std::u16string*>{nullptr, &empty})
    {
        const auto from = world.calls.size();
        EXPECT_EQ(job->Save(name), kOk);
        EXPECT_EQ(CallsSince(from),
                  (std::vector<std::string>{"SetTrigger(0)", "GetTrigger(0)", "SetTrigger(1)",
                                            "GetTrigger(1)", "Save(<own>)"}));
    }
    const std::u16string other = u"copy.job";
    EXPECT_EQ(job->Save(&other), kOk);
    EXPECT_EQ(world.calls.back(), "Save(copy.job)");

    world.failing["SetTrigger"] = kAccessDenied;
    EXPECT_EQ(job->Save(nullptr), kAccessDenied);
    EXPECT_NE(world.calls.back(), "Save(<own>)");
}

TEST_F(ScheduleFixture, TriggersAddRemoveAndRenumber)
{
    auto job = JobWithTriggers(3);
    auto& triggers = *job->Triggers();
    ASSERT_EQ(triggers.Count(), 3);
    std::shared_ptr<CTriggerModel> second, third;
    ASSERT_EQ(triggers.Item(2, second), kOk);
    ASSERT_EQ(triggers.Item(3, third), kOk);

    for (int bad : {0, 4})
    {
        const auto before = world.calls.size();
        EXPECT_EQ(triggers.Remove(bad), kBadIndex);
        EXPECT_EQ(world.calls.size(), before);
    }
    const auto from = world.calls.size();
    ASSERT_EQ(triggers.Remove(1), kOk);
    EXPECT_EQ(CallsSince(from), (std::vector<std::string>{"DeleteTrigger(0)", "GetTriggerObject(0)",
                                                          "GetTriggerObject(1)"}));
    // The former second trigger is now the task's first and acts on it.
    std::u16string text;
    EXPECT_EQ(second->Text(text), kOk);
    EXPECT_EQ(world.calls.back(), "GetTriggerString(0)");
    EXPECT_EQ(Narrow(text), "type 0 at 1:0");
    EXPECT_EQ(third->Update(), kOk);
    EXPECT_EQ(world.calls.back(), "GetTrigger(1)");
    EXPECT_EQ(third->Cache().startHour, 2) << "still its own trigger";

    // A failing delete has already removed the entry, and nothing moves.
    world.failing["DeleteTrigger"] = kAccessDenied;
    EXPECT_EQ(triggers.Remove(1), kAccessDenied);
    EXPECT_EQ(triggers.Count(), 1);
    EXPECT_EQ(third->Index(), 1);
    world.failing.clear();

    std::shared_ptr<CTriggerModel> added;
    ASSERT_EQ(triggers.Add(added), kOk);
    std::int32_t flags = -1;
    EXPECT_EQ(added->GetCommon(CommonField::Flags, flags), kOk);
    EXPECT_EQ(flags, 0) << "a new trigger's cached flags are 0";
    EXPECT_EQ(added->Index(), 2);
    world.failing["GetTrigger"] = kAccessDenied;
    EXPECT_EQ(triggers.Add(added), kAccessDenied);
    EXPECT_EQ(triggers.Count(), 2);
}

TEST_F(ScheduleFixture, ARemovedTriggersObjectIsDoneAndEveryOtherKeepsToItsOwnTrigger)
{
    auto& triggers = *JobWithTriggers(3)->Triggers(); // at 0:00, 1:00 and 2:00
    std::shared_ptr<CTriggerModel> first, older, second, third, added;
    triggers.Item(1, first);
    triggers.Item(2, older);
    triggers.Update(); // a client may still hold the objects of before
    triggers.Item(2, second);
    triggers.Item(3, third);
    ASSERT_EQ(triggers.Remove(1), kOk);
    const auto from = world.calls.size();
    std::int32_t value = 0;
    double date = 0;
    std::u16string text;
    for (Hr hr : {first->Refresh(), first->Update(), first->Text(text),
                  first->GetTyped(TypedField::Day, value), first->SetCommon(CommonField::Flags, 1),
                  first->GetDate(DateField::EndDay, date),
                  first->SetDate(DateField::StartTime, TimeOfDay(5, 0))})
        EXPECT_EQ(hr, kTriggerRemoved);
    EXPECT_EQ(world.calls.size(), from) << "nothing reaches the task";

    // An object of the former second trigger writes it at its new place.
    older->SetDate(DateField::StartTime, TimeOfDay(6, 0));
    ASSERT_EQ(older->Update(), kOk);
    second->Text(text);
    EXPECT_EQ(Narrow(text), "type 0 at 6:0");
    third->Text(text);
    EXPECT_EQ(Narrow(text), "type 0 at 2:0");

    // Removing it ends both its objects; one that cannot follow its trigger
    // to the new place stops rather than reach a neighbour.
    triggers.Add(added);
    world.failing["GetTriggerObject"] = kAccessDenied;
    ASSERT_EQ(triggers.Remove(1), kOk);
    EXPECT_EQ(older->Refresh(), kTriggerRemoved);
    EXPECT_EQ(third->Update(), kAccessDenied);
}

TEST_F(ScheduleFixture, UpdateWritesAndRereadsWhileTextShowsTheWrittenTrigger)
{
    world.normaliseOnSet = true;
    auto job = JobWithTriggers(1);
    std::shared_ptr<CTriggerModel> trigger;
    ASSERT_EQ(job->Triggers()->Item(1, trigger), kOk);
    trigger->SetCommon(CommonField::TriggerType, kDaily);
    EXPECT_EQ(trigger->SetDate(DateField::StartTime, TimeOfDay(7, 30)), kOk);
    std::u16string text;
    EXPECT_EQ(trigger->Text(text), kOk);
    EXPECT_EQ(Narrow(text), "type 0 at 0:0");
    ASSERT_EQ(trigger->Update(), kOk);
    EXPECT_EQ(trigger->Text(text), kOk);
    EXPECT_EQ(Narrow(text), "type 1 at 7:30");

    // Update re-reads what the scheduler made of the record; Refresh drops
    // what was never written.
    const_cast<TriggerRecord&>(trigger->Cache()).startMinute = 75;
    ASSERT_EQ(trigger->Update(), kOk);
    EXPECT_EQ(trigger->Cache().startMinute, 59);
    trigger->SetCommon(CommonField::TriggerType, kWeekly);
    EXPECT_EQ(trigger->Refresh(), kOk);
    std::int32_t type = -1;
    EXPECT_EQ(trigger->GetCommon(CommonField::TriggerType, type), kOk);
    EXPECT_EQ(type, kDaily);
}

TEST(TriggerRulesTest, TypeSpecificPropertiesKeepToTheirTypes)
{
    struct Row
    {
        TypedField field;
        std::vector<int> types;
        int word;
    };
    const Row rows[] = {
        {TypedField::DaysInterval, {kDaily}, 0},
        {TypedField::Day, {kMonthlyDate}, 0},
        {TypedField::Months, {kMonthlyDate, kMonthlyWeekDay}, 2},
        {TypedField::DaysOfTheWeek, {kWeekly, kMonthlyWeekDay}, 1},
        {TypedField::Week, {kMonthlyWeekDay}, 0},
        {TypedField::WeeksInterval, {kWeekly}, 0},
    };
    FakeWorld world;
    for (const Row& row : rows)
        for (int type : {0, 1, 2, 3, 4, 5, 6, 7, -1, 99})
        {
            CTriggerModel t(nullptr, nullptr, 0);
            t.SetCommon(CommonField::TriggerType, type);
            const bool allowed =
                std::find(row.types.begin(), row.types.end(), type) != row.types.end();
            std::int32_t value = -7;
            const TriggerRecord before = t.Cache();
            EXPECT_EQ(t.GetTyped(row.field, value), allowed ? kOk : kInvalidTriggerType);
            EXPECT_EQ(value, allowed ? 0 : -7);
            EXPECT_EQ(t.SetTyped(row.field, 3), allowed ? kOk : kInvalidTriggerType);
            EXPECT_EQ(t.Cache().typeWords[row.word], allowed ? 3 : before.typeWords[row.word]);
        }
    EXPECT_STREQ(OwnDescription(kInvalidTriggerType), "Invalid trigger type");
}

TEST(TriggerRulesTest, SixteenBitFieldsAndTheDayMask)
{
    CTriggerModel t(nullptr, nullptr, 0);
    t.SetCommon(CommonField::TriggerType, kMonthlyWeekDay);
    EXPECT_EQ(t.SetTyped(TypedField::Week, 40000), kOverflow);
    EXPECT_EQ(t.SetTyped(TypedField::Week, -32769), kOverflow);
    EXPECT_EQ(t.SetTyped(TypedField::Week, 5), kOk);
    EXPECT_EQ(t.SetTyped(TypedField::Week, 40000), kOverflow);
    std::int32_t week = 0;
    EXPECT_EQ(t.GetTyped(TypedField::Week, week), kOk);
    EXPECT_EQ(week, 5) << "an overflow leaves the cache alone";

    t.SetCommon(CommonField::TriggerType, kMonthlyDate);
    EXPECT_EQ(t.SetTyped(TypedField::Months, 4096), kOk);
    EXPECT_EQ(t.Cache().typeWords[2], 4096);

    // Day 20 lives in the upper half of the mask: Day reads 0 and a write
    // of days 1 and 2 keeps it.
    CTriggerModel monthly(nullptr, nullptr, 0);
    monthly.SetCommon(CommonField::TriggerType, kMonthlyDate);
    monthly.SetTyped(TypedField::Day, 0);
    TriggerRecord& cache = const_cast<TriggerRecord&>(monthly.Cache());
    cache.typeWords[1] = 1u << (20 - 17);
    std::int32_t day = -1;
    EXPECT_EQ(monthly.GetTyped(TypedField::Day, day), kOk);
    EXPECT_EQ(day, 0);
    EXPECT_EQ(monthly.SetTyped(TypedField::Day, 3), kOk);
    EXPECT_EQ(monthly.Cache().typeWords[1], 1u << 3);
    EXPECT_EQ(monthly.Cache().typeWords[0], 3);

    monthly.SetCommon(CommonField::RandomInterval, -1);
    EXPECT_EQ(monthly.Cache().randomMinutesInterval, 0xFFFF);
    std::int32_t random = 0;
    EXPECT_EQ(monthly.GetCommon(CommonField::RandomInterval, random), kOk);
    EXPECT_EQ(random, -1);
}

TEST(AutomationDateTest, PartsNormaliseAndSplitBackAtTheEdges)
{
    struct Row
    {
        int y, m, d;
        double expected;
    };
    const Row rows[] = {
        {1899, 12, 30, 0.0},     {1900, 1, 1, 2.0},   {1899, 12, 29, -1.0},
        {2026, 13, 1, 46388},    {2027, 1, 1, 46388}, {2026, 3, 0, 46081}, // 28 Feb 2026
        {2024, 2, 30, 45352},    {2024, 3, 1, 45352}, {100, 1, 1, -657434},
        {9999, 12, 31, 2958465}, {2026, 0, 1, 45992}, // December 2025
    };
    for (const Row& r : rows)
    {
        double date = -99;
        ASSERT_EQ(DateFromParts(r.y, r.m, r.d, date), kOk) << r.y << "-" << r.m << "-" << r.d;
        EXPECT_EQ(date, r.expected) << r.y << "-" << r.m << "-" << r.d;
    }
    double date = 0;
    EXPECT_EQ(DateFromParts(10000, 1, 1, date), kOverflow);
    EXPECT_EQ(DateFromParts(99, 12, 31, date), kOverflow);
    EXPECT_EQ(DateFromParts(0, 0, 0, date), kOverflow);

    DateParts p;
    ASSERT_TRUE(SplitDate(-1.25, p)); // 29 December 1899, 06:00
    EXPECT_EQ((std::vector<int>{p.year, p.month, p.day, p.hour, p.minute}),
              (std::vector<int>{1899, 12, 29, 6, 0}));
    ASSERT_TRUE(SplitDate(46364.5 + 59.6 / 86400, p)); // rounds to the second
    EXPECT_EQ((std::vector<int>{p.year, p.month, p.day, p.hour, p.minute, p.second}),
              (std::vector<int>{2026, 12, 8, 12, 1, 0}));
    EXPECT_FALSE(SplitDate(2958466.0, p));
    EXPECT_FALSE(SplitDate(-657435.5, p));
    EXPECT_FALSE(SplitDate(0.0 / 0.0, p));

    EXPECT_EQ(DateFromSystemTime(SystemTime{}), 0.0);
    EXPECT_EQ(DateFromSystemTime(SystemTime{2026, 2, 0, 29, 0, 0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(DateFromSystemTime(SystemTime{2026, 12, 2, 8, 18, 0, 0, 0}), 46364.75);
}

TEST(AutomationDateTest, AroundMidnightBothSidesOfTheEpochRoundTheSameWay)
{
    // A time that rounds up to midnight starts the next calendar day, also
    // before 1900, where the fraction still counts forward from midnight.
    const std::pair<double, std::vector<int>> rows[] = {
        {-2.9999999, {1899, 12, 29, 0}}, {-1.9999999, {1899, 12, 30, 0}},
        {-1.0000001, {1899, 12, 29, 0}}, {-0.9999999, {1899, 12, 31, 0}},
        {0.9999999, {1899, 12, 31, 0}},  {1.9999999, {1900, 1, 1, 0}},
        {-1.5, {1899, 12, 29, 43200}}};
    DateParts p;
    auto parts = [&] {
        return std::vector<int>{p.year, p.month, p.day, p.hour * 3600 + p.minute * 60 + p.second};
    };
    for (const auto& [date, expected] : rows)
    {
        ASSERT_TRUE(SplitDate(date, p));
        EXPECT_EQ(parts(), expected) << date;
    }
    // And back: the edges of the days around the epoch split as themselves.
    for (std::uint16_t day = 27; day <= 31; ++day)
        for (int second : {0, 1, 43200, 86399})
        {
            const auto h = static_cast<std::uint16_t>(second / 3600);
            const auto m = static_cast<std::uint16_t>(second / 60 % 60);
            const auto s = static_cast<std::uint16_t>(second % 60);
            ASSERT_TRUE(SplitDate(DateFromSystemTime({1899, 12, 0, day, h, m, s, 0}), p));
            EXPECT_EQ(parts(), (std::vector<int>{1899, 12, day, second}));
        }
}

TEST_F(ScheduleFixture, DatesAndIdleWaitOfAJob)
{
    auto job = JobWithTriggers(1);
    double last = -1;
    EXPECT_EQ(job->LastRunTime(last), kOk);
    EXPECT_EQ(last, 0.0) << "a task that never ran";

    std::shared_ptr<CTriggerModel> trigger;
    ASSERT_EQ(job->Triggers()->Item(1, trigger), kOk);
    EXPECT_EQ(trigger->SetDate(DateField::StartTime, 46364.0 + TimeOfDay(23, 59) + 30.0 / 86400),
              kOk);
    EXPECT_EQ(trigger->Cache().startHour, 23);
    EXPECT_EQ(trigger->Cache().startMinute, 59);
    double start = 0;
    EXPECT_EQ(trigger->GetDate(DateField::StartTime, start), kOk);
    EXPECT_DOUBLE_EQ(start, TimeOfDay(23, 59)) << "seconds are dropped, the date too";
    EXPECT_EQ(trigger->SetDate(DateField::BeginDay, 46364.9), kOk);
    double begin = 0;
    EXPECT_EQ(trigger->GetDate(DateField::BeginDay, begin), kOk);
    EXPECT_EQ(begin, 46364.0);
    EXPECT_EQ(trigger->SetDate(DateField::EndDay, 1e12), kOverflow);
    double end = -1;
    EXPECT_EQ(trigger->GetDate(DateField::EndDay, end), kOk);
    EXPECT_EQ(end, 0.0) << "no end date";
    trigger->SetDate(DateField::EndDay, 46364.0);
    EXPECT_EQ(trigger->SetDate(DateField::EndDay, 0.0), kOk);
    EXPECT_EQ(trigger->Cache().endYear, 0) << "the zero date writes back as none";

    ASSERT_EQ(job->SetIdleWait(5), kOk);
    EXPECT_EQ(world.calls.back(), "SetIdleWait(5,60)") << "the deadline is kept";
    world.failing["GetIdleWait"] = kAccessDenied;
    EXPECT_EQ(job->SetIdleWait(6), kAccessDenied);
    EXPECT_NE(world.calls.back(), "SetIdleWait(6,60)");
}

} // namespace
} // namespace qw::test
