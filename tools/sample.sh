#!/usr/bin/env bash
# Builds the tool (configuring on first use) and runs its main job on a built-in sample.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/build.ninja ] || { bash tools/setup.sh && cmake -S . -B build -G Ninja -DCADRO_BUILD_BENCH=ON; }
cmake --build build -j"$(nproc)" --target CadroTool
./build/bin/CadroTool
