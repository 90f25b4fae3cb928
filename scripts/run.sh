#!/bin/sh
# Starts the tool. Without a display there is no window to show.
BUILD_DIR=${1:-build}
if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ]; then
  echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset): run 'make run' from a desktop session, or 'xvfb-run make run' to start it on a virtual screen." >&2
  exit 1
fi
exec "$BUILD_DIR/zentar" "$@"
