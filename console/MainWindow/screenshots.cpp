// kelvan-screenshots DIR: renders the main window, the countdown and every editor offscreen into
// DIR/*.png, for review. Sample settings; nothing is connected and no message box is shown.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "console/AdvancedSetupOptionsDialog/advanced_setup_options_dialog.h"
#include "console/AutoStartCountdownDlg/auto_start_countdown_dlg.h"
#include "console/DataSourceDialog/data_source_dialog.h"
#include "console/MainWindow/main_window.h"
#include "console/PostProcessingSetupOptionsDialog/post_processing_setup_options_dialog.h"
#include "console/ServerListDialog/server_list_dialog.h"
#include "console/TableListDialog/table_list_dialog.h"
#include "console/core/recording_view.h"
#include "console/widgets/controls.h"

namespace {

using namespace kelvan::console;

std::vector<kelvan::odbc::DataSourceInfo> SampleDataSources() {
  return {{"VLT_PROD", "VLT Emulation Driver"},
          {"VLT_BACKUP", "VLT Emulation Driver"},
          {"REPORTS", "PostgreSQL"}};
}

Settings SampleSettings() {
  Settings settings;
  settings.servers = {MakeServerEntry("DSN=VLT_PROD;UID=admin;PWD=x"),
                      MakeServerEntry("DSN=VLT_BACKUP;UID=oper;PWD=y")};
  settings.tables = TableList{"\"SUMMARY\",\"EVENTS\",\"OCCUPANCY\",", 3, kelvan::kTrue16};
  settings.destination = DestinationRecord{"REPORTS", "loader", "secret", "RPT"};
  settings.advanced.database_type = "QDB";
  settings.post_processing.activate_forecasting = kelvan::kTrue16;
  settings.post_processing.forecast_tables[0] = kelvan::kTrue16;
  settings.post_processing.forecast_number_of_days = 30;
  settings.post_processing.forecast_size_of_sample_set = 14;
  return settings;
}

bool Save(QWidget& widget, const QString& dir, const char* name) {
  widget.show();
  widget.resize(widget.size().expandedTo(widget.sizeHint()));
  QApplication::processEvents();
  const QString path = dir + "/" + name + ".png";
  const bool saved = widget.grab().save(path);
  std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
  widget.hide();
  return saved;
}

class Failing : public WorkerFactory {
 public:
  std::shared_ptr<RunWorker> CreateWorker(const std::string&, const std::string&) override {
    return nullptr;
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: kelvan-screenshots DIR\n");
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  RecordingView messages;
  Failing workers;
  MainWindowServices services;
  services.workers = &workers;
  services.data_sources = SampleDataSources;
  services.messages = &messages;
  MainWindow window(services);
  Settings settings = SampleSettings();
  window.state().settings = settings;
  window.SetStatusLabel("Processing Complete");
  window.ShowLogText(
      "Server = VLT_PROD\r\nServer operations for VLT_PROD successfully completed.\r\n");
  window.SetStatusPanel(StatusPanel::kPosition, "2/2");
  window.SetStatusPanel(StatusPanel::kElapsed, "0:03:12");
  window.ShowProgress(false);

  bool ok = Save(window, dir, "main_window");
  window.ShowCountdown(std::string(kProgramTitle) + " " + kVersion, AutoStartText());
  window.SetCountdownText("Auto Start in 30 Seconds");
  auto* countdown = window.findChild<AutoStartCountdownDlg*>();
  ok &= countdown != nullptr && Save(*countdown, dir, "auto_start_countdown");
  window.CloseCountdown();
  ServerListDialog servers(settings.servers, messages, SampleDataSources, OpenTestConnection);
  ok &= Save(servers, dir, "server_list");
  DataSourceDialog data_source(settings.destination, settings.advanced, messages,
                               SampleDataSources);
  ok &= Save(data_source, dir, "data_source");
  AdvancedSetupOptionsDialog advanced(settings.advanced, messages);
  ok &= Save(advanced, dir, "advanced_setup_options");
  TableListDialog tables(settings.tables);
  ok &= Save(tables, dir, "table_list");
  PostProcessingSetupOptionsDialog post(settings.post_processing, settings.forecast_setup_code,
                                        messages);
  ok &= Save(post, dir, "post_processing_setup_options");
  return ok ? 0 : 1;
}
