#include "console/TableListDialog/table_list_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/widgets/controls.h"

namespace kelvan::console {
namespace {

// Moves the entry of `row` from one list to the end of the other; no entry stays selected.
void MoveRow(QListWidget* from, int row, QListWidget* to) {
  if (row < 0) return;
  to->addItem(from->takeItem(row));
  from->setCurrentRow(-1);
  from->clearSelection();
  to->clearSelection();
}

void MoveAll(QListWidget* from, QListWidget* to) {
  while (from->count() > 0) to->addItem(from->takeItem(0));
  to->clearSelection();
}

bool HasSelection(const QListWidget* list) { return !list->selectedItems().isEmpty(); }

}  // namespace

TableListDialog::TableListDialog(TableList& tables, QWidget* parent)
    : QDialog(parent), tables_(tables) {
  setObjectName("TableListDialog");
  setWindowTitle("Update Table List");
  BuildControls();
  Populate();
}

void TableListDialog::BuildControls() {
  available_ =
      Named(new QListWidget(this), "listTablesAvailable", "List of Tables available for load");
  chosen_ = Named(new QListWidget(this), "listTable", "List of tables to load");
  add_ = MakeButton(this, "cmdAdd", "A&dd ->", "Add selected table");
  add_all_ = MakeButton(this, "cmdAddAll", "Add A&ll ->>", "Add all tables");
  remove_ = MakeButton(this, "cmdRemove", "<- &Remove", "Remove selected table");
  remove_all_ = MakeButton(this, "cmdRemoveAll", "<<- Re&move All", "Remove all tables");
  load_error_tables_ =
      Named(new QCheckBox("Load Client and Server errors", this), "checkBoxLoadErrorTables");
  auto* apply = MakeButton(this, "cmdApply", "&Apply", "Apply changes");
  auto* ok = MakeButton(this, "OKButton", "OK", "Apply changes and exit");
  auto* cancel = MakeButton(this, "CancelButton", "&Cancel", "Discard changes and exit");

  auto* moves = new QVBoxLayout;
  moves->addStretch();
  for (QPushButton* button : {add_, add_all_, remove_, remove_all_}) moves->addWidget(button);
  moves->addStretch();
  auto* lists = new QGridLayout;
  lists->addWidget(Named(new QLabel("Tables to add", this), "Label1"), 0, 0);
  lists->addWidget(Named(new QLabel("Tables to Load", this), "Label2"), 0, 2);
  lists->addWidget(available_, 1, 0);
  lists->addLayout(moves, 1, 1);
  lists->addWidget(chosen_, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(load_error_tables_);
  buttons->addStretch();
  for (QPushButton* button : {apply, ok, cancel}) buttons->addWidget(button);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(lists);
  layout->addLayout(buttons);
  resize(540, 440);

  connect(add_, &QPushButton::clicked, this, &TableListDialog::Add);
  connect(add_all_, &QPushButton::clicked, this, &TableListDialog::AddAll);
  connect(remove_, &QPushButton::clicked, this, &TableListDialog::Remove);
  connect(remove_all_, &QPushButton::clicked, this, &TableListDialog::RemoveAll);
  connect(available_, &QListWidget::itemDoubleClicked, this, &TableListDialog::Add);
  connect(chosen_, &QListWidget::itemDoubleClicked, this, &TableListDialog::Remove);
  connect(available_, &QListWidget::itemSelectionChanged, this, &TableListDialog::UpdateCommands);
  connect(chosen_, &QListWidget::itemSelectionChanged, this, &TableListDialog::UpdateCommands);
  connect(apply, &QPushButton::clicked, this, &TableListDialog::Apply);
  connect(ok, &QPushButton::clicked, this, [this] {
    Apply();
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  MakeEnterMeanOk(this, ok);
}

void TableListDialog::Populate() {
  for (const char* name : kKnownTables) available_->addItem(name);
  for (int k = 1; k <= tables_.total_no_tables; ++k) {
    const QString name = ToQt(ParseItemFromTableString(tables_.table_string, k)).trimmed();
    if (name.isEmpty()) continue;
    chosen_->addItem(name);
    // A site's own table is loaded all the same; it was never in the available list.
    for (QListWidgetItem* item : available_->findItems(name, Qt::MatchExactly)) delete item;
  }
  load_error_tables_->setChecked(IsSet(tables_.load_error_tables));
  UpdateCommands();
}

void TableListDialog::Add() {
  if (HasSelection(available_)) MoveRow(available_, available_->currentRow(), chosen_);
  available_->setFocus();
  UpdateCommands();
}

void TableListDialog::AddAll() {
  MoveAll(available_, chosen_);
  UpdateCommands();
}

void TableListDialog::Remove() {
  if (HasSelection(chosen_)) MoveRow(chosen_, chosen_->currentRow(), available_);
  UpdateCommands();
}

void TableListDialog::RemoveAll() {
  MoveAll(chosen_, available_);
  UpdateCommands();
}

void TableListDialog::Apply() {
  std::vector<std::string> names;
  for (int row = 0; row < chosen_->count(); ++row)
    names.push_back(FromQt(chosen_->item(row)->text()));
  tables_.table_string = BuildTableString(names);
  tables_.total_no_tables = static_cast<std::int16_t>(names.size());
  tables_.load_error_tables = ToBool16(load_error_tables_->isChecked());
}

// The "all" buttons are offered only for lists of two or more entries.
void TableListDialog::UpdateCommands() {
  add_->setEnabled(HasSelection(available_));
  add_all_->setEnabled(available_->count() >= 2);
  remove_->setEnabled(HasSelection(chosen_));
  remove_all_->setEnabled(chosen_->count() >= 2);
}

}  // namespace kelvan::console
