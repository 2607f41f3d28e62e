// Every failure to write, flush, truncate or close is reported, and the
// unattended run that met it never logs "Success".

#include "app/targets_run.h"
#include "fakes/fake_platform.h"
#include "platform/setting_names.h"

#include <gtest/gtest.h>

#include <functional>

namespace qw
{
namespace
{

constexpr const char* kPack = "[Tarnwell Language Pack]\n"
                              "9047=Filler not written: %s\n9050=Bin stopped on %c.\n"
                              "9071=Not overwritten: %s (%u: %t)\n";

struct Case
{
    const char* what;
    const char* line; // after "/s" "t"
    std::function<void(test::CFakeFileSystem&)> fail;
    const char* kept; // what must still be there, if anything
    const char* code; // the system's code, as the report gives it
};

void FailFlush(test::CFakeFileSystem& files)
{
    files.failFlushAt = 0;
}
void FailTruncate(test::CFakeFileSystem& files)
{
    files.failTruncateAt = 0;
}
void FailClose(test::CFakeFileSystem& files)
{
    files.failCloseAt = 0;
}

TEST(FailureReports, NoFailureEndsInSuccess)
{
    const Case cases[] = {
        {"file, flush", R"("C:\data\f.bin")", FailFlush, "C:\\data\\f.bin", "(1117: "},
        {"file, truncate", R"("C:\data\f.bin")", FailTruncate, "C:\\data\\f.bin", "(1117: "},
        // Closed last, after the delete of its overwritten and flushed data.
        {"file, close", R"("C:\data\f.bin")", FailClose, nullptr, "(1117: "},
        {"file, write", R"("C:\data\f.bin")",
         [](test::CFakeFileSystem& files) { files.failWriteAt = 1; }, "C:\\data\\f.bin", "(112: "},
        {"folder, flush", R"("/F2" "/R2" "C:\data")", FailFlush, "C:\\data\\f.bin", "(1117: "},
        {"folder, truncate", R"("/F2" "/R2" "C:\data")", FailTruncate, "C:\\data\\f.bin",
         "(1117: "},
        {"folder, close", R"("/F2" "/R2" "C:\data")", FailClose, nullptr, "(1117: "},
        {"quick wipe, filler flush", R"("/O0" "D:\")", FailFlush, nullptr, "(0000045D)"},
        {"quick wipe, filler close", R"("/O0" "D:\")", FailClose, nullptr, "(0000045D)"},
        {"thorough wipe, pass flush", R"("/O1" "/T1" "D:\")",
         [](test::CFakeFileSystem& files) { files.failFlushAt = 1; }, nullptr, "(1117: "},
        // Three chunks fill the drive, eight ever smaller ones find it full;
        // the twelfth write is the thorough pass's first.
        {"thorough wipe, pass write", R"("/O1" "/T1" "D:\")",
         [](test::CFakeFileSystem& files) { files.failWritesFrom = 11; }, nullptr, "(1117: "},
        {"bin, flush", R"("recycle")", FailFlush, "C:\\RECYCLED\\DC1.txt", "(1117: "},
        {"bin, truncate", R"("recycle")", FailTruncate, "C:\\RECYCLED\\DC1.txt", "(1117: "},
        {"bin, close", R"("recycle")", FailClose, "C:\\RECYCLED\\DC1.txt", "(1117: "},
    };
    for (const Case& c : cases)
    {
        test::FakePlatform fake("C:\\Qw\\Quellwipe.exe");
        fake.files.files["C:\\Qw\\Lang\\English.ini"] = kPack;
        fake.settings.WriteText(kAppPath, "C:\\Qw");
        fake.settings.WriteInt(kBinAlertDisabled, 1);
        fake.system.driveMask = 0b1100;
        fake.system.driveTypes = {{"C:\\", DriveType::Fixed}, {"D:\\", DriveType::Fixed}};
        fake.files.folders = {"C:\\", "C:\\data", "C:\\RECYCLED", "D:\\"};
        fake.files.files["C:\\data\\f.bin"] = std::string(100000, 'S');
        fake.files.files["C:\\RECYCLED\\DC1.txt"] = "binned";
        fake.shell.bins["C:\\"] = BinQuery{0, 6, 1};
        fake.shell.binFolders["C:\\"] = {"C:\\RECYCLED"};
        fake.files.freeSpace = {3 * 65536, 3 * 65536};
        fake.files.spaceLeft = 3 * 65536;
        c.fail(fake.files);

        CShredApp app(fake.platform);
        app.InitInstance(std::string(R"("/s" "t" )") + c.line);
        CTargetsRun().Run(app);
        app.ExitInstance();
        std::string log = fake.files.files["C:\\Qw\\log.txt"];
        EXPECT_EQ(log.find("Success"), std::string::npos) << c.what << "\n" << log;
        EXPECT_NE(log.find(c.code), std::string::npos) << c.what << "\n" << log;
        if (c.kept)
        {
            EXPECT_EQ(fake.files.files.count(c.kept), 1u) << c.what;
        }
        EXPECT_TRUE(fake.shell.emptied.empty()) << c.what;
        EXPECT_EQ(fake.files.folders.count("D:\\SHREDTMP.$$$"), 0u) << c.what;
        EXPECT_TRUE(fake.files.sizeOnly.empty()) << c.what; // no filler left behind
    }
}

} // namespace
} // namespace qw
