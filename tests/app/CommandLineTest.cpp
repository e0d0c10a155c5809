#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include "app/HelpText.h"
#include "tests/support/RunTool.h"

namespace {

// Stands in for real input files: opens unless its name starts with "missing".
class FakeInputFile : public GenericInputFile {
public:
    bool Open() override { return name.rfind(L"missing", 0) != 0; }
    void Close() override {}
};

std::unique_ptr<GenericInputFile> MakeFake(InputKind) {
    return std::make_unique<FakeInputFile>();
}

ToolRun RunFake(const std::vector<std::wstring>& arguments) {
    return RunInProcess(arguments, MakeFake);
}

TEST(CommandLine, NoArgumentsPrintsBannerAndHelp) {
    ToolRun run = RunFake({});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, std::wstring(kBanner) + HelpText());
    EXPECT_TRUE(run.err.empty());
}

TEST(CommandLine, HelpTextKeepsItsShape) {
    std::wstring help = HelpText();
    EXPECT_EQ(help.rfind(L"\nSyntax: CadroTool [PARAM]...\nPARAM can be:\n\n  -avi AVIFILE\n", 0), 0u);
    // The timeline "type" text has a piece without a line break of its own.
    EXPECT_NE(help.find(L"indexes a video or an audio               stream.\n"), std::wstring::npos);
    const std::wstring tail = L"   WARNING: this option should be restricted to advanced usages.\n";
    EXPECT_EQ(help.substr(help.size() - tail.size()), tail);
    EXPECT_EQ(std::count(help.begin(), help.end(), L'\n'), 108);
}

TEST(CommandLine, ArgumentsThatDoNothingPrintNothing) {
    for (const auto& arguments : std::vector<std::vector<std::wstring>>{
             {L"-usefixedpacketsize"}, {L"-info"}, {L"-packetsize", L"100"}, {L"-info", L"csv=true"}}) {
        ToolRun run = RunFake(arguments);
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

struct ErrorCase {
    std::vector<std::wstring> arguments;
    std::wstring message;  // printed before the help text
    bool help;
};

TEST(CommandLine, ErrorsPrintTheirMessageThenHelp) {
    const std::vector<ErrorCase> cases = {
        {{L"movie.avi"}, L"Error: invalid parameter \"movie.avi\"\n", true},
        {{L"-Info"}, L"Error: invalid parameter \"-Info\"\n", true},
        {{L"-out"}, L"Error: output cadro file expected after -out parameter\n", true},
        {{L"-packetsize"}, L"Error: integer expected after -packetsize parameter\n", true},
        {{L"-packetsize", L"12k"}, L"Error: integer expected after -packetsize parameter\n", true},
        {{L"-packetsize", L"-5"}, L"Error: integer expected after -packetsize parameter\n", true},
        {{L"-packetsize", L"2147483648"}, L"Error: integer expected after -packetsize parameter\n", true},
        {{L"-synchrofreq"}, L"Error: integer expected after -synchrofreq parameter\n", true},
        {{L"-synchrofreq", L" 1"}, L"Error: integer expected after -synchrofreq parameter\n", true},
        {{L"-avi"}, L"", true},
        {{L"-a.avi", L"-wav"}, L"Error: invalid parameter \"-a.avi\"\n", true},
        {{L"-cadro"}, L"", true},
        {{L"-avi", L"missing.avi"}, L"Error: cannot open file \"missing.avi\" for reading\n", false},
        {{L"-info", L"csv=maybe"}, L"Error: invalid csv argument \"maybe\"\n", true},
        {{L"-info", L"cvs=true"}, L"Error: invalid option \"cvs\"\n", true},
        {{L"-avi", L"a.avi", L"-video", L"rotation=45"}, L"Error: invalid rotation argument \"45\"\n", true},
        {{L"-avi", L"a.avi", L"-video", L"stereo=3d"}, L"Error: invalid stereo argument \"3d\"\n", true},
        {{L"-avi", L"a.avi", L"-video", L"firsteye=Left"}, L"Error: invalid firsteye argument \"Left\"\n", true},
        {{L"-avi", L"a.avi", L"-video", L"format=pcm"}, L"Error: invalid option \"format\"\n", true},
        {{L"-avi", L"a.avi", L"-audio", L"format=VL"}, L"Error: invalid format argument \"VL\"\n", true},
        {{L"-avi", L"a.avi", L"-audio", L"rotation=90"}, L"Error: invalid option \"rotation\"\n", true},
        {{L"-avi", L"a.avi", L"-timeline", L"type=both"}, L"Error: invalid format argument \"both\"\n", true},
        {{L"-avi", L"a.avi", L"-timeline", L"=video"}, L"Error: invalid option \"\"\n", true},
        {{L"-video", L"file=0"}, L"Error: file index out of range, file list is empty\n", true},
        {{L"-avi", L"a.avi", L"-wav", L"b.wav", L"-video", L"file=5"},
         L"Error: file index out of range; max possible value is 1, got 5\n", true},
        {{L"-avi", L"a.avi", L"-video", L"file=x"}, L"Error: expected an integer as argument, got \"x\"\n", true},
        {{L"-avi", L"a.avi", L"-audio", L"stream=", L"-1"},
         L"Error: expected an integer as argument, got \"-1\"\n", true},
        {{L"-avi", L"a.avi", L"-audio", L"stream=99999999999"},
         L"Error: expected an integer as argument, got \"99999999999\"\n", true},
        // Malformed groups: the help text alone.
        {{L"-avi", L"a.avi", L"-video", L"file"}, L"", true},
        {{L"-avi", L"a.avi", L"-video", L"file", L"0"}, L"", true},
        {{L"-avi", L"a.avi", L"-video", L"file="}, L"", true},
        {{L"-avi", L"a.avi", L"-video", L"file", L"="}, L"", true},
    };
    const std::wstring help = HelpText();
    for (const ErrorCase& c : cases) {
        ToolRun run = RunFake(c.arguments);
        std::wstring line;
        for (const auto& a : c.arguments) line += a + L" ";
        EXPECT_EQ(run.status, -1) << line;
        EXPECT_EQ(run.out, c.message + (c.help ? help : L"")) << line;
    }
}

struct JobCase {
    std::vector<std::wstring> arguments;
    std::vector<StreamSelection> selections;
};

bool SameSelection(const StreamSelection& a, const StreamSelection& b) {
    return a.kind == b.kind && a.fileIndex == b.fileIndex && a.streamIndex == b.streamIndex &&
           a.setting == b.setting && a.layout == b.layout && a.rotationGiven == b.rotationGiven &&
           a.stereoGiven == b.stereoGiven && a.firstEyeLeft == b.firstEyeLeft;
}

MuxJob Read(const std::vector<std::wstring>& arguments, bool* ok) {
    std::vector<std::wstring> all{L"CadroTool"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<const wchar_t*> argv;
    for (const auto& a : all) argv.push_back(a.c_str());
    Platform::CaptureConsole console;
    MuxJob job;
    *ok = ReadCommandLine(static_cast<int>(argv.size()), argv.data(), &job, MakeFake, console);
    return job;
}

TEST(CommandLine, SubOptionFormsAllReadTheSame) {
    // file=1, file= 1, file =1 and file = 1 are one group each.
    const std::vector<std::vector<std::wstring>> forms = {
        {L"file=1"}, {L"file=", L"1"}, {L"file", L"=1"}, {L"file", L"=", L"1"}};
    for (const auto& form : forms) {
        std::vector<std::wstring> arguments{L"-avi", L"a.avi", L"-avi", L"b.avi", L"-video"};
        arguments.insert(arguments.end(), form.begin(), form.end());
        arguments.push_back(L"-info");
        bool ok = false;
        MuxJob job = Read(arguments, &ok);
        ASSERT_TRUE(ok);
        ASSERT_EQ(job.selections.size(), 1u);
        EXPECT_EQ(job.selections[0].fileIndex, 1);
        EXPECT_TRUE(job.printInfo);
    }
}

TEST(CommandLine, SelectionsKeepTheirSettings) {
    StreamSelection interleavedRight;
    interleavedRight.layout = 1;
    interleavedRight.stereoGiven = true;
    interleavedRight.firstEyeLeft = false;
    interleavedRight.setting = 3;
    interleavedRight.rotationGiven = true;
    StreamSelection stereoNone;
    stereoNone.stereoGiven = true;
    StreamSelection audio;
    audio.kind = kSelectAudio;
    audio.setting = kFormatDspAdpcm;
    audio.streamIndex = 2;
    StreamSelection audioDefault;
    audioDefault.kind = kSelectAudio;
    audioDefault.setting = kFormatImaAdpcm;
    StreamSelection timeline;
    timeline.kind = kSelectTimeline;
    timeline.setting = kTimelineOfAudio;
    StreamSelection timelineDefault;
    timelineDefault.kind = kSelectTimeline;
    timelineDefault.setting = kTimelineOfVideo;
    StreamSelection sideBySide;
    sideBySide.layout = 4;
    sideBySide.stereoGiven = true;

    const std::vector<JobCase> cases = {
        {{L"-video", L"stereo=interleaved", L"firsteye=right", L"rotation=270"}, {interleavedRight}},
        {{L"-video", L"stereo=none"}, {stereoNone}},
        // The eye is applied at the end of the list, whatever the order.
        {{L"-video", L"firsteye=right", L"stereo=sidebyside", L"firsteye=left"}, {sideBySide}},
        {{L"-audio", L"format=pcm", L"format=dsp-adpcm", L"stream=2"}, {audio}},
        {{L"-audio", L"-timeline", L"type=audio", L"-timeline"}, {audioDefault, timeline, timelineDefault}},
    };
    for (const JobCase& c : cases) {
        std::vector<std::wstring> arguments{L"-avi", L"a.avi"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        bool ok = false;
        MuxJob job = Read(arguments, &ok);
        ASSERT_TRUE(ok);
        ASSERT_EQ(job.selections.size(), c.selections.size());
        for (size_t i = 0; i < c.selections.size(); ++i) {
            EXPECT_TRUE(SameSelection(job.selections[i], c.selections[i])) << i;
        }
    }
}

TEST(CommandLine, SettingsAndLastValueWins) {
    bool ok = false;
    MuxJob job = Read({L"-out", L"a.cadro", L"-packetsize", L"8192", L"-synchrofreq", L"0",
                       L"-usefixedpacketsize", L"-ignorefourcc", L"-out", L"b.cadro", L"-info",
                       L"csv=true", L"csv=false", L"-wav", L"x.wav"},
                      &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(job.outputPath, L"b.cadro");
    EXPECT_EQ(job.packetSize, 8192);
    EXPECT_EQ(job.synchroPeriod, 0);
    EXPECT_FALSE(job.variablePacketSize);
    EXPECT_TRUE(job.ignoreFourCC);
    EXPECT_TRUE(job.writeCsv);  // csv=false changes nothing
    ASSERT_EQ(job.inputFiles.size(), 1u);
    EXPECT_EQ(job.inputFiles[0]->name, L"x.wav");

    // A value may begin with "-" when it stands as a token of its own.
    job = Read({L"-avi", L"a.avi", L"-audio", L"format", L"=", L"-x"}, &ok);
    EXPECT_FALSE(ok);
}

TEST(CommandLine, DefaultOutputPathCutsAtTheLastDot) {
    EXPECT_EQ(DefaultOutputPath(L"movie"), L"movie.cadro");
    EXPECT_EQ(DefaultOutputPath(L"movie.avi"), L"movie.cadro");
    EXPECT_EQ(DefaultOutputPath(L"C:\\my.dir\\movie"), L"C:\\my.cadro");
    EXPECT_EQ(DefaultOutputPath(L"a.b.wav"), L"a.b.cadro");
}

}  // namespace
