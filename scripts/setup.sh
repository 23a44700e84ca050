#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those missing), then configures
# and builds the whole project with the default CMake preset.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev
  libqt6serialport6 libqt6printsupport6 libgl-dev
  libqt6sql6-sqlite libqt6sql6-psql qt6-charts-dev libqt6charts6
  libqt6opengl6-dev  # Qt6Charts's CMake package needs Qt6OpenGL's, which qt6-charts-dev does not pull in
  xvfb xauth poppler-utils
  desktop-file-utils dpkg-dev
)

bash scripts/install-missing.sh "${packages[@]}"

cmake --preset default
cmake --build --preset default
