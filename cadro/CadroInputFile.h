#pragma once
// A Cadro file named by -cadro: its demuxer and the memory the demuxer allocates from.
#include <memory>

#include "app/GenericInputFile.h"
#include "cadro/CadroDemuxer.h"
#include "cadro/CadroMemory.h"

namespace Platform {
class Console;
}

class CadroInputFile : public GenericInputFile {
public:
    // `console` receives the out-of-memory message; null means standard output.
    explicit CadroInputFile(Platform::Console* console = nullptr) : memory_(console) {}
    ~CadroInputFile() override { Close(); }

    // Opens `name` and reads until the streams of its first synchro block are known.
    // False, with the file closed again, when it cannot be opened or holds no stream.
    bool Open() override;
    void Close() override;

    // Null while the file is closed.
    CadroDemuxer* GetDemuxer() const { return demuxer_.get(); }

private:
    CadroMemoryDemuxer memory_;
    std::unique_ptr<CadroDemuxer> demuxer_;
};
