#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer),
# writes their seed corpora with the test fixture writers and runs each target for a
# bounded time. Exits non-zero when a target crashes, hangs, leaks or asks for memory
# out of proportion; the input that did it is left in build-fuzz/artifacts/.
#
#   tools/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]     (default 45 s, every target)
#   FUZZ_RUNS=10000000 tools/fuzz.sh 3600 Cadro        (a long run: stops at either bound)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-45}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(Avi Wav Adts Cadro CommandLine)
build="${FUZZ_BUILD_DIR:-build-fuzz}"

bash tools/install-missing.sh clang cmake ninja-build

instrument="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCADRO_BUILD_FUZZ=ON -DCADRO_BUILD_TESTS=OFF \
    "-DCMAKE_CXX_FLAGS=$instrument" "-DCMAKE_C_FLAGS=$instrument" \
    "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" \
    "-DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=address,undefined" >/dev/null
build_targets=(MakeFuzzSeeds)
for target in "${targets[@]}"; do build_targets+=("Fuzz$target"); done
cmake --build "$build" -j"$(nproc)" --target "${build_targets[@]}"

rm -rf "$build/seeds"
"$build/bin/MakeFuzzSeeds" "$build/seeds"
mkdir -p "$build/artifacts"

failed=()
for target in "${targets[@]}"; do
    name="$(echo "$target" | tr '[:upper:]' '[:lower:]')"
    corpus="$build/corpus/$name"
    mkdir -p "$corpus"
    log="$build/fuzz-$name.log"
    echo "== Fuzz$target: ${seconds} s"
    # The corpus folder keeps what earlier runs found; the seeds are read only.
    # -rss_limit_mb and -malloc_limit_mb make any outsized allocation a finding; a single
    # input running past -timeout seconds is a hang.
    set +e
    "$build/bin/Fuzz$target" "$corpus" "$build/seeds/$name" \
        -max_total_time="$seconds" ${FUZZ_RUNS:+-runs="$FUZZ_RUNS"} \
        -max_len=16384 -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 \
        -artifact_prefix="$build/artifacts/$name-" -print_final_stats=1 >"$log" 2>&1
    status=$?
    set -e
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    features=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    echo "   executions ${runs:-?}, coverage ${coverage:-?} edges, ${features:-?} features, status $status"
    if [ "$status" -ne 0 ]; then
        grep -E '^(==[0-9]+==|SUMMARY|.*runtime error)' "$log" | head -5 || true
        echo "   log: $log"
        failed+=("$target")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found faults in: ${failed[*]}"
    exit 1
fi
echo "fuzzing: every target ran clean"
