"""The stand-in driver as clients no one here wrote use it: pyodbc with its default settings and
unixODBC's isql, over a generated server, in an ODBC configuration of the test's own.

Expected values come from the database file itself, read with Python's sqlite3 module.

Run by ctest: pyodbc_test.py --vltsim PATH --driver PATH
"""
import argparse
import datetime
import decimal
import math
import os
import sqlite3
import subprocess
import sys
import tempfile
import unittest

ARGS = None
DSN = "VLTPY"
USER = "pyuser"
PASSWORD = "py-pw-7"


def setUpModule():
    global WORK, DATABASE, pyodbc
    WORK = tempfile.TemporaryDirectory(prefix="vltpyodbc")
    DATABASE = os.path.join(WORK.name, "vlt.db")
    subprocess.run([ARGS.vltsim, "create", DATABASE, "--days", "1", "--seed", "11", "--profile",
                    "tidy"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([ARGS.vltsim, "register", "--dir", WORK.name, "--dsn", DSN, "--database",
                    DATABASE, "--uid", USER, "--pwd", PASSWORD, "--driver", ARGS.driver],
                   check=True, stdout=subprocess.DEVNULL)
    # unixODBC reads where its configuration is once per process: before pyodbc loads it.
    os.environ.update(ODBCSYSINI=WORK.name, ODBCINI=os.path.join(WORK.name, "odbc.ini"),
                      HOME=WORK.name)
    import pyodbc as module
    pyodbc = module


def tearDownModule():
    WORK.cleanup()


def sqlite_query(sql, *params):
    with sqlite3.connect(DATABASE) as db:
        # Bytes that are no UTF-8 reach a wide client as U+FFFD.
        db.text_factory = lambda data: data.decode("utf-8", "replace")
        return db.execute(sql, params).fetchall()


def declared_columns(table):
    return [(row[1], row[2]) for row in sqlite_query(f"PRAGMA table_info({table})")]


def expected_value(declared, value):
    """What pyodbc must return for a value stored under a declared type."""
    if value is None:
        return None
    base = declared.split("(")[0].strip().upper()
    if base == "TIMESTAMP":
        return datetime.datetime.fromisoformat(value)
    if base == "DATE":
        return datetime.date.fromisoformat(value)
    if base == "TIME":
        return datetime.time.fromisoformat(value)
    if base == "DECIMAL":
        return decimal.Decimal(str(value))
    return value


def same(expected, got):
    if isinstance(expected, (float, decimal.Decimal)):
        return math.isclose(float(expected), float(got), rel_tol=1e-12)
    return type(expected) is type(got) and expected == got


class PyodbcTest(unittest.TestCase):
    def setUp(self):
        self.connection = pyodbc.connect(f"DSN={DSN};UID={USER};PWD={PASSWORD}")
        self.cursor = self.connection.cursor()

    def tearDown(self):
        self.connection.close()

    def test_lists_tables_and_their_columns(self):
        tables = sorted(name for (name,) in sqlite_query(
            "SELECT name FROM sqlite_master WHERE type = 'table'"))
        self.assertEqual(sorted(t.table_name for t in self.cursor.tables()), tables)
        self.assertEqual([t.table_name for t in self.cursor.tables(table="SUMM%")], ["SUMMARY"])
        self.assertEqual(self.cursor.tables(tableType="VIEW").fetchall(), [])
        columns = self.cursor.columns(table="SUMMARY").fetchall()
        self.assertEqual([(c.column_name, c.ordinal_position) for c in columns],
                         [(name, i + 1) for i, (name, _) in enumerate(declared_columns("SUMMARY"))])
        by_name = {c.column_name: (c.data_type, c.type_name, c.column_size) for c in columns}
        self.assertEqual(by_name["END_TIME"][:2], (93, "TIMESTAMP"))
        self.assertEqual(by_name["ACTIVITY"], (12, "VARCHAR", 30))
        self.assertEqual(by_name["NUMBER"][:2], (4, "INTEGER"))
        self.assertEqual(by_name["BYTES"], (3, "DECIMAL", 20))
        self.assertEqual(self.cursor.primaryKeys("SUMMARY").fetchall(), [])
        self.assertEqual(self.cursor.statistics("SUMMARY").fetchall(), [])
        type_names = [t.type_name for t in self.cursor.getTypeInfo(pyodbc.SQL_TYPE_TIMESTAMP)]
        self.assertEqual(type_names, ["TIMESTAMP"])
        self.assertEqual(self.connection.getinfo(pyodbc.SQL_SEARCH_PATTERN_ESCAPE), "\\")
        self.assertEqual(self.connection.getinfo(pyodbc.SQL_DBMS_NAME), "VLT Emulation")

    def test_reads_every_column_of_every_table_with_default_settings(self):
        for table in [t.table_name for t in self.cursor.tables()]:
            with self.subTest(table=table):
                declared = [d for _, d in declared_columns(table)]
                expected = [[expected_value(d, v) for d, v in zip(declared, row)]
                            for row in sqlite_query(f"SELECT * FROM {table}")]
                got = [list(row) for row in self.cursor.execute(f"SELECT * FROM {table}")]
                self.assertEqual(len(got), len(expected))
                # Rows come in the server's own order: compare them sorted.
                for want, row in zip(sorted(expected, key=repr), sorted(got, key=repr)):
                    self.assertTrue(all(same(w, g) for w, g in zip(want, row)), (want, row))

    def test_selects_with_parameters_of_each_type(self):
        since = datetime.datetime(2000, 1, 1)
        activity, number = sqlite_query("SELECT ACTIVITY, NUMBER FROM SUMMARY LIMIT 1")[0]
        (count,), = sqlite_query("SELECT COUNT(*) FROM SUMMARY WHERE ACTIVITY = ? AND NUMBER >= ?",
                                 activity, number)
        sql = ("SELECT COUNT(*) FROM SUMMARY WHERE ACTIVITY = ? AND NUMBER >= ? "
               "AND END_TIME >= ? AND ? IS NULL AND ? < 1e9")
        self.assertEqual(self.cursor.execute(sql, activity, number, since, None, 2.5).fetchone()[0],
                         count)
        self.assertEqual(self.cursor.execute("SELECT ? AS D", datetime.date(2026, 12, 7))
                         .fetchone()[0], datetime.date(2026, 12, 7))
        row = self.cursor.execute("SELECT length(?), hex(?)", b"\0\1\xff", b"\0\1\xff").fetchone()
        self.assertEqual(tuple(row), (3, "0001FF"))

    def test_unicode_round_trips_in_text_and_parameters(self):
        # The last is read in pieces: longer than the column size a computed column reports.
        for text in ["Zoë, Ångström", "東京の夜", "backup 😀 done 🚀", "夜😀é" * 700]:
            with self.subTest(text=text[:20]):
                self.assertEqual(self.cursor.execute(f"SELECT '{text}' AS T").fetchone()[0], text)
                self.assertEqual(
                    tuple(self.cursor.execute("SELECT ?, length(?)", text, text).fetchone()),
                    (text, len(text)))

    def test_bytes_that_are_no_utf8_read_as_replacement_characters(self):
        stored = b"J\xe9r\xf4me \xed\xa0\x80 \xf0\x9f\x98"
        got = self.cursor.execute(f"SELECT CAST(X'{stored.hex()}' AS TEXT)").fetchone()[0]
        self.assertEqual(got, stored.decode("utf-8", "replace"))

    def test_transactions_end_as_autocommit_off_asks(self):
        self.assertFalse(self.connection.autocommit)
        self.cursor.execute("SELECT 1").fetchall()
        self.connection.commit()
        self.connection.rollback()

    def test_errors_carry_their_sqlstates(self):
        cases = [("SELECT * FROM NO_SUCH_TABLE", "42S02"), ("SELEC 1", "42000"),
                 ("DELETE FROM SUMMARY", "42000"), ("SELECT ?", "07002")]
        for sql, state in cases:
            with self.subTest(sql=sql):
                with self.assertRaises(pyodbc.Error) as raised:
                    self.cursor.execute(sql)
                self.assertEqual(raised.exception.args[0], state)
        with self.assertRaises(pyodbc.Error) as raised:
            pyodbc.connect(f"DSN={DSN};UID={USER};PWD=wrong")
        self.assertEqual(raised.exception.args[0], "28000")


class IsqlTest(unittest.TestCase):
    def isql(self, command):
        result = subprocess.run(["isql", "-b", "-d|", DSN, USER, PASSWORD], input=command + "\n",
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return result.stdout

    def test_help_lists_tables_and_columns(self):
        tables = self.isql("help")
        for name in ["SUMMARY", "ACTLOG", "DB"]:
            self.assertIn(f"||{name}|TABLE|", tables)
        # isql is an ODBC 2 application: its time type is 10.
        columns = self.isql("help DB")
        self.assertIn("||DB|LAST_CHECK_TIME|10|TIME|8|", columns)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--vltsim", required=True)
    parser.add_argument("--driver", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
