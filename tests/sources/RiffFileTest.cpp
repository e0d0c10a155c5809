#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "sources/AviFile.h"
#include "sources/RiffFile.h"
#include "tests/sources/TempFiles.h"
#include "tests/support/AviBuilder.h"

namespace {

constexpr uint64_t kUnknown = UINT64_MAX;

// Read-ahead sizes that put buffer boundaries everywhere: none (every read goes to the
// file, the reference), tiny, odd, smaller and larger than the chunks, the default.
const uint32_t kReadAheads[] = {0, 1, 7, 64, 1000, 4096, CRiffFile::kDefaultReadAhead};

std::vector<uint8_t> NumberedBytes(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>((i * 131 + i / 256) & 0xFF);
    }
    return bytes;
}

// What one operation gave: its result, the position after it and any bytes read.
struct Step {
    bool ok = false;
    uint64_t position = 0;
    std::vector<uint8_t> bytes;
    bool operator==(const Step&) const = default;
};

// A walk of every chunk of the file, nested lists included, reading some chunks whole,
// some in two pieces and skipping the rest, recorded step by step.
void Walk(CRiffFile& file, std::vector<Step>* trace, int* counter) {
    ChunkHeader header;
    while (file.NextChunk(&header)) {
        Step step{true, file.GetPosition(), {}};
        for (uint64_t v : {uint64_t{header.listType}, uint64_t{header.id}, uint64_t{header.size},
                           header.dataPosition}) {
            for (int i = 0; i < 8; ++i) {
                step.bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
            }
        }
        trace->push_back(step);
        if (header.IsList()) {
            file.EnterList(header);
            Walk(file, trace, counter);
            file.LeaveList();
            continue;
        }
        switch ((*counter)++ % 3) {
            case 0: {
                Step read{false, 0, std::vector<uint8_t>(header.size)};
                read.ok = file.Read(read.bytes.data(), header.size);
                read.position = file.GetPosition();
                trace->push_back(read);
                break;
            }
            case 1: {
                uint32_t first = header.size / 3;
                for (uint32_t part : {first, header.size - first}) {
                    Step read{false, 0, std::vector<uint8_t>(part)};
                    read.ok = file.Read(read.bytes.data(), part);
                    read.position = file.GetPosition();
                    trace->push_back(read);
                }
                break;
            }
            default:
                break;  // skipped: the next NextChunk seeks past it
        }
    }
    trace->push_back({false, file.GetPosition(), {}});
}

class RiffFileTest : public ::testing::Test {
protected:
    TempFolder folder_;
};

// Random reads and seeks across the buffer's edges, backwards, past the end and
// straddling it, compared with the unbuffered reader and with the file's bytes.
TEST_F(RiffFileTest, RandomReadsAndSeeksMatchTheUnbufferedReader) {
    const std::vector<uint8_t> content = NumberedBytes(20011);
    const std::wstring path = folder_.Write("numbers.bin", content);
    for (uint32_t readAhead : kReadAheads) {
        SCOPED_TRACE("read-ahead " + std::to_string(readAhead));
        CRiffFile reference(0);
        CRiffFile buffered(readAhead);
        ASSERT_TRUE(reference.Open(path));
        ASSERT_TRUE(buffered.Open(path));
        EXPECT_EQ(buffered.GetFileSize(), content.size());
        std::mt19937 random(12345);
        uint64_t expected = 0;
        for (int i = 0; i < 3000; ++i) {
            const uint32_t pick = random() % 10;
            if (pick < 6) {
                // Mostly small reads, a few larger than the smaller buffers.
                const uint32_t count =
                    pick == 0 ? static_cast<uint32_t>(random() % 6000) : random() % 40;
                std::vector<uint8_t> a(count), b(count);
                const bool okA = reference.Read(a.data(), count);
                const bool okB = buffered.Read(b.data(), count);
                ASSERT_EQ(okA, okB) << "read " << count << " at step " << i;
                ASSERT_EQ(reference.GetPosition(), buffered.GetPosition());
                const bool fits = expected != kUnknown && expected + count <= content.size();
                ASSERT_EQ(okB, fits || count == 0) << "read " << count << " at " << expected;
                if (count == 0) {
                    continue;
                }
                if (okB) {
                    ASSERT_EQ(a, b);
                    ASSERT_TRUE(std::equal(b.begin(), b.end(), content.begin() + expected));
                    expected += count;
                } else {
                    expected = kUnknown;
                }
                ASSERT_EQ(buffered.GetPosition(), expected);
            } else {
                // Near the current position (inside or just outside the window), far
                // away, or past the end.
                uint64_t target;
                if (pick < 8 && expected != kUnknown) {
                    target = expected + (random() % 200) - std::min<uint64_t>(expected, 100);
                } else if (pick < 9) {
                    target = random() % (content.size() + 1);
                } else {
                    target = content.size() + random() % 50;
                }
                ASSERT_EQ(reference.Seek(target), buffered.Seek(target)) << "seek " << target;
                ASSERT_EQ(reference.GetPosition(), buffered.GetPosition());
                expected = buffered.GetPosition();
            }
        }
    }
}

TEST_F(RiffFileTest, ReadStraddlingTheEndFailsAndASeekRecovers) {
    const std::vector<uint8_t> content = NumberedBytes(5000);
    const std::wstring path = folder_.Write("short.bin", content);
    for (uint32_t readAhead : kReadAheads) {
        SCOPED_TRACE("read-ahead " + std::to_string(readAhead));
        CRiffFile file(readAhead);
        ASSERT_TRUE(file.Open(path));
        std::vector<uint8_t> bytes(100);
        ASSERT_TRUE(file.Seek(4950));
        ASSERT_TRUE(file.Read(bytes.data(), 40));
        // 10 bytes remain: asking for 11 fails and the position is no longer known.
        EXPECT_FALSE(file.Read(bytes.data(), 11));
        EXPECT_EQ(file.GetPosition(), kUnknown);
        // Until a seek, nothing is read from an unknown position.
        EXPECT_FALSE(file.Read(bytes.data(), 1));
        EXPECT_EQ(file.GetPosition(), kUnknown);
        ASSERT_TRUE(file.Seek(4990));
        ASSERT_TRUE(file.Read(bytes.data(), 10));
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 10, content.begin() + 4990));
        EXPECT_EQ(file.GetPosition(), 5000u);
        EXPECT_FALSE(file.Read(bytes.data(), 1));
        // A seek beyond what a file position can hold fails.
        EXPECT_FALSE(file.Seek(UINT64_MAX - 1));
        EXPECT_EQ(file.GetPosition(), kUnknown);
        // Once closed, nothing comes from memory either.
        ASSERT_TRUE(file.Seek(0));
        ASSERT_TRUE(file.Read(bytes.data(), 2));
        file.Close();
        EXPECT_FALSE(file.Read(bytes.data(), 2));
        EXPECT_FALSE(file.Seek(1));
    }
}

// The chunk walk over an AVI with odd chunks (padding bytes), rec lists, junk and an
// extension list sees the same headers, positions and bytes whatever the buffer.
TEST_F(RiffFileTest, ChunkWalkOfAnAviIsTheSameWithEveryBuffer) {
    AviBuilder avi;
    avi.openDmlIndex = true;
    avi.junkBeforeMovi = 33;
    const int video = avi.AddStream(AviBuilder::Video("TZNK", 25, 1, 64, 48));
    const int audio = avi.AddStream(AviBuilder::Audio(1, 2, 48000, 16));
    for (uint32_t i = 0; i < 60; ++i) {
        if (i == 40) {
            avi.StartExtension();
        }
        if (i % 10 == 5) {
            avi.BeginRec();
        }
        avi.AddPatternChunk(video, 1 + (i * 977) % 3001, i % 12 == 0, static_cast<uint8_t>(i));
        avi.AddPatternChunk(audio, 2 * i + 1, true, static_cast<uint8_t>(i + 100));
        if (i % 10 == 5) {
            avi.EndRec();
        }
        if (i % 7 == 3) {
            avi.AddRawChunk("JUNK", std::vector<uint8_t>(i, 0xEE));
        }
    }
    const std::wstring path = folder_.Write("walk.avi", avi.Build());

    std::vector<Step> reference;
    for (uint32_t readAhead : kReadAheads) {
        SCOPED_TRACE("read-ahead " + std::to_string(readAhead));
        CRiffFile file(readAhead);
        ASSERT_TRUE(file.Open(path));
        std::vector<Step> trace;
        int counter = 0;
        Walk(file, &trace, &counter);
        if (readAhead == 0) {
            reference = trace;
            ASSERT_GT(reference.size(), 300u);
        } else {
            ASSERT_EQ(trace.size(), reference.size());
            for (size_t i = 0; i < trace.size(); ++i) {
                ASSERT_EQ(trace[i], reference[i]) << "step " << i;
            }
        }
    }
}

// A file several times the default buffer, with chunks larger than the buffer (read
// straight to memory) among odd small ones; then the same file cut in half: every
// stream gets its exact bytes and the walk ends at the cut.
TEST_F(RiffFileTest, AviStreamsAcrossManyBuffersKeepTheirBytes) {
    // No index: a cut file must still open.
    AviBuilder avi;
    avi.legacyIndex = false;
    const int video = avi.AddStream(AviBuilder::Video("TZNK", 25, 1, 64, 48));
    const int audio = avi.AddStream(AviBuilder::Audio(1, 2, 48000, 16));
    std::vector<uint32_t> videoSizes;
    std::vector<uint32_t> audioSizes;
    for (uint32_t i = 0; i < 200; ++i) {
        const uint32_t videoSize =
            i % 50 == 7 ? CRiffFile::kDefaultReadAhead + 4097 : 20001 + (i * 7919) % 9000;
        avi.AddPatternChunk(video, videoSize, i % 25 == 0, static_cast<uint8_t>(i));
        avi.AddPatternChunk(audio, 3841 + i % 2, true, static_cast<uint8_t>(i ^ 0x5A));
        videoSizes.push_back(videoSize);
        audioSizes.push_back(3841 + i % 2);
    }
    std::vector<uint8_t> bytes = avi.Build();
    ASSERT_GT(bytes.size(), 4 * static_cast<size_t>(CRiffFile::kDefaultReadAhead));

    for (bool truncated : {false, true}) {
        SCOPED_TRACE(truncated ? "truncated" : "whole");
        std::vector<uint8_t> file = bytes;
        if (truncated) {
            file.resize(bytes.size() / 2);
        }
        const std::wstring path = folder_.Write(truncated ? "cut.avi" : "whole.avi", file);
        CAviFile reader;
        ASSERT_TRUE(reader.Open(path));
        uint32_t delivered = 0;
        for (uint32_t i = 0; i < 200; ++i) {
            if (!reader.AdvanceVideo(0)) {
                break;
            }
            ASSERT_EQ(reader.VideoChunkSize(0), videoSizes[i]);
            ASSERT_EQ(std::vector<uint8_t>(reader.VideoChunkData(0),
                                           reader.VideoChunkData(0) + videoSizes[i]),
                      PatternBytes(videoSizes[i], static_cast<uint8_t>(i)))
                << "video chunk " << i;
            if (!reader.AdvanceAudio(0)) {
                ASSERT_TRUE(truncated) << "audio chunk " << i;
                break;
            }
            ASSERT_EQ(reader.AudioChunkSize(0), audioSizes[i]);
            ASSERT_EQ(std::vector<uint8_t>(reader.AudioChunkData(0),
                                           reader.AudioChunkData(0) + audioSizes[i]),
                      PatternBytes(audioSizes[i], static_cast<uint8_t>(i ^ 0x5A)))
                << "audio chunk " << i;
            ++delivered;
        }
        if (truncated) {
            EXPECT_GT(delivered, 10u);
            EXPECT_LT(delivered, 200u);
        } else {
            EXPECT_EQ(delivered, 200u);
            EXPECT_FALSE(reader.AdvanceVideo(0));
        }
    }
}

}  // namespace
