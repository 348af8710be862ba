// AdvancedSetupOptionsDialog: the modal editor of the destination's advanced options (database
// type, trace level, prune age and batch size) and the five severity switches. It edits a copy
// that the data source editor owns and hands back; Apply stores into that copy only when the
// prune age and the batch size are valid.
// Threading: the console's one (GUI) thread.
#pragma once

#include <QDialog>
#include <array>
#include <optional>
#include <string>

#include "console/core/console_view.h"
#include "console/core/settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace kelvan::console {

// The message refusing the prune age and batch size texts, or nothing when both are valid.
std::optional<std::string> CheckAdvancedNumbers(const std::string& prune_age_text,
                                                const std::string& batch_size_text,
                                                std::int16_t size_limit);

class AdvancedSetupOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  // Borrows `values` (the console's settings: only Apply and OK change them) and `view` for the
  // dialog's lifetime.
  AdvancedSetupOptionsDialog(AdvancedOptions& values, ConsoleView& view, QWidget* parent = nullptr);

  // The defaults of every field (labelDefault); they are stored by the next Apply or OK.
  void RevertToDefaults();

 private:
  void BuildControls();
  QWidget* BuildSeverityFrame();
  void Load();
  bool Apply();

  AdvancedOptions& values_;
  ConsoleView& view_;
  std::int16_t size_limit_;  // the bound of the prune age; the defaults reset it

  QLineEdit* prune_days_ = nullptr;
  QLineEdit* batch_size_ = nullptr;
  QComboBox* database_type_ = nullptr;
  QComboBox* trace_level_ = nullptr;
  std::array<QCheckBox*, 5> severity_ = {};
};

}  // namespace kelvan::console
