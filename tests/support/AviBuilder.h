#pragma once
// Builds AVI files for tests, in memory or straight to disk: any number of streams of
// any type, data chunks (odd sizes padded), rec lists, AVIX extensions, idx1 and
// OpenDML indexes. Payloads are given as bytes or as a size with a generated pattern,
// so large files can be written without holding them in memory.
//
//   AviBuilder avi;
//   int video = avi.AddStream(AviBuilder::Video("TZNK", 25, 1, 320, 240));
//   int audio = avi.AddStream(AviBuilder::Audio(1, 2, 48000, 16));
//   avi.AddChunk(video, {1, 2, 3, 4, 5}, /*key=*/true);
//   avi.AddChunk(audio, samples);
//   std::vector<uint8_t> bytes = avi.Build();   // or avi.WriteTo(path)
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Writes `bytes` to `path`, replacing the file. Shared by all fixture writers.
bool WriteFixtureFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// Little-endian appends, shared by the fixture writers.
void PutU16(std::vector<uint8_t>& out, uint32_t value);
void PutU32(std::vector<uint8_t>& out, uint32_t value);
void PutU64(std::vector<uint8_t>& out, uint64_t value);
void PutFourCC(std::vector<uint8_t>& out, const std::string& code);  // 4 characters

// The generated payload of a pattern chunk: byte i is (seed + i) mod 256.
std::vector<uint8_t> PatternBytes(uint32_t size, uint8_t seed);

class AviBuilder {
public:
    struct Stream {
        std::string type = "vids";        // strh fccType
        std::string handler = "TZNK";     // strh fccHandler
        std::string chunkSuffix = "dc";   // data chunk ids: two digits then this
        uint32_t scale = 1;
        uint32_t rate = 25;
        uint32_t sampleSize = 0;
        std::vector<uint8_t> format;      // strf content
        // Chunks written after strf and before indx, as (id, content).
        std::vector<std::pair<std::string, std::vector<uint8_t>>> extraChunks;
        // Gets an indx and ix## chunks when the file has OpenDML indexes.
        bool openDmlIndexed = true;
    };

    // A video stream with a 40-byte bitmap header (compression = handler).
    static Stream Video(const std::string& handler, uint32_t rate, uint32_t scale, int32_t width,
                        int32_t height);
    // An audio stream with an 18-byte wave format (16 when `plainPcm16Bytes`).
    static Stream Audio(uint16_t formatTag, uint16_t channels, uint32_t samplesPerSec,
                        uint16_t bitsPerSample, bool plainPcm16Bytes = false);
    // A stream of another type ("txts"), whose chunks are "NNtx".
    static Stream Other(const std::string& type = "txts");

    // Returns the stream number.
    int AddStream(const Stream& stream);

    // Data chunks, in file order.
    void AddChunk(int stream, const std::vector<uint8_t>& payload, bool key = true);
    void AddPatternChunk(int stream, uint32_t size, bool key = true, uint8_t seed = 0);
    // Any chunk in movi, e.g. "JUNK" or a chunk id the walk must skip.
    void AddRawChunk(const std::string& id, const std::vector<uint8_t>& payload);
    // Data chunks added between these go into one "LIST rec " list.
    void BeginRec();
    void EndRec();
    // Chunks added after this go into a new "RIFF AVIX" list with its own movi.
    void StartExtension();

    // idx1 after the first movi, with the has-index flag in avih. Key chunks get the
    // key-frame flag; each rec list gets an entry flagged as a list, with id recIndexId.
    bool legacyIndex = true;
    std::string recIndexId = "rec ";
    // indx in each indexed strl and ix## chunks at the end of every movi list.
    bool openDmlIndex = false;
    uint8_t standardIndexSubType = 0;  // 1 is the two-field form
    // A JUNK chunk of this size between hdrl and movi (0: none).
    uint32_t junkBeforeMovi = 0;
    // Size of the avih chunk content (56 normally).
    uint32_t mainHeaderSize = 56;

    std::vector<uint8_t> Build() const;
    bool WriteTo(const std::filesystem::path& path) const;
    // Total file size, without building it.
    uint64_t Size() const;

private:
    enum class ItemKind { Data, Raw, RecBegin, RecEnd, Extension };
    struct Item {
        ItemKind kind = ItemKind::Data;
        int stream = -1;
        std::string id;
        bool key = true;
        bool pattern = false;
        uint8_t seed = 0;
        uint32_t size = 0;
        std::vector<uint8_t> bytes;
    };
    class Emitter;
    void Emit(Emitter& out) const;
    std::string ChunkId(int stream) const;

    std::vector<Stream> streams_;
    std::vector<Item> items_;
};
