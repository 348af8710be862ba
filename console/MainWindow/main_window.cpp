#include "console/MainWindow/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "console/AutoStartCountdownDlg/auto_start_countdown_dlg.h"
#include "console/DataSourceDialog/data_source_dialog.h"
#include "console/PostProcessingSetupOptionsDialog/post_processing_setup_options_dialog.h"
#include "console/ServerListDialog/server_list_dialog.h"
#include "console/TableListDialog/table_list_dialog.h"
#include "console/core/setup_file.h"
#include "console/widgets/controls.h"
#include "platform/basic/raised_error.h"
#include "platform/basic/text_lines.h"

namespace kelvan::console {
namespace {

const QString kTitle = QString(kProgramTitle) + " " + kVersion;
const char* const kSetupFilter = "INI Files (*.ini)";
constexpr int kSetupPanel = 2;
constexpr int kVersionPanel = 3;

// The commands a run disables: they would change settings or start another run.
const std::array<const char*, 7> kSettingsCommands = {
    "cmdGo",   "cmdDataSource", "cmdServerList", "cmdTableList", "cmdPostProcessing",
    "cmdLoad", "cmdSave"};

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kCritical:
      return QMessageBox::Critical;
    case MessageIcon::kQuestion:
      return QMessageBox::Question;
    case MessageIcon::kExclamation:
      return QMessageBox::Warning;
    case MessageIcon::kInformation:
      break;
  }
  return QMessageBox::Information;
}

// Beside the program in a build tree, under share/doc/kelvan once installed.
QString ReleaseNotesPath(const std::string& program_folder) {
  const QString built = ToQt(program_folder + "/docs/kelvan_relnotes.pdf");
  if (QFileInfo::exists(built)) return built;
  return ToQt(program_folder + "/../share/doc/kelvan/kelvan_relnotes.pdf");
}

}  // namespace

MainWindow::MainWindow(MainWindowServices services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)) {
  setObjectName("MainWindow");
  setWindowTitle(kTitle);
  BuildControls();
  BuildStatusBar();
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildControls() {
  auto* central = new QWidget(this);
  log_ = Named(new QPlainTextEdit(central), "textLog", "What the run did");
  log_->setReadOnly(true);
  log_->setLineWrapMode(QPlainTextEdit::NoWrap);
  progress_ = Named(new QProgressBar(central), "progressBar");
  status_label_ = Named(new QLabel(central), "labelStatus");
  status_label_->setMinimumHeight(2 * status_label_->fontMetrics().height() + 4);
  auto* grid = new QGridLayout;
  const auto add = [&](int row, int column, QPushButton* button) {
    grid->addWidget(button, row, column);
  };
  add(0, 0, AddCommand("cmdGo", "&Go", "Load every server of the server list", &MainWindow::Go));
  add(0, 1,
      AddCommand("cmdDataSource", "&Data Source", "Reporting database and advanced options",
                 &MainWindow::OpenDataSource));
  add(0, 2,
      AddCommand("cmdServerList", "&Server List", "VLT servers to load",
                 &MainWindow::OpenServerList));
  add(0, 3,
      AddCommand("cmdTableList", "&Table List", "Tables to load", &MainWindow::OpenTableList));
  add(0, 4,
      AddCommand("cmdPostProcessing", "&Post-Processing",
                 "Summary, simultaneous activity and forecast options",
                 &MainWindow::OpenPostProcessing));
  add(1, 0,
      AddCommand("cmdExit", "E&xit", "Exit the program, or cancel the run", &MainWindow::Exit));
  add(1, 1,
      AddCommand("cmdLoad", "&Load", "Read the settings from a setup file", &MainWindow::Load));
  add(1, 2,
      AddCommand("cmdSave", "Sa&ve", "Write the settings to a setup file", &MainWindow::Save));
  add(1, 3, AddCommand("cmdMinimize", "&Minimize", "Minimize the window", nullptr));
  add(1, 4, AddCommand("cmdHelp", "&Help", "Open the release notes", &MainWindow::Help));
  connect(commands_["cmdMinimize"], &QPushButton::clicked, this, &QWidget::showMinimized);
  auto* layout = new QVBoxLayout(central);
  layout->addWidget(log_, 1);
  layout->addWidget(progress_);
  layout->addWidget(status_label_);
  layout->addLayout(grid);
  setCentralWidget(central);
  resize(720, 520);
}

QPushButton* MainWindow::AddCommand(const char* name, const QString& caption,
                                    const QString& tool_tip, void (MainWindow::*command)()) {
  QPushButton* button = MakeButton(this, name, caption, tool_tip);
  if (command != nullptr) connect(button, &QPushButton::clicked, this, command);
  commands_[name] = button;
  return button;
}

void MainWindow::BuildStatusBar() {
  for (int panel = 0; panel < 4; ++panel) {
    panels_[panel] = Named(new QLabel(this), ("panel" + std::to_string(panel + 1)).c_str());
    statusBar()->addWidget(panels_[panel], panel == kSetupPanel ? 1 : 0);
  }
  panels_[kVersionPanel]->setText(QString("Version ") + kVersion + " " + kBuildText);
}

void MainWindow::ShowSetupFileName() {
  panels_[kSetupPanel]->setText(ToQt(state_.setup_file_name));
}

StartupOutcome MainWindow::StartUp(std::string_view command_line) {
  const StartupOutcome outcome = console::StartUp(state_, *this, command_line, services_.folders);
  ShowSetupFileName();
  return outcome;
}

bool MainWindow::AutoStart() {
  const bool run = RunAutoStartCountdown(state_, *this);
  show();
  if (!run) return false;
  Go();
  close();
  return true;
}

bool MainWindow::Launch(std::string_view command_line) {
  if (StartUp(command_line) == StartupOutcome::kAutoStart && AutoStart()) return true;
  show();
  return false;
}

void MainWindow::Go() {
  if (state_.busy) return;
  ShowRunning(true);
  RunDriver driver(state_, *this, *services_.workers, services_.connector);
  driver_ = &driver;
  driver.Go();
  driver_ = nullptr;
}

void MainWindow::Exit() {
  if (state_.busy) {
    if (driver_ != nullptr) driver_->Cancel();
    return;
  }
  if (ShowMessage("Are you sure you want to exit?", MessageIcon::kQuestion,
                  MessageButtons::kYesNo) == MessageAnswer::kYes) {
    state_.busy = false;
    QApplication::closeAllWindows();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The run stops before its next server; the call in progress ends on its worker's thread.
  if (state_.busy && driver_ != nullptr) driver_->Cancel();
  state_.busy = false;
  CloseCountdown();
  event->accept();
}

void MainWindow::OpenDataSource() {
  DataSourceDialog dialog(state_.settings.destination, state_.settings.advanced, *this,
                          services_.data_sources, this);
  dialog.exec();
}

void MainWindow::OpenServerList() {
  ServerListDialog dialog(state_.settings.servers, *this, services_.data_sources,
                          services_.connector, this);
  dialog.exec();
}

void MainWindow::OpenTableList() {
  TableListDialog dialog(state_.settings.tables, this);
  dialog.exec();
}

void MainWindow::OpenPostProcessing() {
  PostProcessingSetupOptionsDialog dialog(state_.settings.post_processing,
                                          state_.settings.forecast_setup_code, *this, this);
  dialog.exec();
}

void MainWindow::Load() {
  using FileDialog = MainWindowServices::FileDialog;
  const std::optional<std::string> file =
      services_.choose_file ? services_.choose_file(FileDialog::kOpen, state_.setup_file_name)
                            : std::optional<std::string>(FromQt(QFileDialog::getOpenFileName(
                                  this, "Load", ToQt(state_.setup_file_name), kSetupFilter)));
  if (!file || file->empty()) return;
  state_.setup_file_name = *file;
  ShowSetupFileName();
  LoadSetupFile(state_, *this);
}

void MainWindow::Save() {
  using FileDialog = MainWindowServices::FileDialog;
  const std::optional<std::string> file =
      services_.choose_file ? services_.choose_file(FileDialog::kSave, state_.setup_file_name)
                            : std::optional<std::string>(FromQt(QFileDialog::getSaveFileName(
                                  this, "Save", ToQt(state_.setup_file_name), kSetupFilter)));
  if (!file || file->empty()) return;
  state_.setup_file_name = *file;
  ShowSetupFileName();
  try {
    WriteSetupToFile(state_.setup_file_name, state_.settings);
  } catch (const RaisedError& error) {
    ShowMessage("Error Number = " + std::to_string(error.Number()) + "\r\nError Source = " +
                    error.Source() + "\r\nError Description = " + error.Description(),
                MessageIcon::kCritical);
  }
}

void MainWindow::Help() {
  const QString path = ReleaseNotesPath(services_.folders.program);
  if (QFileInfo::exists(path) && QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return;
  AppendLog(state_, *this,
            "Help: Error loading help file.  Make sure you have a PDF reader installed on your "
            "computer.\r\n");
}

MessageAnswer MainWindow::ShowMessage(const std::string& text, MessageIcon icon,
                                      MessageButtons buttons) {
  if (services_.messages != nullptr) return services_.messages->ShowMessage(text, icon, buttons);
  const bool yes_no = buttons == MessageButtons::kYesNo;
  QMessageBox box(ToQtIcon(icon), kProgramTitle, ToDisplay(text),
                  yes_no ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                  QApplication::activeModalWidget() ? QApplication::activeModalWidget() : this);
  const int answer = box.exec();
  if (!yes_no) return MessageAnswer::kOk;
  return answer == QMessageBox::Yes ? MessageAnswer::kYes : MessageAnswer::kNo;
}

void MainWindow::SetStatusLabel(const std::string& text) {
  status_label_->setText(ToDisplay(text));
}

void MainWindow::SetStatusPanel(StatusPanel panel, const std::string& text) {
  panels_[static_cast<int>(panel)]->setText(ToQt(text));
}

void MainWindow::ShowProgress(bool visible) { progress_->setVisible(visible); }

void MainWindow::SetProgressRange(int minimum, int maximum) {
  progress_->setRange(minimum, maximum);
}

void MainWindow::SetProgressValue(int value) { progress_->setValue(value); }

void MainWindow::ShowLogText(const std::string& text) { log_->setPlainText(ToDisplay(text)); }

void MainWindow::ScrollLogToEnd() {
  log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
}

void MainWindow::ShowRunning(bool running) {
  for (const char* name : kSettingsCommands) commands_[name]->setEnabled(!running);
  commands_["cmdExit"]->setText(running ? "Cancel" : "E&xit");
  setWindowTitle(running ? kTitle + " - Working..." : kTitle);
  const bool pointer_set = QApplication::overrideCursor() != nullptr;
  if (running && !pointer_set) QApplication::setOverrideCursor(Qt::BusyCursor);
  if (!running && pointer_set) QApplication::restoreOverrideCursor();
}

void MainWindow::ProcessPendingEvents() { QCoreApplication::processEvents(); }

void MainWindow::WaitProcessingEvents(std::chrono::milliseconds duration) {
  QEventLoop loop;
  QTimer::singleShot(duration, &loop, &QEventLoop::quit);
  loop.exec();
}

void MainWindow::ShowCountdown(const std::string& caption, const std::string& text) {
  CloseCountdown();
  countdown_ = new AutoStartCountdownDlg(ToQt(caption), ToDisplay(text), this);
  countdown_->show();
}

void MainWindow::SetCountdownText(const std::string& text) {
  if (countdown_ != nullptr) countdown_->SetCountdownText(ToQt(text));
}

bool MainWindow::CountdownCancelled() { return countdown_ != nullptr && !countdown_->Continue(); }

void MainWindow::CloseCountdown() {
  if (countdown_ == nullptr) return;
  countdown_->hide();
  countdown_->deleteLater();
  countdown_ = nullptr;
}

}  // namespace kelvan::console
