#!/bin/sh
# Installs every Debian package the build, the tests, the demo and the benchmarks need.
# Idempotent: does nothing (and prints nothing) when all are present.
set -eu

PACKAGES="
build-essential cmake pkg-config clang-format
libgtest-dev libgmock-dev googletest libbenchmark-dev nlohmann-json3-dev
unixodbc unixodbc-dev odbcinst python3-pyodbc
libsqlite3-dev sqlite3 libsqliteodbc
postgresql postgresql-client odbc-postgresql
mariadb-server mariadb-client odbc-mariadb
qt6-base-dev qt6-multimedia-dev libgl-dev xvfb xauth
qt6-charts-dev qt6-svg-dev libqt6opengl6-dev chromium
valgrind time pgloader faketime
clang libclang-rt-14-dev
"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
echo "install-deps: installing$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# The servers are started by the test command on loopback ports of its own; keep
# Debian's packaged instances from starting at install time.
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
  $SUDO chmod +x /usr/sbin/policy-rc.d
  remove_policy=1
else
  remove_policy=0
fi
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
[ "$remove_policy" -eq 1 ] && $SUDO rm -f /usr/sbin/policy-rc.d
exit 0
