#!/usr/bin/env bash
# Two nights' collection in under three minutes, with no hardware: simulated counters on
# pseudo-terminals and on the network, a site list for them, `kestrova-cli collect` twice
# with fish passing in between, and `kestrova-cli report`. The counters keep the
# protocol's real pace, so each site takes some 15 to 20 seconds; the sites are on lines
# of their own, so up to four of them (--parallel's default) are collected at once.
#
#   scripts/demo-collect.sh [ARCHIVE_DIR]      (default: ./demo-archive)
#
# The sites:
#   Weir A           a counter with a password (given in a chmod 600 file)
#   Weir B (phone)   a counter behind a modem; its number ends in 6, so the first call
#                    meets BUSY and the site is called again after the others
#   Weir C           a counter whose clock is ten minutes slow; set-clock puts it right
#   Weir D (net)     a counter on the network (kestrova-sim --listen): a tcp:// port
#   Weir E (ser2net) a counter behind ser2net, a real serial device server, when ser2net
#                    is installed (apt-get install ser2net); left out otherwise
#
# It uses kestrova-sim and kestrova-cli from build/ (scripts/setup.sh makes it); when they
# are missing it builds just those two. KESTROVA_BUILD names another build folder.
# The archive is left in ARCHIVE_DIR: the window program's File > Counts History opens it
# and draws the fish counted between the two visits. A fish passes at each counter every
# few seconds, so the second visit downloads more events and the report shows the
# differences.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTROVA_BUILD:-$root/build}
archive=$(realpath -m "${1:-demo-archive}")
sim=$build/src/sim/kestrova-sim
cli=$build/src/cli/kestrova-cli

if [[ ! -x $sim || ! -x $cli ]]; then
  echo "== building kestrova-sim and kestrova-cli in $build"
  [[ -f $build/build.ninja ]] || (cd "$root" && cmake --preset default)
  ninja -C "$build" kestrova-sim kestrova-cli
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-demo.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# run COMMAND... : runs it in the background and waits, so that a signal to this script
# is handled at once (the trap then stops the command too) rather than after it.
run() {
  "$@" &
  pids+=($!)
  wait $!
}

# start_sim NAME OPTION... : starts a simulated counter and sets DEVICE to its line.
start_sim() {
  local name=$1
  shift
  # Made here, so that the loop below never reads a file the background job has yet to open.
  : >"$work/$name.out"
  "$sim" --quiet --fish-interval 4000 "$@" >"$work/$name.out" 2>"$work/$name.err" &
  pids+=($!)
  for _ in $(seq 50); do
    DEVICE=$(sed -n 's/^kestrova-sim: \(counter\|modem\) on //p' "$work/$name.out" | head -n 1)
    [[ -n $DEVICE ]] && return 0
    sleep 0.1
  done
  echo "demo-collect: the simulated counter $name did not start:" >&2
  cat "$work/$name.err" >&2
  exit 1
}

# free_port: a port of 127.0.0.1 that nothing listens on, in PORT.
free_port() {
  for _ in $(seq 50); do
    PORT=$((20000 + RANDOM % 20000))
    (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null || return 0
  done
  echo "demo-collect: no free port on 127.0.0.1" >&2
  exit 1
}

# start_ser2net DEVICE: serves the device as raw TCP on 127.0.0.1 and sets DEVICE to the
# tcp:// port; leaves DEVICE empty when ser2net is not installed.
start_ser2net() {
  local program
  program=$(PATH=$PATH:/usr/sbin:/sbin command -v ser2net || true)
  DEVICE=
  if [[ -z $program ]]; then
    echo "== ser2net is not installed: Weir E (ser2net) is left out"
    return 0
  fi
  free_port
  # "local": a pseudo-terminal has no modem lines to watch.
  printf 'connection: &counter\n  accepter: tcp,127.0.0.1,%s\n  connector: serialdev,%s,19200e71,local\n' \
    "$PORT" "$1" >"$work/ser2net.yaml"
  "$program" -d -u -c "$work/ser2net.yaml" >"$work/ser2net.out" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null; then
      DEVICE=tcp://127.0.0.1:$PORT
      return 0
    fi
    sleep 0.1
  done
  echo "demo-collect: ser2net did not start:" >&2
  cat "$work/ser2net.out" >&2
  exit 1
}

start_sim a --events 3 --password 4321
dev_a=$DEVICE
start_sim b --events 2 --modem
dev_b=$DEVICE
start_sim c --events 2 --clock-drift -600
dev_c=$DEVICE
start_sim d --events 4 --listen 127.0.0.1:0
dev_d=$DEVICE
start_sim e --events 3
start_ser2net "$DEVICE"
dev_e=$DEVICE

(umask 077 && echo 4321 >"$work/weir-a.pw")
cat >"$work/sites.ini" <<EOF
[Weir A]
port=$dev_a
password-file=weir-a.pw

[Weir B (phone)]
port=$dev_b
dial=01632 960006

[Weir C]
port=$dev_c
clock-tolerance=120
set-clock=true

[Weir D (net)]
port=$dev_d
EOF
if [[ -n $dev_e ]]; then
  printf '\n[Weir E (ser2net)]\nport=%s\n' "$dev_e" >>"$work/sites.ini"
fi
echo "== site list ($work/sites.ini)"
cat "$work/sites.ini"

status=0
for night in first second; do
  echo
  echo "== the $night night: kestrova-cli collect --sites sites.ini --archive $archive --retry-wait 10"
  code=0
  run "$cli" collect --sites "$work/sites.ini" --archive "$archive" --retry-wait 10 || code=$?
  echo "(exit status $code)"
  ((code > status)) && status=$code
done

echo
echo "== kestrova-cli report --archive $archive"
run "$cli" report --archive "$archive"
echo
echo "The archive is in $archive (open it in kestrova-control with File > Counts History)."
exit "$status"
