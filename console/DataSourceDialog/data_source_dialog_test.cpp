#include "console/DataSourceDialog/data_source_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "console/AdvancedSetupOptionsDialog/advanced_setup_options_dialog.h"
#include "console/core/recording_view.h"
#include "console/widgets/gui_test.h"

namespace kelvan::console {
namespace {

void Click(QWidget& dialog, const char* name) {
  QTest::mouseClick(dialog.findChild<QPushButton*>(name), Qt::LeftButton);
}

// Non-default advanced options, so that a reset to the defaults shows.
AdvancedOptions Customised() {
  AdvancedOptions options;
  options.severity = {kFalse16, kTrue16, kFalse16, kFalse16, kFalse16};
  options.prune_data_beyond_days = 90;
  options.database_max_size_limit_in_days = 400;
  options.approx_records_to_prune_per_batch = 500;
  options.database_type = "QDB";
  options.trace_level = 3;
  return options;
}

class DataSourceDialogTest : public QObject {
  Q_OBJECT

  DestinationRecord destination_;
  AdvancedOptions advanced_;
  RecordingView view_;

 private slots:
  void init() {
    destination_ = DestinationRecord{"REPORTS", "loader", "pw", "RPT"};
    advanced_ = Customised();
    view_ = RecordingView();
  }

  void okWithoutADatabaseTypeWarnsAndStaysOpen() {
    advanced_.database_type = "Unknown";
    DataSourceDialog dialog(destination_, advanced_, view_, gui_test::FakeDataSources);
    dialog.show();
    auto* choice = dialog.findChild<QComboBox*>("comboDSN");
    QCOMPARE(choice->currentText(), QString("REPORTS"));
    QCOMPARE(choice->findText("VLTA"), -1);  // a VLT driver is no destination
    dialog.findChild<QLineEdit*>("textQualifier")->setText("SALES");
    Click(dialog, "OKButton");
    QCOMPARE(view_.messages().size(), size_t{1});
    QCOMPARE(view_.messages()[0].text,
             std::string("Database Type Not Set:\r\nPlease select the Advanced button and set "
                         "the RDBMS type. "));
    QCOMPARE(view_.messages()[0].icon, MessageIcon::kExclamation);
    QVERIFY(dialog.isVisible());
    QCOMPARE(destination_.qualifier, std::string("SALES"));

    choice->setCurrentIndex(0);  // "(None)" with the type Unknown: nothing to warn about
    Click(dialog, "OKButton");
    QCOMPARE(view_.messages().size(), size_t{1});
    QVERIFY(!dialog.isVisible());
    QCOMPARE(destination_.name, std::string());
  }

  void cancelDropsTheFields() {
    DataSourceDialog dialog(destination_, advanced_, view_, gui_test::FakeDataSources);
    dialog.show();
    QTest::keyClicks(dialog.findChild<QLineEdit*>("textUID"), "x");
    Click(dialog, "CancelButton");
    QCOMPARE(destination_.user_name, std::string("loader"));
    QCOMPARE(destination_.password, std::string("pw"));
  }

  void pruneAgeLimits_data() {
    QTest::addColumn<QString>("prune");
    QTest::addColumn<QString>("batch");
    QTest::addColumn<bool>("defaults");
    QTest::addColumn<QString>("message");
    const QString prune400 =
        "Invalid number for 'Prune Data Older than' field\r\nPlease input a number greater than "
        "0 and less than 400.";
    QTest::newRow("equal to the limit") << "400"
                                        << "500" << false << "";
    QTest::newRow("above the limit") << "401"
                                     << "500" << false << prune400;
    QTest::newRow("zero") << "0"
                          << "500" << false << prune400;
    QTest::newRow("not a number") << "many"
                                  << "500" << false << prune400;
    QTest::newRow("half a day, stored as 0") << "0.5"
                                             << "500" << false << prune400;
    QTest::newRow("defaults, equal") << "9999"
                                     << "1000" << true << "";
    QTest::newRow("defaults, above")
        << "10000"
        << "1000" << true
        << "Invalid number for 'Prune Data Older than' field\r\nPlease input a number greater "
           "than 0 and less than 9999.";
    const QString batch =
        "Invalid number for 'Approximate Number of Records to Prune/Batch' field\r\nPlease input "
        "a number greater than 0 and less than 32768.";
    QTest::newRow("batch above 16 bits") << "30"
                                         << "40000" << false << batch;
    QTest::newRow("batch of nothing") << "30"
                                      << "0" << false << batch;
    QTest::newRow("batch of half a row, stored as 0") << "30"
                                                      << "0.5" << false << batch;
    QTest::newRow("batch at the 16-bit end") << "30"
                                             << "32767" << false << "";
  }

  void pruneAgeLimits() {
    QFETCH(QString, prune);
    QFETCH(QString, batch);
    QFETCH(bool, defaults);
    QFETCH(QString, message);
    AdvancedSetupOptionsDialog editor(advanced_, view_);
    editor.show();
    if (defaults) Click(editor, "labelDefault");
    editor.findChild<QLineEdit*>("txtPruneNoOfDays")->setText(prune);
    editor.findChild<QLineEdit*>("txtApproxRecordsToPrunePerBatch")->setText(batch);
    Click(editor, "cmdApply");
    if (message.isEmpty()) {
      QVERIFY(view_.messages().empty());
      QCOMPARE(advanced_.prune_data_beyond_days, static_cast<std::int16_t>(prune.toInt()));
      QCOMPARE(advanced_.approx_records_to_prune_per_batch,
               static_cast<std::int16_t>(batch.toInt()));
    } else {
      QVERIFY(!view_.messages().empty());
      QCOMPARE(QString::fromStdString(view_.messages().at(0).text), message);
      QCOMPARE(advanced_, Customised());
    }
  }

  void advancedOkStaysOpenOnARefusedAge() {
    AdvancedSetupOptionsDialog editor(advanced_, view_);
    editor.show();
    editor.findChild<QLineEdit*>("txtPruneNoOfDays")->setText("-1");
    Click(editor, "OKButton");
    QVERIFY(editor.isVisible());
    Click(editor, "CancelButton");
    QVERIFY(!editor.isVisible());
    QCOMPARE(advanced_, Customised());
  }

  // Values applied inside the advanced editor survive a Cancel of the data source editor.
  void defaultsAppliedThenCancelKeepsTheDefaults() {
    DataSourceDialog dialog(destination_, advanced_, view_, gui_test::FakeDataSources);
    dialog.show();
    connect(&dialog, &DataSourceDialog::advancedEditorShown, this, [](QDialog* editor) {
      QTimer::singleShot(0, editor, [editor] {
        QCOMPARE(editor->findChild<QComboBox*>("comboTraceLevel")->currentText(),
                 QString("Trace Level 3"));
        Click(*editor, "labelDefault");
        Click(*editor, "cmdApply");
        Click(*editor, "CancelButton");
      });
    });
    Click(dialog, "cmdAdvanced");
    Click(dialog, "CancelButton");
    QCOMPARE(advanced_.severity, (std::array<Bool16, 5>{-1, 0, -1, -1, -1}));
    QCOMPARE(advanced_.trace_level, std::int16_t{1});
    QCOMPARE(advanced_.prune_data_beyond_days, std::int16_t{30});
    QCOMPARE(advanced_.approx_records_to_prune_per_batch, std::int16_t{1000});
    QCOMPARE(advanced_.database_type, std::string("Unknown"));
    QCOMPARE(advanced_.database_max_size_limit_in_days, std::int16_t{9999});
    QCOMPARE(destination_.name, std::string("REPORTS"));
  }

  void advancedCancelStoresNothing() {
    AdvancedSetupOptionsDialog editor(advanced_, view_);
    editor.show();
    editor.findChild<QCheckBox*>("checkBoxSeverity0")->setChecked(true);
    editor.findChild<QComboBox*>("comboDBTypeSelector")->setCurrentText("Oracle");
    Click(editor, "CancelButton");
    QCOMPARE(advanced_, Customised());
  }
};

KELVAN_GUI_TEST(DataSourceDialogTest);

}  // namespace
}  // namespace kelvan::console

#include "data_source_dialog_test.moc"
