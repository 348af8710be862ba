// TableListDialog ("Update Table List"): the modal editor of the tables each run copies, in copy
// order, and of the error-table switch. Opening rebuilds both lists from the table string, so
// what was not applied is lost on Cancel.
// Threading: the console's one (GUI) thread.
#pragma once

#include <QDialog>
#include <array>
#include <string>
#include <vector>

#include "console/core/settings.h"

class QCheckBox;
class QListWidget;
class QPushButton;

namespace kelvan::console {

// The tables a VLT server is known to have, in the order the available list offers them.
inline constexpr std::array<const char*, 19> kKnownTables = {
    "ADMINS",      "DB",         "DBVOLUMES", "DEVCLASSES", "DRIVES",    "EVENTS",  "FILESPACES",
    "LOG",         "LOGVOLUMES", "NODES",     "STGPOOLS",   "SUMMARY",   "VOLUMES", "OCCUPANCY",
    "VOLUMEUSAGE", "LIBVOLUMES", "LIBRARIES", "OPTIONS",    "VOLHISTORY"};

class TableListDialog : public QDialog {
  Q_OBJECT

 public:
  // `tables` is the console's table list, borrowed for the dialog's lifetime: only Apply and OK
  // change it.
  explicit TableListDialog(TableList& tables, QWidget* parent = nullptr);

 private:
  void BuildControls();
  void Populate();
  void Add();
  void AddAll();
  void Remove();
  void RemoveAll();
  void Apply();
  void UpdateCommands();

  TableList& tables_;

  QListWidget* available_ = nullptr;
  QListWidget* chosen_ = nullptr;
  QCheckBox* load_error_tables_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* add_all_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* remove_all_ = nullptr;
};

}  // namespace kelvan::console
