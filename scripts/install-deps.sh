#!/bin/sh
# Installs the Debian 12 packages that building, testing and running need.
# As root it uses apt-get; otherwise sudo; failing both it prints the line to run.
set -e
PACKAGES="cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev \
  xvfb xauth fonts-dejavu-core vsftpd lighttpd curl dpkg-dev file"

# A second real FTP server for the client's tests (refuses SIZE in ASCII mode).
PACKAGES="$PACKAGES python3-pyftpdlib"
missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" = 0 ]; then
  SUDO=""
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  SUDO="sudo"
else
  echo "Missing packages. Please run: sudo apt-get install -y$missing" >&2
  exit 1
fi

# The FTP and web server packages are only started by the tests, on loopback
# addresses; keep apt from starting their daemons on every address.
policy=/usr/sbin/policy-rc.d
created_policy=""
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
  $SUDO chmod 755 "$policy"
  created_policy=yes
fi
trap '[ -n "$created_policy" ] && $SUDO rm -f "$policy"' EXIT

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq || true
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing
