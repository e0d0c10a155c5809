#pragma once
// Encodes the PCM 16 output of an audio source to DSP-ADPCM through the codec library
// loaded at run time ("WaveCodecPxn.dll"; the platform maps the name to its own
// convention). Whole blocks of 1024 samples per channel are encoded, each with 32 samples
// of history in front (16 of silence before the first block), so a frame of N new
// samples reports N + 32.
//
// Frame: per channel in order, a 38-byte header (the coding record's 8 coefficient pairs,
// then its pred_scale, yn1 and yn2) followed by getBytesForAdpcmSamples(N + 32) bytes.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/FrameSources.h"
#include "platform/Console.h"
#include "platform/System.h"
#include "wavecodec/WaveCodecPxnApi.h"

class CDspAdpcmGrabber final : public CAudioGrabber {
public:
    static constexpr const wchar_t* kLibraryName = L"WaveCodecPxn.dll";
    static constexpr const wchar_t* kSdkVariable = L"PXNSDK_ROOT";
    static constexpr uint32_t kBlockSamples = 1024;
    static constexpr uint32_t kHistorySamples = 32;
    static constexpr uint32_t kFirstSilence = 16;
    static constexpr uint32_t kHeaderBytes = 38;

    // The loader's two messages go to `console`'s standard error. `libraryName` is the
    // library to load, named the Windows way.
    explicit CDspAdpcmGrabber(Platform::Console& console,
                              std::wstring libraryName = kLibraryName);
    ~CDspAdpcmGrabber() override;

    uint32_t GetBlockSize() override { return kBlockSamples; }
    Korva::StreamAudio* GetStream() override;
    int64_t GetSamplePosition() override;
    const uint8_t* GrabSamples(uint32_t* samples, uint32_t* size, int64_t* time) override;
    // The source was released inside GrabSamples.
    void ReleaseSamples(uint32_t) override { lastSize_ = 0; }

    // Fails, leaving `source` with the caller and its descriptor unchanged, when the
    // source is not PCM 16 or the library cannot be loaded (with a message) or lacks an
    // entry point (without one). On success takes ownership of `source` and declares the
    // shared descriptor as DSP-ADPCM.
    bool Init(CAudioGrabber* source);

private:
    bool LoadCodecLibrary();

    Platform::Console& console_;
    std::wstring libraryName_;
    Platform::DynamicLibrary library_;
    std::unique_ptr<CAudioGrabber> source_;
    uint32_t channels_ = 0;
    std::vector<std::vector<int16_t>> channelBuffers_;
    uint32_t capacity_ = 0;  // samples in each channel buffer
    std::vector<uint8_t> output_;
    uint32_t lastSize_ = 0;
    bool encodedAny_ = false;
    DspAdpcmBytesForSamples bytesForSamples_ = nullptr;
    DspAdpcmBytesForBuffer bytesForBuffer_ = nullptr;
    DspAdpcmEncode encode_ = nullptr;
};
