#!/bin/sh
# The package as a user gets it: built from this build, installed, run from the installed files
# only, its units checked, and removed again whatever happened. Needs root (dpkg); otherwise it
# is skipped (status 77) with the reason.
#   installed_package_test.sh BUILD_DIR
set -eu

BUILD=${1:?usage: installed_package_test.sh BUILD_DIR}
skip() { echo "skipped: $1"; exit 77; }
fail() { echo "FAILED: $1" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root (CI runs make test as root)"
if dpkg-query -W -f='${Status}' kelvan 2>/dev/null | grep -q "install ok installed"; then
  skip "a kelvan package is installed on this machine; the test would replace and remove it"
fi

work=$(mktemp -d /tmp/kelvan-package-test.XXXXXX)
installed=0
cleanup() {
  [ "$installed" -eq 1 ] && dpkg --purge kelvan >"$work/purge.log" 2>&1 || true
  [ "$installed" -eq 1 ] && dpkg-query -W kelvan >/dev/null 2>&1 &&
    echo "FAILED: the package could not be removed; see $work/purge.log" >&2 && return
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

echo "== build the package"
cpack -G DEB -B "$work/package" --config "$BUILD/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/package/kelvan_*.deb)

echo "== install $(basename "$deb")"
installed=1
dpkg -i "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "dpkg -i"; }

echo "== the installed files"
[ "$(/usr/bin/kelvan-batch --version)" = "kelvan-batch $(dpkg-query -W -f='${Version}' kelvan)" ] ||
  fail "kelvan-batch --version does not give the package's version"
for program in kelvan kelvan-report qobra vltsim Setup; do
  QT_QPA_PLATFORM=offscreen /usr/bin/$program --version >/dev/null || fail "$program --version"
done
[ "$(stat -c '%U %a' /etc/kelvan/KELVAN.ini)" = "kelvan 600" ] ||
  fail "/etc/kelvan/KELVAN.ini is not owned by kelvan with mode 0600"
[ "$(stat -c '%U' /var/log/kelvan)" = kelvan ] || fail "/var/log/kelvan is not kelvan's"
[ -L /etc/systemd/system/timers.target.wants/kelvan-batch.timer ] ||
  fail "kelvan-batch.timer is not enabled"
for page in kelvan-batch kelvan-report qobra vltsim; do
  [ -f "/usr/share/man/man1/$page.1" ] || fail "no manual page for $page"
done

echo "== systemd-analyze verify"
systemd-analyze verify /usr/lib/systemd/system/kelvan-batch.service \
  /usr/lib/systemd/system/kelvan-batch.timer || fail "systemd-analyze verify"

echo "== a short load as the service's user, from the installed files"
load="$work/load"
mkdir -p "$load/odbc"
/usr/bin/vltsim create "$load/vlt.db" --days 1 --seed 7 >/dev/null
/usr/bin/vltsim register --dir "$load/odbc" --dsn VLTSRV1 --database "$load/vlt.db" --uid admin \
  --pwd package-test >/dev/null
grep -q "^Driver=/usr/lib/kelvan/libvltodbc.so" "$load/odbc/odbcinst.ini" ||
  fail "vltsim registered another driver than the installed one"
sqlite3 "$load/reporting.db" < /usr/share/kelvan/schema/sqlite.sql
driver_dir="$(pkg-config --variable=libdir odbc)/odbc"
printf '[SQLite3]\nDriver=%s/libsqlite3odbc.so\n' "$driver_dir" >> "$load/odbc/odbcinst.ini"
printf '[REPORTING]\nDriver=SQLite3\nDatabase=%s\nTimeout=10000\n' "$load/reporting.db" \
  >> "$load/odbc/odbc.ini"
# The example's lines end in CR LF, as the console writes them.
sed -e 's/^TotalNoTables:=.*/TotalNoTables:=2\r/' \
    -e 's/^TableArray:=.*/TableArray:="SUMMARY","NODES",\r/' \
    -e 's/PWD=change-me/PWD=package-test/' -e 's/^UID:=kelvan/UID:=/' \
    -e 's/^Password:=.*/Password:=\r/' \
    -e 's/^ActivateForecasting:=True/ActivateForecasting:=False/' \
    /usr/share/kelvan/examples/KELVAN.ini > "$load/KELVAN.ini"
chown -R kelvan:kelvan "$load"
chmod 600 "$load/KELVAN.ini"
chmod 711 "$work"
status=0
runuser -u kelvan -- env ODBCSYSINI="$load/odbc" ODBCINI="$load/odbc/odbc.ini" \
  /usr/bin/kelvan-batch -CONFIG="$load/KELVAN.ini" -LOG="$load/run.htm" 2>"$load/stderr.txt" ||
  status=$?
[ "$status" -eq 0 ] || { cat "$load/stderr.txt"; fail "kelvan-batch ended with status $status"; }
rows=$(sqlite3 "$load/reporting.db" "SELECT count(*) FROM SUMMARY")
[ "$rows" -gt 0 ] || fail "no SUMMARY row loaded"
echo "loaded $rows SUMMARY rows"

timer=0
"$(dirname "$0")/timer_check.sh" "$load" || timer=$?
[ "$timer" -eq 0 ] || [ "$timer" -eq 77 ] || fail "the timer check"

echo "== remove"
installed=0
dpkg --purge kelvan >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "dpkg --purge"; }
[ ! -e /usr/bin/kelvan-batch ] && [ ! -e /etc/kelvan ] || fail "files left after dpkg --purge"
echo "passed"
