#include "console/ServerListDialog/server_list_dialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>

#include "console/core/recording_view.h"
#include "console/widgets/gui_test.h"
#include "tests/support/odbc_sandbox.h"

namespace kelvan::console {
namespace {

const QString kMissingField =
    "Incomplete server information:\r\nMake sure you have selected or filled out proper DSN, "
    "UID, and Password fields.";

class ServerListDialogTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<ServerListDialog> Open(DataSourceLister lister = gui_test::FakeDataSources,
                                         TestConnector connector = OpenTestConnection) {
    auto dialog = std::make_unique<ServerListDialog>(servers_, view_, lister, connector);
    dialog->show();
    return dialog;
  }

  static void Fill(QDialog& dialog, const QString& dsn, const QString& uid, const QString& pwd) {
    auto* choice = dialog.findChild<QComboBox*>("comboDSN");
    choice->setCurrentIndex(choice->findText(dsn));
    QTest::keyClicks(dialog.findChild<QLineEdit*>("txtUID"), uid);
    QTest::keyClicks(dialog.findChild<QLineEdit*>("txtPassword"), pwd);
  }

  static void Click(QDialog& dialog, const char* name) {
    QTest::mouseClick(dialog.findChild<QPushButton*>(name), Qt::LeftButton);
  }

  QString LastMessage() const {
    return view_.messages().empty() ? QString()
                                    : QString::fromStdString(view_.messages().back().text);
  }

  std::vector<ServerEntry> servers_;
  RecordingView view_;

 private slots:
  void init() {
    servers_.clear();
    view_ = RecordingView();
  }

  void initTestCase() {
    auto& sandbox = testing::OdbcSandbox::Instance();
    const std::filesystem::path file = sandbox.MakeTempDir("vlt") / "vlt.db";
    const std::string command = testing::VltsimPath().string() + " create " + file.string() +
                                " --days 1 --seed 3 > /dev/null";
    QCOMPARE(std::system(command.c_str()), 0);
    sandbox.AddDataSource("VLTLOCKED", testing::kVltDriver,
                          {{"Database", file.string()}, {"UID", "admin"}, {"PWD", "right"}});
    sandbox.AddDataSource("KADUOLD", "KADU Legacy Driver", {});
    sandbox.AddDataSource("lowercase", "a vlt driver", {});
    sandbox.AddDataSource("Mixed", "Vlt Driver", {});
    sandbox.AddDataSource("DEST", testing::kSqliteDriver, {});
  }

  // Only drivers whose description holds VLT or KADU in capitals, from the real driver manager.
  void offersOnlyVltAndKaduDataSources() {
    auto dialog = Open(odbc::ListDataSources);
    auto* choice = dialog->findChild<QComboBox*>("comboDSN");
    QStringList offered;
    for (int i = 0; i < choice->count(); ++i) offered << choice->itemText(i);
    QCOMPARE(offered.front(), QString("(None)"));
    QCOMPARE(choice->currentIndex(), 0);
    QVERIFY(offered.contains("VLTLOCKED"));
    QVERIFY(offered.contains("KADUOLD"));
    QVERIFY(!offered.contains("lowercase"));
    QVERIFY(!offered.contains("Mixed"));
    QVERIFY(!offered.contains("DEST"));
  }

  void addRefusesIncompleteEntries_data() {
    QTest::addColumn<QString>("dsn");
    QTest::addColumn<QString>("uid");
    QTest::addColumn<QString>("pwd");
    QTest::addColumn<QString>("message");
    QTest::newRow("none chosen") << "(None)"
                                 << "admin"
                                 << "pw"
                                 << "Incomplete server information:\r\nPlease select DSN other "
                                    "than (None) from the list.";
    QTest::newRow("no password") << "VLTA"
                                 << "admin"
                                 << "" << kMissingField;
    QTest::newRow("no user") << "VLTA"
                             << ""
                             << "pw" << kMissingField;
    QTest::newRow("nothing") << "(None)"
                             << ""
                             << "" << kMissingField;
  }

  void addRefusesIncompleteEntries() {
    QFETCH(QString, dsn);
    QFETCH(QString, uid);
    QFETCH(QString, pwd);
    QFETCH(QString, message);
    auto dialog = Open();
    Fill(*dialog, dsn, uid, pwd);
    Click(*dialog, "cmdAdd");
    QCOMPARE(LastMessage(), message);
    QCOMPARE(view_.messages().back().icon, MessageIcon::kExclamation);
    QCOMPARE(dialog->findChild<QTreeWidget*>("ListViewDisplay")->topLevelItemCount(), 0);
  }

  void applyAddsTheEntryStillInTheFields() {
    auto dialog = Open();
    Fill(*dialog, "VLTA", "admin", "pw1");
    Click(*dialog, "cmdAdd");
    Fill(*dialog, "VLTB", "oper", "pw2");
    Click(*dialog, "cmdApply");
    QCOMPARE(servers_.size(), size_t{2});
    QCOMPARE(servers_[1].value, std::string("DSN=VLTB;UID=oper;PWD=pw2"));
    QCOMPARE(servers_[1].password, std::string("pw2"));
    QVERIFY(view_.messages().empty());
    QVERIFY(!dialog->ChangesPending());
    // The list never shows a password.
    auto* list = dialog->findChild<QTreeWidget*>("ListViewDisplay");
    QCOMPARE(list->columnCount(), 2);
    QCOMPARE(list->topLevelItem(1)->text(1), QString("oper"));
  }

  void testConnectionNeedsAppliedChanges() {
    auto dialog = Open(odbc::ListDataSources);
    Fill(*dialog, "VLTLOCKED", "admin", "right");
    Click(*dialog, "cmdAdd");
    Click(*dialog, "CmdTestConnection");
    QCOMPARE(LastMessage(), QString("Apply Changes:\r\nChanges must be applied before you can "
                                    "test the connection."));
    Click(*dialog, "cmdApply");
    Click(*dialog, "CmdTestConnection");
    QCOMPARE(LastMessage(), QString("Connection Successful for \r\nVLTLOCKED"));
    QCOMPARE(view_.messages().back().icon, MessageIcon::kInformation);
  }

  void testConnectionReportsAFailureWithoutThePassword() {
    servers_ = {MakeServerEntry("DSN=VLTA;UID=admin;PWD=right"),
                MakeServerEntry("DSN=VLTLOCKED;UID=admin;PWD=wrong9")};
    auto dialog = Open(odbc::ListDataSources);
    auto* list = dialog->findChild<QTreeWidget*>("ListViewDisplay");
    list->setCurrentItem(list->topLevelItem(1));
    Click(*dialog, "CmdTestConnection");
    QCOMPARE(LastMessage(), QString("Connection Failed:\r\nVerify DSN setup, UID and Password."));
    QVERIFY(dialog->findChild<QPushButton*>("OKButton")->isEnabled());
  }

  void okWithAnEmptyListWarnsAndCloses() {
    servers_ = {MakeServerEntry("DSN=VLTA;UID=admin;PWD=x")};
    auto dialog = Open();
    auto* list = dialog->findChild<QTreeWidget*>("ListViewDisplay");
    list->setCurrentItem(list->topLevelItem(0));
    Click(*dialog, "cmdRemove");
    QVERIFY(!dialog->findChild<QPushButton*>("CmdTestConnection")->isEnabled());
    Click(*dialog, "OKButton");
    QCOMPARE(LastMessage(), QString("Empty server list:\r\nMake sure you have atleast one VLT "
                                    "server on the list."));
    QVERIFY(servers_.empty());
    QVERIFY(!dialog->isVisible());
  }

  void cancelKeepsTheAppliedList() {
    servers_ = {MakeServerEntry("DSN=VLTA;UID=admin;PWD=x")};
    auto dialog = Open();
    Click(*dialog, "cmdRemoveAll");
    Click(*dialog, "CancelButton");
    QCOMPARE(servers_.size(), size_t{1});
  }

  void newUserIdEmptiesThePassword() {
    auto dialog = Open();
    Fill(*dialog, "VLTA", "admin", "pw");
    QTest::keyClicks(dialog->findChild<QLineEdit*>("txtUID"), "2");
    QCOMPARE(dialog->findChild<QLineEdit*>("txtPassword")->text(), QString());
    QCOMPARE(dialog->findChild<QLineEdit*>("txtPassword")->echoMode(), QLineEdit::Password);
  }
};

KELVAN_GUI_TEST(ServerListDialogTest);

}  // namespace
}  // namespace kelvan::console

#include "server_list_dialog_test.moc"
