#!/usr/bin/env bash
# Builds the Debian package telnormer_<version>_<arch>.deb with CPack and prints its path.
#   scripts/package.sh             configures and builds a release tree in build/release, with
#                                  Debian's hardening flags, without the tests and benchmarks
#   scripts/package.sh BUILD_DIR   packages an already configured tree (CI: build/default)
# Only the programs and files the package holds are built. Everything but the path goes to
# standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -ge 1 ]; then
    build=$1
    [ -f "$build/CMakeCache.txt" ] || { echo "package: $build is not a configured build tree" >&2; exit 1; }
else
    build=build/release
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    cmake --preset release \
        -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
        -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >&2
fi
cmake --build "$build" --target telnormer_installable -j2 >&2
rm -rf "$build/package"
log=$(cd "$build" && cpack -G DEB --config CPackConfig.cmake)
echo "$log" >&2
deb=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' <<<"$log")
[ -f "$deb" ] || { echo "package: cpack made no .deb" >&2; exit 1; }
echo "$deb"
