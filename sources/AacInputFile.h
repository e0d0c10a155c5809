#pragma once
#include "app/GenericInputFile.h"

// Placeholder until its reader exists: every file fails to open.
class AacInputFile : public GenericInputFile {
public:
    bool Open() override { return false; }
    void Close() override {}
};
