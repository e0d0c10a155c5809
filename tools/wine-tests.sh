#!/usr/bin/env bash
# Cross-builds the test suite for Windows with mingw-w64, runs it under Wine, then runs
# the Windows CadroTool.exe itself end to end: non-ASCII (UTF-16) paths, the CSV file in
# text mode (CR LF line ends), WaveCodecPxn.dll found next to the executable and through
# PXNSDK_ROOT, and exit status -1.
#
# Tests left out under Wine (they hold for Linux only, and run there):
#   - those that start the tool through a POSIX shell (RunBinary): EndToEnd.*,
#     MuxRunTest.ToolBinaryOutputReadsBackThroughCadroInput,
#     ReportsTest.BinaryPrintsWidePathsAsUtf8 (this script's own end-to-end part
#     covers the real executable instead);
#   - ReportsTest cases that compare CSV bytes with LF line ends (Windows writes CR LF);
#   - CadroInputFileTest.ReadsFailingForeverEndTheStream, which shortens a file that is
#     open (Windows refuses).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="$root/build-wine"

excluded=(
    'EndToEnd.*'
    'MuxRunTest.ToolBinaryOutputReadsBackThroughCadroInput'
    'ReportsTest.BinaryPrintsWidePathsAsUtf8'
    'ReportsTest.ThreeFramesOfAThousandAndTwoFiveHundredBytes'
    'ReportsTest.EveryKindOfCadroStreamWithTimelines'
    'ReportsTest.StreamsWithoutFramesOrRatesPrintZeros'
    'CadroInputFileTest.ReadsFailingForeverEndTheStream'
)

# --- tools -------------------------------------------------------------------------
bash tools/install-missing.sh --no-install-recommends \
    cmake ninja-build mingw-w64 g++-mingw-w64-x86-64-posix googletest wine64
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine="$(command -v wine64 || command -v wine)"

# --- build ---------------------------------------------------------------------------
echo "== GoogleTest for mingw-w64"
if [ ! -f "$build/gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
    cmake -S /usr/src/googletest -B "$build/googletest" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$build/gtest" -DBUILD_GMOCK=ON -DCMAKE_CXX_FLAGS=-w >/dev/null
    cmake --build "$build/googletest" -j"$(nproc)"
    cmake --install "$build/googletest" >/dev/null
fi

echo "== Windows build with tests"
cmake -S . -B "$build/project" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCADRO_BUILD_TESTS=ON -DGTest_DIR="$build/gtest/lib/cmake/GTest" \
    >/dev/null
suites=(platform korva cadro sources audio app)
targets=(CadroTool WaveCodecPxn MakeSample)
for suite in "${suites[@]}"; do targets+=("${suite}_tests"); done
cmake --build "$build/project" -j"$(nproc)" --target "${targets[@]}"
bin="$build/project/bin"

# --- Wine ----------------------------------------------------------------------------
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Arguments and file names cross into Wine as UTF-8.
export LC_ALL=C.UTF-8
unset PXNSDK_ROOT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== Wine prefix"
    "$wine" wineboot --init >/dev/null 2>&1 || true
fi
wineserver="$(dirname "$wine")/wineserver64"
[ -x "$wineserver" ] || wineserver="$(dirname "$wine")/wineserver"
"$wineserver" -p 2>/dev/null || true
trap '"$wineserver" -k 2>/dev/null || true' EXIT

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

echo "== test suites under Wine"
filter="-$(IFS=:; echo "${excluded[*]}")"
for suite in "${suites[@]}"; do
    log="$build/wine-${suite}.log"
    if "$wine" "$bin/${suite}_tests.exe" --gtest_filter="$filter" --gtest_brief=1 >"$log" 2>&1; then
        echo "${suite}_tests: $(grep -E '^\[  PASSED  \]' "$log" | tail -1)"
    else
        grep -E '^\[  FAILED  \]' "$log" || tail -20 "$log"
        fail "${suite}_tests under Wine (log: $log)"
    fi
done

# --- the Windows executable end to end ----------------------------------------------
echo "== CadroTool.exe end to end under Wine"
work="$build/e2e"
rm -rf "$work"
mkdir -p "$work/next-to-exe" "$work/alone" "$work/sdk/tools/CommandLineTools" "$work/files"
cp "$bin/CadroTool.exe" "$bin/WaveCodecPxn.dll" "$work/next-to-exe/"
cp "$bin/CadroTool.exe" "$work/alone/"
cp "$bin/WaveCodecPxn.dll" "$work/sdk/tools/CommandLineTools/"
windows_path() { echo "Z:${1//\//\\}"; }

cd "$work/files"
"$wine" "$bin/MakeSample.exe" sample.avi >/dev/null
mv sample.avi "clé.avi"
# One second of 8 kHz mono PCM 16: a 44-byte header and 16000 bytes of samples.
{
    printf 'RIFF\x24\x3e\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00'
    printf '\x40\x1f\x00\x00\x80\x3e\x00\x00\x02\x00\x10\x00data\x80\x3e\x00\x00'
    head -c 16000 /dev/zero
} >"視頻.wav"

run() {  # run EXE ARGS...: sets status, out and err
    set +e
    out="$("$wine" "$@" 2>"$work/stderr" | tr -d '\r')"
    status=${PIPESTATUS[0]}
    set -e
    err="$(tr -d '\r' <"$work/stderr")"
}

run "$work/next-to-exe/CadroTool.exe" -bogus
[ "$status" -eq 255 ] || fail "-bogus: status $status, expected -1 (255)"
[ "$(echo "$out" | head -1)" = 'Error: invalid parameter "-bogus"' ] || fail "-bogus: output $out"

run "$work/next-to-exe/CadroTool.exe" -avi "nié_視頻.avi"
[ "$status" -eq 255 ] || fail "missing input: status $status"
[ "$out" = 'Error: cannot open file "nié_視頻.avi" for reading' ] || fail "missing input: output $out"

# DSP-ADPCM with the library next to the executable.
run "$work/next-to-exe/CadroTool.exe" -avi "clé.avi" -wav "視頻.wav" -video -audio \
    format=dsp-adpcm -audio file=1 format=dsp-adpcm -timeline -out "出力 ü.cadro"
[ "$status" -eq 0 ] || fail "mux next to the library: status $status: $out $err"
[ -s "出力 ü.cadro" ] || fail "mux next to the library: no output file"

# The executable alone: no library without PXNSDK_ROOT, the SDK's copy with it.
run "$work/alone/CadroTool.exe" -avi "clé.avi" -video -audio format=dsp-adpcm -out alone.cadro
[ "$status" -eq 255 ] || fail "no library: status $status"
[ "$err" = "WaveCodecPxn.dll could not be found, please define the PXNSDK_ROOT environment variable" ] ||
    fail "no library: standard error $err"
PXNSDK_ROOT="$(windows_path "$work/sdk")" run "$work/alone/CadroTool.exe" -avi "clé.avi" -video \
    -audio format=dsp-adpcm -out "sdk.cadro"
[ "$status" -eq 0 ] || fail "library through PXNSDK_ROOT: status $status: $out $err"
cmp -s "sdk.cadro" "出力 ü.cadro" && fail "the two outputs should differ (one audio stream less)"
[ -s "sdk.cadro" ] || fail "library through PXNSDK_ROOT: no output file"

# The report and its CSV file, written in text mode.
run "$work/next-to-exe/CadroTool.exe" -cadro "出力 ü.cadro" -info csv=true
[ "$status" -eq 0 ] || fail "report: status $status"
echo "$out" | grep -q "Name: 出力 ü.cadro" || fail "report: name missing in $out"
echo "$out" | grep -q "DspAdpcm audio stream" || fail "report: no DSP-ADPCM stream in $out"
if [ -s "出力 ü.csv" ]; then
    lines=$(tr -cd '\n' <"出力 ü.csv" | wc -c)
    crlf=$(grep -c $'\r$' "出力 ü.csv" || true)
    [ "$lines" -gt 10 ] && [ "$crlf" -eq "$lines" ] || fail "CSV: $crlf of $lines lines end in CR LF"
else
    fail "report: no CSV file"
fi
cd "$root"

if [ "$failures" -gt 0 ]; then
    echo "wine tests: $failures failed"
    exit 1
fi
echo "wine tests: every check passed"
