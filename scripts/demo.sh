#!/usr/bin/env bash
# Starts the built program on a ready example: a private temporary folder holding a plain
# hand-off pair that names the shipped letter.docx, sums.xlsx and photo.jpg. Without a default
# printer, a private CUPS queue writes each job as a PDF file into $ORVENNA_DEMO_DIR/printed.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
DEMO_DIR="${ORVENNA_DEMO_DIR:-$HOME/orvenna-demo}"

mkdir -p "$DEMO_DIR/documents" "$DEMO_DIR/printed"
rm -rf "$DEMO_DIR/tmp"
mkdir -p "$DEMO_DIR/tmp"
cp examples/letter.docx examples/sums.xlsx examples/photo.jpg "$DEMO_DIR/documents/"

CUPS_PID=""
cleanup() {
  if [ -n "$CUPS_PID" ]; then
    kill "$CUPS_PID" 2>/dev/null || true
    wait "$CUPS_PID" 2>/dev/null || true
  fi
}
trap cleanup EXIT

if ! lpstat -d 2>/dev/null | grep -q 'system default destination:'; then
  "$BUILD_DIR/tests/orvenna-private-cups" "$DEMO_DIR/printed" >"$DEMO_DIR/cups.log" &
  CUPS_PID=$!
  for _ in $(seq 100); do
    socket="$(head -n 1 "$DEMO_DIR/cups.log" 2>/dev/null || true)"
    [ -n "$socket" ] && break
    kill -0 "$CUPS_PID" 2>/dev/null || { echo "the private CUPS queue did not start" >&2; exit 1; }
    sleep 0.1
  done
  export CUPS_SERVER="$socket"
  echo "No default printer here: printed jobs are written as PDF files to $DEMO_DIR/printed"
fi

# The calling application's side: the document folder with its trailing "/", then the window's
# left, top, width and height; one entry per line, copies right-aligned in four characters, two
# blanks, the file name. UTF-8 with a byte-order mark, CR LF line ends.
{
  printf '\xEF\xBB\xBF%s/\r\n%s\r\n%s\r\n%s\r\n%s\r\n' "$DEMO_DIR/documents" 120 90 700 500
} >"$DEMO_DIR/tmp/VelmoraPara.Dat"
printf '   2  letter.docx\r\n   1  sums.xlsx\r\n   1  photo.jpg\r\n' >"$DEMO_DIR/tmp/VelmoraData.Dat"

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No desktop session (DISPLAY) found: start this from a graphical session." >&2
  exit 1
fi
echo "Starting orvenna-print; click 连续打印 to print the three entries."
TMPDIR="$DEMO_DIR/tmp" "$BUILD_DIR/src/orvenna-print"
