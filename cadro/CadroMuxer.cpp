#include "cadro/CadroMuxer.h"

#include <cstring>

#include "korva/ResultCodes.h"

CadroMuxer::CadroMuxer(Korva::Memory* memory) : Korva::Mux(memory, nullptr) {}

CadroMuxer::~CadroMuxer() { Close(); }

void CadroMuxer::CopyBytes(const void* source, void* destination, uint32_t count) {
    std::memcpy(destination, source, count);
}

bool CadroMuxer::Open(const std::wstring& path, uint32_t packetSize, int64_t synchroPeriod,
                      bool numberPackets, bool variablePacketSize, bool timeFlag) {
    // A previous output is finished first, so that its file is not left open.
    Close();
    if (!writer_.Create(path)) return false;
    return Korva::Mux::Open(packetSize, synchroPeriod, &writer_, numberPackets,
                            variablePacketSize, timeFlag) == Korva::kResultOk;
}

bool CadroMuxer::AddFrame(uint32_t streamIndex, const uint8_t* data, uint32_t size,
                          int64_t time, uint32_t frameType, bool synchroPoint) {
    return Korva::Mux::AddFrame(streamIndex, data, size, time, time, frameType, synchroPoint,
                                synchroPoint) == Korva::kResultOk;
}

bool CadroMuxer::Seek(int64_t position) {
    // A failure to write the partial packet does not decide the outcome of the move.
    Flush();
    if (!writer_.Seek(position)) return false;
    if (position == 0) RestartPacketNumbering();
    return true;
}

bool CadroMuxer::Close() {
    bool ok = true;
    if (Korva::Mux::Close() != Korva::kResultOk) {
        ok = false;
        // The packet the file refused is dropped; this releases the muxer.
        Korva::Mux::Close();
    }
    if (writer_.IsOpen() && !writer_.CloseFile()) ok = false;
    return ok;
}
