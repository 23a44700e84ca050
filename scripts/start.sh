#!/usr/bin/env bash
# Sets up and builds (scripts/setup.sh), then starts the program in demo mode: a simulated
# counter runs inside it on a pseudo-terminal and is preselected in "Direct Connection".
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec build/src/app/kestrova-control --demo "$@"
