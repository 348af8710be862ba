// MainWindow: the console's window. It shows the log box, progress bar, status bar and status
// label of a run and offers the commands Go, Exit (Cancel during a run), Minimize, Data source,
// Server list, Table list, Post-processing, Load, Save and Help. It is the ConsoleView of the
// console's core, whose start-up, setup file and run driver do the work; the editors are opened
// on the settings the core holds.
// Threading: the console's one (GUI) thread.
#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "console/core/console_state.h"
#include "console/core/console_view.h"
#include "console/core/data_sources.h"
#include "console/core/run_driver.h"
#include "console/core/run_worker.h"
#include "console/core/startup.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace kelvan::console {

class AutoStartCountdownDlg;

// What the window reaches outside itself; tests replace every part.
struct MainWindowServices {
  enum class FileDialog { kOpen, kSave };
  // The chosen setup file, or nothing when the dialog was cancelled.
  using FileChooser =
      std::function<std::optional<std::string>(FileDialog kind, const std::string& current)>;

  WorkerFactory* workers = nullptr;  // must outlive the window
  TestConnector connector = OpenTestConnection;
  DataSourceLister data_sources = odbc::ListDataSources;
  Folders folders = ProgramFolders();
  // When set, it answers the message boxes instead of the user (tests, screenshots).
  ConsoleView* messages = nullptr;
  FileChooser choose_file;  // empty: the toolkit's file dialogs
};

class MainWindow : public QMainWindow, public ConsoleView {
  Q_OBJECT

 public:
  explicit MainWindow(MainWindowServices services, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Loading the window: command line, run log, setup file.
  StartupOutcome StartUp(std::string_view command_line);
  // The countdown, then (unless CANCEL) the run; true when it ran. The caller then ends.
  bool AutoStart();
  // Start-up, then the auto-start when the setup file was read; true when an auto-started run
  // ended and the program with it. Otherwise the window is shown for interactive use, also when
  // start-up failed.
  bool Launch(std::string_view command_line);

  ConsoleState& state() { return state_; }

  // The commands (also behind the buttons).
  void Go();
  void Exit();
  void OpenDataSource();
  void OpenServerList();
  void OpenTableList();
  void OpenPostProcessing();
  void Load();
  void Save();
  void Help();

  // ConsoleView
  MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                            MessageButtons buttons = MessageButtons::kOk) override;
  void SetStatusLabel(const std::string& text) override;
  void SetStatusPanel(StatusPanel panel, const std::string& text) override;
  void ShowProgress(bool visible) override;
  void SetProgressRange(int minimum, int maximum) override;
  void SetProgressValue(int value) override;
  void ShowLogText(const std::string& text) override;
  void ScrollLogToEnd() override;
  void ShowRunning(bool running) override;
  void ProcessPendingEvents() override;
  void WaitProcessingEvents(std::chrono::milliseconds duration) override;
  void ShowCountdown(const std::string& caption, const std::string& text) override;
  void SetCountdownText(const std::string& text) override;
  bool CountdownCancelled() override;
  void CloseCountdown() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void BuildStatusBar();
  QPushButton* AddCommand(const char* name, const QString& caption, const QString& tool_tip,
                          void (MainWindow::*command)());
  void ShowSetupFileName();

  MainWindowServices services_;
  ConsoleState state_;
  RunDriver* driver_ = nullptr;  // the run in progress
  AutoStartCountdownDlg* countdown_ = nullptr;

  QPlainTextEdit* log_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* status_label_ = nullptr;
  std::map<int, QLabel*> panels_;
  std::map<std::string, QPushButton*> commands_;
};

}  // namespace kelvan::console
