#!/usr/bin/env bash
# Builds the tool (configuring on first use), writes the built-in sample AVI, muxes it
# into a Cadro file and prints the report on the result.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/build.ninja ] || { bash tools/setup.sh && cmake -S . -B build -G Ninja -DCADRO_BUILD_BENCH=ON; }
cmake --build build -j"$(nproc)" --target CadroTool MakeSample
mkdir -p build/sample-run
./build/bin/MakeSample build/sample-run/sample.avi
./build/bin/CadroTool -avi build/sample-run/sample.avi -video -audio -timeline \
    -out build/sample-run/sample.cadro -info
