// Enter in any editor is OK: it keeps what was typed and closes the editor.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "console/AdvancedSetupOptionsDialog/advanced_setup_options_dialog.h"
#include "console/DataSourceDialog/data_source_dialog.h"
#include "console/PostProcessingSetupOptionsDialog/post_processing_setup_options_dialog.h"
#include "console/ServerListDialog/server_list_dialog.h"
#include "console/TableListDialog/table_list_dialog.h"
#include "console/core/recording_view.h"
#include "console/widgets/gui_test.h"

namespace kelvan::console {
namespace {

// Clears a field, types `text` into it and returns it, to press Enter on.
QWidget* Type(QDialog& dialog, const char* field, const QString& text) {
  auto* edit = dialog.findChild<QLineEdit*>(field);
  edit->clear();
  QTest::keyClicks(edit, text);
  return edit;
}

struct EnterCase {
  std::function<std::unique_ptr<QDialog>(Settings&, ConsoleView&)> open;
  std::function<QWidget*(QDialog&)> edit;  // returns the widget that has the focus for Enter
  std::function<bool(const Settings&)> kept;
};

const EnterCase kCases[] = {
    {[](Settings& s, ConsoleView& view) {
       return std::make_unique<DataSourceDialog>(s.destination, s.advanced, view,
                                                 gui_test::FakeDataSources);
     },
     [](QDialog& d) { return Type(d, "textQualifier", "SALES"); },
     [](const Settings& s) { return s.destination.qualifier == "SALES"; }},
    {[](Settings& s, ConsoleView& view) {
       return std::make_unique<AdvancedSetupOptionsDialog>(s.advanced, view);
     },
     [](QDialog& d) { return Type(d, "txtPruneNoOfDays", "45"); },
     [](const Settings& s) { return s.advanced.prune_data_beyond_days == 45; }},
    {[](Settings& s, ConsoleView& view) {
       return std::make_unique<ServerListDialog>(s.servers, view, gui_test::FakeDataSources,
                                                 OpenTestConnection);
     },
     [](QDialog& d) {
       auto* choice = d.findChild<QComboBox*>("comboDSN");
       choice->setCurrentIndex(choice->findText("VLTA"));
       Type(d, "txtUID", "admin");
       return Type(d, "txtPassword", "secret");
     },
     [](const Settings& s) { return s.servers.size() == 1 && s.servers[0].uid == "admin"; }},
    {[](Settings& s, ConsoleView&) { return std::make_unique<TableListDialog>(s.tables); },
     [](QDialog& d) {
       auto* available = d.findChild<QListWidget*>("listTablesAvailable");
       available->setCurrentItem(available->findItems("EVENTS", Qt::MatchExactly).front());
       QTest::mouseClick(d.findChild<QPushButton*>("cmdAdd"), Qt::LeftButton);
       return d.findChild<QListWidget*>("listTable");
     },
     [](const Settings& s) { return s.tables.table_string == "\"SUMMARY\",\"EVENTS\","; }},
    {[](Settings& s, ConsoleView& view) {
       return std::make_unique<PostProcessingSetupOptionsDialog>(s.post_processing,
                                                                 s.forecast_setup_code, view);
     },
     [](QDialog& d) { return Type(d, "txtNumberOfDays", "45"); },
     [](const Settings& s) { return s.post_processing.forecast_number_of_days == 45; }},
};

Settings EditableSettings() {
  Settings s;
  s.destination = DestinationRecord{"REPORTS", "loader", "pw", "RPT"};
  s.advanced.database_type = "QDB";  // OK refuses an unknown type
  s.advanced.prune_data_beyond_days = 90;
  s.tables = TableList{"\"SUMMARY\",", 1, kTrue16};
  s.post_processing.activate_forecasting = kTrue16;
  s.post_processing.forecast_number_of_days = 30;
  s.post_processing.forecast_size_of_sample_set = 14;
  return s;
}

class EnterKeyTest : public QObject {
  Q_OBJECT

 private slots:
  void enterAcceptsWhatWasTyped_data() {
    QTest::addColumn<int>("editor");
    const char* const names[] = {"data source", "advanced options", "server list", "table list",
                                 "post-processing"};
    for (int i = 0; i < static_cast<int>(std::size(kCases)); ++i) QTest::newRow(names[i]) << i;
  }

  void enterAcceptsWhatWasTyped() {
    QFETCH(int, editor);
    const EnterCase& test = kCases[editor];
    Settings settings = EditableSettings();
    RecordingView view;
    const std::unique_ptr<QDialog> dialog = test.open(settings, view);
    bool advanced_opened = false;
    if (auto* data_source = qobject_cast<DataSourceDialog*>(dialog.get())) {
      connect(data_source, &DataSourceDialog::advancedEditorShown, this, [&](QDialog* advanced) {
        advanced_opened = true;
        QTimer::singleShot(0, advanced, &QDialog::reject);
      });
    }
    dialog->show();
    QTest::keyClick(test.edit(*dialog), Qt::Key_Return);
    QVERIFY(!advanced_opened);
    QCOMPARE(dialog->result(), int{QDialog::Accepted});
    QVERIFY(!dialog->isVisible());
    QVERIFY(test.kept(settings));
    QVERIFY(view.messages().empty());
  }
};

KELVAN_GUI_TEST(EnterKeyTest);

}  // namespace
}  // namespace kelvan::console

#include "enter_key_test.moc"
