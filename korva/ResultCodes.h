#pragma once
// Result codes of the container library: one numbering shared by muxer and demuxer.
// Every operation returns kResultOk on success. The constants are plain ints so that
// they compare cleanly with both the muxer's int and the demuxer's uint32_t results.

namespace Korva {

inline constexpr int kResultOk = 0;

// Progress results of the demuxer's Step.
inline constexpr int kResultNoData = 1;        // the reader had nothing now, not at its end
inline constexpr int kResultSkipped = 2;       // bytes skipped while looking for a synchro header
inline constexpr int kResultEndOfData = 3;     // the reader is at its end; partial frames queued

// Errors.
inline constexpr int kResultNoReader = 64;            // AttachReader was given no reader
inline constexpr int kResultReaderStart = 65;         // the reader's Start failed
inline constexpr int kResultReaderBufferSize = 66;    // the reader refused a new buffer size
inline constexpr int kResultMalformed = 67;           // a number, record or Ep runs past the packet
// Muxer: the packet buffer could not be allocated. Demuxer: an allocation failed, or a
// descriptor record has a type code with no registered class.
inline constexpr int kResultAlloc = 68;
inline constexpr int kResultDescriptorSize = 69;      // record size differs from its class, or Parse gave 0
inline constexpr int kResultCounterChange = 70;       // synchro counter changed, no interval known yet
inline constexpr int kResultUnknownStream = 71;       // an Ep names a stream index with no stream
inline constexpr int kResultStreamDisabled = 72;      // an Ep names a stream whose entries are all inactive
// Muxer Open: unusable packet size. Demuxer: a synchro header's packet size is below 16,
// or a delivered block contradicts the packet size.
inline constexpr int kResultPacketSize = 73;
inline constexpr int kResultWriterStart = 74;         // the writer's Start returned false
inline constexpr int kResultNotOpen = 75;             // the muxer is not open
inline constexpr int kResultNoFreeIndex = 76;         // all 256 stream indexes are taken
inline constexpr int kResultValueRange = 77;          // stream index or frame type above 255
inline constexpr int kResultTimeRange = 78;           // frame time 2^60 us or more from the synchro time
inline constexpr int kResultWrite = 79;               // the writer's Write returned false
inline constexpr int kResultSequenceGap = 80;         // a packet sequence number was skipped
inline constexpr int kResultStreamType = 81;          // unregistered type code, or descriptor not allocated
// 82 is not used by either side.
inline constexpr int kResultDuplicateStream = 83;     // a synchro block declares an already active index

inline constexpr int kResultConsume = 128;            // the reader's Consume failed

// Internal results of the demuxer, never returned by Step.
inline constexpr int kResultEndOfList = 256;          // the end record of a descriptor list was read
inline constexpr int kResultEndOfPacket = 257;        // the end of the current packet was reached

}  // namespace Korva
