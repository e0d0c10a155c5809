#include "korva/StreamDescriptors.h"

#include <gtest/gtest.h>

#include <vector>

#include "korva/StreamRegistry.h"
#include "tests/korva/KorvaTestMemory.h"

namespace {

template <typename T>
T* Create(Korva::StreamRegistry& registry, KorvaTestMemory& memory, uint32_t type) {
    return static_cast<T*>(registry.Create(type, &memory, nullptr));
}

std::vector<uint8_t> Serialize(Korva::Stream& stream) {
    uint8_t out[64] = {};
    const int n = stream.Serialize(out);
    EXPECT_EQ(static_cast<uint32_t>(n), stream.RecordSize());
    return std::vector<uint8_t>(out, out + n);
}

class StreamDescriptors : public ::testing::Test {
protected:
    ~StreamDescriptors() override { EXPECT_TRUE(memory.live.empty()); }
    KorvaTestMemory memory;
    Korva::StreamRegistry registry;
};

TEST_F(StreamDescriptors, FactoriesSetTheCommonFields) {
    const struct {
        uint32_t type;
        uint32_t size;
    } cases[] = {{Korva::kTypeVideo, 12},
                 {Korva::kTypeAudio, 6},
                 {Korva::kTypeVideoWithLayout, 13},
                 {Korva::kTypeTimeline, 2}};
    for (const auto& c : cases) {
        Korva::Stream* stream = registry.Create(c.type, &memory, nullptr);
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(stream->type, c.type);
        EXPECT_EQ(stream->size, c.size);
        EXPECT_EQ(stream->index, -1);
        EXPECT_EQ(stream->memory, &memory);
        EXPECT_EQ(stream->extra, nullptr);
        EXPECT_TRUE(stream->IsStream());
        EXPECT_TRUE(registry.Find(c.type)->assignsIndex);
        Korva::DestroyStream(stream);
    }
    EXPECT_EQ(registry.Count(), 4u);
    EXPECT_EQ(registry.Find(0), nullptr);
    EXPECT_EQ(registry.Create(5, &memory, nullptr), nullptr);

    auto* layout = Create<Korva::StreamVideoWithLayout>(registry, memory,
                                                        Korva::kTypeVideoWithLayout);
    EXPECT_EQ(layout->layout, Korva::kLayoutNone);
    EXPECT_EQ(layout->rotation, Korva::kRotationNone);
    Korva::DestroyStream(layout);

    memory.failAll = true;
    EXPECT_EQ(registry.Create(Korva::kTypeAudio, &memory, nullptr), nullptr);
    EXPECT_EQ(memory.fatalCount, 0);  // a factory reports nothing itself
}

TEST_F(StreamDescriptors, VideoWithLayoutRecord) {
    auto* video = Create<Korva::StreamVideoWithLayout>(registry, memory,
                                                       Korva::kTypeVideoWithLayout);
    EXPECT_EQ(Serialize(*video).size(), 15u);
    EXPECT_EQ(Serialize(*video)[0], 0x03);
    EXPECT_EQ(Serialize(*video)[1], 0x0D);
    EXPECT_EQ(Serialize(*video)[14], 0x06);

    video->index = 5;
    video->codec = Korva::kVideoCodecTarsicHd;
    video->rateNum = 30000;
    video->rateDen = 1001;
    video->width = 1920;
    video->height = 1080;
    video->pixelNum = 1;
    video->pixelDen = 2;
    video->layout = Korva::kLayoutSideBySideRightFirst;
    video->rotation = Korva::kRotation270;
    const std::vector<uint8_t> bytes = Serialize(*video);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x03, 0x0D, 5, 2, 0x75, 0x30, 0x03, 0xE9, 0x07, 0x80,
                                           0x04, 0x38, 1, 2, 0x35}));

    auto* parsed = Create<Korva::StreamVideoWithLayout>(registry, memory,
                                                        Korva::kTypeVideoWithLayout);
    EXPECT_EQ(parsed->Parse(bytes.data() + 2, 13), 13);
    EXPECT_TRUE(parsed->Equals(*video));
    EXPECT_EQ(parsed->index, 5);
    EXPECT_EQ(parsed->rotation, Korva::kRotation270);
    EXPECT_EQ(parsed->layout, Korva::kLayoutSideBySideRightFirst);
    EXPECT_EQ(Serialize(*parsed), bytes);
    Korva::DestroyStream(parsed);
    Korva::DestroyStream(video);
}

TEST_F(StreamDescriptors, AudioRecordPacksFrequencyAndChannels) {
    auto* audio = Create<Korva::StreamAudio>(registry, memory, Korva::kTypeAudio);
    audio->index = 1;
    audio->codec = Korva::kAudioCodecImaAdpcm;
    audio->frequency = 48000;
    audio->channels = 2;
    const std::vector<uint8_t> bytes = Serialize(*audio);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x02, 0x06, 1, 1, 0x00, 0xBB, 0x7F, 0x01}));

    auto* parsed = Create<Korva::StreamAudio>(registry, memory, Korva::kTypeAudio);
    EXPECT_EQ(parsed->Parse(bytes.data() + 2, 6), 6);
    EXPECT_EQ(parsed->frequency, 48000u);
    EXPECT_EQ(parsed->channels, 2u);
    EXPECT_TRUE(parsed->Equals(*audio));

    // The extremes of both ranges survive the packing.
    audio->frequency = 16777216;
    audio->channels = 256;
    const std::vector<uint8_t> wide = Serialize(*audio);
    EXPECT_EQ(parsed->Parse(wide.data() + 2, 6), 6);
    EXPECT_EQ(parsed->frequency, 16777216u);
    EXPECT_EQ(parsed->channels, 256u);
    Korva::DestroyStream(parsed);
    Korva::DestroyStream(audio);
}

TEST_F(StreamDescriptors, TimelineRecord) {
    auto* timeline = Create<Korva::StreamTimeline>(registry, memory, Korva::kTypeTimeline);
    timeline->index = 3;
    timeline->refIndex = 0;
    EXPECT_EQ(Serialize(*timeline), (std::vector<uint8_t>{0x04, 0x02, 3, 0}));
    auto* parsed = Create<Korva::StreamTimeline>(registry, memory, Korva::kTypeTimeline);
    const uint8_t payload[] = {7, 2};
    EXPECT_EQ(parsed->Parse(payload, 2), 2);
    EXPECT_EQ(parsed->index, 7);
    EXPECT_EQ(parsed->refIndex, 2);
    EXPECT_FALSE(parsed->Equals(*timeline));
    parsed->CopyFrom(*timeline);
    EXPECT_TRUE(parsed->Equals(*timeline));
    EXPECT_EQ(parsed->index, 7);  // never copied
    Korva::DestroyStream(parsed);
    Korva::DestroyStream(timeline);
}

TEST_F(StreamDescriptors, ShortPayloadsParseToMinusOneKeepingWhatWasRead) {
    const uint8_t payload[13] = {9, 1, 0, 25, 0, 1, 1, 64, 0, 240, 1, 1, 0x06};
    auto* video = Create<Korva::StreamVideo>(registry, memory, Korva::kTypeVideo);
    EXPECT_EQ(video->Parse(payload, 11), -1);
    EXPECT_EQ(video->index, 9);
    EXPECT_EQ(video->codec, 1);
    EXPECT_EQ(video->Parse(payload, 12), 12);
    EXPECT_EQ(video->width, 320);

    auto* layout = Create<Korva::StreamVideoWithLayout>(registry, memory,
                                                        Korva::kTypeVideoWithLayout);
    EXPECT_EQ(layout->Parse(payload, 12), -1);
    EXPECT_EQ(layout->Parse(payload, 13), 13);

    auto* audio = Create<Korva::StreamAudio>(registry, memory, Korva::kTypeAudio);
    EXPECT_EQ(audio->Parse(payload, 0), -1);
    EXPECT_EQ(audio->index, -1);
    EXPECT_EQ(audio->Parse(payload, 5), -1);
    EXPECT_EQ(audio->codec, 1);

    auto* timeline = Create<Korva::StreamTimeline>(registry, memory, Korva::kTypeTimeline);
    EXPECT_EQ(timeline->Parse(payload, 1), -1);
    EXPECT_EQ(timeline->index, 9);
    for (Korva::Stream* s : std::initializer_list<Korva::Stream*>{video, layout, audio, timeline}) {
        Korva::DestroyStream(s);
    }
}

TEST_F(StreamDescriptors, EqualsIgnoresIndexAndRotationCopyFromTakesRotation) {
    auto* a = Create<Korva::StreamVideoWithLayout>(registry, memory, Korva::kTypeVideoWithLayout);
    auto* b = Create<Korva::StreamVideoWithLayout>(registry, memory, Korva::kTypeVideoWithLayout);
    a->index = 1;
    b->index = 2;
    a->rotation = Korva::kRotation90;
    EXPECT_TRUE(a->Equals(*b));
    b->layout = Korva::kLayoutTopBottomLeftFirst;
    EXPECT_FALSE(a->Equals(*b));
    b->layout = a->layout;
    b->height = 2;
    EXPECT_FALSE(a->Equals(*b));
    b->CopyFrom(*a);
    EXPECT_TRUE(b->Equals(*a));
    EXPECT_EQ(b->rotation, Korva::kRotation90);
    EXPECT_EQ(b->index, 2);

    auto* x = Create<Korva::StreamAudio>(registry, memory, Korva::kTypeAudio);
    auto* y = Create<Korva::StreamAudio>(registry, memory, Korva::kTypeAudio);
    x->frequency = y->frequency = 44100;
    x->channels = 1;
    y->channels = 2;
    EXPECT_FALSE(x->Equals(*y));
    for (Korva::Stream* s : std::initializer_list<Korva::Stream*>{a, b, x, y}) {
        Korva::DestroyStream(s);
    }
}

// An attachment that records its destruction, standing in for the demuxer's queue.
class CountingAttachment final : public Korva::StreamAttachment {
public:
    explicit CountingAttachment(int* destroyed) : destroyed_(destroyed) {}
    ~CountingAttachment() override { ++*destroyed_; }

private:
    int* destroyed_;
};

TEST_F(StreamDescriptors, DestroyingADescriptorDestroysAndFreesItsAttachment) {
    int destroyed = 0;
    void* block = memory.Alloc(sizeof(CountingAttachment));
    auto* attachment = new (block) CountingAttachment(&destroyed);
    Korva::Stream* stream = registry.Create(Korva::kTypeAudio, &memory, attachment);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->extra, attachment);
    Korva::DestroyStream(stream);
    EXPECT_EQ(destroyed, 1);
    // The fixture checks that both blocks went back to the memory.
}

}  // namespace
