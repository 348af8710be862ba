#!/bin/bash
# Whether the installed kelvan-batch.timer starts kelvan-batch.service and the service loads.
# The host's systemd may not be running (a build machine, a container), so systemd is booted
# as PID 1 of a namespace of its own over a throw-away overlay of this machine's root: the
# installed package is seen there, and nothing written there reaches the host.
#   timer_check.sh LOAD_DIR   (as root, with the package installed; LOAD_DIR holds the
#                              installed-package test's vlt.db, reporting.db and KELVAN.ini)
# Status 0 the timer started a load that succeeded, 1 it did not, 77 no systemd could be booted.
set -eu

LOAD=${1:?usage: timer_check.sh LOAD_DIR}
skip() { echo "timer not checked: $1"; exit 77; }
fail() { echo "FAILED: $1" >&2; exit 1; }

command -v unshare >/dev/null && command -v nsenter >/dev/null || skip "no unshare/nsenter"
[ -x /lib/systemd/systemd ] || skip "systemd is not installed"

# Inside the new namespaces: the overlay becomes the root and systemd its init.
boot() {
  local top=$1
  mount -t tmpfs tmpfs "$top"
  mkdir "$top/upper" "$top/work" "$top/root"
  mount -t overlay overlay -o "lowerdir=/,upperdir=$top/upper,workdir=$top/work" "$top/root"
  mount -t proc proc "$top/root/proc"
  mount --rbind /sys "$top/root/sys"
  mount --rbind /dev "$top/root/dev"
  mount -t tmpfs tmpfs "$top/root/run"
  mount -t tmpfs tmpfs "$top/root/tmp"
  mkdir -p "$top/root/oldroot"
  cd "$top/root"
  pivot_root . oldroot
  umount -l /oldroot
  export container=kelvan-timer-check
  exec /lib/systemd/systemd --system --log-target=console --show-status=no
}

top=$(mktemp -d /tmp/kelvan-timer-check.XXXXXX)
log="$top.log"
unshare --mount --pid --fork --propagation private bash -c "$(declare -f boot); boot $top" \
  >"$log" 2>&1 &
holder=$!
init=""
cleanup() {
  [ -n "$init" ] && kill -9 "$init" 2>/dev/null
  kill -9 "$holder" 2>/dev/null
  wait "$holder" 2>/dev/null || true
  rm -rf "$log" "$top"
}
trap cleanup EXIT

inside() { nsenter -t "$init" -m -p -- "$@"; }

for _ in $(seq 1 60); do
  init=$(pgrep -P "$holder" -x systemd || true)
  [ -n "$init" ] && break
  kill -0 "$holder" 2>/dev/null || break
  sleep 1
done
[ -n "$init" ] || { cat "$log"; skip "systemd could not be started in a namespace here"; }
state=""
for _ in $(seq 1 60); do
  state=$(inside systemctl is-system-running 2>/dev/null || true)
  case "$state" in running|degraded) break ;; esac
  sleep 1
done
case "$state" in running|degraded) ;; *) skip "systemd did not come up ($state)" ;; esac

echo "== the timer, in a systemd of its own"
inside systemctl is-enabled kelvan-batch.timer >/dev/null || fail "kelvan-batch.timer is not enabled"
inside systemctl is-active kelvan-batch.timer >/dev/null || fail "kelvan-batch.timer is not active"

# The service's own paths: its setup file and odbc.ini in /etc/kelvan, data out of /tmp (the
# service has a private /tmp).
data=/var/lib/kelvan-timer-check
driver_dir="$(pkg-config --variable=libdir odbc)/odbc"
inside mkdir -p "$data"
for file in vlt.db reporting.db; do inside sh -c "cat > $data/$file" < "$LOAD/$file"; done
inside sh -c "cat > /etc/kelvan/KELVAN.ini" < "$LOAD/KELVAN.ini"
inside sh -c "cat > /etc/kelvan/odbc.ini" <<INI
[VLTSRV1]
Driver=/usr/lib/kelvan/libvltodbc.so
Database=$data/vlt.db
[REPORTING]
Driver=$driver_dir/libsqlite3odbc.so
Database=$data/reporting.db
Timeout=10000
INI
inside chown -R kelvan:kelvan "$data" /etc/kelvan
inside chmod 600 /etc/kelvan/KELVAN.ini
inside sqlite3 "$data/reporting.db" "DELETE FROM SUMMARY"

# Only the time changes: the next start a few seconds from now.
at=$(date -d '+8 seconds' '+%Y-%m-%d %H:%M:%S')
inside mkdir -p /etc/systemd/system/kelvan-batch.timer.d
inside sh -c "printf '[Timer]\nOnCalendar=\nOnCalendar=$at\nAccuracySec=1s\nPersistent=false\n' \
  > /etc/systemd/system/kelvan-batch.timer.d/soon.conf"
inside systemctl daemon-reload
inside systemctl restart kelvan-batch.timer
echo "timer set for $at"

result=""
for _ in $(seq 1 120); do
  result=$(inside systemctl show kelvan-batch.service -p ExecMainExitTimestampMonotonic --value)
  [ "${result:-0}" != 0 ] && break
  sleep 1
done
[ "${result:-0}" != 0 ] || fail "the timer did not start kelvan-batch.service within 2 minutes"
status=$(inside systemctl show kelvan-batch.service -p ExecMainStatus --value)
inside journalctl -u kelvan-batch.service --no-pager -o cat | tail -5
[ "$status" = 0 ] || fail "kelvan-batch.service ended with status $status"
rows=$(inside sqlite3 "$data/reporting.db" "SELECT count(*) FROM SUMMARY")
[ "$rows" -gt 0 ] || fail "the service loaded no SUMMARY row"
logs=$(inside sh -c 'cat /var/log/kelvan/vltlog_*.htm' | grep -c "successfully completed" || true)
[ "$logs" -gt 0 ] || fail "no run log under /var/log/kelvan says the server completed"
echo "the timer started kelvan-batch.service: status 0, $rows SUMMARY rows, its run log in /var/log/kelvan"
