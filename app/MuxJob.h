#pragma once
// Everything the command line sets.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/GenericInputFile.h"

// StreamSelection::kind
inline constexpr int32_t kSelectAudio = 2;
inline constexpr int32_t kSelectVideo = 3;
inline constexpr int32_t kSelectTimeline = 4;

// Audio output formats (StreamSelection::setting of an audio selection).
inline constexpr int32_t kFormatVelune = 0;
inline constexpr int32_t kFormatImaAdpcm = 1;
inline constexpr int32_t kFormatPcm = 2;
inline constexpr int32_t kFormatDspAdpcm = 4;

// Timeline types (StreamSelection::setting of a timeline selection).
inline constexpr int32_t kTimelineOfAudio = 0;
inline constexpr int32_t kTimelineOfVideo = 1;

struct StreamSelection {
    int32_t kind = kSelectVideo;
    int32_t fileIndex = 0;
    int32_t streamIndex = 0;
    int32_t setting = 0;  // video: rotation; audio: format; timeline: type
    int32_t layout = 6;   // video only
    bool rotationGiven = false;
    bool stereoGiven = false;
    bool firstEyeLeft = true;
};

struct MuxJob {
    std::vector<std::unique_ptr<GenericInputFile>> inputFiles;
    std::vector<StreamSelection> selections;
    std::wstring outputPath;
    int32_t packetSize = 4096;
    int32_t synchroPeriod = 15000000;
    bool variablePacketSize = true;
    bool ignoreFourCC = false;
    bool printInfo = false;
    bool writeCsv = false;
};
