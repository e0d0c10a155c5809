#pragma once
// What the front end holds for one run: a muxer writing into a Cadro file, with the
// operations to create the file, add frames, rewind for the final rewrite of the
// timeline frames, and close.
#include <cstdint>
#include <string>

#include "cadro/CadroWriter.h"
#include "korva/Memory.h"
#include "korva/Mux.h"

class CadroMuxer final : public Korva::Mux {
public:
    explicit CadroMuxer(Korva::Memory* memory);
    ~CadroMuxer() override;

    void ReservedA() override {}
    void ReservedB() override {}
    void CopyBytes(const void* source, void* destination, uint32_t count) override;

    // Creates the file and opens the muxer on it. A muxer refusal leaves the file created
    // and open; Close closes it.
    bool Open(const std::wstring& path, uint32_t packetSize, int64_t synchroPeriod,
              bool numberPackets, bool variablePacketSize, bool timeFlag);
    // One whole frame, with its time as synchro time too; a frame that forces a synchro
    // block also ends its packet, so the synchro packet is in the file on return.
    bool AddFrame(uint32_t streamIndex, const uint8_t* data, uint32_t size, int64_t time,
                  uint32_t frameType, bool synchroPoint);
    // Ends the current packet and moves the next write to `position` (0..file size). At 0
    // the packets are numbered again as after Open, so that frames of the same sizes
    // rewrite the first packets byte for byte.
    bool Seek(int64_t position);
    // Writes the last packet and closes the file; true when both succeeded. Safe to call
    // more than once.
    bool Close();

    int64_t LastSynchroPosition() const { return writer_.LastSynchroPosition(); }
    const CadroWriter& GetWriter() const { return writer_; }

private:
    CadroWriter writer_;
};
