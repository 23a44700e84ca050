#!/usr/bin/env bash
# Sets up and builds (scripts/setup.sh), then runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# The network-line tests run a real serial device server; the archive's tests their own
# PostgreSQL server, reached through Qt's PostgreSQL driver.
bash scripts/install-missing.sh ser2net postgresql libqt6sql6-psql
bash scripts/printqueue.sh
ctest --preset default "$@"
