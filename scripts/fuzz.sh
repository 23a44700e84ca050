#!/usr/bin/env bash
# Builds the libFuzzer targets with clang 14 (CMake preset fuzz, into build-fuzz/) and runs
# each one briefly over its seed corpus in fuzz/corpus/; a crash or a broken property
# fails the run. Installs clang-14 and libclang-rt-14-dev first when they are missing.
# Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

# The build tools and Qt as for the normal build, so that this script also runs on its own.
packages=(cmake ninja-build qt6-base-dev qt6-serialport-dev clang-14 libclang-rt-14-dev)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake --preset fuzz
cmake --build --preset fuzz
ctest --preset fuzz "$@"
