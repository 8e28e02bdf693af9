#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice: a normal build and
# an AddressSanitizer + UndefinedBehaviorSanitizer build; then packages the normal build and
# checks the package (lintian; as root install, smoke run, removal); then builds the libFuzzer
# targets and runs each for 30 s. Fails when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
for preset in default asan; do
    echo "== $preset: configure, build, test"
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
echo "== package: the .deb from build/default, lintian, install, smoke run, removal"
deb=$(./scripts/package.sh build/default)
./scripts/check-package.sh "$deb"
echo "== fuzz: configure, build, run each target for 30 s"
cmake --preset fuzz
cmake --build --preset fuzz
./scripts/fuzz.sh 30
echo "== all tests passed (default and asan), the package checked out, fuzz targets ran clean"
