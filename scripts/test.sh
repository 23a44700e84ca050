#!/usr/bin/env bash
# Sets up and builds (scripts/setup.sh), then runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# The network-line tests run a real serial device server.
bash scripts/install-missing.sh ser2net
bash scripts/printqueue.sh
ctest --preset default "$@"
