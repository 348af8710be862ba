#include "console/PostProcessingSetupOptionsDialog/post_processing_setup_options_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
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

constexpr double kHorizonLimit = 254;
constexpr double kMinimumWindow = 5;
constexpr double kInt16Limit = 32767.5;  // rounds to 32768: too large for 16 bits

// Object name and tool tip of each table's check box, in kForecastTables order.
struct TableBox {
  const char* name;
  const char* tool_tip;
};
constexpr std::array<TableBox, 7> kTableBoxes = {{
    {"checkBoxForecastDB", "Enable/Disable forecasting for DB table"},
    {"checkBoxForecastFILESPACES", "Enable/Disable forecasting for FILESPACES table "},
    {"checkBoxForecastLOG", "Enable/Disable forecasting for LOG table"},
    {"checkBoxForecastSTGPOOLS", "Enable/Disable forecasting for STGPOOLS table"},
    {"checkBoxForecastLIBVOLUMES", ""},
    {"checkBoxForecastNODES", ""},
    {"checkBoxForecastOCCUPANCY", ""},
}};

}  // namespace

std::optional<std::string> CheckForecastNumbers(const std::string& horizon_text,
                                                const std::string& window_text) {
  const double horizon = LeadingNumber(horizon_text);
  if (!(horizon > 0 && horizon < kHorizonLimit)) {
    return "Number of days has to be greater then zero \r\nand less than 254 days";
  }
  const double window = LeadingNumber(window_text);
  if (!(window >= kMinimumWindow)) return "There must be at least 5 days in the sample set";
  if (window >= kInt16Limit) return "There must be at most 32767 days in the sample set";
  return std::nullopt;
}

PostProcessingSetupOptionsDialog::PostProcessingSetupOptionsDialog(
    PostProcessingOptions& options, std::int16_t& forecast_setup_code, ConsoleView& view,
    QWidget* parent)
    : QDialog(parent), options_(options), forecast_setup_code_(forecast_setup_code), view_(view) {
  setObjectName("PostProcessingSetupOptionsDialog");
  setWindowTitle("Post Processing Setup Options");
  BuildControls();
  Load();
}

void PostProcessingSetupOptionsDialog::BuildControls() {
  summaryhour_ =
      Named(new QCheckBox("Generate data for SUMMARYHOUR table", this),
            "checkBoxGenerateSUMMARYHOURTable", "Enable/Disable post processing for SUMMARY table");
  simulactivity_ = Named(new QCheckBox("Generate SIMULTANEOUS ACTIVITY Table", this),
                         "checkBoxGenerateSIMULACTIVITYTable");
  activate_ = Named(new QCheckBox("Activate Forecasting", this), "checkBoxActivateForecasting",
                    "Enable/Disable Forecasting");
  auto* apply = MakeButton(this, "cmdApply", "&Apply", "Apply changes");
  auto* ok = MakeButton(this, "OKButton", "OK", "Apply changes and exit");
  auto* cancel = MakeButton(this, "CancelButton", "&Cancel", "Discard changes and exit");

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (QPushButton* button : {apply, ok, cancel}) buttons->addWidget(button);
  auto* layout = new QVBoxLayout(this);
  for (QCheckBox* box : {summaryhour_, simulactivity_, activate_}) layout->addWidget(box);
  layout->addWidget(BuildForecastFrame());
  layout->addLayout(buttons);

  connect(activate_, &QCheckBox::clicked, this,
          &PostProcessingSetupOptionsDialog::EnableForecastOptions);
  connect(apply, &QPushButton::clicked, this, [this] { Apply(); });
  connect(ok, &QPushButton::clicked, this, [this] {
    if (Apply()) accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  MakeEnterMeanOk(this, ok);
}

QGroupBox* PostProcessingSetupOptionsDialog::BuildForecastFrame() {
  frame_ = Named(new QGroupBox("Forecast Options", this), "frameForecastOptions");
  auto* grid = new QGridLayout(frame_);
  frame_labels_ = {
      Named(new QLabel("Calculate and populate forecasted data for tables:", frame_),
            "labelForecastTables"),
      Named(new QLabel("Enter the number of days in the future to forecast a value for:", frame_),
            "labelForecastDays"),
      Named(new QLabel("Days", frame_), "labelDaysUnit"),
      Named(new QLabel("Enter the sample set range in number of days (5 day minimum):", frame_),
            "labelSizeOfSampleSet")};
  grid->addWidget(frame_labels_[0], 0, 0, 1, 4);
  for (size_t i = 0; i < tables_.size(); ++i) {
    tables_[i] = Named(new QCheckBox(kForecastTables[i].name, frame_), kTableBoxes[i].name,
                       kTableBoxes[i].tool_tip);
    grid->addWidget(tables_[i], 1 + static_cast<int>(i / 4), static_cast<int>(i % 4));
  }
  days_ = Named(new QLineEdit(frame_), "txtNumberOfDays", "Enter number of days");
  sample_set_ = Named(new QLineEdit(frame_), "txtSizeOfSampleSet", "Size of Sample Set");
  for (QLineEdit* field : {days_, sample_set_}) field->setMaximumWidth(80);
  grid->addWidget(frame_labels_[1], 3, 0, 1, 3);
  grid->addWidget(days_, 3, 3);
  grid->addWidget(frame_labels_[2], 3, 4);
  grid->addWidget(frame_labels_[3], 4, 0, 1, 3);
  grid->addWidget(sample_set_, 4, 3);
  grid->addWidget(Named(new QLabel("Days", frame_), "labelTimeUnits"), 4, 4);
  return frame_;
}

void PostProcessingSetupOptionsDialog::Load() {
  summaryhour_->setChecked(IsSet(options_.generate_summaryhour));
  simulactivity_->setChecked(IsSet(options_.generate_simulactivity));
  activate_->setChecked(IsSet(options_.activate_forecasting));
  for (size_t i = 0; i < tables_.size(); ++i) {
    tables_[i]->setChecked(IsSet(options_.forecast_tables[i]));
  }
  days_->setText(QString::number(options_.forecast_number_of_days));
  sample_set_->setText(QString::number(options_.forecast_size_of_sample_set));
  EnableForecastOptions(IsSet(options_.activate_forecasting));
}

// Greys out the forecast options; they keep their values and Apply still stores them.
void PostProcessingSetupOptionsDialog::EnableForecastOptions(bool enabled) {
  frame_->setEnabled(enabled);
  for (QLabel* label : frame_labels_) label->setEnabled(enabled);
  for (QCheckBox* box : tables_) box->setEnabled(enabled);
  days_->setEnabled(enabled);
  sample_set_->setEnabled(enabled);
}

bool PostProcessingSetupOptionsDialog::Apply() {
  const std::string horizon_text = FromQt(days_->text());
  const std::string window_text = FromQt(sample_set_->text());
  if (const auto refusal = CheckForecastNumbers(horizon_text, window_text)) {
    view_.ShowMessage(*refusal, MessageIcon::kExclamation);
    return false;
  }
  options_.generate_summaryhour = ToBool16(summaryhour_->isChecked());
  options_.generate_simulactivity = ToBool16(simulactivity_->isChecked());
  options_.activate_forecasting = ToBool16(activate_->isChecked());
  for (size_t i = 0; i < tables_.size(); ++i) {
    options_.forecast_tables[i] = ToBool16(tables_[i]->isChecked());
  }
  options_.forecast_number_of_days = RoundToInt16(LeadingNumber(horizon_text));
  options_.forecast_size_of_sample_set = RoundToInt16(LeadingNumber(window_text));
  forecast_setup_code_ = BuildForecastSetupCode(options_);
  return true;
}

}  // namespace kelvan::console
