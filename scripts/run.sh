#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset default
cmake --build --preset default
cat <<'EOT'
Built. The program itself cannot start yet: so far the repository holds the shared services
(string table, error messages, settings store, message boxes), the file utilities and the database
interfaces, all exercised by the test suite (scripts/test.sh). The database engine, the windows
and the telnormer program follow.
EOT
