#!/usr/bin/env bash
# Sets up and builds (scripts/setup.sh), then starts a simulated counter and talks to it
# once with the command-line client.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

sim_out=$(mktemp)
build/src/sim/kestrova-sim > "$sim_out" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null; rm -f "$sim_out"' EXIT
for _ in $(seq 50); do
  grep -q 'counter on' "$sim_out" && break
  sleep 0.1
done
device=$(sed -n 's/.*counter on \(\S*\).*/\1/p' "$sim_out")
echo "Simulated counter on $device; asking for its status:"
build/src/cli/kestrova-cli send --log --port "$device" a
