#pragma once

constexpr int kHelpTextPieces = 98;
extern const wchar_t* const kHelpText[kHelpTextPieces];

// Printed before the help text only when the command line is empty.
inline constexpr const wchar_t* kBanner =
    L"CadroTool v1.1.11 - builds Cadro streaming files and describes media files\n";
