#!/bin/sh
# make run: starts three simulated recorders on loopback addresses and opens
# the tool on a demo settings file that lists them checked. Without a display
# it runs the same diagnostics through zentar-batch and prints the report.
set -e
BUILD_DIR=$(cd "${1:-build}" && pwd)
DEMO_DIR="$BUILD_DIR/demo"
SETTINGS="$DEMO_DIR/zentar-demo.ini"
HEALTHY=127.0.0.201
FAULTY=127.0.0.202
REFUSING=127.0.0.203

# The recorders' ports are fixed at 21 and 80, which only root may bind.
AS_ROOT=""
if [ "$(id -u)" != 0 ]; then
  if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    AS_ROOT="sudo -n"
  else
    echo "The simulated recorders listen on ports 21 and 80, which needs root: run 'sudo make run'." >&2
    exit 1
  fi
fi

mkdir -p "$DEMO_DIR/files"
if [ ! -f "$DEMO_DIR/files/opd-demo" ]; then
  printf '#!/bin/sh\necho demo poll daemon\n' > "$DEMO_DIR/files/opd-demo"
fi
if [ ! -f "$SETTINGS" ]; then
  # Windows-1251 and CR LF, as the tool writes it itself.
  printf '%s\r\n' \
    '[LIST]' "0=$HEALTHY" 'SELECT0=1' "1=$FAULTY" 'SELECT1=1' "2=$REFUSING" 'SELECT2=1' \
    '[UPLIST]' "FN0=$DEMO_DIR/files/opd-demo" 'PN0=/mnt/dos/bin/' 'TN0=opd-demo' 'CM0=1' \
    '[FTP]' 'LOGIN=demo' 'PASS=demo' 'PASSIVE=1' 'TIMEOUT=10' \
    '[OPTIONS]' 'REPDATE=0' > "$SETTINGS"
fi

PIDS=""
cleanup() {
  for pid in $PIDS; do $AS_ROOT kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

start_recorder() { # address sample-kind extra-options...
  address=$1; kind=$2; shift 2
  $AS_ROOT "$BUILD_DIR/tools/zentar-simrecorder" --address "$address" --root "$DEMO_DIR/recorder-$address" \
    --user demo --password demo --sample "$kind" "$@" 2>>"$DEMO_DIR/simrecorders.log" &
  PIDS="$PIDS $!"
}
start_recorder $HEALTHY healthy
start_recorder $FAULTY faulty
start_recorder $REFUSING healthy --refuse-login
sleep 0.5
for pid in $PIDS; do
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "A simulated recorder did not start; see $DEMO_DIR/simrecorders.log:" >&2
    tail -n 3 "$DEMO_DIR/simrecorders.log" >&2
    exit 1
  fi
done

cd "$DEMO_DIR"
if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ]; then
  echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset): running the demo diagnostics with zentar-batch instead." >&2
  echo "To see the window, run 'make run' from a desktop session or under 'xvfb-run'." >&2
  status=0
  report=$("$BUILD_DIR/zentar-batch" diagnostics "$SETTINGS") || status=$?
  if [ -n "$report" ] && [ -f "$report" ]; then
    echo "Report $DEMO_DIR/$report:"
    iconv -f CP1251 -t UTF-8 "$report" | tr -d '\r'
  fi
  exit 0
fi
"$BUILD_DIR/zentar" "$SETTINGS"
