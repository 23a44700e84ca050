#!/usr/bin/env bash
# Builds the libFuzzer targets with clang 14 (CMake preset fuzz, into build-fuzz/) and runs
# each one briefly over its seed corpus in fuzz/corpus/; a crash or a broken property
# fails the run. Installs clang-14 and libclang-rt-14-dev first when they are missing.
# Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

# The build tools and Qt as for the normal build, so that this script also runs on its own.
packages=(cmake ninja-build qt6-base-dev qt6-serialport-dev clang-14 libclang-rt-14-dev)

bash scripts/install-missing.sh "${packages[@]}"

cmake --preset fuzz
cmake --build --preset fuzz
ctest --preset fuzz "$@"
