#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs them one after another.
# Usage: scripts/fuzz.sh [TARGET] [SECONDS]
#   TARGET   a program of fuzz/ (patmatch, listing, inifile, ...); default all
#   SECONDS  how long each target runs; default 60
# Each target starts from its seeds in fuzz/corpus/<target>/ and from what
# earlier runs found (build-fuzz/corpus/<target>/), with fuzz/dict/<target>.dict.
# A crash, a leak or an input slower than 10 s leaves the input in
# build-fuzz/crashes/<target>/ and fails the run; the libFuzzer output is in
# build-fuzz/logs/<target>.log.
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:-all}
seconds=${2:-60}
mapfile -t all < <(find fuzz -maxdepth 1 -name '*_fuzzer.cpp' -printf '%f\n' | sed 's/_fuzzer\.cpp$//' | sort)
if [ "$target" = all ]; then
    targets=("${all[@]}")
elif printf '%s\n' "${all[@]}" | grep -qx -- "$target"; then
    targets=("$target")
else
    echo "fuzz: no target '$target'; the targets are: ${all[*]}" >&2
    exit 2
fi

scripts/deps.sh
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DTESSARO_SANITIZE=address -DTESSARO_FUZZ=ON -DTESSARO_GUI=OFF -DTESSARO_TESTS=OFF -DTESSARO_BENCH=OFF >/dev/null
build=()
for name in "${targets[@]}"; do
    build+=("fuzz_$name")
done
cmake --build build-fuzz --target "${build[@]}"

failed=()
for name in "${targets[@]}"; do
    corpus=build-fuzz/corpus/$name
    crashes=build-fuzz/crashes/$name
    mkdir -p "$corpus" "$crashes" build-fuzz/logs
    options=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1
        -artifact_prefix="$crashes/")
    if [ -f "fuzz/dict/$name.dict" ]; then
        options+=(-dict="fuzz/dict/$name.dict")
    fi
    echo "fuzz: $name for ${seconds} s"
    # New inputs go to the first folder; the committed seeds stay as they are.
    if build-fuzz/fuzz/"fuzz_$name" "${options[@]}" "$corpus" "fuzz/corpus/$name" \
        >"build-fuzz/logs/$name.log" 2>&1; then
        grep -E '^#[0-9]+[[:space:]]+DONE' "build-fuzz/logs/$name.log" || true
    else
        failed+=("$name")
        tail -n 40 "build-fuzz/logs/$name.log" >&2
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz: failed: ${failed[*]} (inputs in build-fuzz/crashes/)" >&2
    exit 1
fi
