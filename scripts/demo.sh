#!/bin/sh
# The main job on the embedded default: two stand-in VLT servers with seven days of history,
# loaded by kelvan-batch into a SQLite destination. Everything lives under BUILD/demo.
set -eu

BUILD=$(cd "${1:-build}" && pwd)
SRC=$(cd "$(dirname "$0")/.." && pwd)
DEMO="$BUILD/demo"
VLTSIM="$BUILD/vltsim/generator/vltsim"
BATCH="$BUILD/console/kelvan-batch"
ODBC_LIB=/usr/lib/x86_64-linux-gnu/odbc

rm -rf "$DEMO"
mkdir -p "$DEMO/odbc" "$DEMO/home"

echo "== stand-in VLT servers (7 days of history)"
for n in 1 2; do
  "$VLTSIM" create "$DEMO/vlt$n.db" --days 7 --seed "$n"
  "$VLTSIM" register --dir "$DEMO/odbc" --dsn "VLTSRV$n" --database "$DEMO/vlt$n.db" \
    --uid admin --pwd "demo-secret-$n" >/dev/null
done

echo "== SQLite destination with the schema"
sqlite3 "$DEMO/reporting.db" < "$SRC/schema/sqlite.sql"
printf '[SQLite3]\r\nDriver=%s/libsqlite3odbc.so\r\n\r\n' "$ODBC_LIB" >> "$DEMO/odbc/odbcinst.ini"
printf '[REPORTING]\r\nDriver=SQLite3\r\nDatabase=%s\r\nStepAPI=1\r\nTimeout=10000\r\n\r\n' \
  "$DEMO/reporting.db" >> "$DEMO/odbc/odbc.ini"

# The setup file an operator would save from the console.
TABLES='"ADMINS","DB","DBVOLUMES","DEVCLASSES","DRIVES","EVENTS","FILESPACES","LOG","LOGVOLUMES","NODES","STGPOOLS","SUMMARY","VOLUMES","OCCUPANCY","VOLUMEUSAGE","LIBVOLUMES","LIBRARIES","OPTIONS","VOLHISTORY",'
umask 077
{
  printf '[SERVER]\r\nTotalNoServers:=2\r\n'
  printf 'Server:=DSN=VLTSRV1;UID=admin;PWD=demo-secret-1\r\n'
  printf 'Server:=DSN=VLTSRV2;UID=admin;PWD=demo-secret-2\r\n\r\n\r\n'
  printf '[TABLE LIST]\r\nTotalNoTables:=19\r\nTableArray:=%s\r\nLoadErrorTables:=%s\r\n\r\n\r\n' \
    "$TABLES" "${KELVAN_DEMO_ERROR_TABLES:-True}"
  printf '[DATA SOURCE]\r\nDSN:=REPORTING\r\nUID:=\r\nPassword:=\r\nQualifier:=\r\n\r\n\r\n'
  printf '[ADVANCED SETUP OPTIONS]\r\nSeverity_E:=True\r\nSeverity_I:=False\r\nSeverity_D:=False\r\n'
  printf 'Severity_S:=True\r\nSeverity_W:=True\r\nPruneDataBeyondDays:=30\r\n'
  printf 'DatabaseMaxSizeLimitInNoOfDays:=9999\r\nApproxRecordsToPrunePerBatch:=1000\r\n'
  printf 'DatabaseType:=Unknown\r\nTraceLevel:=1\r\n\r\n\r\n'
  printf '[POST PROCESSING SETUP OPTIONS]\r\nGenerateSUMMARYHOURTableData:=%s\r\n' "${KELVAN_DEMO_POST:-True}"
  printf 'GenerateSIMULACTIVITYTable:=%s\r\nActivateForecasting:=%s\r\n' "${KELVAN_DEMO_POST:-True}" \
    "${KELVAN_DEMO_FORECAST:-True}"
  for t in DB FILESPACES LOG STGPOOLS LIBVOLUMES NODES OCCUPANCY; do
    printf 'ForecastTable_%s:=True\r\n' "$t"
  done
  printf 'ForecastNumberOfDays:=30\r\nForecastSizeOfSampleSet:=14\r\n\r\n\r\n'
} > "$DEMO/KELVAN.ini"
umask 022

echo "== kelvan-batch"
status=0
env ODBCSYSINI="$DEMO/odbc" ODBCINI="$DEMO/odbc/odbc.ini" HOME="$DEMO/home" \
  "$BATCH" -CONFIG="$DEMO/KELVAN.ini" -LOG="$DEMO/run-log.htm" 2>"$DEMO/batch-stderr.txt" || status=$?

echo "run log: $DEMO/run-log.htm"
echo "kelvan-batch exit status: $status"
echo "== rows per destination table"
for table in $(sqlite3 "$DEMO/reporting.db" \
    "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"); do
  printf '%-20s %s\n' "$table" "$(sqlite3 "$DEMO/reporting.db" "SELECT count(*) FROM \"$table\"")"
done
if [ "$status" -ne 0 ]; then
  echo "== the run did not complete; the end of its log text:"
  tail -n 30 "$DEMO/batch-stderr.txt"
fi
exit "$status"
