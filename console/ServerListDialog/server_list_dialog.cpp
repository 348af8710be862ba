#include "console/ServerListDialog/server_list_dialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "console/widgets/controls.h"
#include "platform/basic/raised_error.h"

namespace kelvan::console {
namespace {

const std::string kCrLfText = "\r\n";

}  // namespace

ServerListDialog::ServerListDialog(std::vector<ServerEntry>& servers, ConsoleView& view,
                                   const DataSourceLister& data_sources, TestConnector connector,
                                   QWidget* parent)
    : QDialog(parent), servers_(servers), view_(view), connector_(std::move(connector)) {
  setObjectName("ServerListDialog");
  setWindowTitle("Server List");
  BuildControls();
  for (const ServerEntry& entry : servers_) AppendRow(entry);
  FillDataSources(data_sources);
  UpdateCommands();
}

void ServerListDialog::BuildControls() {
  data_source_ = Named(new QComboBox(this), "comboDSN", "VLT server data sources");
  uid_ = Named(new QLineEdit(this), "txtUID", "User ID on the VLT server");
  password_ = Named(new QLineEdit(this), "txtPassword", "Password on the VLT server");
  password_->setEchoMode(QLineEdit::Password);
  list_ = Named(new QTreeWidget(this), "ListViewDisplay", "Servers to load; Del removes one");
  list_->setColumnCount(2);
  list_->setHeaderLabels({"Server Name", "User ID"});
  list_->setRootIsDecorated(false);
  list_->header()->setSectionResizeMode(QHeaderView::Stretch);
  add_ = MakeButton(this, "cmdAdd", "&Add", "Add the server to the list");
  remove_ = MakeButton(this, "cmdRemove", "&Remove", "Remove the selected server");
  remove_all_ = MakeButton(this, "cmdRemoveAll", "Remove A&ll", "Remove every server");
  apply_ = MakeButton(this, "cmdApply", "A&pply", "Apply changes");
  test_ = MakeButton(this, "CmdTestConnection", "&Test Connection",
                     "Test the connection to the selected server");
  ok_ = MakeButton(this, "OKButton", "OK", "Apply changes and exit");
  cancel_ = MakeButton(this, "CancelButton", "&Cancel", "Discard changes and exit");

  auto* fields = new QFormLayout;
  fields->addRow("Data Source Name:", data_source_);
  fields->addRow("User ID:", uid_);
  fields->addRow("Password:", password_);
  auto* list_commands = new QHBoxLayout;
  for (QPushButton* button : {add_, remove_, remove_all_, test_}) list_commands->addWidget(button);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (QPushButton* button : {apply_, ok_, cancel_}) buttons->addWidget(button);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(list_commands);
  layout->addWidget(list_);
  layout->addLayout(buttons);
  resize(460, 380);

  connect(add_, &QPushButton::clicked, this, &ServerListDialog::Add);
  connect(remove_, &QPushButton::clicked, this, &ServerListDialog::Remove);
  connect(remove_all_, &QPushButton::clicked, this, &ServerListDialog::RemoveAll);
  connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });
  connect(test_, &QPushButton::clicked, this, &ServerListDialog::TestConnection);
  connect(ok_, &QPushButton::clicked, this, &ServerListDialog::Ok);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  MakeEnterMeanOk(this, ok_);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, &ServerListDialog::UpdateCommands);
  // A new user ID needs its own password.
  connect(uid_, &QLineEdit::textEdited, password_, &QLineEdit::clear);
  auto* remove_key =
      new QShortcut(QKeySequence::Delete, list_, nullptr, nullptr, Qt::WidgetShortcut);
  connect(remove_key, &QShortcut::activated, this, &ServerListDialog::Remove);
}

void ServerListDialog::FillDataSources(const DataSourceLister& data_sources) {
  data_source_->addItem(kNoDataSource);
  for (const std::string& name : OfferedDataSources(data_sources, kVltDriverMarkers)) {
    data_source_->addItem(ToQt(name));
  }
  data_source_->setCurrentIndex(0);
}

void ServerListDialog::AppendRow(const ServerEntry& entry) {
  rows_.push_back(entry);
  list_->addTopLevelItem(new QTreeWidgetItem({ToQt(entry.dsn), ToQt(entry.uid)}));
}

bool ServerListDialog::EntryFieldsComplete() const {
  const QString name = data_source_->currentText();
  return !name.isEmpty() && name != kNoDataSource && !uid_->text().isEmpty() &&
         !password_->text().isEmpty();
}

void ServerListDialog::Add() {
  if (!EntryFieldsComplete()) {
    const bool only_name_missing = !uid_->text().isEmpty() && !password_->text().isEmpty() &&
                                   data_source_->currentText() == kNoDataSource;
    view_.ShowMessage(
        "Incomplete server information:" + kCrLfText +
            (only_name_missing
                 ? "Please select DSN other than (None) from the list."
                 : "Make sure you have selected or filled out proper DSN, UID, and Password "
                   "fields."),
        MessageIcon::kExclamation);
    return;
  }
  const std::string dsn = FromQt(data_source_->currentText());
  const std::string uid = FromQt(uid_->text());
  const std::string password = FromQt(password_->text());
  AppendRow(ServerEntry{dsn, uid, password, ServerValue(dsn, uid, password)});
  data_source_->setCurrentIndex(0);
  uid_->clear();
  password_->clear();
  changes_pending_ = true;
  UpdateCommands();
}

void ServerListDialog::Remove() {
  const int row = SelectedRow();
  if (row < 0) return;
  delete list_->takeTopLevelItem(row);
  rows_.erase(rows_.begin() + row);
  // The row indexes of the list no longer match the applied entries until the next Apply.
  changes_pending_ = true;
  UpdateCommands();
}

void ServerListDialog::RemoveAll() {
  list_->clear();
  rows_.clear();
  UpdateCommands();
}

// True when the list was applied with at least one entry.
bool ServerListDialog::Apply() {
  if (EntryFieldsComplete()) Add();
  if (rows_.empty()) {
    servers_.clear();
    view_.ShowMessage(
        "Empty server list:" + kCrLfText + "Make sure you have atleast one VLT server on the list.",
        MessageIcon::kInformation);
    return false;
  }
  servers_.clear();
  for (const ServerEntry& row : rows_) {
    servers_.push_back(
        ServerEntry{row.dsn, row.uid, row.password, ServerValue(row.dsn, row.uid, row.password)});
  }
  changes_pending_ = false;
  return true;
}

void ServerListDialog::Ok() {
  Apply();
  accept();
}

void ServerListDialog::TestConnection() {
  if (changes_pending_) {
    view_.ShowMessage("Apply Changes:" + kCrLfText +
                          "Changes must be applied before you can test the connection.",
                      MessageIcon::kInformation);
    return;
  }
  const size_t index = static_cast<size_t>(std::max(SelectedRow(), 0));
  if (index >= servers_.size()) return;
  const ServerEntry entry = servers_[index];
  for (QPushButton* button : {add_, remove_, remove_all_, apply_, test_, ok_, cancel_}) {
    button->setEnabled(false);
  }
  std::string text;
  try {
    connector_(entry.value);
    text = "Connection Successful for " + kCrLfText + entry.dsn;
  } catch (const RaisedError&) {
    text = "Connection Failed:" + kCrLfText + "Verify DSN setup, UID and Password.";
  }
  view_.ShowMessage(text, MessageIcon::kInformation);
  for (QPushButton* button : {add_, apply_, ok_, cancel_}) button->setEnabled(true);
  UpdateCommands();
}

void ServerListDialog::UpdateCommands() {
  const int rows = list_->topLevelItemCount();
  remove_->setEnabled(rows > 0 && SelectedRow() >= 0);
  remove_all_->setEnabled(rows > 0);
  test_->setEnabled(rows > 0);
}

int ServerListDialog::SelectedRow() const {
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  return selected.isEmpty() ? -1 : list_->indexOfTopLevelItem(selected.front());
}

}  // namespace kelvan::console
