#!/bin/sh
# Takes the picture of the main window for the documentation: starts the
# built program on a virtual screen with a settings file of sample recorders,
# lets it grab its own window into docs/main-window.png, and ends it.
# Builds nothing: run "make build" first.
set -e
ZENTAR=${1:-build/zentar}
OUT=${2:-docs/main-window.png}
if [ ! -x "$ZENTAR" ]; then
  echo "No program at $ZENTAR: build it first (make build)." >&2
  exit 1
fi
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

out_abs=$(cd "$(dirname "$OUT")" && pwd)/$(basename "$OUT")
# The program runs in the temporary folder so nothing it may write lands in the tree.
zentar_abs=$(cd "$(dirname "$ZENTAR")" && pwd)/$(basename "$ZENTAR")
(
  cd "$work"
  XDG_CONFIG_HOME="$work" ZENTAR_SCREENSHOT="$out_abs" \
    xvfb-run -a -s "-screen 0 1024x768x24" "$zentar_abs" "$work/zentar.ini"
)
echo "Saved $OUT"
