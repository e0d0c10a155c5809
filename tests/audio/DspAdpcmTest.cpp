#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <memory>
#include <random>

#include "audio/CDspAdpcmGrabber.h"
#include "korva/StreamDescriptors.h"
#include "platform/Console.h"
#include "platform/System.h"
#include "platform/WideText.h"
#include "tests/audio/FakePcmGrabber.h"
#include "tests/audio/ScopedEnvironment.h"
#include "tests/audio/TestSignals.h"
#include "tests/support/DspAdpcmDecoder.h"

namespace fs = std::filesystem;

namespace {

// The codec library as built, next to the test program.
class CodecLibrary {
public:
    CodecLibrary() {
        EXPECT_TRUE(library_.LoadByName(L"WaveCodecPxn.dll"));
        bytesForSamples = reinterpret_cast<DspAdpcmBytesForSamples>(
            library_.Find("getBytesForAdpcmSamples"));
        bytesForBuffer =
            reinterpret_cast<DspAdpcmBytesForBuffer>(library_.Find("getBytesForAdpcmBuffer"));
        encode = reinterpret_cast<DspAdpcmEncode>(library_.Find("encode"));
    }
    bool Complete() const { return bytesForSamples && bytesForBuffer && encode; }

    DspAdpcmBytesForSamples bytesForSamples = nullptr;
    DspAdpcmBytesForBuffer bytesForBuffer = nullptr;
    DspAdpcmEncode encode = nullptr;

private:
    Platform::DynamicLibrary library_;
};

fs::path BuiltLibraryPath() {
    return fs::path(Platform::ExecutableFolder()) /
           fs::path(Platform::DynamicLibrary::NativeFileName(L"WaveCodecPxn.dll"));
}

// A fresh, empty folder under the system's temporary folder.
fs::path FreshFolder(const char* name) {
    fs::path folder = fs::temp_directory_path() / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::vector<int16_t> DecodeChannel(const std::vector<uint8_t>& data,
                                   const DspAdpcmCodingInfo& info, uint32_t samples) {
    std::vector<int16_t> out;
    EXPECT_TRUE(DecodeDspAdpcm(data.data(), data.size(), info.coef, info.yn1, info.yn2, samples,
                               &out));
    return out;
}

}  // namespace

TEST(WaveCodecPxn, SizesFollowTheFrameFormat) {
    CodecLibrary codec;
    ASSERT_TRUE(codec.Complete());
    const struct {
        uint32_t samples, bytes;
    } cases[] = {{0, 0}, {1, 8}, {14, 8}, {15, 16}, {2080, 1192}, {1056, 608}};
    for (const auto& c : cases) {
        EXPECT_EQ(codec.bytesForSamples(c.samples), c.bytes) << c.samples;
        EXPECT_GE(codec.bytesForBuffer(c.samples), c.bytes) << c.samples;
        EXPECT_EQ(codec.bytesForBuffer(c.samples) % 32, 0u) << c.samples;
    }
}

TEST(WaveCodecPxn, EncodesSignalsTheDecoderReproduces) {
    CodecLibrary codec;
    ASSERT_TRUE(codec.Complete());
    std::mt19937 random(11);
    struct Case {
        const char* name;
        std::vector<int16_t> pcm;
        double minSnr;
    };
    std::vector<Case> cases;
    cases.push_back({"music", MusicLikeSignal(2080, 1), 35.0});
    cases.push_back({"silence", std::vector<int16_t>(1000, 0), 199.0});  // exact
    std::vector<int16_t> square(1003), noise(2080);
    for (size_t i = 0; i < square.size(); ++i) {
        square[i] = (i / 40) % 2 ? 32767 : -32768;
    }
    for (auto& v : noise) {
        v = static_cast<int16_t>(random());
    }
    cases.push_back({"full-scale square", square, 10.0});
    cases.push_back({"full-scale noise", noise, 10.0});
    for (const Case& c : cases) {
        const uint32_t n = static_cast<uint32_t>(c.pcm.size());
        // A guard byte past the buffer size the library asks for must stay untouched.
        std::vector<uint8_t> out(codec.bytesForBuffer(n) + 1, 0xAB);
        DspAdpcmCodingInfo info;
        std::memset(&info, 0x55, sizeof info);
        codec.encode(c.pcm.data(), out.data(), &info, n);
        EXPECT_EQ(out.back(), 0xAB) << c.name;
        out.resize(codec.bytesForSamples(n));
        EXPECT_EQ(info.gain, 0) << c.name;
        EXPECT_EQ(info.predScale, out[0]) << c.name;
        EXPECT_EQ(info.yn1, 0) << c.name;
        EXPECT_EQ(info.yn2, 0) << c.name;
        EXPECT_EQ(info.loopPredScale, 0) << c.name;
        EXPECT_EQ(info.loopYn1, 0) << c.name;
        EXPECT_EQ(info.loopYn2, 0) << c.name;
        for (size_t f = 0; f < out.size(); f += 8) {
            ASSERT_LE(out[f] & 0x0F, 12) << c.name << " frame " << f / 8;
        }
        const std::vector<int16_t> decoded = DecodeChannel(out, info, n);
        EXPECT_GT(SnrDb(c.pcm, decoded), c.minSnr) << c.name;
    }
}

TEST(DspAdpcmGrabber, RequestsAndFramePacking) {
    CodecLibrary codec;
    ASSERT_TRUE(codec.Complete());
    const std::vector<int16_t> pcm = MusicLikeSignal(2064 + 2048 + 2048 + 500, 2);
    auto* source = new FakePcmGrabber(pcm, 2, 48000);
    Platform::CaptureConsole console;
    CDspAdpcmGrabber encoder(console);
    ASSERT_TRUE(encoder.Init(source));
    EXPECT_EQ(encoder.GetStream()->codec, 4);
    EXPECT_EQ(encoder.GetBlockSize(), 1024u);

    uint32_t samples = 1023, size = 99;
    int64_t time = 0;
    EXPECT_EQ(encoder.GrabSamples(&samples, &size, &time), nullptr);
    EXPECT_EQ(samples, 0u);
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(source->requests.empty());

    // What the library makes of each channel's buffer, packed as the frame must be.
    std::vector<int16_t> history[2];
    int64_t consumed = 0;
    for (int frame = 0; frame < 3; ++frame) {
        samples = 2500;
        const uint8_t* data = encoder.GrabSamples(&samples, &size, &time);
        ASSERT_NE(data, nullptr) << frame;
        const uint32_t fresh = frame == 0 ? 2064 : 2048;
        EXPECT_EQ(source->requests.back(), fresh);
        EXPECT_EQ(samples, 2080u);
        EXPECT_EQ(size, 2 * (38u + 1192));
        EXPECT_EQ(time, consumed * 1000000 / 48000 + 1);
        consumed += fresh;
        EXPECT_EQ(encoder.GetSamplePosition(), consumed);

        for (uint32_t c = 0; c < 2; ++c) {
            std::vector<int16_t> buffer =
                frame == 0 ? std::vector<int16_t>(16, 0) : history[c];
            for (uint32_t k = 0; k < fresh; ++k) {
                buffer.push_back(pcm[(consumed - fresh + k) * 2 + c]);
            }
            ASSERT_EQ(buffer.size(), 2080u);
            std::vector<uint8_t> expected(codec.bytesForBuffer(2080));
            DspAdpcmCodingInfo info{};
            codec.encode(buffer.data(), expected.data(), &info, 2080);
            expected.resize(1192);
            const auto* record = reinterpret_cast<const uint8_t*>(&info);
            std::vector<uint8_t> header(record, record + 32);
            header.insert(header.end(), record + 34, record + 40);
            const uint8_t* block = data + c * (38 + 1192);
            EXPECT_EQ(std::vector<uint8_t>(block, block + 38), header) << frame << " " << c;
            EXPECT_EQ(std::vector<uint8_t>(block + 38, block + 38 + 1192), expected)
                << frame << " " << c;
            history[c].assign(buffer.end() - 32, buffer.end());
        }
        encoder.ReleaseSamples(size);
    }
    // 500 samples remain: short of a block, so not encoded and not released.
    samples = 1024;
    EXPECT_EQ(encoder.GrabSamples(&samples, &size, &time), nullptr);
    EXPECT_EQ(samples, 0u);
    EXPECT_EQ(encoder.GetSamplePosition(), consumed);
    EXPECT_TRUE(console.Err().empty());
}

TEST(DspAdpcmGrabber, StreamDecodesBackToTheSource) {
    const std::vector<int16_t> pcm = MusicLikeSignal(16 + 1024 * 12, 2);
    Platform::CaptureConsole console;
    CDspAdpcmGrabber encoder(console);
    ASSERT_TRUE(encoder.Init(new FakePcmGrabber(pcm, 2, 32000)));
    DspAdpcmStreamDecoder decoder(2);
    std::vector<int16_t> decoded;
    for (;;) {
        uint32_t samples = 3072, size = 0;
        int64_t time = 0;
        const uint8_t* data = encoder.GrabSamples(&samples, &size, &time);
        if (!data) {
            break;
        }
        ASSERT_TRUE(decoder.DecodeFrame(data, size, samples, &decoded));
    }
    ASSERT_EQ(decoded.size(), pcm.size());
    EXPECT_GT(SnrDb(pcm, decoded), 35.0);
}

TEST(DspAdpcmGrabber, InitRefusesSourcesThatAreNotPcm) {
    Platform::CaptureConsole console;
    FakePcmGrabber source(std::vector<int16_t>(2048), 1, 8000);
    source.GetStream()->codec = 3;
    CDspAdpcmGrabber encoder(console);
    EXPECT_FALSE(encoder.Init(&source));
    EXPECT_EQ(source.GetStream()->codec, 3);
    EXPECT_TRUE(console.Err().empty());
}

TEST(DspAdpcmGrabber, LoadsFromTheSdkFolder) {
    // A library under a name found nowhere but in the SDK folder, which holds it alone.
    const fs::path root = FreshFolder("cadro_audio_sdk");
    const fs::path tools = root / "tools" / "CommandLineTools";
    fs::create_directories(tools);
    const std::wstring name = L"WaveCodecPxnSdkOnly.dll";
    fs::copy_file(BuiltLibraryPath(),
                  tools / fs::path(Platform::DynamicLibrary::NativeFileName(name)));
    ScopedEnvironment sdk("PXNSDK_ROOT", root.string());

    Platform::CaptureConsole console;
    bool destroyed = false;
    auto* source = new FakePcmGrabber(MusicLikeSignal(2064, 1), 1, 8000, &destroyed);
    {
        CDspAdpcmGrabber encoder(console, name);
        ASSERT_TRUE(encoder.Init(source));
        uint32_t samples = 2048, size = 0;
        int64_t time = 0;
        EXPECT_NE(encoder.GrabSamples(&samples, &size, &time), nullptr);
        EXPECT_EQ(size, 38u + 1192);
    }
    EXPECT_TRUE(destroyed);
    EXPECT_TRUE(console.Err().empty());
    EXPECT_TRUE(console.Out().empty());
    fs::remove_all(root);
}

TEST(DspAdpcmGrabber, LoaderMessagesGoToStandardError) {
    const std::wstring name = L"WaveCodecPxnMissing.dll";
    const std::wstring shown = Platform::DynamicLibrary::NativeFileName(name);
    const fs::path emptyRoot = FreshFolder("cadro_audio_empty_sdk");
    struct Case {
        std::optional<std::string> root;
        std::wstring message;
    };
    const Case cases[] = {
        {std::nullopt,
         shown + L" could not be found, please define the PXNSDK_ROOT environment variable\n"},
        {emptyRoot.string(), shown + L" could not be found\n"},
        // A value far longer than any fixed path buffer is used whole and simply fails.
        {emptyRoot.string() + std::string(400, 'x'), shown + L" could not be found\n"},
    };
    for (const Case& c : cases) {
        ScopedEnvironment sdk("PXNSDK_ROOT", c.root);
        Platform::CaptureConsole console;
        FakePcmGrabber source(std::vector<int16_t>(2048), 1, 8000);
        CDspAdpcmGrabber encoder(console, name);
        EXPECT_FALSE(encoder.Init(&source));
        EXPECT_EQ(console.Err(), c.message);
        EXPECT_TRUE(console.Out().empty());
        EXPECT_EQ(source.GetStream()->codec, 2) << "a failed Init leaves the source as it was";
    }
    fs::remove_all(emptyRoot);
}
