#include "console/TableListDialog/table_list_dialog.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "console/widgets/gui_test.h"

namespace kelvan::console {
namespace {

QStringList Entries(const QDialog& dialog, const char* list) {
  QStringList entries;
  const auto* widget = dialog.findChild<QListWidget*>(list);
  for (int row = 0; row < widget->count(); ++row) entries << widget->item(row)->text();
  return entries;
}

void Click(QDialog& dialog, const char* name) {
  QTest::mouseClick(dialog.findChild<QPushButton*>(name), Qt::LeftButton);
}

bool Enabled(QDialog& dialog, const char* name) {
  return dialog.findChild<QPushButton*>(name)->isEnabled();
}

const QStringList kAllKnown = {"ADMINS",     "DB",         "DBVOLUMES", "DEVCLASSES", "DRIVES",
                               "EVENTS",     "FILESPACES", "LOG",       "LOGVOLUMES", "NODES",
                               "STGPOOLS",   "SUMMARY",    "VOLUMES",   "OCCUPANCY",  "VOLUMEUSAGE",
                               "LIBVOLUMES", "LIBRARIES",  "OPTIONS",   "VOLHISTORY"};

QStringList KnownWithout(const QStringList& names) {
  QStringList rest = kAllKnown;
  for (const QString& name : names) rest.removeAll(name);
  return rest;
}

class TableListDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void opensFromTheTableString_data() {
    QTest::addColumn<QString>("table_string");
    QTest::addColumn<int>("total");
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QStringList>("available");
    QTest::newRow("two tables") << "\"SUMMARY\",\"EVENTS\"," << 2
                                << QStringList{"SUMMARY", "EVENTS"}
                                << KnownWithout({"SUMMARY", "EVENTS"});
    QTest::newRow("count cuts the string")
        << "\"SUMMARY\",\"EVENTS\"," << 1 << QStringList{"SUMMARY"} << KnownWithout({"SUMMARY"});
    QTest::newRow("a site's own table")
        << "\"SITE_USAGE\",\"DB\"," << 2 << QStringList{"SITE_USAGE", "DB"} << KnownWithout({"DB"});
    QTest::newRow("spaces around items")
        << "\"SUMMARY\" , \"EVENTS\"," << 2 << QStringList{"SUMMARY", "EVENTS"}
        << KnownWithout({"SUMMARY", "EVENTS"});
    QTest::newRow("nothing chosen") << "" << 0 << QStringList{} << kAllKnown;
  }

  void opensFromTheTableString() {
    QFETCH(QString, table_string);
    QFETCH(int, total);
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, available);
    TableList tables{table_string.toStdString(), static_cast<std::int16_t>(total), kTrue16};
    TableListDialog dialog(tables);
    dialog.show();
    QCOMPARE(Entries(dialog, "listTable"), chosen);
    QCOMPARE(Entries(dialog, "listTablesAvailable"), available);
    QCOMPARE(Enabled(dialog, "cmdRemoveAll"), chosen.size() >= 2);
    QVERIFY(!Enabled(dialog, "cmdAdd"));
    QVERIFY(!Enabled(dialog, "cmdRemove"));
  }

  // Tables moved back go to the end of the available list, in the order they were loaded.
  void addAllThenRemoveAllKeepsTheLoadOrder() {
    TableList tables{"\"SUMMARY\",\"EVENTS\",", 2, kTrue16};
    TableListDialog dialog(tables);
    dialog.show();
    Click(dialog, "cmdAddAll");
    const QStringList loaded =
        QStringList{"SUMMARY", "EVENTS"} + KnownWithout({"SUMMARY", "EVENTS"});
    QCOMPARE(Entries(dialog, "listTable"), loaded);
    QVERIFY(!Enabled(dialog, "cmdAddAll"));
    Click(dialog, "cmdRemoveAll");
    QCOMPARE(Entries(dialog, "listTablesAvailable"), loaded);
    QCOMPARE(Entries(dialog, "listTable"), QStringList{});
    QVERIFY(!Enabled(dialog, "cmdRemoveAll"));
  }

  void applyWithAnEmptyList() {
    TableList tables{"\"SUMMARY\",", 1, kTrue16};
    TableListDialog dialog(tables);
    dialog.show();
    auto* chosen = dialog.findChild<QListWidget*>("listTable");
    chosen->setCurrentRow(0);
    QVERIFY(Enabled(dialog, "cmdRemove"));
    QVERIFY(!Enabled(dialog, "cmdRemoveAll"));  // a single entry goes with Remove
    Click(dialog, "cmdRemove");
    QCOMPARE(Entries(dialog, "listTablesAvailable").back(), QString("SUMMARY"));
    Click(dialog, "cmdApply");
    QCOMPARE(tables.table_string, std::string());
    QCOMPARE(tables.total_no_tables, std::int16_t{0});
    QVERIFY(BuildTableArray(tables).empty());
  }

  void okAppliesTheOrderAndTheErrorTableSwitch() {
    TableList tables{"\"EVENTS\",", 1, kTrue16};
    TableListDialog dialog(tables);
    dialog.show();
    auto* available = dialog.findChild<QListWidget*>("listTablesAvailable");
    available->setCurrentRow(
        available->row(available->findItems("OCCUPANCY", Qt::MatchExactly)[0]));
    Click(dialog, "cmdAdd");
    QVERIFY(!Enabled(dialog, "cmdAdd"));
    dialog.findChild<QCheckBox*>("checkBoxLoadErrorTables")->setChecked(false);
    Click(dialog, "OKButton");
    QCOMPARE(tables.table_string, std::string("\"EVENTS\",\"OCCUPANCY\","));
    QCOMPARE(tables.total_no_tables, std::int16_t{2});
    QCOMPARE(tables.load_error_tables, kFalse16);
    QVERIFY(!dialog.isVisible());
  }

  void cancelLeavesTheTableList() {
    TableList tables{"\"EVENTS\",", 1, kTrue16};
    const TableList before = tables;
    TableListDialog dialog(tables);
    dialog.show();
    Click(dialog, "cmdAddAll");
    Click(dialog, "CancelButton");
    QVERIFY(tables == before);
  }
};

KELVAN_GUI_TEST(TableListDialogTest);

}  // namespace
}  // namespace kelvan::console

#include "table_list_dialog_test.moc"
