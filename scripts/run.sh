#!/usr/bin/env bash
# Installs what is missing, builds the program, vdbtool and telnormer-batch, puts the demo
# database Demo.vdb beside the program when none is there, and starts the program (arguments are
# passed on).
# Without a display it says how to run headless under xvfb-run instead.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
. scripts/build-targets.sh

build_targets telnormer vdbtool telnormer-batch

program=$build/src/startup/telnormer
demo=$(cd "$(dirname "$program")" && pwd)/Demo.vdb
if [ ! -e "$demo" ]; then
    "$build/tools/vdbtool/vdbtool" demo "$demo"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<EOT
run: no display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the program cannot show its
windows. Everything is built; to run it on a virtual X display instead, use

    xvfb-run -a ./scripts/run.sh

(xvfb-run comes with the package xvfb, installed above). Nothing is visible there: use it to
check that the program starts, or drive it with xdotool as scripts/keyboard-login.sh does.

The main job runs without any display through telnormer-batch, for example:

    VDB_PASSWORD=admin $build/tools/batch/telnormer-batch $demo --user ADMIN
EOT
    exit 1
fi

cat <<EOT
run: starting $program
     log in to the demo database $demo
     as user ADMIN with password admin (the Database box starts with the pattern *.vdb:
     type the path above or browse to Demo.vdb).
EOT
exec "$program" "$@"
