#include <gtest/gtest.h>

#include "korva/StreamDescriptors.h"
#include "korva/Timeline.h"
#include "sources/AviAudioGrabber.h"
#include "sources/AviInputFile.h"
#include "sources/AviVideoGrabber.h"
#include "sources/TimelineGrabbers.h"
#include "tests/sources/TempFiles.h"
#include "tests/support/TestMux.h"
#include "tests/support/AviBuilder.h"

namespace {

class TimelineGrabbersTest : public ::testing::Test {
protected:
    // A video stream at 30000/1001 with key frames at 0, 3, 4 and 7 of 9.
    AviInputFile& OpenVideo(bool withIndex) {
        AviBuilder avi;
        avi.legacyIndex = withIndex;
        int v = avi.AddStream(AviBuilder::Video("TZNK", 30000, 1001, 320, 240));
        avi.AddStream(AviBuilder::Audio(1, 2, 48000, 16));
        for (int i = 0; i < 9; ++i) {
            avi.AddChunk(v, {0, 0, 0, 0, static_cast<uint8_t>(i)}, i == 0 || i == 3 || i == 4 || i == 7);
        }
        input_.name = folder_.Write("video.avi", avi.Build());
        EXPECT_TRUE(input_.Open());
        return input_;
    }

    TempFolder folder_;
    TestMux mux_;
    AviInputFile input_;
};

int64_t Time(int64_t frame, int d) {
    return frame / d * d * 1001 * 1000000 / 30000;
}

TEST_F(TimelineGrabbersTest, VideoTimelineListsKeyFramesWithTheGrabberTimes) {
    for (int layout : {6, 0}) {
        SCOPED_TRACE(layout);
        TestMux mux;
        AviInputFile& input = OpenVideo(true);
        CAviVideoGrabber video;
        ASSERT_TRUE(video.Init(&input.GetFile(), 0, layout, 0, 1, 1, 0, mux.Get()));
        CAviTimelineGrabber timeline;
        ASSERT_TRUE(timeline.Init(&input.GetFile(), 0, video.GetDescriptor(), 5, mux.Get()));
        int d = layout == 0 ? 2 : 1;

        EXPECT_EQ(timeline.GetStream()->type, 4u);
        EXPECT_EQ(timeline.GetStream()->index, 5);
        EXPECT_EQ(timeline.GetStream()->refIndex, 0);
        Korva::TimelineHeader* header = timeline.GetHeader();
        EXPECT_EQ(header->entryCount, 4u);
        EXPECT_EQ(header->frameCount, 9u);
        EXPECT_EQ(header->duration, Time(9, d));  // no +1 here
        ASSERT_EQ(timeline.GetEntryCount(), 4u);
        EXPECT_EQ(timeline.GetDataSize(), 16u + 4 * 24);
        EXPECT_EQ(timeline.GetData(), reinterpret_cast<const uint8_t*>(header));

        // Each entry's time is the time the video grabber gives that frame.
        std::vector<int64_t> grabbed;
        uint32_t size, type;
        int64_t time;
        while (video.GrabFrame(&size, &type, &time) != nullptr) {
            grabbed.push_back(time);
        }
        ASSERT_EQ(grabbed.size(), 9u);
        const int32_t keys[] = {0, 3, 4, 7};
        Korva::TimelineEntry* entries = timeline.GetEntries();
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(entries[i].frameIndex, keys[i]);
            EXPECT_EQ(entries[i].time, Time(keys[i], d) + 1);
            EXPECT_EQ(entries[i].time, grabbed[static_cast<size_t>(keys[i])]);
            EXPECT_EQ(entries[i].position, 0);
        }
        // What the run loop writes through the entries is what the payload carries.
        entries[1].position = 0x0102030405060708;
        header->frameCount = 10;
        const uint8_t* bytes = timeline.GetData();
        Korva::TimelineEntry stored = Korva::LoadTimelineEntry(bytes + 16 + 24);
        EXPECT_EQ(stored.frameIndex, 3);
        EXPECT_EQ(stored.position, 0x0102030405060708);
        EXPECT_EQ(Korva::LoadTimelineHeader(bytes).frameCount, 10u);
    }
}

TEST_F(TimelineGrabbersTest, VideoWithoutIndexHasAnEmptyTable) {
    AviInputFile& input = OpenVideo(false);
    CAviVideoGrabber video;
    ASSERT_TRUE(video.Init(&input.GetFile(), 0, 6, 0, 1, 1, 2, mux_.Get()));
    CAviTimelineGrabber timeline;
    ASSERT_TRUE(timeline.Init(&input.GetFile(), 0, video.GetDescriptor(), 3, mux_.Get()));
    EXPECT_EQ(timeline.GetDataSize(), 16u);
    EXPECT_EQ(timeline.GetEntryCount(), 0u);
    EXPECT_EQ(timeline.GetHeader()->entryCount, 0u);
    EXPECT_EQ(timeline.GetHeader()->frameCount, 0u);
    EXPECT_EQ(timeline.GetHeader()->duration, 0);
    EXPECT_EQ(timeline.GetStream()->refIndex, 2);
}

TEST_F(TimelineGrabbersTest, AudioTimelinesStartEmpty) {
    AviInputFile& input = OpenVideo(true);
    CAviAudioGrabber audio;
    ASSERT_TRUE(audio.Init(&input.GetFile(), 0, 4, mux_.Get()));
    CAviTimelineGrabber avi;
    ASSERT_TRUE(avi.Init(audio.GetStream(), 6, mux_.Get()));
    CExternalAudioTimelineGrabber external;
    ASSERT_TRUE(external.Init(audio.GetStream(), 7, mux_.Get()));
    for (CTimelinePayloadGrabber* timeline : {static_cast<CTimelinePayloadGrabber*>(&avi),
                                              static_cast<CTimelinePayloadGrabber*>(&external)}) {
        EXPECT_EQ(timeline->GetStream()->refIndex, 4);
        EXPECT_EQ(timeline->GetDataSize(), 16u);
        EXPECT_EQ(timeline->GetEntryCount(), 0u);
        EXPECT_EQ(std::vector<uint8_t>(timeline->GetData(), timeline->GetData() + 16),
                  std::vector<uint8_t>(16, 0));
        timeline->GetHeader()->duration = 21333;
        EXPECT_EQ(Korva::LoadTimelineHeader(timeline->GetData()).duration, 21333);
    }
    EXPECT_EQ(avi.GetStream()->index, 6);
    EXPECT_EQ(external.GetStream()->index, 7);
    EXPECT_FALSE(external.Init(nullptr, 8, mux_.Get()));
}

}  // namespace
