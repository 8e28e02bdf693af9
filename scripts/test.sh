#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice: a normal build and
# an AddressSanitizer + UndefinedBehaviorSanitizer build; then builds the libFuzzer targets and
# runs each for 30 s. Fails when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
for preset in default asan; do
    echo "== $preset: configure, build, test"
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
echo "== fuzz: configure, build, run each target for 30 s"
cmake --preset fuzz
cmake --build --preset fuzz
./scripts/fuzz.sh 30
echo "== all tests passed (default and asan), fuzz targets ran clean"
