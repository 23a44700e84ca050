#!/usr/bin/env bash
# Builds the whole project with AddressSanitizer and UndefinedBehaviorSanitizer (CMake
# preset asan, into build-asan/) and runs every test under them. The packages are those of
# the normal build (scripts/setup.sh) and of its tests (below).
set -euo pipefail
cd "$(dirname "$0")/.."
# The network-line tests run a real serial device server; the archive's tests their own
# PostgreSQL server, reached through Qt's PostgreSQL driver.
bash scripts/install-missing.sh ser2net postgresql libqt6sql6-psql
cmake --preset asan
cmake --build --preset asan
ctest --preset asan "$@"
