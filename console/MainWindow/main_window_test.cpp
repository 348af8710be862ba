#include "console/MainWindow/main_window.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "console/AutoStartCountdownDlg/auto_start_countdown_dlg.h"
#include "console/core/recording_view.h"
#include "console/core/run_lock.h"
#include "console/core/setup_file.h"
#include "console/widgets/gui_test.h"
#include "tests/support/files.h"
#include "tests/support/odbc_sandbox.h"

namespace kelvan::console {
namespace {

namespace fs = std::filesystem;

// Workers that record their calls; `during` runs inside a call, like a click while waiting.
class FakeWorkers : public WorkerFactory {
 public:
  std::shared_ptr<RunWorker> CreateWorker(const std::string& dsn, const std::string&) override {
    return std::make_shared<Worker>(*this, dsn);
  }

  std::vector<std::string> calls;
  std::function<void()> during;

 private:
  class Worker : public RunWorker {
   public:
    Worker(FakeWorkers& owner, std::string dsn) : owner_(owner), dsn_(std::move(dsn)) {}
    std::int32_t ThreadID() override { return 42; }
    std::string StartELVAN(const RunArguments&, const component::Pump& pump) override {
      owner_.calls.push_back(dsn_);
      pump();
      if (owner_.during) owner_.during();
      return {};
    }
    std::string ErrorMessages() override { return {}; }
    std::string GivenUp() override { return {}; }

   private:
    FakeWorkers& owner_;
    std::string dsn_;
  };
};

using kelvan::testing::ReadFile;

class MainWindowTest : public QObject {
  Q_OBJECT

  fs::path dir_;
  FakeWorkers workers_;
  RecordingView messages_;
  std::optional<std::string> chosen_file_;

  std::unique_ptr<MainWindow> MakeWindow() {
    MainWindowServices services;
    services.workers = &workers_;
    services.connector = [](const std::string&) { return std::string("03.51.0000"); };
    services.data_sources = gui_test::FakeDataSources;
    services.folders = Folders{dir_.string(), dir_.string()};
    services.messages = &messages_;
    services.choose_file = [this](MainWindowServices::FileDialog, const std::string&) {
      return chosen_file_;
    };
    return std::make_unique<MainWindow>(std::move(services));
  }

  QString CommandText(MainWindow& window, const char* name) {
    return window.findChild<QPushButton*>(name)->text();
  }

 private slots:
  void init() {
    dir_ = testing::OdbcSandbox::Instance().MakeTempDir("window");
    workers_.calls.clear();
    workers_.during = nullptr;
    messages_ = RecordingView();
  }

  void exitDuringARunStopsBeforeTheNextServer() {
    auto window = MakeWindow();
    const std::string log = (dir_ / "run.htm").string();
    QCOMPARE(window->StartUp("-LOG=" + log), StartupOutcome::kInteractive);
    window->state().settings.servers = {MakeServerEntry("DSN=A;UID=u;PWD=p1"),
                                        MakeServerEntry("DSN=B;UID=u;PWD=p2")};
    window->show();
    bool settings_disabled = false;
    workers_.during = [&] {
      settings_disabled = !window->findChild<QPushButton*>("cmdServerList")->isEnabled() &&
                          !window->findChild<QPushButton*>("cmdGo")->isEnabled();
      QCOMPARE(CommandText(*window, "cmdExit"), QString("Cancel"));
      QTest::mouseClick(window->findChild<QPushButton*>("cmdExit"), Qt::LeftButton);
    };
    QTest::mouseClick(window->findChild<QPushButton*>("cmdGo"), Qt::LeftButton);
    QCOMPARE(workers_.calls, std::vector<std::string>{"A"});
    QVERIFY(settings_disabled);
    QVERIFY(!window->state().busy);
    QVERIFY(window->findChild<QPushButton*>("cmdGo")->isEnabled());
    QCOMPARE(CommandText(*window, "cmdExit"), QString("E&xit"));
    QVERIFY(messages_.messages().empty());  // Cancel asks nothing
    QVERIFY(ReadFile(log).ends_with("</PRE>\r\n"));
  }

  void goWhileAnotherRunOfTheSetupFileLoadsOnlySaysSo() {
    const std::string setup = (dir_ / "KELVAN.ini").string();
    Settings settings;
    settings.servers = {MakeServerEntry("DSN=A;UID=u;PWD=p")};
    WriteSetupToFile(setup, settings);
    auto window = MakeWindow();
    QCOMPARE(window->StartUp("-LOG=" + (dir_ / "run.htm").string()), StartupOutcome::kAutoStart);
    window->show();
    std::optional<RunLock> other = RunLock::TryAcquire(setup);
    QTest::mouseClick(window->findChild<QPushButton*>("cmdGo"), Qt::LeftButton);
    QVERIFY(workers_.calls.empty());
    QCOMPARE(messages_.messages().size(), size_t{1});
    QVERIFY(messages_.messages()[0].text.starts_with("Another run of the setup file " + setup));
    QVERIFY(window->findChild<QPushButton*>("cmdGo")->isEnabled());
    QCOMPARE(CommandText(*window, "cmdExit"), QString("E&xit"));

    other.reset();
    QTest::mouseClick(window->findChild<QPushButton*>("cmdGo"), Qt::LeftButton);
    QCOMPARE(workers_.calls, std::vector<std::string>{"A"});
  }

  void exitAsksBeforeClosing() {
    auto window = MakeWindow();
    window->show();
    messages_.AnswerNext(MessageAnswer::kNo);
    QTest::mouseClick(window->findChild<QPushButton*>("cmdExit"), Qt::LeftButton);
    QCOMPARE(messages_.messages().at(0).text, std::string("Are you sure you want to exit?"));
    QCOMPARE(messages_.messages().at(0).icon, MessageIcon::kQuestion);
    QVERIFY(window->isVisible());
    messages_.AnswerNext(MessageAnswer::kYes);
    QTest::mouseClick(window->findChild<QPushButton*>("cmdExit"), Qt::LeftButton);
    QVERIFY(!window->isVisible());
  }

  void countdownCancelLeavesTheWindowOpen() {
    const fs::path setup = dir_ / "KELVAN.ini";
    Settings settings;
    settings.servers = {MakeServerEntry("DSN=A;UID=u;PWD=p")};
    WriteSetupToFile(setup.string(), settings);
    auto window = MakeWindow();
    QCOMPARE(window->StartUp("-LOG=" + (dir_ / "run.htm").string()), StartupOutcome::kAutoStart);
    QString caption, countdown;
    QTimer::singleShot(600, window.get(), [&] {
      auto* dialog = window->findChild<AutoStartCountdownDlg*>();
      QVERIFY(dialog != nullptr && dialog->isVisible());
      caption = dialog->windowTitle();
      QVERIFY(dialog->findChild<QLabel*>("labelText")
                  ->text()
                  .startsWith("Auto Start will begin when timer expires.\n\nCANCEL stops the "
                              "countdown and displays setup screen.\n\n"));
      countdown = dialog->findChild<QLabel*>("labelCountdown")->text();
      QTest::mouseClick(dialog->findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
    });
    QVERIFY(!window->AutoStart());
    QCOMPARE(caption, QString("KELVAN 4.2.2"));
    QVERIFY(countdown.startsWith("Auto Start in ") && countdown.endsWith(" Seconds"));
    QVERIFY(window->isVisible());
    QVERIFY(workers_.calls.empty());
    QVERIFY(!window->state().busy);
  }

  // A run log that cannot be created stops the loading, not the program: the setup file beside
  // it is not read and nothing counts down.
  void startUpFailureLeavesTheWindowOpen() {
    Settings settings;
    settings.servers = {MakeServerEntry("DSN=A;UID=u;PWD=p")};
    WriteSetupToFile((dir_ / "KELVAN.ini").string(), settings);
    auto window = MakeWindow();
    QVERIFY(!window->Launch("-LOG=" + (dir_ / "missing" / "run.htm").string()));
    QVERIFY(window->isVisible());
    QCOMPARE(messages_.messages().size(), size_t{1});
    QCOMPARE(messages_.messages()[0].icon, MessageIcon::kCritical);
    QVERIFY(window->state().settings.servers.empty());
    QVERIFY(window->findChild<AutoStartCountdownDlg*>() == nullptr);
    QVERIFY(workers_.calls.empty());
  }

  void saveThenLoadRestoresTheSettings() {
    auto window = MakeWindow();
    window->StartUp("-LOG=" + (dir_ / "run.htm").string());
    Settings& settings = window->state().settings;
    settings.servers = {MakeServerEntry("DSN=VLTA;UID=admin;PWD=s3;x"),
                        MakeServerEntry("DSN=VLTB;UID=oper;PWD=t")};
    settings.tables = TableList{"\"SUMMARY\",\"NODES\",", 2, kFalse16};
    settings.destination = DestinationRecord{"REPORTS", "loader", "pw", "RPT"};
    settings.advanced.database_type = "QDB";
    settings.advanced.trace_level = 2;
    settings.advanced.prune_data_beyond_days = 45;
    settings.post_processing.activate_forecasting = kTrue16;
    settings.post_processing.forecast_tables[0] = kTrue16;
    settings.post_processing.forecast_number_of_days = 30;
    settings.post_processing.forecast_size_of_sample_set = 14;
    settings.forecast_setup_code = 0x0101;
    const Settings saved = settings;
    chosen_file_ = (dir_ / "saved.ini").string();
    QTest::mouseClick(window->findChild<QPushButton*>("cmdSave"), Qt::LeftButton);
    QVERIFY(fs::exists(*chosen_file_));

    settings = Settings{};
    QTest::mouseClick(window->findChild<QPushButton*>("cmdLoad"), Qt::LeftButton);
    QVERIFY(window->state().settings == saved);
    QCOMPARE(window->state().setup_file_name, *chosen_file_);
    QVERIFY(messages_.messages().empty());

    chosen_file_.reset();  // a cancelled dialog reads nothing
    settings = Settings{};
    QTest::mouseClick(window->findChild<QPushButton*>("cmdLoad"), Qt::LeftButton);
    QVERIFY(window->state().settings == Settings{});
  }

  void helpWithoutTheDocumentSaysSo() {
    auto window = MakeWindow();
    window->Help();
    QVERIFY(window->state().log_text.starts_with("Help: Error loading help file."));
  }
};

KELVAN_GUI_TEST(MainWindowTest);

}  // namespace
}  // namespace kelvan::console

#include "main_window_test.moc"
