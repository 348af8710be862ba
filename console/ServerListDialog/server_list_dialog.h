// ServerListDialog: the modal editor of the VLT server list. It offers the data sources whose
// driver names the VLT product, adds and removes entries, applies them to the console's server
// list and tests the connection of an applied entry. Passwords are held but never shown: the
// visible list has no password column and the password field is masked.
// Threading: the console's one (GUI) thread.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "console/core/console_view.h"
#include "console/core/data_sources.h"
#include "console/core/run_worker.h"
#include "console/core/settings.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace kelvan::console {

class ServerListDialog : public QDialog {
  Q_OBJECT

 public:
  // `servers` is the console's applied list: only Apply and OK change it. It and `view` are
  // borrowed for the dialog's lifetime.
  ServerListDialog(std::vector<ServerEntry>& servers, ConsoleView& view,
                   const DataSourceLister& data_sources, TestConnector connector,
                   QWidget* parent = nullptr);

  bool ChangesPending() const { return changes_pending_; }

 private:
  void BuildControls();
  void FillDataSources(const DataSourceLister& data_sources);
  void AppendRow(const ServerEntry& entry);
  bool EntryFieldsComplete() const;
  void Add();
  void Remove();
  void RemoveAll();
  bool Apply();
  void Ok();
  void TestConnection();
  void UpdateCommands();
  int SelectedRow() const;

  std::vector<ServerEntry>& servers_;
  ConsoleView& view_;
  TestConnector connector_;
  std::vector<ServerEntry> rows_;  // the rows of the list, passwords included
  bool changes_pending_ = false;

  QComboBox* data_source_ = nullptr;
  QLineEdit* uid_ = nullptr;
  QLineEdit* password_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* remove_all_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* test_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace kelvan::console
