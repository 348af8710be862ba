#!/bin/sh
# The main job on the embedded default: two stand-in VLT servers loaded by kelvan-batch into a
# SQLite destination once a night for DEMO_DAYS nights, so that the snapshot tables gather the
# history their forecasts need. The nights are faked from outside with faketime; the programs
# run exactly as shipped. Everything lives under BUILD/demo.
#   scripts/demo.sh [BUILD]     (DEMO_DAYS, default 8, must exceed DEMO_SAMPLE_DAYS, default 7)
set -eu

BUILD=$(cd "${1:-build}" && pwd)
SRC=$(cd "$(dirname "$0")/.." && pwd)
DEMO="$BUILD/demo"
VLTSIM="$BUILD/vltsim/generator/vltsim"
BATCH="$BUILD/console/kelvan-batch"
ODBC_LIB="$(pkg-config --variable=libdir odbc)/odbc"
DAYS=${DEMO_DAYS:-8}
SAMPLE_DAYS=${DEMO_SAMPLE_DAYS:-7}
# The first night lies DAYS-1 days back, the last is last night.
first_night=$(date -d "today - $((DAYS - 1)) days" +%F)

rm -rf "$DEMO"
mkdir -p "$DEMO/odbc" "$DEMO/home" "$DEMO/logs"

echo "== stand-in VLT servers (7 days of history before $first_night)"
for n in 1 2; do
  "$VLTSIM" create "$DEMO/vlt$n.db" --days 7 --seed "$n" --now "$first_night 01:00:00"
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
  printf '[TABLE LIST]\r\nTotalNoTables:=19\r\nTableArray:=%s\r\nLoadErrorTables:=True\r\n\r\n\r\n' \
    "$TABLES"
  printf '[DATA SOURCE]\r\nDSN:=REPORTING\r\nUID:=\r\nPassword:=\r\nQualifier:=\r\n\r\n\r\n'
  printf '[ADVANCED SETUP OPTIONS]\r\nSeverity_E:=True\r\nSeverity_I:=False\r\nSeverity_D:=False\r\n'
  printf 'Severity_S:=True\r\nSeverity_W:=True\r\nPruneDataBeyondDays:=30\r\n'
  printf 'DatabaseMaxSizeLimitInNoOfDays:=9999\r\nApproxRecordsToPrunePerBatch:=1000\r\n'
  printf 'DatabaseType:=Unknown\r\nTraceLevel:=1\r\n\r\n\r\n'
  printf '[POST PROCESSING SETUP OPTIONS]\r\nGenerateSUMMARYHOURTableData:=True\r\n'
  printf 'GenerateSIMULACTIVITYTable:=True\r\nActivateForecasting:=True\r\n'
  for t in DB FILESPACES LOG STGPOOLS LIBVOLUMES NODES OCCUPANCY; do
    printf 'ForecastTable_%s:=True\r\n' "$t"
  done
  printf 'ForecastNumberOfDays:=30\r\nForecastSizeOfSampleSet:=%s\r\n\r\n\r\n' "$SAMPLE_DAYS"
} > "$DEMO/KELVAN.ini"
umask 022

# One night: the servers' clocks and the loader's read the same faked night. The monotonic clock
# stays real so that time limits and waits measure real time. Further arguments go to kelvan-batch.
run_night() {
  night_date=$1
  shift
  env ODBCSYSINI="$DEMO/odbc" ODBCINI="$DEMO/odbc/odbc.ini" HOME="$DEMO/home" \
    FAKETIME_DONT_FAKE_MONOTONIC=1 faketime "$night_date 01:30:00" \
    "$BATCH" -CONFIG="$DEMO/KELVAN.ini" -LOG="$DEMO/logs/vltlog_$night_date.htm" "$@" \
    2>>"$DEMO/batch-stderr.txt"
}

status=0
for day in $(seq 1 "$DAYS"); do
  night=$(date -d "$first_night + $((day - 1)) days" +%F)
  if [ "$day" -gt 1 ]; then
    for n in 1 2; do "$VLTSIM" advance "$DEMO/vlt$n.db" --hours 24; done
  fi
  started=$(date +%s)
  night_status=0
  # The last night also writes the capacity report, as a nightly -REPORT run would.
  report_option=
  [ "$day" -eq "$DAYS" ] && report_option="-REPORT=$DEMO/report.html"
  run_night "$night" $report_option || night_status=$?
  [ "$night_status" -ne 0 ] && status=$night_status
  printf '== night %d of %d (%s): kelvan-batch exit status %d, %d s\n' \
    "$day" "$DAYS" "$night" "$night_status" $(($(date +%s) - started))
done

echo "== rows per destination table"
for table in $(sqlite3 "$DEMO/reporting.db" \
    "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"); do
  printf '%-20s %s\n' "$table" "$(sqlite3 "$DEMO/reporting.db" "SELECT count(*) FROM \"$table\"")"
done
echo "(SIMUL_ACTIVITY_F is in the schema but no stage of the loader writes it; the other seven _F"
echo " tables are the forecasts: $SAMPLE_DAYS days of samples, then one row per group and day.)"
if [ "$status" -ne 0 ]; then
  echo "== a night did not complete; the end of kelvan-batch's messages:"
  tail -n 30 "$DEMO/batch-stderr.txt"
fi
echo "run log of the last night: $DEMO/logs/vltlog_$night.htm (one per night in $DEMO/logs)"
if [ -s "$DEMO/report.html" ]; then
  echo "capacity report: $DEMO/report.html (open it in a browser)"
else
  echo "== no capacity report was written; the end of kelvan-batch's messages:"
  tail -n 5 "$DEMO/batch-stderr.txt"
  status=1
fi
exit "$status"
