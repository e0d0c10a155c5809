// Quality and speed of the three audio encoders on a speech clip and a music-like clip.
//
// Each clip is encoded by each encoder (through the same grabber interface the run loop
// uses), decoded with the test decoders, and compared with the original: SNR and
// segmental SNR (20 ms segments, silent ones skipped, each clamped to -10 ... 60 dB),
// plus encoding speed in samples per channel per second. The GSM 06.10 `toast` encoder is
// timed on the same 8 kHz speech as the Velune encoder.
//
// Clips are made at run time: speech with espeak-ng, the music-like clip with sox, and
// toast comes with libgsm-tools (Debian: apt-get install espeak-ng sox libgsm-tools).
// Without them the program falls back to clips synthesised here and skips toast.
//
// Usage: AudioQuality [work-folder]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/CDspAdpcmGrabber.h"
#include "audio/CImaAdpcmGrabber.h"
#include "audio/CVeluneGrabber.h"
#include "platform/Console.h"
#include "tests/audio/FakePcmGrabber.h"
#include "tests/support/DspAdpcmDecoder.h"
#include "tests/support/ImaAdpcmDecoder.h"
#include "tests/support/VeluneDecoder.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Clip {
    std::string name;
    uint32_t rate = 0;
    std::vector<int16_t> samples;  // mono
    std::string origin;
};

// Runs a shell command, its messages discarded; `command` may redirect its own output.
bool Run(const std::string& command, bool keepOutput = false) {
    return std::system((command + (keepOutput ? " 2>/dev/null" : " >/dev/null 2>&1")).c_str()) ==
           0;
}

bool HaveProgram(const char* name) {
    return Run(std::string("command -v ") + name);
}

std::vector<int16_t> ReadRaw(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<int16_t> out(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<int16_t>(static_cast<uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8));
    }
    return out;
}

void WriteRaw(const fs::path& path, const std::vector<int16_t>& samples) {
    std::ofstream out(path, std::ios::binary);
    for (int16_t v : samples) {
        const uint16_t u = static_cast<uint16_t>(v);
        out.put(static_cast<char>(u & 0xFF));
        out.put(static_cast<char>(u >> 8));
    }
}

const char* kSpeechText =
    "The quick brown fox jumps over the lazy dog. Every good boy deserves fruit. "
    "She sells sea shells by the sea shore, and the shells she sells are surely sea shells. "
    "Twelve twins twirled twelve twigs while a loud thunderstorm rolled over the hills.";

// Formant-like synthetic speech: voiced buzz through two moving resonances, with pauses.
std::vector<int16_t> SynthSpeech(uint32_t rate, double seconds) {
    std::vector<int16_t> out(static_cast<size_t>(rate * seconds));
    const double pi = 3.14159265358979323846;
    double y1[2] = {}, y2[2] = {}, phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        const double syllable = std::fmod(t, 0.25) / 0.25;
        const double envelope = syllable < 0.8 ? std::sin(pi * syllable / 0.8) : 0.0;
        const double pitch = 110 + 30 * std::sin(2 * pi * 0.7 * t);
        phase += pitch / rate;
        double x = (phase - std::floor(phase) < 0.05 ? 1.0 : 0.0) * envelope;
        const double formants[2] = {500 + 300 * std::sin(2 * pi * 1.3 * t),
                                    1500 + 700 * std::sin(2 * pi * 0.9 * t)};
        double v = 0;
        for (int k = 0; k < 2; ++k) {
            const double r = 0.97, w = 2 * pi * formants[k] / rate;
            const double y = x + 2 * r * std::cos(w) * y1[k] - r * r * y2[k];
            y2[k] = y1[k];
            y1[k] = y;
            v += y;
        }
        out[i] = static_cast<int16_t>(std::clamp(v * 600.0, -32768.0, 32767.0));
    }
    return out;
}

// Plucked chords with a bass line, in code.
std::vector<int16_t> SynthMusic(uint32_t rate, double seconds) {
    std::vector<int16_t> out(static_cast<size_t>(rate * seconds));
    const double pi = 3.14159265358979323846;
    const double roots[4] = {261.63, 220.0, 174.61, 196.0};
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        const int bar = static_cast<int>(t) % 4;
        const double local = t - std::floor(t);
        const double f = roots[bar];
        double v = 0;
        const double ratios[3] = {1.0, 1.26, 1.5};
        for (double ratio : ratios) {
            for (int h = 1; h <= 4; ++h) {
                v += std::exp(-3.0 * local * h) * std::sin(2 * pi * f * ratio * h * t) / h;
            }
        }
        v += 0.8 * std::sin(2 * pi * f / 2 * t);
        out[i] = static_cast<int16_t>(std::clamp(v * 4500.0, -32768.0, 32767.0));
    }
    return out;
}

Clip MakeSpeech(const fs::path& work) {
    Clip clip{"speech", 8000, {}, "synthesised"};
    const fs::path raw = work / "speech8k.raw";
    if (HaveProgram("espeak-ng") && HaveProgram("sox") &&
        Run("espeak-ng -s 150 -w '" + (work / "speech.wav").string() + "' \"" + kSpeechText +
            "\"") &&
        Run("sox '" + (work / "speech.wav").string() + "' -r 8000 -c 1 -b 16 -e signed -L -t raw '" +
            raw.string() + "' norm -3")) {
        clip.samples = ReadRaw(raw);
        clip.origin = "espeak-ng + sox";
    }
    if (clip.samples.empty()) {
        clip.samples = SynthSpeech(8000, 12);
    }
    return clip;
}

Clip MakeMusic(const fs::path& work) {
    Clip clip{"music-like", 32000, {}, "synthesised"};
    const fs::path raw = work / "music32k.raw";
    // Eight bars of plucked triads over a sine bass, with tremolo and a little reverb.
    const char* chords[] = {"C4 pluck E4 pluck G4 sine C2", "A3 pluck C4 pluck E4 sine A1",
                            "F3 pluck A3 pluck C4 sine F1", "G3 pluck B3 pluck D4 sine G1"};
    bool made = HaveProgram("sox");
    std::string bars;
    for (int bar = 0; made && bar < 8; ++bar) {
        const fs::path file = work / ("bar" + std::to_string(bar) + ".wav");
        made = Run("sox -n -r 32000 -c 4 -b 16 '" + file.string() + "' synth 1 pluck " +
                   chords[bar % 4]);
        bars += " '" + file.string() + "'";
    }
    const std::string command = "sox" + bars + " -c 1 -b 16 -e signed -L -t raw '" +
                                raw.string() + "' remix 1-4 tremolo 3 30 reverb 30 norm -3";
    if (made && Run(command)) {
        clip.samples = ReadRaw(raw);
        clip.origin = "sox";
    }
    if (clip.samples.empty()) {
        clip.samples = SynthMusic(32000, 8);
    }
    return clip;
}

struct Result {
    double snr = 0, segSnr = 0, samplesPerSecond = 0;
    bool ok = false;
};

double Snr(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    double s = 0, n = 0;
    const size_t len = std::min(a.size(), b.size());
    for (size_t i = 0; i < len; ++i) {
        const double d = double(a[i]) - b[i];
        s += double(a[i]) * a[i];
        n += d * d;
    }
    return n == 0 ? 99.0 : 10 * std::log10(s / n);
}

double SegmentalSnr(const std::vector<int16_t>& a, const std::vector<int16_t>& b, uint32_t rate) {
    const size_t segment = rate / 50;
    const size_t len = std::min(a.size(), b.size());
    double sum = 0;
    int count = 0;
    for (size_t start = 0; start + segment <= len; start += segment) {
        double s = 0, n = 0;
        for (size_t i = start; i < start + segment; ++i) {
            const double d = double(a[i]) - b[i];
            s += double(a[i]) * a[i];
            n += d * d;
        }
        if (s / segment < 100.0) {
            continue;  // silence
        }
        sum += std::clamp(n == 0 ? 60.0 : 10 * std::log10(s / n), -10.0, 60.0);
        ++count;
    }
    return count ? sum / count : 0;
}

// Encodes the whole clip with a freshly made encoder, `decode` receiving every frame.
using MakeEncoder = std::function<std::unique_ptr<CAudioGrabber>(CAudioGrabber* source)>;
using Decode = std::function<bool(const uint8_t*, uint32_t size, uint32_t samples)>;

bool EncodeClip(const Clip& clip, const MakeEncoder& make, const Decode& decode) {
    std::unique_ptr<CAudioGrabber> encoder = make(new FakePcmGrabber(clip.samples, 1, clip.rate));
    if (!encoder) {
        return false;
    }
    for (;;) {
        uint32_t samples = 4096, size = 0;
        int64_t time = 0;
        const uint8_t* data = encoder->GrabSamples(&samples, &size, &time);
        if (!data) {
            return true;
        }
        if (decode && !decode(data, size, samples)) {
            return false;
        }
        encoder->ReleaseSamples(size);
    }
}

// Best time of several whole-clip encodings, repeated for at least half a second.
double EncodingSpeed(const Clip& clip, const MakeEncoder& make) {
    double best = 1e30;
    const auto start = Clock::now();
    int runs = 0;
    while (runs < 3 || Clock::now() - start < std::chrono::milliseconds(500)) {
        const auto t0 = Clock::now();
        if (!EncodeClip(clip, make, nullptr)) {
            return 0;
        }
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
        ++runs;
    }
    return clip.samples.size() / best;
}

Result Measure(const Clip& clip, const MakeEncoder& make,
               const std::function<std::vector<int16_t>(const Clip&, const MakeEncoder&)>& decode) {
    Result r;
    const std::vector<int16_t> decoded = decode(clip, make);
    if (decoded.empty()) {
        return r;
    }
    r.snr = Snr(clip.samples, decoded);
    r.segSnr = SegmentalSnr(clip.samples, decoded, clip.rate);
    r.samplesPerSecond = EncodingSpeed(clip, make);
    r.ok = true;
    return r;
}

// Wall-clock encoding speed of toast over the clip, and the SNR of its own decoding.
Result MeasureToast(const Clip& clip, const fs::path& work) {
    Result r;
    if (!HaveProgram("toast")) {
        return r;
    }
    const fs::path in = work / "toast_in.l";
    const fs::path gsm = work / "toast_out.gsm";
    const fs::path back = work / "toast_back.l";
    WriteRaw(in, clip.samples);  // host byte order is little-endian here
    double best = 1e30;
    for (int run = 0; run < 5; ++run) {
        const auto t0 = Clock::now();
        if (!Run("toast -l -c '" + in.string() + "' > '" + gsm.string() + "'", true)) {
            return r;
        }
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    if (!Run("toast -d -l -c '" + gsm.string() + "' > '" + back.string() + "'", true)) {
        return r;
    }
    const std::vector<int16_t> decoded = ReadRaw(back);
    if (decoded.empty()) {
        return r;
    }
    r.snr = Snr(clip.samples, decoded);
    r.segSnr = SegmentalSnr(clip.samples, decoded, clip.rate);
    r.samplesPerSecond = clip.samples.size() / best;
    r.ok = true;
    return r;
}

Clip Repeated(const Clip& clip, int times) {
    Clip out = clip;
    out.samples.clear();
    for (int i = 0; i < times; ++i) {
        out.samples.insert(out.samples.end(), clip.samples.begin(), clip.samples.end());
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "cadro_audio_quality";
    fs::create_directories(work);
    Platform::StandardConsole console;

    const Clip speech = MakeSpeech(work);
    const Clip music = MakeMusic(work);

    const MakeEncoder ima = [](CAudioGrabber* source) -> std::unique_ptr<CAudioGrabber> {
        auto e = std::make_unique<CImaAdpcmGrabber>();
        if (!e->Init(source)) {
            delete source;
            return nullptr;
        }
        return e;
    };
    const MakeEncoder velune = [](CAudioGrabber* source) -> std::unique_ptr<CAudioGrabber> {
        auto e = std::make_unique<CVeluneGrabber>();
        if (!e->Init(source)) {
            delete source;
            return nullptr;
        }
        return e;
    };
    const MakeEncoder dsp = [&console](CAudioGrabber* source) -> std::unique_ptr<CAudioGrabber> {
        auto e = std::make_unique<CDspAdpcmGrabber>(console);
        if (!e->Init(source)) {
            delete source;
            return nullptr;
        }
        return e;
    };

    const auto decodeIma = [](const Clip& clip, const MakeEncoder& make) {
        ImaAdpcmDecoder decoder(1);
        std::vector<int16_t> out;
        EncodeClip(clip, make, [&](const uint8_t* d, uint32_t size, uint32_t) {
            return decoder.DecodeFrame(d, size, &out);
        });
        return out;
    };
    const auto decodeVelune = [](const Clip& clip, const MakeEncoder& make) {
        VeluneDecoder decoder(1);
        std::vector<int16_t> out;
        EncodeClip(clip, make, [&](const uint8_t* d, uint32_t size, uint32_t) {
            return decoder.DecodeFrame(d, size, &out);
        });
        return out;
    };
    const auto decodeDsp = [](const Clip& clip, const MakeEncoder& make) {
        DspAdpcmStreamDecoder decoder(1);
        std::vector<int16_t> out;
        EncodeClip(clip, make, [&](const uint8_t* d, uint32_t size, uint32_t samples) {
            return decoder.DecodeFrame(d, size, samples, &out);
        });
        return out;
    };

    std::printf("%-11s %6s %9s %-16s\n", "clip", "rate", "samples", "made with");
    for (const Clip* clip : {&speech, &music}) {
        std::printf("%-11s %6u %9zu %-16s\n", clip->name.c_str(), clip->rate, clip->samples.size(),
                    clip->origin.c_str());
    }
    std::printf("\n%-11s %-10s %9s %12s %16s\n", "clip", "codec", "SNR dB", "segSNR dB",
                "samples/s");
    double imaSnr[2] = {}, dspSnr[2] = {}, imaSeg[2] = {}, dspSeg[2] = {};
    int index = 0;
    for (const Clip* clip : {&speech, &music}) {
        const Result rIma = Measure(*clip, ima, decodeIma);
        const Result rVel = Measure(*clip, velune, decodeVelune);
        const Result rDsp = Measure(*clip, dsp, decodeDsp);
        const struct {
            const char* name;
            const Result& r;
        } rows[] = {{"ima-adpcm", rIma}, {"velune", rVel}, {"dsp-adpcm", rDsp}};
        for (const auto& row : rows) {
            if (row.r.ok) {
                std::printf("%-11s %-10s %9.2f %12.2f %16.0f\n", clip->name.c_str(), row.name,
                            row.r.snr, row.r.segSnr, row.r.samplesPerSecond);
            } else {
                std::printf("%-11s %-10s %9s\n", clip->name.c_str(), row.name, "failed");
            }
        }
        imaSnr[index] = rIma.snr;
        dspSnr[index] = rDsp.snr;
        imaSeg[index] = rIma.segSnr;
        dspSeg[index] = rDsp.segSnr;
        ++index;
    }

    // Speed against toast on the same 8 kHz speech, long enough to time a process.
    const Clip longSpeech = Repeated(speech, 20);
    const double veluneSpeed = EncodingSpeed(longSpeech, velune);
    const Result toast = MeasureToast(longSpeech, work);
    std::printf("\nspeed on %zu samples of 8 kHz speech:\n", longSpeech.samples.size());
    std::printf("  velune  %14.0f samples/s\n", veluneSpeed);
    if (toast.ok) {
        std::printf("  toast   %14.0f samples/s (SNR %.2f dB, segSNR %.2f dB on its own decoding)\n",
                    toast.samplesPerSecond, toast.snr, toast.segSnr);
    } else {
        std::printf("  toast   not available\n");
    }

    std::printf("\ntargets:\n");
    std::printf("  ima-adpcm >= 25 dB on the music-like clip: %.2f dB  %s\n", imaSnr[1],
                imaSnr[1] >= 25 ? "met" : "NOT MET");
    for (int i = 0; i < 2; ++i) {
        std::printf("  dsp-adpcm - ima-adpcm on %-10s: %+.2f dB SNR, %+.2f dB segSNR  %s\n",
                    i == 0 ? "speech" : "music-like", dspSnr[i] - imaSnr[i], dspSeg[i] - imaSeg[i],
                    dspSnr[i] - imaSnr[i] >= 3 ? "met" : "NOT MET");
    }
    if (toast.ok) {
        std::printf("  velune speed >= toast speed: %.2fx  %s\n", veluneSpeed / toast.samplesPerSecond,
                    veluneSpeed >= toast.samplesPerSecond ? "met" : "NOT MET");
    }
    return 0;
}
