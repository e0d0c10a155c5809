#include "app/CommandLine.h"

#include <string_view>

#include "app/HelpText.h"

namespace {

bool StartsWith(const std::wstring& text, wchar_t c) {
    return !text.empty() && text[0] == c;
}

// A command-line error: its message, then the help text.
bool Refuse(Platform::Console& console, const std::wstring& message) {
    console.Write(message);
    PrintHelp(console);
    return false;
}

bool RefuseQuoted(Platform::Console& console, const wchar_t* what, const std::wstring& value) {
    return Refuse(console, std::wstring(L"Error: ") + what + L" \"" + value + L"\"\n");
}

bool InvalidOption(Platform::Console& console, const std::wstring& name) {
    return RefuseQuoted(console, L"invalid option", name);
}

// Reads the name = value groups after an option. `handle` returns false after printing
// its error. A group that is cut short prints the help text alone.
template <typename Handler>
bool ReadSubOptions(int argc, const wchar_t* const* argv, int* position,
                    Platform::Console& console, Handler handle) {
    for (;;) {
        int before = *position;
        std::wstring name, value;
        if (!ReadSubOption(argv, argc, position, &name, &value)) {
            if (*position != before) {
                PrintHelp(console);
                return false;
            }
            return true;
        }
        if (!handle(name, value)) {
            return false;
        }
    }
}

struct NamedCode {
    const wchar_t* text;
    int32_t code;
};

template <size_t N>
bool FindCode(const NamedCode (&table)[N], const std::wstring& value, int32_t* code) {
    for (const NamedCode& entry : table) {
        if (value == entry.text) {
            *code = entry.code;
            return true;
        }
    }
    return false;
}

constexpr NamedCode kRotations[] = {{L"none", 0}, {L"90", 1}, {L"180", 2}, {L"270", 3}};
// The layout base; the eye adds 0 (left first) or 1 (right first), except for "none".
constexpr NamedCode kStereoLayouts[] = {
    {L"none", 6}, {L"interleaved", 0}, {L"toptobottom", 2}, {L"sidebyside", 4}};
constexpr NamedCode kEyes[] = {{L"left", 1}, {L"right", 0}};
constexpr NamedCode kAudioFormats[] = {{L"pcm", kFormatPcm},
                                       {L"adpcm", kFormatImaAdpcm},
                                       {L"dsp-adpcm", kFormatDspAdpcm},
                                       {L"vl", kFormatVelune}};
constexpr NamedCode kTimelineTypes[] = {{L"video", kTimelineOfVideo}, {L"audio", kTimelineOfAudio}};

// Reads the sub-options of one stream selection: "file" and "stream" for every kind,
// the others through `readOwn`, which sets `*known` when the name is its own and returns
// false after printing an error. Appends the selection when the list ends cleanly.
template <typename Handler>
bool ReadSelection(int argc, const wchar_t* const* argv, int* position, MuxJob* job,
                   Platform::Console& console, StreamSelection* selection, Handler readOwn) {
    const int32_t fileCount = static_cast<int32_t>(job->inputFiles.size());
    return ReadSubOptions(argc, argv, position, console, [&](const std::wstring& name,
                                                             const std::wstring& value) {
        if (name == L"file" || name == L"stream") {
            bool ok = name == L"file"
                          ? ReadFileIndex(value, fileCount, &selection->fileIndex, console)
                          : ReadStreamIndex(value, &selection->streamIndex, console);
            if (!ok) {
                PrintHelp(console);
            }
            return ok;
        }
        bool known = false;
        if (!readOwn(name, value, &known)) {
            return false;
        }
        return known || InvalidOption(console, name);
    });
}

bool ReadVideo(int argc, const wchar_t* const* argv, int* position, MuxJob* job,
               Platform::Console& console) {
    StreamSelection selection;
    selection.kind = kSelectVideo;
    int32_t stereo = kStereoLayouts[0].code;
    bool ok = ReadSelection(argc, argv, position, job, console, &selection,
                            [&](const std::wstring& name, const std::wstring& value, bool* known) {
        *known = true;
        int32_t code = 0;
        if (name == L"rotation") {
            if (!FindCode(kRotations, value, &selection.setting)) {
                return RefuseQuoted(console, L"invalid rotation argument", value);
            }
            selection.rotationGiven = true;
        } else if (name == L"stereo") {
            if (!FindCode(kStereoLayouts, value, &stereo)) {
                return RefuseQuoted(console, L"invalid stereo argument", value);
            }
            selection.stereoGiven = true;
        } else if (name == L"firsteye") {
            if (!FindCode(kEyes, value, &code)) {
                return RefuseQuoted(console, L"invalid firsteye argument", value);
            }
            selection.firstEyeLeft = code != 0;
        } else {
            *known = false;
        }
        return true;
    });
    if (!ok) {
        return false;
    }
    const int32_t none = kStereoLayouts[0].code;
    selection.layout = stereo == none ? none : stereo + (selection.firstEyeLeft ? 0 : 1);
    job->selections.push_back(selection);
    return true;
}

// Audio and timeline selections: one sub-option of their own, chosen from a table.
template <size_t N>
bool ReadCodedSelection(int argc, const wchar_t* const* argv, int* position, MuxJob* job,
                        Platform::Console& console, StreamSelection selection,
                        const wchar_t* optionName, const NamedCode (&values)[N]) {
    bool ok = ReadSelection(argc, argv, position, job, console, &selection,
                            [&](const std::wstring& name, const std::wstring& value, bool* known) {
        *known = name == optionName;
        if (*known && !FindCode(values, value, &selection.setting)) {
            return RefuseQuoted(console, L"invalid format argument", value);
        }
        return true;
    });
    if (ok) {
        job->selections.push_back(selection);
    }
    return ok;
}

bool ReadAudio(int argc, const wchar_t* const* argv, int* position, MuxJob* job,
               Platform::Console& console) {
    StreamSelection selection;
    selection.kind = kSelectAudio;
    selection.setting = kFormatImaAdpcm;
    return ReadCodedSelection(argc, argv, position, job, console, selection, L"format",
                              kAudioFormats);
}

bool ReadTimeline(int argc, const wchar_t* const* argv, int* position, MuxJob* job,
                  Platform::Console& console) {
    StreamSelection selection;
    selection.kind = kSelectTimeline;
    selection.setting = kTimelineOfVideo;
    return ReadCodedSelection(argc, argv, position, job, console, selection, L"type",
                              kTimelineTypes);
}

bool ReadInfo(int argc, const wchar_t* const* argv, int* position, MuxJob* job,
              Platform::Console& console) {
    bool ok = ReadSubOptions(argc, argv, position, console, [&](const std::wstring& name,
                                                                 const std::wstring& value) {
        if (name != L"csv") {
            return InvalidOption(console, name);
        }
        if (value == L"true") {
            job->writeCsv = true;
        } else if (value != L"false") {
            return RefuseQuoted(console, L"invalid csv argument", value);
        }
        return true;
    });
    if (ok) {
        job->printInfo = true;
    }
    return ok;
}

bool OpenInputFile(InputKind kind, const std::wstring& path, MuxJob* job, InputFileMaker makeFile,
                   Platform::Console& console) {
    std::unique_ptr<GenericInputFile> file = makeFile(kind);
    if (file) {
        file->name = path;
    }
    if (!file || !file->Open()) {
        console.Write(L"Error: cannot open file \"" + path + L"\" for reading\n");
        return false;
    }
    job->inputFiles.push_back(std::move(file));
    return true;
}

}  // namespace

void PrintHelp(Platform::Console& console) {
    for (const wchar_t* piece : kHelpText) {
        console.Write(piece);
    }
}

bool ReadSubOption(const wchar_t* const* argv, int argc, int* position, std::wstring* name,
                   std::wstring* value) {
    if (*position >= argc) {
        return false;
    }
    std::wstring group = argv[*position];
    if (StartsWith(group, L'-')) {
        return false;
    }
    ++*position;
    std::wstring valuePart;
    size_t equals = group.find(L'=');
    if (equals != std::wstring::npos) {
        *name = group.substr(0, equals);
        valuePart = group.substr(equals + 1);
    } else {
        if (*position >= argc) {
            return false;
        }
        *name = group;
        std::wstring next = argv[*position];
        ++*position;
        if (!StartsWith(next, L'=')) {
            return false;
        }
        valuePart = next.substr(1);
    }
    if (!valuePart.empty()) {
        *value = valuePart;
        return true;
    }
    if (*position >= argc) {
        return false;
    }
    *value = argv[*position];
    ++*position;
    return true;
}

bool ReadInteger(const std::wstring& text, int32_t* value) {
    if (text.empty()) {
        return false;
    }
    int64_t accumulated = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        accumulated = accumulated * 10 + (c - L'0');
        if (accumulated > INT32_MAX) {
            return false;
        }
    }
    *value = static_cast<int32_t>(accumulated);
    return true;
}

bool ReadFileIndex(const std::wstring& text, int32_t fileCount, int32_t* value,
                   Platform::Console& console) {
    int32_t index = 0;
    if (!ReadInteger(text, &index)) {
        console.Write(L"Error: expected an integer as argument, got \"" + text + L"\"\n");
        return false;
    }
    if (index >= fileCount) {
        if (fileCount == 0) {
            console.Write(L"Error: file index out of range, file list is empty\n");
        } else {
            console.Write(L"Error: file index out of range; max possible value is " +
                          std::to_wstring(fileCount - 1) + L", got " + std::to_wstring(index) +
                          L"\n");
        }
        return false;
    }
    *value = index;
    return true;
}

bool ReadStreamIndex(const std::wstring& text, int32_t* value, Platform::Console& console) {
    if (!ReadInteger(text, value)) {
        console.Write(L"Error: expected an integer as argument, got \"" + text + L"\"\n");
        return false;
    }
    return true;
}

bool ReadCommandLine(int argc, const wchar_t* const* argv, MuxJob* job, InputFileMaker makeFile,
                     Platform::Console& console) {
    int i = 1;
    while (i < argc) {
        const std::wstring token = argv[i];
        const bool hasNext = i + 1 < argc;
        const std::wstring next = hasNext ? argv[i + 1] : L"";
        if (token == L"-info") {
            ++i;
            if (!ReadInfo(argc, argv, &i, job, console)) return false;
        } else if (token == L"-out") {
            if (!hasNext) {
                return Refuse(console, L"Error: output cadro file expected after -out parameter\n");
            }
            job->outputPath = next;
            i += 2;
        } else if (token == L"-packetsize") {
            if (!ReadInteger(next, &job->packetSize)) {
                return Refuse(console, L"Error: integer expected after -packetsize parameter\n");
            }
            i += 2;
        } else if (token == L"-usefixedpacketsize") {
            job->variablePacketSize = false;
            ++i;
        } else if (token == L"-ignorefourcc") {
            job->ignoreFourCC = true;
            ++i;
        } else if (token == L"-synchrofreq") {
            if (!ReadInteger(next, &job->synchroPeriod)) {
                return Refuse(console, L"Error: integer expected after -synchrofreq parameter\n");
            }
            i += 2;
        } else if (token == L"-avi" || token == L"-wav" || token == L"-aac" ||
                   token == L"-cadro") {
            if (!hasNext) {
                PrintHelp(console);
                return false;
            }
            InputKind kind = token == L"-avi"   ? InputKind::Avi
                             : token == L"-wav" ? InputKind::Wav
                             : token == L"-aac" ? InputKind::Aac
                                                : InputKind::Cadro;
            if (!OpenInputFile(kind, next, job, makeFile, console)) return false;
            i += 2;
        } else if (token == L"-video") {
            ++i;
            if (!ReadVideo(argc, argv, &i, job, console)) return false;
        } else if (token == L"-audio") {
            ++i;
            if (!ReadAudio(argc, argv, &i, job, console)) return false;
        } else if (token == L"-timeline") {
            ++i;
            if (!ReadTimeline(argc, argv, &i, job, console)) return false;
        } else {
            return RefuseQuoted(console, L"invalid parameter", token);
        }
    }
    return true;
}

std::wstring DefaultOutputPath(const std::wstring& firstInputName) {
    size_t dot = firstInputName.rfind(L'.');
    return (dot == std::wstring::npos ? firstInputName : firstInputName.substr(0, dot)) + L".cadro";
}
