// Every reader against cut and corrupted copies of valid files: each must open or
// refuse, and then read to an end, without crashing, hanging or allocating without
// bound (run under the sanitizers to see the difference).
#include <gtest/gtest.h>

#include <random>

#include "sources/AacAudioGrabber.h"
#include "sources/AacInputFile.h"
#include "sources/AviAudioGrabber.h"
#include "sources/AviInputFile.h"
#include "sources/AviVideoGrabber.h"
#include "sources/TimelineGrabbers.h"
#include "sources/WavAudioGrabber.h"
#include "sources/WavInputFile.h"
#include "tests/sources/TempFiles.h"
#include "tests/support/TestMux.h"
#include "tests/support/AdtsBuilder.h"
#include "tests/support/AviBuilder.h"
#include "tests/support/WavBuilder.h"

namespace {

// Far more steps than any fixture here has frames: reaching it means a reader spins.
constexpr int kStepLimit = 10000;

std::vector<uint8_t> AviFixture(bool openDml) {
    AviBuilder avi;
    avi.openDmlIndex = openDml;
    int video = avi.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
    int text = avi.AddStream(AviBuilder::Other());
    int audio = avi.AddStream(AviBuilder::Audio(1, 2, 8000, 16));
    for (int i = 0; i < 6; ++i) {
        if (i == 4 && openDml) {
            avi.StartExtension();
        }
        if (i % 3 == 1) {
            avi.BeginRec();
        }
        avi.AddPatternChunk(video, 5 + static_cast<uint32_t>(i) * 3, i % 2 == 0, static_cast<uint8_t>(i));
        avi.AddPatternChunk(audio, 16 + static_cast<uint32_t>(i));
        if (i % 3 == 1) {
            avi.EndRec();
        }
        avi.AddPatternChunk(text, 3);
    }
    return avi.Build();
}

std::vector<uint8_t> WavFixture() {
    WavBuilder wav;
    wav.formatTag = 0xFFFE;
    wav.chunksBeforeData = {{"LIST", {'I', 'N', 'F', 'O', 1}}};
    std::vector<int16_t> samples(300);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(i * 77);
    }
    wav.SetSamples(samples);
    return wav.Build();
}

std::vector<uint8_t> AdtsFixture() {
    AdtsBuilder aac;
    aac.AddFrame(AdtsFrameSpec().Payload(30, 1));
    aac.AddFrame(AdtsFrameSpec().Crc().Blocks(2).Payload(25, 2));
    aac.AddFrame(AdtsFrameSpec().Payload(40, 3));
    return aac.Build();
}

void ReadAvi(const std::wstring& path) {
    AviInputFile input;
    input.name = path;
    if (!input.Open()) {
        return;
    }
    CAviFile& file = input.GetFile();
    TestMux mux;
    CAviVideoGrabber video;
    CAviAudioGrabber audio;
    bool haveVideo = file.VideoStreamCount() > 0 && video.Init(&file, 0, 0, 0, 1, 1, 0, mux.Get());
    bool haveAudio = file.AudioStreamCount() > 0 && audio.Init(&file, 0, 1, mux.Get());
    if (haveVideo) {
        file.VideoKeyFrameCount(0);
        CAviTimelineGrabber timeline;
        timeline.Init(&file, 0, video.GetDescriptor(), 2, mux.Get());
    }
    int steps = 0;
    while ((haveVideo || haveAudio) && steps++ < kStepLimit) {
        if (haveVideo) {
            uint32_t size, type;
            int64_t time;
            haveVideo = video.GrabFrame(&size, &type, &time) != nullptr;
        }
        if (haveAudio) {
            uint32_t samples = 5, size;
            int64_t time;
            haveAudio = audio.GrabSamples(&samples, &size, &time) != nullptr;
            audio.ReleaseSamples(size);
        }
    }
    EXPECT_LT(steps, kStepLimit);
}

void ReadWav(const std::wstring& path) {
    WavInputFile input;
    input.name = path;
    if (!input.Open()) {
        return;
    }
    TestMux mux;
    CWavAudioGrabber grabber;
    if (!grabber.Init(&input.GetReader(), 0, mux.Get())) {
        return;
    }
    int steps = 0;
    uint32_t samples = 64, size;
    int64_t time;
    while (steps++ < kStepLimit && grabber.GrabSamples(&samples, &size, &time) != nullptr) {
        grabber.ReleaseSamples(size);
        samples = 64;
    }
    EXPECT_LT(steps, kStepLimit);
}

void ReadAac(const std::wstring& path) {
    AacInputFile input;
    input.name = path;
    if (!input.Open()) {
        return;
    }
    TestMux mux;
    CAacAudioGrabber grabber;
    if (!grabber.Init(&input.GetReader(), 0, mux.Get())) {
        return;
    }
    int steps = 0;
    uint32_t samples = 1024, size;
    int64_t time;
    while (steps++ < kStepLimit && grabber.GrabSamples(&samples, &size, &time) != nullptr) {
        grabber.ReleaseSamples(size);
        samples = 1024;
    }
    EXPECT_LT(steps, kStepLimit);
}

using ReadFunction = void (*)(const std::wstring&);

// A fresh file each time: rewriting one in place makes some file systems flush it to
// disk on every close, which is slow.
std::wstring WriteFresh(const TempFolder& folder, const std::vector<uint8_t>& bytes) {
    std::filesystem::remove(folder.Path("case"));
    return folder.Write("case", bytes);
}

// Every prefix of the file, then many copies with a few bytes replaced at random (the
// same sequence on every run).
void Batter(const std::vector<uint8_t>& original, ReadFunction read, uint32_t seed) {
    TempFolder folder;
    for (size_t length = 0; length < original.size(); ++length) {
        std::vector<uint8_t> cut(original.begin(), original.begin() + static_cast<long>(length));
        read(WriteFresh(folder, cut));
        if (testing::Test::HasFailure()) {
            ADD_FAILURE() << "cut to " << length << " bytes";
            return;
        }
    }
    std::mt19937 random(seed);
    for (int round = 0; round < 1500; ++round) {
        std::vector<uint8_t> bytes = original;
        int flips = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i) {
            size_t at = random() % bytes.size();
            // Mostly small changes, sometimes extreme values, which hit size fields hardest.
            switch (random() % 3) {
                case 0: bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8)); break;
                case 1: bytes[at] = 0xFF; break;
                default: bytes[at] = static_cast<uint8_t>(random()); break;
            }
        }
        read(WriteFresh(folder, bytes));
        if (testing::Test::HasFailure()) {
            ADD_FAILURE() << "round " << round;
            return;
        }
    }
}

TEST(DamagedInputTest, AviWithLegacyIndex) {
    Batter(AviFixture(false), ReadAvi, 1);
}

TEST(DamagedInputTest, AviWithOpenDmlIndexAndExtension) {
    Batter(AviFixture(true), ReadAvi, 2);
}

TEST(DamagedInputTest, Wav) {
    Batter(WavFixture(), ReadWav, 3);
}

TEST(DamagedInputTest, Adts) {
    Batter(AdtsFixture(), ReadAac, 4);
}

}  // namespace
