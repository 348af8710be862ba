// PostProcessingSetupOptionsDialog ("Post Processing Setup Options"): the modal editor of the
// stages after the table copies: the hourly summary, the simultaneous activity table and the
// forecasts (which tables, the horizon and the sample window). Apply stores only valid input and
// rebuilds the forecast setup code.
// Threading: the console's one (GUI) thread.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "console/core/console_view.h"
#include "console/core/settings.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace kelvan::console {

// The message refusing a horizon or a sample window text, or nothing when both are valid.
std::optional<std::string> CheckForecastNumbers(const std::string& horizon_text,
                                                const std::string& window_text);

class PostProcessingSetupOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  // `options` and `forecast_setup_code` are the console's settings: only Apply and OK change them.
  // Both are borrowed for the dialog's lifetime.
  PostProcessingSetupOptionsDialog(PostProcessingOptions& options,
                                   std::int16_t& forecast_setup_code, ConsoleView& view,
                                   QWidget* parent = nullptr);

 private:
  void BuildControls();
  QGroupBox* BuildForecastFrame();
  void Load();
  void EnableForecastOptions(bool enabled);
  bool Apply();

  PostProcessingOptions& options_;
  std::int16_t& forecast_setup_code_;
  ConsoleView& view_;

  QCheckBox* summaryhour_ = nullptr;
  QCheckBox* simulactivity_ = nullptr;
  QCheckBox* activate_ = nullptr;
  QGroupBox* frame_ = nullptr;
  std::array<QCheckBox*, 7> tables_ = {};
  QLineEdit* days_ = nullptr;
  QLineEdit* sample_set_ = nullptr;
  std::array<QLabel*, 4> frame_labels_ = {};
};

}  // namespace kelvan::console
