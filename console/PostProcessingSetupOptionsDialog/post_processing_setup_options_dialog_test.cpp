#include "console/PostProcessingSetupOptionsDialog/post_processing_setup_options_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "console/core/recording_view.h"
#include "console/widgets/gui_test.h"

namespace kelvan::console {
namespace {

const char* const kTableBoxes[] = {"checkBoxForecastDB",         "checkBoxForecastFILESPACES",
                                   "checkBoxForecastLOG",        "checkBoxForecastSTGPOOLS",
                                   "checkBoxForecastLIBVOLUMES", "checkBoxForecastNODES",
                                   "checkBoxForecastOCCUPANCY"};

void Click(QDialog& dialog, const char* name) {
  QTest::mouseClick(dialog.findChild<QPushButton*>(name), Qt::LeftButton);
}

QCheckBox* Box(QDialog& dialog, const char* name) { return dialog.findChild<QCheckBox*>(name); }

// On its indicator: a box stretched by its layout does not answer a click past its caption.
void ClickBox(QCheckBox* box) {
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

class PostProcessingDialogTest : public QObject {
  Q_OBJECT

  PostProcessingOptions options_;
  std::int16_t code_ = 0;
  RecordingView view_;

 private slots:
  void init() {
    options_ = PostProcessingOptions{};
    code_ = 0;
    view_ = RecordingView();
  }

  void checksHorizonAndWindow_data() {
    QTest::addColumn<QString>("horizon");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("sample");
    const QString horizon = "Number of days has to be greater then zero \r\nand less than 254 days";
    const QString window = "There must be at least 5 days in the sample set";
    QTest::newRow("zero") << "0"
                          << "5" << horizon << 0 << 0;
    QTest::newRow("negative") << "-3"
                              << "5" << horizon << 0 << 0;
    QTest::newRow("254") << "254"
                         << "5" << horizon << 0 << 0;
    QTest::newRow("empty") << ""
                           << "5" << horizon << 0 << 0;
    QTest::newRow("253 and 5") << "253"
                               << "5"
                               << "" << 253 << 5;
    QTest::newRow("window 4.9") << "30"
                                << "4.9" << window << 0 << 0;
    QTest::newRow("horizon 0.4") << "0.4"
                                 << "14"
                                 << "" << 0 << 14;
    QTest::newRow("halves to even") << "2.5"
                                    << "14.5"
                                    << "" << 2 << 14;
    QTest::newRow("window above 16 bits")
        << "30"
        << "40000"
        << "There must be at most 32767 days in the sample set" << 0 << 0;
  }

  void checksHorizonAndWindow() {
    QFETCH(QString, horizon);
    QFETCH(QString, window);
    QFETCH(QString, message);
    QFETCH(int, days);
    QFETCH(int, sample);
    PostProcessingSetupOptionsDialog dialog(options_, code_, view_);
    dialog.show();
    Box(dialog, "checkBoxGenerateSUMMARYHOURTable")->setChecked(true);
    dialog.findChild<QLineEdit*>("txtNumberOfDays")->setText(horizon);
    dialog.findChild<QLineEdit*>("txtSizeOfSampleSet")->setText(window);
    Click(dialog, "OKButton");
    QCOMPARE(options_.forecast_number_of_days, static_cast<std::int16_t>(days));
    QCOMPARE(options_.forecast_size_of_sample_set, static_cast<std::int16_t>(sample));
    if (message.isEmpty()) {
      QVERIFY(view_.messages().empty());
      QCOMPARE(options_.generate_summaryhour, kTrue16);
      QVERIFY(!dialog.isVisible());
    } else {
      QCOMPARE(QString::fromStdString(view_.messages().at(0).text), message);
      QCOMPARE(view_.messages().at(0).icon, MessageIcon::kExclamation);
      QCOMPARE(options_.generate_summaryhour, kFalse16);  // nothing stored
      QVERIFY(dialog.isVisible());
    }
  }

  void buildsTheForecastCode_data() {
    QTest::addColumn<bool>("active");
    QTest::addColumn<QStringList>("tables");
    QTest::addColumn<int>("code");
    QStringList all;
    for (const char* name : kTableBoxes) all << name;
    QTest::newRow("all tables, forecasting on") << true << all << 0x01BF;
    QTest::newRow("DB only, forecasting off")
        << false << QStringList{"checkBoxForecastDB"} << 0x0001;
    QTest::newRow("nothing, forecasting on") << true << QStringList{} << 0x0100;
  }

  void buildsTheForecastCode() {
    QFETCH(bool, active);
    QFETCH(QStringList, tables);
    QFETCH(int, code);
    options_.activate_forecasting = kTrue16;  // so that every box can be clicked
    options_.forecast_number_of_days = 30;
    options_.forecast_size_of_sample_set = 14;
    PostProcessingSetupOptionsDialog dialog(options_, code_, view_);
    dialog.show();
    for (const QString& name : tables) ClickBox(Box(dialog, qPrintable(name)));
    if (!active) ClickBox(Box(dialog, "checkBoxActivateForecasting"));
    Click(dialog, "cmdApply");
    QCOMPARE(static_cast<int>(code_), code);
  }

  void greyedOutOptionsKeepTheirValuesAndCancelRestores() {
    options_.activate_forecasting = kTrue16;
    options_.forecast_tables[1] = kTrue16;  // FILESPACES
    options_.forecast_number_of_days = 7;
    options_.forecast_size_of_sample_set = 21;
    const PostProcessingOptions stored = options_;
    {
      PostProcessingSetupOptionsDialog dialog(options_, code_, view_);
      dialog.show();
      ClickBox(Box(dialog, "checkBoxActivateForecasting"));
      auto* days = dialog.findChild<QLineEdit*>("txtNumberOfDays");
      QVERIFY(!days->isEnabled());
      QCOMPARE(days->text(), QString("7"));
      QVERIFY(!dialog.findChild<QLineEdit*>("txtSizeOfSampleSet")->isEnabled());
      QVERIFY(!Box(dialog, "checkBoxForecastFILESPACES")->isEnabled());
      QVERIFY(Box(dialog, "checkBoxForecastFILESPACES")->isChecked());
      QVERIFY(Box(dialog, "checkBoxGenerateSUMMARYHOURTable")->isEnabled());
      QVERIFY(Box(dialog, "checkBoxActivateForecasting")->isEnabled());
      Click(dialog, "CancelButton");
    }
    QVERIFY(options_ == stored);
    PostProcessingSetupOptionsDialog reopened(options_, code_, view_);
    reopened.show();
    QVERIFY(Box(reopened, "checkBoxActivateForecasting")->isChecked());
    QVERIFY(reopened.findChild<QLineEdit*>("txtNumberOfDays")->isEnabled());
    QCOMPARE(reopened.findChild<QLineEdit*>("txtSizeOfSampleSet")->text(), QString("21"));
  }

  // Greyed-out options are still stored by Apply.
  void applyStoresGreyedOutOptions() {
    options_.forecast_number_of_days = 9;
    options_.forecast_size_of_sample_set = 14;
    PostProcessingSetupOptionsDialog dialog(options_, code_, view_);
    dialog.show();
    QVERIFY(!dialog.findChild<QGroupBox*>("frameForecastOptions")->isEnabled());
    Box(dialog, "checkBoxForecastNODES")->setChecked(true);
    Click(dialog, "cmdApply");
    QCOMPARE(options_.forecast_tables[5], kTrue16);
    QCOMPARE(static_cast<int>(code_), 0x0020);
  }
};

KELVAN_GUI_TEST(PostProcessingDialogTest);

}  // namespace
}  // namespace kelvan::console

#include "post_processing_setup_options_dialog_test.moc"
