#include "console/AdvancedSetupOptionsDialog/advanced_setup_options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/widgets/controls.h"
#include "platform/basic/numeric_text.h"

namespace kelvan::console {
namespace {

const std::array<const char*, 5> kSeverityCaptions = {
    "Error - E", "Information - I", "Diagnostic - D", "Severe - S", "Warning - W"};
const QStringList kDatabaseTypes = {"Unknown", "QDB", "MS SQL", "Oracle"};
const QStringList kTraceLevels = {"Trace Level 1", "Trace Level 2", "Trace Level 3"};
constexpr double kInt16Limit = 32767.5;  // rounds to 32768: too large for 16 bits
constexpr double kRoundsToZero = 0.5;    // halves round to even: 0.5 is stored as 0

}  // namespace

std::optional<std::string> CheckAdvancedNumbers(const std::string& prune_age_text,
                                                const std::string& batch_size_text,
                                                std::int16_t size_limit) {
  const double days = LeadingNumber(prune_age_text);
  // An age stored as 0 would prune every row a server has loaded.
  if (!(days > kRoundsToZero && days <= size_limit)) {
    return "Invalid number for 'Prune Data Older than' field\r\nPlease input a number greater "
           "than 0 and less than " +
           std::to_string(size_limit) + ".";
  }
  // A batch must delete something and its size must fit in 16 bits.
  const double batch = LeadingNumber(batch_size_text);
  if (!(batch > kRoundsToZero && batch < kInt16Limit)) {
    return "Invalid number for 'Approximate Number of Records to Prune/Batch' field\r\nPlease "
           "input a number greater than 0 and less than 32768.";
  }
  return std::nullopt;
}

AdvancedSetupOptionsDialog::AdvancedSetupOptionsDialog(AdvancedOptions& values, ConsoleView& view,
                                                       QWidget* parent)
    : QDialog(parent),
      values_(values),
      view_(view),
      size_limit_(values.database_max_size_limit_in_days) {
  setObjectName("AdvancedSetupOptionsDialog");
  setWindowTitle("Advanced Setup Options");
  BuildControls();
  Load();
}

void AdvancedSetupOptionsDialog::BuildControls() {
  prune_days_ = Named(new QLineEdit(this), "txtPruneNoOfDays", "Prune data older than this");
  batch_size_ = Named(new QLineEdit(this), "txtApproxRecordsToPrunePerBatch");
  database_type_ = Named(new QComboBox(this), "comboDBTypeSelector");
  database_type_->addItems(kDatabaseTypes);
  trace_level_ = Named(new QComboBox(this), "comboTraceLevel");
  trace_level_->addItems(kTraceLevels);
  auto* defaults = MakeButton(
      this, "labelDefault",
      "Click here to revert to default setting for options available in this dialog box.");
  defaults->setFlat(true);
  defaults->setCursor(Qt::PointingHandCursor);
  defaults->setStyleSheet("text-decoration: underline; color: palette(link);");
  auto* apply = MakeButton(this, "cmdApply", "&Apply", "Apply changes");
  auto* ok = MakeButton(this, "OKButton", "OK", "Apply changes and exit");
  auto* cancel = MakeButton(this, "CancelButton", "&Cancel", "Discard changes and exit");

  auto* numbers = new QFormLayout;
  numbers->addRow("Reporting Database Size Limit in Number of Days", prune_days_);
  numbers->addRow("Approximate Number of Records to Prune/Batch", batch_size_);
  auto* hint = new QLabel(
      "This number is based on the transaction log size defined in the reporting database.", this);
  hint->setWordWrap(true);
  auto* type_frame = new QGroupBox("RDBMS Type", this);
  (new QVBoxLayout(type_frame))->addWidget(database_type_);
  auto* trace_frame = new QGroupBox("Error Log Trace Level", this);
  (new QVBoxLayout(trace_frame))->addWidget(trace_level_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (QPushButton* button : {apply, ok, cancel}) buttons->addWidget(button);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(numbers);
  layout->addWidget(hint);
  auto* frames = new QHBoxLayout;
  frames->addWidget(type_frame);
  frames->addWidget(trace_frame);
  layout->addLayout(frames);
  layout->addWidget(BuildSeverityFrame());
  layout->addWidget(defaults);
  layout->addLayout(buttons);

  connect(defaults, &QPushButton::clicked, this, &AdvancedSetupOptionsDialog::RevertToDefaults);
  connect(apply, &QPushButton::clicked, this, [this] { Apply(); });
  connect(ok, &QPushButton::clicked, this, [this] {
    if (Apply()) accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  MakeEnterMeanOk(this, ok);
}

QWidget* AdvancedSetupOptionsDialog::BuildSeverityFrame() {
  auto* frame = new QGroupBox("Severity Level to Extract", this);
  auto* layout = new QHBoxLayout(frame);
  for (size_t i = 0; i < severity_.size(); ++i) {
    const std::string name = "checkBoxSeverity" + std::to_string(i);
    severity_[i] = Named(new QCheckBox(kSeverityCaptions[i], frame), name.c_str());
    layout->addWidget(severity_[i]);
  }
  return frame;
}

void AdvancedSetupOptionsDialog::Load() {
  const int level = values_.trace_level;
  trace_level_->setCurrentIndex(level >= 1 && level <= 3 ? level - 1 : -1);
  for (size_t i = 0; i < severity_.size(); ++i)
    severity_[i]->setChecked(IsSet(values_.severity[i]));
  prune_days_->setText(QString::number(values_.prune_data_beyond_days));
  batch_size_->setText(QString::number(values_.approx_records_to_prune_per_batch));
  database_type_->setCurrentIndex(database_type_->findText(ToQt(values_.database_type)));
}

void AdvancedSetupOptionsDialog::RevertToDefaults() {
  const AdvancedOptions defaults;
  for (size_t i = 0; i < severity_.size(); ++i) {
    severity_[i]->setChecked(IsSet(defaults.severity[i]));
  }
  trace_level_->setCurrentIndex(0);
  prune_days_->setText(QString::number(defaults.prune_data_beyond_days));
  batch_size_->setText(QString::number(defaults.approx_records_to_prune_per_batch));
  database_type_->setCurrentIndex(0);
  size_limit_ = defaults.database_max_size_limit_in_days;
}

bool AdvancedSetupOptionsDialog::Apply() {
  const std::string prune_text = FromQt(prune_days_->text());
  const std::string batch_text = FromQt(batch_size_->text());
  if (const auto refusal = CheckAdvancedNumbers(prune_text, batch_text, size_limit_)) {
    view_.ShowMessage(*refusal, MessageIcon::kExclamation);
    return false;
  }
  if (trace_level_->currentIndex() >= 0) {
    values_.trace_level = static_cast<std::int16_t>(trace_level_->currentIndex() + 1);
  }
  for (size_t i = 0; i < severity_.size(); ++i) {
    values_.severity[i] = ToBool16(severity_[i]->isChecked());
  }
  values_.prune_data_beyond_days = RoundToInt16(LeadingNumber(prune_text));
  values_.approx_records_to_prune_per_batch = RoundToInt16(LeadingNumber(batch_text));
  values_.database_max_size_limit_in_days = size_limit_;
  if (database_type_->currentIndex() >= 0) {
    values_.database_type = FromQt(database_type_->currentText());
  }
  return true;
}

}  // namespace kelvan::console
