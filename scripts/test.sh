#!/usr/bin/env bash
# Installs the dependencies, builds, and runs every test (GUI tests on Qt's offscreen platform):
# first the whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer, then each
# libFuzzer target for FUZZ_SECONDS (default 60), then the suite in the ordinary build.
# ORVENNA_QUICK=1 runs the ordinary suite only.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen

if [ "${ORVENNA_QUICK:-0}" != 1 ]; then
  BUILD_DIR=build-asan bash scripts/build.sh -DORVENNA_SANITIZE=ON
  # The package test needs the ordinary build's binaries.
  ctest --test-dir build-asan --output-on-failure -j 2 -E package_deb

  cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DFUZZ_SECONDS="${FUZZ_SECONDS:-60}"
  cmake --build build-fuzz --target run-fuzzers
fi

bash scripts/build.sh
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j 2
