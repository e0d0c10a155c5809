// The real binary, run as a build script would run it.
#include <gtest/gtest.h>

#include "app/HelpText.h"
#include "platform/WideText.h"
#include "tests/support/RunTool.h"

namespace {

TEST(EndToEnd, NoArgumentsExitsZeroWithBannerAndHelp) {
    ProcessRun run = RunBinary({});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, Platform::ToUtf8(std::wstring(kBanner) + HelpText()));
}

TEST(EndToEnd, ErrorsExitWithMinusOne) {
    ProcessRun run = RunBinary({"-bogus"});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, "Error: invalid parameter \"-bogus\"\n" + Platform::ToUtf8(HelpText()));
}

TEST(EndToEnd, NonAsciiPathsAreQuotedAsGiven) {
    const std::string path = "no/such/cl\xC3\xA9_\xE8\xA6\x96\xE9\xA0\xBB.avi";
    ProcessRun run = RunBinary({"-avi", path}, true);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, "Error: cannot open file \"" + path + "\" for reading\n");
}

TEST(EndToEnd, OptionThatChangesNothingPrintsNothing) {
    ProcessRun run = RunBinary({"-usefixedpacketsize"}, true);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.empty());
}

}  // namespace
