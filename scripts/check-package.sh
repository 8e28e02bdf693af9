#!/usr/bin/env bash
# Checks a built package (scripts/package.sh): lintian reports no error; then, as root, apt
# installs it, the programs run from /usr/bin and the manual pages are found, and apt remove
# leaves none of its files behind. Without root only lintian runs.
set -euo pipefail
deb=$(realpath "$1")
name=$(dpkg-deb --field "$deb" Package)

echo "== lintian $(basename "$deb")"
lintian --fail-on error "$deb"

if [ "$(id -u)" -ne 0 ]; then
    echo "check-package: not root, so no install, smoke run and removal"
    exit 0
fi
export DEBIAN_FRONTEND=noninteractive
if dpkg-query -W -f='${db:Status-Status}' "$name" 2>/dev/null | grep -qx installed; then
    echo "check-package: $name was installed (an earlier run?); removing it first"
    apt-get remove -y "$name"
fi
echo "== apt install $(basename "$deb")"
# Slim images tell dpkg to drop manual pages (path-exclude); this package's are under test.
apt-get install -y --no-install-recommends \
    -o DPkg::Options::=--path-include='/usr/share/man/man1/*' "$deb"
mapfile -t owned < <(dpkg-query -L "$name")

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
echo "== smoke run from /usr/bin"
for program in telnormer telnormer-batch vdbtool telnormer-host; do
    [ "$(command -v "$program")" = "/usr/bin/$program" ] || { echo "$program is not /usr/bin/$program" >&2; exit 1; }
    "$program" --version | head -n 1
    man -w "$program"
done
for file in /usr/share/applications/com.veltrano.Telnormer.desktop \
    /usr/share/metainfo/com.veltrano.Telnormer.metainfo.xml \
    /usr/share/dbus-1/services/com.veltrano.Telnormer.service \
    /usr/share/icons/hicolor/scalable/apps/com.veltrano.Telnormer.svg \
    /usr/share/icons/hicolor/48x48/apps/com.veltrano.Telnormer.png \
    /usr/share/bash-completion/completions/telnormer-batch; do
    [ -f "$file" ] || { echo "missing: $file" >&2; exit 1; }
done
(cd "$tmp" && vdbtool demo "$tmp/x.vdb" &&
    VDB_PASSWORD=admin telnormer-batch "$tmp/x.vdb" --user ADMIN --threads 2)

echo "== apt remove $name"
apt-get remove -y "$name"
status=$(dpkg-query -W -f='${db:Status-Status}' "$name" 2>/dev/null || echo not-installed)
[ "$status" = not-installed ] || { echo "after apt remove $name is $status" >&2; exit 1; }
left=()
for path in "${owned[@]}"; do
    # Directories such as /usr/bin belong to others too; whatever is only ours must be gone.
    if [ -L "$path" ] || [ -f "$path" ] || { [[ $path == */telnormer ]] && [ -d "$path" ]; }; then
        left+=("$path")
    fi
done
if [ ${#left[@]} -ne 0 ]; then
    printf 'left behind: %s\n' "${left[@]}" >&2
    exit 1
fi
echo "check-package: $name installed, ran and was removed without a trace"
