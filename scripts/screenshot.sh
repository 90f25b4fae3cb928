#!/bin/sh
# Takes the pictures of the windows for the documentation: shows the main
# window on a virtual screen with a settings file of sample recorders and
# grabs its three tabs and the about box into docs/.
# Builds the picture program when it is missing.
set -e
BUILD_DIR=${1:-build}
OUT=${2:-docs}
ZENTAR="$BUILD_DIR/zentar-screenshots"
cmake --build "$BUILD_DIR" --target zentar-screenshots >/dev/null
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "xvfb-run is missing: run scripts/install-deps.sh." >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# The sample settings, in the code page and line ends the program keeps.
printf '%s\r\n' \
  '[LIST]' \
  '0=10.20.1.11' 'SELECT0=1' \
  '1=10.20.1.12' 'SELECT1=1' \
  '2=10.20.1.15' 'SELECT2=0' \
  '3=10.20.2.3' 'SELECT3=1' \
  '4=10.20.2.7' 'SELECT4=0' \
  '[UPLIST]' \
  'FN0=/srv/zentar/upd/opd' 'PN0=/mnt/dos/bin/' 'TN0=opd' 'CM0=1' \
  'FN1=/srv/zentar/upd/opd.cfg' 'PN1=/mnt/dos/etc/' 'TN1=opd.cfg' 'CM1=0' \
  '[FTP]' 'LOGIN=root' 'PASSIVE=1' 'TIMEOUT=10' \
  '[OPTIONS]' 'STOPSTART=2' 'CHECKDATE=1' > "$work/zentar.ini"

out_abs=$(cd "$OUT" && pwd)
# The program runs in the temporary folder so nothing it may write lands in the tree.
zentar_abs=$(cd "$(dirname "$ZENTAR")" && pwd)/$(basename "$ZENTAR")
(
  cd "$work"
  xvfb-run -a -s "-screen 0 1024x768x24" "$zentar_abs" "$work/zentar.ini" "$out_abs"
)
echo "Saved the pictures in $OUT"
