#!/usr/bin/env bash
# Saves the README's screenshots on a virtual X display: the main window on a fresh demo
# database, the login dialog and the main window during a run (with its Stop button), each in
# English and German, as docs/main-window-{en,de}.png, docs/login-{en,de}.png and
# docs/running-{en,de}.png, and the results view after a run as docs/results-{en,de}.png. The
# files are replaced only when all were taken.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
. scripts/build-targets.sh
build_targets telnormer-preview vdbtool

work=$(mktemp -d /tmp/telnormer.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$build/tools/vdbtool/vdbtool" demo "$work/Demo.vdb" >/dev/null
# Big enough that the run is still going when the running window is saved.
"$build/tools/vdbtool/vdbtool" demo "$work/Big.vdb" --records 30000 >/dev/null
preview=$build/tools/preview/telnormer-preview

# shoot LANGUAGE LOCALE PREVIEW-ARGUMENTS...: one preview run with clean settings.
shoot() {
    local language=$1 locale=$2
    shift 2
    rm -rf "$work/config" "$work/runtime"
    mkdir -m 700 "$work/runtime"
    env -u WAYLAND_DISPLAY LANGUAGE="$language" LANG="$locale" LC_ALL="$locale" \
        QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
        xvfb-run -a -s "-screen 0 1280x1024x24" timeout 120 "$preview" "$@"
}

shoot en en_US.UTF-8 "$work/Demo.vdb" --country-field Land --screenshot "$work/main-window-en.png"
shoot de de_DE.UTF-8 "$work/Demo.vdb" --country-field Land --screenshot "$work/main-window-de.png"
shoot en en_US.UTF-8 --login-screenshot "$work/login-en.png" "$work"
shoot de de_DE.UTF-8 --login-screenshot "$work/login-de.png" "$work"
shoot en en_US.UTF-8 "$work/Big.vdb" --running-screenshot "$work/running-en.png"
shoot de de_DE.UTF-8 "$work/Big.vdb" --running-screenshot "$work/running-de.png"
# Each language's run gets a fresh demo: the first run leaves nothing for the second to convert.
cp "$work/Demo.vdb" "$work/Results.vdb"
shoot en en_US.UTF-8 "$work/Demo.vdb" --results-screenshot "$work/results-en.png"
shoot de de_DE.UTF-8 "$work/Results.vdb" --results-screenshot "$work/results-de.png"

mkdir -p docs
for name in main-window-en main-window-de login-en login-de running-en running-de results-en \
    results-de; do
    mv "$work/$name.png" "docs/$name.png"
    echo "screenshots: saved docs/$name.png"
done
