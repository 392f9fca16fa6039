#!/usr/bin/env bash
# Builds the .deb, checks its dependencies exist as Debian packages, unpacks it into a scratch
# root and starts the installed program (offscreen, no hand-off files) to see that it runs.
set -euo pipefail
BUILD_DIR="$1"
SCRATCH="$(mktemp -d)"
trap 'rm -rf "$SCRATCH"' EXIT

(cd "$BUILD_DIR" && cpack -G DEB -B "$SCRATCH/out" >/dev/null)
DEB="$(ls "$SCRATCH"/out/*.deb)"

depends="$(dpkg-deb -f "$DEB" Depends)"
IFS=',' read -ra packages <<<"$depends"
for p in "${packages[@]}"; do
  p="$(echo "$p" | xargs)"
  dpkg -s "$p" >/dev/null 2>&1 || { echo "dependency $p is not an installed Debian package"; exit 1; }
done

dpkg -x "$DEB" "$SCRATCH/root"
test -f "$SCRATCH/root/usr/share/applications/orvenna-print.desktop"
BIN="$SCRATCH/root/usr/bin/orvenna-print"
test -x "$BIN"

mkdir "$SCRATCH/tmp"
TMPDIR="$SCRATCH/tmp" QT_QPA_PLATFORM=offscreen "$BIN" &
APP=$!
sleep 2
if ! kill -0 "$APP" 2>/dev/null; then
  wait "$APP" || true
  echo "installed program did not keep running"
  exit 1
fi
kill -TERM "$APP"
wait "$APP" || true
echo "package ok: $(basename "$DEB")"
