#include "app/activity_log.h"

#include "app/shred_app.h"
#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

namespace qw
{
namespace
{

TEST(ActivityLog, EntriesByteForByte)
{
    test::CFakeSettingsStore settings;
    test::CFakeFileSystem files;
    settings.WriteText("AppPath", "C:\\Qw");
    CActivityLog log(settings, files);
    log.AppendTaskLine("Nightly");
    log.AppendStatus("The file %s could not be opened.#Try again.");
    log.AppendStatus("Success");
    EXPECT_EQ(files.files["C:\\Qw\\log.txt"], "Task Name:Nightly\r\n"
                                              "The file %s could not be opened.#Try again.\r\n\r\n"
                                              "Success\r\n\r\n");
}

TEST(ActivityLog, PathFollowsTheSettingAtEveryWrite)
{
    test::CFakeSettingsStore settings;
    test::CFakeFileSystem files;
    CActivityLog log(settings, files);
    log.AppendStatus("first"); // no AppPath: relative to the drive root
    settings.WriteText("AppPath", "E:\\Else");
    log.AppendStatus("second");
    EXPECT_EQ(files.files["\\log.txt"], "first\r\n\r\n");
    EXPECT_EQ(files.files["E:\\Else\\log.txt"], "second\r\n\r\n");
}

TEST(ActivityLog, AFailedWriteIsIgnored)
{
    test::FakePlatform fake;
    fake.files.failAppends = true;
    CShredApp app(fake.platform);
    app.RecordStatus("could not write");
    EXPECT_EQ(app.m_runStatus, "could not write");
    EXPECT_TRUE(fake.files.files.empty());
}

} // namespace
} // namespace qw
