// Writes the seed corpora of the fuzz targets into <folder>/<target>/: small valid files
// from the test fixture writers, Cadro files muxed from them by the tool itself, and
// typical command lines. Seeds are generated, never kept in the repository.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/CadroMain.h"
#include "platform/Console.h"
#include "platform/WideText.h"
#include "tests/support/AdtsBuilder.h"
#include "tests/support/AviBuilder.h"
#include "tests/support/WavBuilder.h"

namespace fs = std::filesystem;

namespace {

std::vector<int16_t> Tone(size_t count) {
    std::vector<int16_t> samples(count);
    for (size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<int16_t>((i * 2749) % 20000 - 10000);
    }
    return samples;
}

std::vector<uint8_t> PcmBytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> bytes;
    for (int16_t s : samples) {
        PutU16(bytes, static_cast<uint16_t>(s));
    }
    return bytes;
}

// Small AVI files covering the parser's branches: legacy and OpenDML indexes, rec lists,
// an extension, several streams of each kind.
std::vector<std::pair<std::string, AviBuilder>> AviSeeds() {
    std::vector<std::pair<std::string, AviBuilder>> seeds;
    for (int variant = 0; variant < 4; ++variant) {
        AviBuilder avi;
        avi.openDmlIndex = variant >= 2;
        avi.legacyIndex = variant != 3;
        avi.standardIndexSubType = variant == 3 ? 1 : 0;
        const uint32_t fps = variant == 1 ? 60 : 25;
        int video = avi.AddStream(AviBuilder::Video("TZNK", fps, 1, 320, 240));
        int audio = avi.AddStream(AviBuilder::Audio(1, variant == 1 ? 1 : 2, 8000, 16));
        int other = variant == 2 ? avi.AddStream(AviBuilder::Other()) : -1;
        int second = variant == 1 ? avi.AddStream(AviBuilder::Video("tznk", 30, 1, 400, 480)) : -1;
        for (int i = 0; i < 8; ++i) {
            if (variant >= 2 && i == 5) avi.StartExtension();
            if (i % 4 == 1) avi.BeginRec();
            avi.AddPatternChunk(video, 9 + static_cast<uint32_t>(i) * 5, i % 3 == 0,
                                static_cast<uint8_t>(i));
            avi.AddChunk(audio, PcmBytes(Tone(40 + static_cast<size_t>(i))));
            if (i % 4 == 1) avi.EndRec();
            if (other >= 0) avi.AddPatternChunk(other, 3);
            if (second >= 0) avi.AddPatternChunk(second, 7, i % 2 == 0);
            if (i == 3) avi.AddRawChunk("JUNK", {1, 2, 3});
        }
        seeds.emplace_back("avi" + std::to_string(variant), avi);
    }
    return seeds;
}

std::vector<std::pair<std::string, WavBuilder>> WavSeeds() {
    std::vector<std::pair<std::string, WavBuilder>> seeds;
    WavBuilder plain;
    plain.SetSamples(Tone(200));
    seeds.emplace_back("plain", plain);
    WavBuilder extensible;
    extensible.formatTag = 0xFFFE;
    extensible.channels = 1;
    extensible.chunksBeforeFormat = {{"JUNK", {0}}};
    extensible.chunksBeforeData = {{"LIST", {'I', 'N', 'F', 'O', 1}}};
    extensible.SetSamples(Tone(150));
    seeds.emplace_back("extensible", extensible);
    WavBuilder late;
    late.dataBeforeFormat = true;
    late.formatSize = 18;
    late.SetSamples(Tone(64));
    late.declaredDataSize = 100000;
    seeds.emplace_back("late-format", late);
    return seeds;
}

std::vector<std::pair<std::string, AdtsBuilder>> AdtsSeeds() {
    std::vector<std::pair<std::string, AdtsBuilder>> seeds;
    AdtsBuilder plain;
    for (int i = 0; i < 4; ++i) plain.AddFrame(AdtsFrameSpec().Payload(20 + i, static_cast<uint8_t>(i)));
    seeds.emplace_back("plain", plain);
    AdtsBuilder mixed;
    mixed.AddBytes({0xFF, 0x00, 0x12});
    mixed.AddFrame(AdtsFrameSpec().Crc().Blocks(3).Channels(1).Frequency(3).Payload(30));
    mixed.AddFrame(AdtsFrameSpec().Blocks(2).Payload(25, 7));
    mixed.AddFrame(AdtsFrameSpec().Payload(40).FrameLength(20));
    seeds.emplace_back("mixed", mixed);
    return seeds;
}

std::vector<std::vector<std::string>> CommandLines() {
    return {
        {"-avi", "a.avi", "-video", "-audio", "format=vl", "-timeline", "-out", "x.cadro"},
        {"-avi", "a.avi", "-wav", "b.wav", "-video", "stream", "=", "0", "stereo=interleaved",
         "firsteye=right", "rotation=90", "-audio", "file=1", "format", "=pcm",
         "-timeline", "type=audio", "file=1", "-packetsize", "8192", "-usefixedpacketsize",
         "-synchrofreq", "1000000"},
        {"-cadro", "c.cadro", "-info", "csv=true"},
        {"-aac", "d.aac", "-avi", "!missing.avi", "-audio", "format=dsp-adpcm"},
        {"-video", "file=3"},
        {"-info", "csv", "=", "maybe"},
    };
}

bool WriteText(const fs::path& path, const std::string& text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    return WriteFixtureFile(path, bytes);
}

// Muxes `arguments` (input paths already in place) with the tool's own entry routine.
bool Mux(const std::vector<std::string>& arguments) {
    std::vector<std::wstring> wide{L"CadroTool"};
    for (const auto& a : arguments) wide.push_back(Platform::FromUtf8(a));
    std::vector<const wchar_t*> argv;
    for (const auto& w : wide) argv.push_back(w.c_str());
    Platform::CaptureConsole console;
    const int status = CadroMain(static_cast<int>(argv.size()), argv.data(), console);
    if (status != 0) {
        std::fprintf(stderr, "mux failed: %s\n", console.OutUtf8().c_str());
    }
    return status == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: MakeFuzzSeeds FOLDER\n");
        return 2;
    }
    const fs::path root = argv[1];
    for (const char* target : {"avi", "wav", "adts", "cadro", "commandline", "work"}) {
        fs::create_directories(root / target);
    }
    bool ok = true;
    const fs::path work = root / "work";
    auto avis = AviSeeds();
    for (const auto& [name, avi] : avis) ok = avi.WriteTo(root / "avi" / (name + ".avi")) && ok;
    for (const auto& [name, wav] : WavSeeds()) ok = wav.WriteTo(root / "wav" / (name + ".wav")) && ok;
    for (const auto& [name, aac] : AdtsSeeds()) ok = aac.WriteTo(root / "adts" / (name + ".aac")) && ok;

    // Cadro seeds: the same small sources muxed with small packets, so a few kilobytes
    // hold many packets, synchro blocks and every audio codec.
    const std::string avi0 = (work / "in0.avi").string();
    const std::string avi1 = (work / "in1.avi").string();
    const std::string wav = (work / "in.wav").string();
    const std::string aac = (work / "in.aac").string();
    ok = avis[0].second.WriteTo(avi0) && avis[1].second.WriteTo(avi1) && ok;
    ok = WavSeeds()[0].second.WriteTo(wav) && AdtsSeeds()[0].second.WriteTo(aac) && ok;
    const std::vector<std::vector<std::string>> muxes = {
        {"-avi", avi0, "-video", "-audio", "-timeline", "-packetsize", "256"},
        {"-avi", avi0, "-wav", wav, "-video", "-audio", "file=1", "format=vl", "-timeline",
         "-packetsize", "200", "-usefixedpacketsize", "-synchrofreq", "100000"},
        {"-avi", avi1, "-video", "stereo=interleaved", "-audio", "format=pcm", "-timeline",
         "type=audio", "-packetsize", "300"},
        {"-avi", avi0, "-aac", aac, "-video", "-audio", "file=1", "-packetsize", "512"},
    };
    for (size_t i = 0; i < muxes.size(); ++i) {
        std::vector<std::string> arguments = muxes[i];
        arguments.push_back("-out");
        arguments.push_back((root / "cadro" / ("mux" + std::to_string(i) + ".cadro")).string());
        ok = Mux(arguments) && ok;
    }

    const auto lines = CommandLines();
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string joined;
        for (size_t j = 0; j < lines[i].size(); ++j) {
            if (j > 0) joined.push_back('\0');
            joined += lines[i][j];
        }
        ok = WriteText(root / "commandline" / ("line" + std::to_string(i)), joined) && ok;
    }
    fs::remove_all(work);
    return ok ? 0 : 1;
}
