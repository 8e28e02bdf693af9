# shellcheck shell=bash
# Sourced by the scripts that run programs: build_targets TARGET... builds just those targets
# and sets $build to the build folder. By default that is the "default" preset (build/default);
# TELNORMER_BUILD=DIR uses an already configured build folder instead (e.g. one built with fewer
# parallel jobs on a shared machine).

build_targets() {
    if [ -n "${TELNORMER_BUILD:-}" ]; then
        build=$TELNORMER_BUILD
        if [ ! -f "$build/CMakeCache.txt" ]; then
            echo "TELNORMER_BUILD=$build is not a configured build folder" >&2
            return 1
        fi
        cmake --build "$build" --target "$@"
    else
        build=build/default
        cmake --preset default
        cmake --build --preset default --target "$@"
    fi
}
