#include "console/DataSourceDialog/data_source_dialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/AdvancedSetupOptionsDialog/advanced_setup_options_dialog.h"
#include "console/widgets/controls.h"

namespace kelvan::console {

DataSourceDialog::DataSourceDialog(DestinationRecord& destination, AdvancedOptions& advanced,
                                   ConsoleView& view, const DataSourceLister& data_sources,
                                   QWidget* parent)
    : QDialog(parent),
      destination_(destination),
      advanced_(advanced),
      view_(view),
      advanced_copy_(advanced) {
  setObjectName("DataSourceDialog");
  setWindowTitle("Reporting Database Setup");
  BuildControls();
  FillDataSources(data_sources);
  uid_->setText(ToQt(destination_.user_name));
  password_->setText(ToQt(destination_.password));
  qualifier_->setText(ToQt(destination_.qualifier));
}

void DataSourceDialog::BuildControls() {
  data_source_ = Named(new QComboBox(this), "comboDSN", "Reporting database data sources");
  uid_ = Named(new QLineEdit(this), "textUID", "User ID on the reporting database");
  password_ = Named(new QLineEdit(this), "textPassword", "Password on the reporting database");
  password_->setEchoMode(QLineEdit::Password);
  qualifier_ = Named(new QLineEdit(this), "textQualifier", "Schema of the reporting tables");
  auto* advanced = MakeButton(this, "cmdAdvanced", "Open Advanced Setup Options");
  auto* apply = MakeButton(this, "cmdDSDApply", "&Apply", "Apply changes");
  auto* ok = MakeButton(this, "OKButton", "OK", "Apply changes and exit");
  auto* cancel = MakeButton(this, "CancelButton", "&Cancel", "Discard changes and exit");
  auto* note = Named(
      new QLabel("Note: This data source stores collected and analyzed data from the VLT server.",
                 this),
      "labelNote");
  note->setWordWrap(true);

  auto* fields = new QFormLayout;
  fields->addRow("Data Source Name:", data_source_);
  fields->addRow("User ID:", uid_);
  fields->addRow("Password:", password_);
  fields->addRow("Qualifier:", qualifier_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(advanced);
  buttons->addStretch();
  for (QPushButton* button : {apply, ok, cancel}) buttons->addWidget(button);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(note);
  layout->addLayout(fields);
  layout->addLayout(buttons);
  resize(520, 230);

  connect(advanced, &QPushButton::clicked, this, &DataSourceDialog::OpenAdvanced);
  connect(apply, &QPushButton::clicked, this, &DataSourceDialog::Apply);
  connect(ok, &QPushButton::clicked, this, &DataSourceDialog::Ok);
  connect(cancel, &QPushButton::clicked, this, &DataSourceDialog::reject);
  MakeEnterMeanOk(this, ok);
  connect(uid_, &QLineEdit::textEdited, password_, &QLineEdit::clear);
}

void DataSourceDialog::FillDataSources(const DataSourceLister& data_sources) {
  data_source_->addItem(kNoDataSource);
  for (const std::string& name : OfferedDataSources(data_sources, kDestinationDriverMarkers)) {
    data_source_->addItem(ToQt(name));
  }
  // Show the stored data source, so that OK without a new choice keeps it.
  if (!destination_.name.empty()) {
    if (data_source_->findText(ToQt(destination_.name)) < 0) {
      data_source_->addItem(ToQt(destination_.name));
    }
    data_source_->setCurrentText(ToQt(destination_.name));
  } else {
    data_source_->setCurrentIndex(0);
  }
}

void DataSourceDialog::OpenAdvanced() {
  if (advanced_pending_) TakeAdvancedValues();
  advanced_pending_ = true;
  advanced_copy_ = advanced_;
  AdvancedSetupOptionsDialog editor(advanced_copy_, view_, this);
  emit advancedEditorShown(&editor);
  editor.exec();
}

void DataSourceDialog::StoreFields() {
  const QString name = data_source_->currentText();
  destination_.name = name == kNoDataSource ? std::string() : FromQt(name);
  destination_.user_name = FromQt(uid_->text());
  destination_.password = FromQt(password_->text());
  destination_.qualifier = FromQt(qualifier_->text());
}

// False after the "Database Type Not Set:" warning.
bool DataSourceDialog::TypeIsSet() {
  const AdvancedOptions& shown = advanced_pending_ ? advanced_copy_ : advanced_;
  if (shown.database_type != "Unknown" || destination_.name.empty()) return true;
  view_.ShowMessage(
      "Database Type Not Set:\r\nPlease select the Advanced button and set the RDBMS type. ",
      MessageIcon::kExclamation);
  return false;
}

void DataSourceDialog::TakeAdvancedValues() {
  if (!advanced_pending_) return;
  advanced_ = advanced_copy_;
  advanced_pending_ = false;
}

void DataSourceDialog::Apply() {
  StoreFields();
  TypeIsSet();  // a warning only: Apply stores all the same
  TakeAdvancedValues();
}

void DataSourceDialog::Ok() {
  StoreFields();
  if (!TypeIsSet()) return;
  TakeAdvancedValues();
  accept();
}

void DataSourceDialog::reject() {
  TakeAdvancedValues();
  QDialog::reject();
}

}  // namespace kelvan::console
