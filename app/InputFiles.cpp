#include "app/InputFiles.h"

#include "cadro/CadroInputFile.h"
#include "sources/AacInputFile.h"
#include "sources/AviInputFile.h"
#include "sources/WavInputFile.h"

std::unique_ptr<GenericInputFile> MakeInputFile(InputKind kind) {
    switch (kind) {
        case InputKind::Avi:
            return std::make_unique<AviInputFile>();
        case InputKind::Wav:
            return std::make_unique<WavInputFile>();
        case InputKind::Aac:
            return std::make_unique<AacInputFile>();
        case InputKind::Cadro:
            return std::make_unique<CadroInputFile>();
    }
    return nullptr;
}
