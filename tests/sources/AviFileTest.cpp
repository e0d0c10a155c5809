#include <gtest/gtest.h>

#include <memory>

#include "sources/AviFile.h"
#include "tests/sources/TempFiles.h"
#include "tests/support/AviBuilder.h"

namespace {

class AviFileTest : public ::testing::Test {
protected:
    // Opens `bytes` as an AVI file; null when the open fails.
    std::unique_ptr<CAviFile> Open(const std::vector<uint8_t>& bytes) {
        auto file = std::make_unique<CAviFile>();
        std::wstring path = folder_.Write("file" + std::to_string(count_++) + ".avi", bytes);
        if (!file->Open(path)) {
            return nullptr;
        }
        return file;
    }

    // Every chunk of a stream still to come, in walk order. The oldest queued chunk is
    // the current one; an advance drops it and brings the next.
    static std::vector<std::vector<uint8_t>> DrainVideo(CAviFile& file, uint32_t index) {
        std::vector<std::vector<uint8_t>> chunks;
        if (file.VideoChunkData(index) == nullptr) {
            file.AdvanceVideo(index);
        }
        while (const uint8_t* data = file.VideoChunkData(index)) {
            chunks.emplace_back(data, data + file.VideoChunkSize(index));
            file.AdvanceVideo(index);
        }
        return chunks;
    }
    static std::vector<std::vector<uint8_t>> DrainAudio(CAviFile& file, uint32_t index) {
        std::vector<std::vector<uint8_t>> chunks;
        if (file.AudioChunkData(index) == nullptr) {
            file.AdvanceAudio(index);
        }
        while (const uint8_t* data = file.AudioChunkData(index)) {
            chunks.emplace_back(data, data + file.AudioChunkSize(index));
            file.AdvanceAudio(index);
        }
        return chunks;
    }

    TempFolder folder_;
    int count_ = 0;
};

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) {
        out.push_back(static_cast<uint8_t>(v));
    }
    return out;
}

TEST_F(AviFileTest, ReadsHeadersFormatsAndStreamNumbers) {
    AviBuilder avi;
    avi.AddStream(AviBuilder::Video("TZNK", 30000, 1001, 800, 240));
    avi.AddStream(AviBuilder::Audio(1, 2, 48000, 16));
    avi.AddStream(AviBuilder::Audio(1, 1, 22050, 16, /*plainPcm16Bytes=*/true));
    avi.AddStream(AviBuilder::Video("KBWX", 25, 1, 400, 480));
    auto file = Open(avi.Build());
    ASSERT_NE(file, nullptr);

    EXPECT_EQ(file->StreamCount(), 4u);
    ASSERT_EQ(file->VideoStreamCount(), 2u);
    ASSERT_EQ(file->AudioStreamCount(), 2u);
    EXPECT_EQ(file->MainHeader().streams, 4u);
    EXPECT_EQ(file->MainHeader().width, 800u);

    EXPECT_EQ(file->VideoHeaders()[0].fccHandler, Riff::MakeFourCC("TZNK"));
    EXPECT_EQ(file->VideoHeaders()[0].rate, 30000u);
    EXPECT_EQ(file->VideoHeaders()[0].scale, 1001u);
    EXPECT_EQ(file->VideoFormats()[0].header.width, 800);
    EXPECT_EQ(file->VideoFormats()[0].header.height, 240);
    EXPECT_EQ(file->VideoFormats()[0].streamNumber, 0u);
    EXPECT_EQ(file->VideoHeaders()[1].fccHandler, Riff::MakeFourCC("KBWX"));
    EXPECT_EQ(file->VideoFormats()[1].header.width, 400);
    EXPECT_EQ(file->VideoFormats()[1].streamNumber, 3u);

    const WaveFormat& stereo = file->AudioFormats()[0].format;
    EXPECT_EQ(stereo.formatTag, 1);
    EXPECT_EQ(stereo.channels, 2);
    EXPECT_EQ(stereo.samplesPerSec, 48000u);
    EXPECT_EQ(stereo.bitsPerSample, 16);
    EXPECT_EQ(file->AudioFormats()[0].streamNumber, 1u);
    // A 16-byte format record is read without taking bytes of the next chunk.
    const WaveFormat& mono = file->AudioFormats()[1].format;
    EXPECT_EQ(mono.channels, 1);
    EXPECT_EQ(mono.samplesPerSec, 22050u);
    EXPECT_EQ(mono.cbSize, 0);
    EXPECT_EQ(file->AudioFormats()[1].streamNumber, 2u);
}

TEST_F(AviFileTest, RefusesFilesThatAreNotAvi) {
    AviBuilder good;
    good.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    std::vector<uint8_t> base = good.Build();
    ASSERT_NE(Open(base), nullptr);

    struct Case {
        const char* name;
        size_t offset;
        const char* replacement;
    };
    // Offsets in the builder's layout: RIFF at 0, form at 8, LIST hdrl at 12 (form at
    // 20), avih id at 24, LIST strl at 88, strh id at 100, strh size at 104, strf at 164.
    const Case cases[] = {
        {"not RIFF", 0, "RIFX"},       {"RIFF of another form", 8, "WAVE"},
        {"no hdrl", 20, "hdrX"},       {"no avih first", 24, "avIh"},
        {"no strh", 100, "strH"},      {"strh below 56 bytes", 104, "\x30\x00\x00\x00"},
        {"no strf after strh", 164, "strF"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = base;
        std::copy(c.replacement, c.replacement + 4, bytes.begin() + static_cast<long>(c.offset));
        EXPECT_EQ(Open(bytes), nullptr) << c.name;
    }
    EXPECT_EQ(Open({}), nullptr) << "empty file";
    CAviFile missing;
    EXPECT_FALSE(missing.Open(folder_.Path("absent.avi").wstring()));
}

TEST_F(AviFileTest, StreamNumbersCountEveryStreamList) {
    AviBuilder avi;
    int video = avi.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    int text = avi.AddStream(AviBuilder::Other());
    int audio = avi.AddStream(AviBuilder::Audio(1, 1, 8000, 16));
    avi.AddChunk(video, Bytes({0, 0, 0, 0, 10}));
    avi.AddChunk(text, Bytes({'h', 'i'}));
    avi.AddChunk(audio, Bytes({1, 2, 3, 4}));
    auto file = Open(avi.Build());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->StreamCount(), 3u);
    ASSERT_EQ(file->AudioStreamCount(), 1u);
    EXPECT_EQ(file->AudioFormats()[0].streamNumber, 2u);
    // 02wb is the audio stream's even though stream number 1 is text.
    EXPECT_EQ(DrainAudio(*file, 0), (std::vector<std::vector<uint8_t>>{Bytes({1, 2, 3, 4})}));
    EXPECT_EQ(DrainVideo(*file, 0), (std::vector<std::vector<uint8_t>>{Bytes({0, 0, 0, 0, 10})}));
}

TEST_F(AviFileTest, WalkDeliversChunksOfEachStreamInFileOrder) {
    // Odd sizes force padding bytes; JUNK and unknown chunks in movi are passed over;
    // chunks of the stream not asked for wait in their queue.
    AviBuilder avi;
    avi.junkBeforeMovi = 7;
    int video = avi.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    int audio = avi.AddStream(AviBuilder::Audio(1, 2, 44100, 16));
    avi.AddChunk(video, Bytes({1, 1, 1, 1, 1}));
    avi.AddRawChunk("JUNK", Bytes({9, 9, 9}));
    avi.AddChunk(audio, Bytes({2, 2, 2}));
    avi.AddChunk(audio, Bytes({3}));
    avi.AddRawChunk("00pc", Bytes({7, 7}));
    avi.AddChunk(video, Bytes({4, 4, 4, 4, 4, 4, 4}));
    avi.AddChunk(video, {});
    avi.AddChunk(audio, Bytes({5, 5, 5, 5}));
    auto file = Open(avi.Build());
    ASSERT_NE(file, nullptr);

    EXPECT_EQ(file->AudioChunkSize(0), 0u);
    EXPECT_EQ(file->AudioChunkData(0), nullptr);
    ASSERT_TRUE(file->AdvanceVideo(0));
    EXPECT_EQ(std::vector<uint8_t>(file->VideoChunkData(0), file->VideoChunkData(0) + 5),
              Bytes({1, 1, 1, 1, 1}));
    ASSERT_TRUE(file->AdvanceVideo(0));
    auto video2 = DrainVideo(*file, 0);
    ASSERT_EQ(video2.size(), 2u);
    EXPECT_EQ(video2[0], Bytes({4, 4, 4, 4, 4, 4, 4}));
    EXPECT_TRUE(video2[1].empty());  // an empty chunk is still a chunk
    EXPECT_EQ(DrainAudio(*file, 0), (std::vector<std::vector<uint8_t>>{
                                        Bytes({2, 2, 2}), Bytes({3}), Bytes({5, 5, 5, 5})}));
    EXPECT_FALSE(file->AdvanceAudio(0));
    EXPECT_FALSE(file->AdvanceVideo(0));
    EXPECT_FALSE(file->AdvanceVideo(5));  // no such stream
}

TEST_F(AviFileTest, RecListsAreWalkedAndANonDataChunkInsideEndsTheWalk) {
    AviBuilder avi;
    int video = avi.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    int audio = avi.AddStream(AviBuilder::Audio(1, 1, 8000, 16));
    for (int i = 0; i < 3; ++i) {
        avi.BeginRec();
        avi.AddChunk(video, Bytes({0, 0, 0, 0, i}));
        avi.AddChunk(audio, Bytes({i, i}));
        avi.EndRec();
    }
    auto file = Open(avi.Build());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(DrainVideo(*file, 0).size(), 3u);
    EXPECT_EQ(DrainAudio(*file, 0), (std::vector<std::vector<uint8_t>>{
                                        Bytes({0, 0}), Bytes({1, 1}), Bytes({2, 2})}));

    AviBuilder broken;
    video = broken.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    broken.BeginRec();
    broken.AddChunk(video, Bytes({0, 0, 0, 0, 1}));
    broken.AddRawChunk("JUNK", Bytes({0}));
    broken.AddChunk(video, Bytes({0, 0, 0, 0, 2}));
    broken.EndRec();
    broken.AddChunk(video, Bytes({0, 0, 0, 0, 3}));
    file = Open(broken.Build());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(DrainVideo(*file, 0), (std::vector<std::vector<uint8_t>>{Bytes({0, 0, 0, 0, 1})}));
}

TEST_F(AviFileTest, WalkContinuesIntoExtensionLists) {
    AviBuilder avi;
    avi.openDmlIndex = true;
    int video = avi.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    int audio = avi.AddStream(AviBuilder::Audio(1, 1, 8000, 16));
    for (int segment = 0; segment < 3; ++segment) {
        if (segment > 0) {
            avi.StartExtension();
        }
        for (int i = 0; i < 4; ++i) {
            avi.AddChunk(video, Bytes({0, 0, 0, 0, segment * 4 + i}), i == 0);
            avi.AddChunk(audio, Bytes({segment, i, 0}));
        }
    }
    auto file = Open(avi.Build());
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->HasOpenDmlIndex());
    EXPECT_EQ(file->VideoFrameCount(0), 12u);
    EXPECT_EQ(file->VideoKeyFrameCount(0), 3u);
    auto frames = DrainVideo(*file, 0);
    ASSERT_EQ(frames.size(), 12u);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(frames[static_cast<size_t>(i)][4], i);
    }
    EXPECT_EQ(DrainAudio(*file, 0).size(), 12u);
}

TEST_F(AviFileTest, FrameCountsAndKeyFlagsFromEachKindOfIndex) {
    auto build = [](bool legacy, bool openDml) {
        AviBuilder avi;
        avi.legacyIndex = legacy;
        avi.openDmlIndex = openDml;
        int video = avi.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
        int audio = avi.AddStream(AviBuilder::Audio(1, 1, 8000, 16));
        const bool keys[] = {true, false, false, true, false};
        for (bool key : keys) {
            avi.AddChunk(video, Bytes({0, 0, 0, 0}), key);
            avi.AddChunk(audio, Bytes({1, 2}));
        }
        return avi.Build();
    };
    struct Case {
        bool legacy;
        bool openDml;
        uint32_t frames;
        uint32_t keys;
    };
    const Case cases[] = {{true, false, 5, 2}, {false, true, 5, 2}, {true, true, 5, 2}, {false, false, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "idx1 " << c.legacy << " OpenDML " << c.openDml);
        auto file = Open(build(c.legacy, c.openDml));
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->VideoFrameCount(0), c.frames);
        EXPECT_EQ(file->VideoKeyFrameCount(0), c.keys);
        EXPECT_EQ(file->IsVideoKeyFrame(0, 0), c.keys > 0);
        EXPECT_FALSE(file->IsVideoKeyFrame(0, 1));
        EXPECT_EQ(file->IsVideoKeyFrame(0, 3), c.keys > 0);
        EXPECT_FALSE(file->IsVideoKeyFrame(0, 5));  // beyond the index
        EXPECT_EQ(file->VideoFrameCount(1), 0u);    // no such video stream
        // Without any index every frame can still be read.
        EXPECT_EQ(DrainVideo(*file, 0).size(), 5u);
    }
}

TEST_F(AviFileTest, LegacyIndexEntriesFlaggedAsListsAreNotCounted) {
    AviBuilder avi;
    avi.recIndexId = "00dc";  // a list entry that looks like a video chunk
    int video = avi.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    for (int i = 0; i < 3; ++i) {
        avi.BeginRec();
        avi.AddChunk(video, Bytes({0, 0, 0, 0}), i == 0);
        avi.EndRec();
    }
    auto file = Open(avi.Build());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->VideoFrameCount(0), 3u);
    EXPECT_EQ(file->VideoKeyFrameCount(0), 1u);
}

TEST_F(AviFileTest, OpenDmlIndexWinsForEveryStream) {
    // Stream 1 has no indx: with any OpenDML index in the file its count is 0, although
    // idx1 lists its chunks.
    AviBuilder avi;
    avi.legacyIndex = true;
    avi.openDmlIndex = true;
    int first = avi.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    AviBuilder::Stream second = AviBuilder::Video("TZNK", 25, 1, 320, 240);
    second.openDmlIndexed = false;
    int other = avi.AddStream(second);
    for (int i = 0; i < 4; ++i) {
        avi.AddChunk(first, Bytes({0, 0, 0, 0}), i % 2 == 0);
        avi.AddChunk(other, Bytes({0, 0, 0, 0}), true);
    }
    auto file = Open(avi.Build());
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->HasLegacyIndex());
    EXPECT_EQ(file->VideoFrameCount(0), 4u);
    EXPECT_EQ(file->VideoKeyFrameCount(0), 2u);
    EXPECT_EQ(file->VideoFrameCount(1), 0u);
    EXPECT_EQ(file->VideoKeyFrameCount(1), 0u);
}

TEST_F(AviFileTest, SuperIndexIsFoundAfterOtherChunksOfTheStreamList) {
    AviBuilder avi;
    avi.legacyIndex = false;
    avi.openDmlIndex = true;
    AviBuilder::Stream video = AviBuilder::Video("TZNK", 25, 1, 320, 240);
    video.extraChunks = {{"vprp", std::vector<uint8_t>(68, 0)}, {"strn", Bytes({'c', 'a', 'm', 0, 'x'})}};
    int v = avi.AddStream(video);
    avi.AddChunk(v, Bytes({0, 0, 0, 0}), true);
    avi.AddChunk(v, Bytes({0, 0, 0, 0}), false);
    auto file = Open(avi.Build());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->VideoFrameCount(0), 2u);
    EXPECT_EQ(file->VideoKeyFrameCount(0), 1u);
}

TEST_F(AviFileTest, RefusesDamagedOpenDmlIndexes) {
    AviBuilder twoField;
    twoField.openDmlIndex = true;
    twoField.standardIndexSubType = 1;
    int v = twoField.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    twoField.AddChunk(v, Bytes({0, 0, 0, 0}));
    EXPECT_EQ(Open(twoField.Build()), nullptr) << "two-field standard index";

    AviBuilder good;
    good.legacyIndex = false;
    good.openDmlIndex = true;
    v = good.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    good.AddChunk(v, Bytes({0, 0, 0, 0}));
    std::vector<uint8_t> base = good.Build();
    ASSERT_NE(Open(base), nullptr);
    auto find = [&](const char* id) {
        auto it = std::search(base.begin(), base.end(), id, id + 4);
        return static_cast<size_t>(it - base.begin());
    };
    size_t indx = find("indx");
    size_t ix = find("ix00");
    ASSERT_LT(indx, base.size());
    ASSERT_LT(ix, base.size());
    auto patched = [&](size_t at, uint32_t value) {
        std::vector<uint8_t> bytes = base;
        for (int i = 0; i < 4; ++i) {
            bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
        }
        return bytes;
    };
    // Super index entry offset (after the 8-byte header and 24-byte index header).
    EXPECT_EQ(Open(patched(indx + 8 + 24, 0xFFFFFF00u)), nullptr) << "offset past the end";
    EXPECT_EQ(Open(patched(indx + 8 + 24, 0)), nullptr) << "offset at a chunk that is no index";
    EXPECT_EQ(Open(patched(indx + 8 + 3 - 3, 0x01000004u)), nullptr) << "index type 1 in indx";
    EXPECT_EQ(Open(patched(indx + 4, 8)), nullptr) << "indx shorter than its header";
    EXPECT_EQ(Open(patched(ix + 8 + 4, 0x40000000u)), nullptr) << "entries beyond the chunk";
    EXPECT_EQ(Open(patched(ix + 4, 0xFFFFFFF0u)), nullptr) << "ix chunk beyond the file";
}

TEST_F(AviFileTest, LongVideoFormatKeepsItsFirstBytes) {
    AviBuilder avi;
    AviBuilder::Stream video = AviBuilder::Video("TZNK", 25, 1, 640, 480);
    video.format.resize(2000, 0xAB);
    int v = avi.AddStream(video);
    avi.AddChunk(v, Bytes({0, 0, 0, 0, 1}));
    auto file = Open(avi.Build());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->VideoFormats()[0].header.width, 640);
    EXPECT_EQ(file->VideoFormats()[0].area.back(), 0xAB);
    EXPECT_EQ(DrainVideo(*file, 0).size(), 1u);
}

TEST_F(AviFileTest, TruncatedFileEndsTheStreamsEarly) {
    AviBuilder avi;
    avi.legacyIndex = false;
    int v = avi.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    for (int i = 0; i < 10; ++i) {
        avi.AddChunk(v, std::vector<uint8_t>(100, static_cast<uint8_t>(i)));
    }
    std::vector<uint8_t> bytes = avi.Build();
    bytes.resize(bytes.size() - 150);  // cuts into the ninth chunk
    auto file = Open(bytes);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(DrainVideo(*file, 0).size(), 8u);
    EXPECT_FALSE(file->AdvanceVideo(0));
}

TEST_F(AviFileTest, ChunksOfStreamsWithoutAReaderAreNotKept) {
    AviBuilder avi;
    int video = avi.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    int audio = avi.AddStream(AviBuilder::Audio(1, 2, 48000, 16));
    for (int i = 0; i < 50; ++i) {
        avi.AddPatternChunk(video, 1000);
        avi.AddPatternChunk(audio, 7680);
    }
    std::vector<uint8_t> bytes = avi.Build();

    // With no reader announced every stream is kept (the whole audio ends up queued).
    auto keepAll = Open(bytes);
    ASSERT_NE(keepAll, nullptr);
    EXPECT_EQ(DrainVideo(*keepAll, 0).size(), 50u);
    EXPECT_EQ(keepAll->QueuedBytes(), 50u * 7680);

    // Once readers are announced, only their streams are kept.
    auto selective = Open(bytes);
    ASSERT_NE(selective, nullptr);
    selective->AddVideoReader(0);
    uint64_t peak = 0;
    int frames = 0;
    while (selective->AdvanceVideo(0)) {
        ++frames;
        peak = std::max(peak, selective->QueuedBytes());
    }
    EXPECT_EQ(frames, 50);
    EXPECT_LE(peak, 1000u);

    // Both streams read in step: the queue holds at most what one interleave step puts
    // between them; releasing the audio reader empties its queue.
    auto both = Open(bytes);
    ASSERT_NE(both, nullptr);
    both->AddVideoReader(0);
    both->AddAudioReader(0);
    peak = 0;
    while (both->AdvanceVideo(0) && both->AdvanceAudio(0)) {
        peak = std::max(peak, both->QueuedBytes());
    }
    EXPECT_LE(peak, 1000u + 7680u);
    both->RemoveAudioReader(0);
    EXPECT_EQ(both->QueuedBytes(), 0u);
}

}  // namespace
