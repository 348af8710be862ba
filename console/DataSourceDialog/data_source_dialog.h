// DataSourceDialog ("Reporting Database Setup"): the modal editor of the destination data source
// record. It opens the advanced options editor on a copy of the advanced options and copies that
// copy back on its Apply, OK or Cancel, so that values applied inside the advanced editor survive
// a Cancel here. The password field is masked.
// Threading: the console's one (GUI) thread.
#pragma once

#include <QDialog>

#include "console/core/console_view.h"
#include "console/core/data_sources.h"
#include "console/core/settings.h"

class QComboBox;
class QLineEdit;

namespace kelvan::console {

class DataSourceDialog : public QDialog {
  Q_OBJECT

 public:
  // `destination` and `advanced` are the console's settings; the dialog changes them only as
  // its Apply, OK and Cancel say. They and `view` are borrowed for the dialog's lifetime.
  DataSourceDialog(DestinationRecord& destination, AdvancedOptions& advanced, ConsoleView& view,
                   const DataSourceLister& data_sources, QWidget* parent = nullptr);

  // Cancel, the window's close button and Escape: the fields are dropped, advanced values kept.
  void reject() override;

 signals:
  // The advanced editor is open (modal); screenshots and tests reach it through this.
  void advancedEditorShown(QDialog* editor);

 private:
  void BuildControls();
  void FillDataSources(const DataSourceLister& data_sources);
  void OpenAdvanced();
  void StoreFields();
  bool TypeIsSet();
  void TakeAdvancedValues();
  void Apply();
  void Ok();

  DestinationRecord& destination_;
  AdvancedOptions& advanced_;
  ConsoleView& view_;
  AdvancedOptions advanced_copy_;  // the advanced editor's values
  bool advanced_pending_ = false;  // the advanced editor was opened since the last copy back

  QComboBox* data_source_ = nullptr;
  QLineEdit* uid_ = nullptr;
  QLineEdit* password_ = nullptr;
  QLineEdit* qualifier_ = nullptr;
};

}  // namespace kelvan::console
