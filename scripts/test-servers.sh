#!/bin/sh
# Starts or stops the throw-away PostgreSQL and MariaDB servers of the test run, on loopback
# ports, in a folder of their own. `start` prints the environment the tests read. The ports are
# free ones the system picks unless KELVAN_PG_PORT / KELVAN_MARIADB_PORT name them. A server that
# does not start leaves DIR in place and its log on stderr; `start` then exits 1 with the other
# server stopped.
#   scripts/test-servers.sh start|stop DIR
set -eu

action=${1:?usage: test-servers.sh start|stop DIR}
D=${2:?usage: test-servers.sh start|stop DIR}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
if [ "$action" = start ]; then
  PG_PORT=${KELVAN_PG_PORT:-$(free_port)}
  MARIA_PORT=${KELVAN_MARIADB_PORT:-$(free_port)}
  # Two picks in a row may meet; the second is asked again.
  while [ -z "${KELVAN_MARIADB_PORT:-}" ] && [ "$MARIA_PORT" = "$PG_PORT" ]; do
    MARIA_PORT=$(free_port)
  done
fi
USER_NAME=kelvan
PASSWORD=kelvan-test-pw
PG_BIN=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)

if [ "$(id -u)" -eq 0 ]; then
  as_postgres() { runuser -u postgres -- "$@"; }
  MARIA_USER_OPT="--user=mysql"
else
  as_postgres() { "$@"; }
  MARIA_USER_OPT=""
fi

start_postgres() {
  mkdir -p "$D/pg"
  [ "$(id -u)" -eq 0 ] && chown postgres:postgres "$D/pg"
  chmod 700 "$D/pg"
  echo "$PASSWORD" > "$D/pg/pwfile"
  [ "$(id -u)" -eq 0 ] && chown postgres "$D/pg/pwfile"
  as_postgres "$PG_BIN/initdb" -D "$D/pg/data" -U "$USER_NAME" --pwfile="$D/pg/pwfile" \
    --auth-local=trust --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 >"$D/pg/initdb.log" 2>&1 ||
    failed_start PostgreSQL "$PG_PORT" "$D/pg/initdb.log"
  as_postgres "$PG_BIN/pg_ctl" -D "$D/pg/data" -l "$D/pg/server.log" -w -t 60 \
    -o "-p $PG_PORT -c listen_addresses=127.0.0.1 -k $D/pg -c fsync=off -c max_connections=200" \
    start >/dev/null || failed_start PostgreSQL "$PG_PORT" "$D/pg/server.log"
}

# Keeps the folder and shows why: a port in use, a full disk, a missing binary.
failed_start() {
  {
    echo "test-servers: $1 did not start on 127.0.0.1:$2; its log, $3 (kept with $D):"
    cat "$3" 2>/dev/null || true
  } >&2
  stop_postgres; stop_mariadb
  exit 1
}

start_mariadb() {
  mkdir -p "$D/maria"
  [ "$(id -u)" -eq 0 ] && chown mysql:mysql "$D/maria"
  mariadb-install-db --no-defaults $MARIA_USER_OPT --datadir="$D/maria/data" \
    --auth-root-authentication-method=normal >"$D/maria/install.log" 2>&1 ||
    failed_start MariaDB "$MARIA_PORT" "$D/maria/install.log"
  nohup /usr/sbin/mariadbd --no-defaults $MARIA_USER_OPT --datadir="$D/maria/data" \
    --port="$MARIA_PORT" --bind-address=127.0.0.1 --socket="$D/maria/mariadb.sock" \
    --pid-file="$D/maria/mariadb.pid" --log-error="$D/maria/error.log" \
    --innodb-flush-log-at-trx-commit=0 --max-connections=300 >"$D/maria/stdout.log" 2>&1 &
  server=$!
  i=0
  until mariadb-admin --no-defaults -S "$D/maria/mariadb.sock" -u root ping >/dev/null 2>&1; do
    i=$((i + 1))
    if [ $i -gt 60 ] || ! kill -0 "$server" 2>/dev/null; then
      failed_start MariaDB "$MARIA_PORT" "$D/maria/error.log"
    fi
    sleep 1
  done
  mariadb --no-defaults -S "$D/maria/mariadb.sock" -u root -e "
    CREATE USER '$USER_NAME'@'127.0.0.1' IDENTIFIED BY '$PASSWORD';
    CREATE USER '$USER_NAME'@'localhost' IDENTIFIED BY '$PASSWORD';
    GRANT ALL PRIVILEGES ON *.* TO '$USER_NAME'@'127.0.0.1';
    GRANT ALL PRIVILEGES ON *.* TO '$USER_NAME'@'localhost';"
}

stop_postgres() {
  [ -f "$D/pg/data/postmaster.pid" ] && as_postgres "$PG_BIN/pg_ctl" -D "$D/pg/data" -m fast -w stop >/dev/null 2>&1 || true
}

stop_mariadb() {
  if [ -f "$D/maria/mariadb.pid" ]; then
    P=$(cat "$D/maria/mariadb.pid")
    kill "$P" 2>/dev/null || true
    while kill -0 "$P" 2>/dev/null; do sleep 1; done
  fi
}

case "$action" in
  start)
    stop_postgres; stop_mariadb
    rm -rf "$D"; mkdir -p "$D"; chmod 755 "$D"
    start_postgres
    start_mariadb
    cat <<ENV
KELVAN_PG_PORT=$PG_PORT
KELVAN_PG_USER=$USER_NAME
KELVAN_PG_PASSWORD=$PASSWORD
KELVAN_MARIADB_PORT=$MARIA_PORT
KELVAN_MARIADB_USER=$USER_NAME
KELVAN_MARIADB_PASSWORD=$PASSWORD
ENV
    ;;
  stop)
    stop_postgres; stop_mariadb
    rm -rf "$D"
    ;;
  *) echo "usage: test-servers.sh start|stop DIR" >&2; exit 2 ;;
esac
