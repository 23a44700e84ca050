#!/usr/bin/env bash
# The published pages' pictures: a sample archive (publish_sample), its pages written by
# kestrova-cli report --html, and Debian's chromium, headless, photographing the index and
# a site's page at a desktop's size (1280x900) and a phone's (390x844).
#
#   bash scripts/publish-screenshots.sh [FOLDER]     # default docs/
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath "${1:-docs}")

bash scripts/install-missing.sh chromium
cmake --build --preset default --target publish_sample kestrova-cli

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/archive"
build/tests/publish/publish_sample "$work/archive"
build/src/cli/kestrova-cli report --archive "$work/archive" --html "$work/pages" --title "River Kestrel fish counts"

# Chromium's sandbox does not run as root; a fresh profile each time, and nothing fetched.
sandbox=()
[ "$(id -u)" -eq 0 ] && sandbox=(--no-sandbox)
shoot() {   # PAGE WIDTH,HEIGHT PICTURE
  chromium --headless "${sandbox[@]}" --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile-$3" --hide-scrollbars --window-size="$2" \
    --screenshot="$out/$3" "file://$work/pages/$1" 2>/dev/null
  echo "$out/$3"
}
shoot index.html 1280,900 publish-index.png
shoot index.html 390,844 publish-index-phone.png
shoot mill-race.html 1280,900 publish-site.png
shoot mill-race.html 390,844 publish-site-phone.png
