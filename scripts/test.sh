#!/usr/bin/env bash
# Installs what is missing, builds Quenta with its tests and runs every test: once in a normal
# build, then the Debian package's checks, then the reply fuzzer for a bounded time, then every
# test again under the address and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --with-fuzz
jobs=$(nproc)
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENTA_TESTS=ON -DQUENTA_BENCH=ON >/dev/null
cmake --build build-test -j"$jobs"
(cd build-test && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs")

# The Debian package from a clean clone, installed with apt-get, run, and removed again.
scripts/check-package.sh

# Every operation and decoder fed arbitrary replies (clang's libFuzzer, ASan/UBSan), from the
# corpus kept in fuzz/corpus; what it finds new goes to a scratch folder.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DQUENTA_SANITIZE=ON -DQUENTA_FUZZ=ON \
  -DQUENTA_TESTS=OFF -DQUENTA_BENCH=OFF >/dev/null
cmake --build build-fuzz --target fuzz_replies -j"$jobs"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/found"
if ! QT_QPA_PLATFORM=offscreen UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    build-fuzz/fuzz_replies -max_total_time="${QUENTA_FUZZ_SECONDS:-60}" -print_final_stats=1 \
    "$scratch/found" fuzz/corpus >"$scratch/fuzz.log" 2>&1; then
  cat "$scratch/fuzz.log"
  exit 1
fi
grep -E '^Done|number_of_executed_units' "$scratch/fuzz.log"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUENTA_SANITIZE=ON -DQUENTA_TESTS=ON -DQUENTA_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && QT_QPA_PLATFORM=offscreen UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --output-on-failure -j"$jobs")
