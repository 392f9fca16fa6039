#!/usr/bin/env bash
# Starts the built program under a private Xvfb display and saves a screenshot of the screen.
# Usage: scripts/screenshot.sh [output.png]   (build first with scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
OUT="${1:-screenshot.png}"
BIN="${BUILD_DIR:-build}/src/orvenna-print"
DISPLAY_NUM=":$((90 + RANDOM % 9))"
Xvfb "$DISPLAY_NUM" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
XVFB=$!
EMPTY_TMP="$(mktemp -d)"
cleanup() { kill "$APP" 2>/dev/null || true; kill "$XVFB" 2>/dev/null || true; rm -rf "$EMPTY_TMP"; }
trap cleanup EXIT
sleep 1
DISPLAY="$DISPLAY_NUM" QT_QPA_PLATFORM=xcb TMPDIR="$EMPTY_TMP" "$BIN" &
APP=$!
sleep 2
DISPLAY="$DISPLAY_NUM" import -window root "$OUT"
echo "saved $OUT"
