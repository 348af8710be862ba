#include "console/AutoStartCountdownDlg/auto_start_countdown_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/widgets/controls.h"

namespace kelvan::console {

AutoStartCountdownDlg::AutoStartCountdownDlg(const QString& caption, const QString& text,
                                             QWidget* parent)
    : QDialog(parent) {
  setObjectName("AutoStartCountdownDlg");
  setWindowTitle(caption);
  auto* message = Named(new QLabel(text, this), "labelText");
  message->setWordWrap(true);
  countdown_ = Named(new QLabel(this), "labelCountdown");
  QFont bold = countdown_->font();
  bold.setBold(true);
  countdown_->setFont(bold);
  auto* cancel = MakeButton(this, "cmdCancel", "CANCEL", "Stop the countdown and show the setup");
  auto* row = new QHBoxLayout;
  row->addWidget(countdown_);
  row->addStretch();
  row->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(message);
  layout->addLayout(row);
  setMinimumWidth(520);
  connect(cancel, &QPushButton::clicked, this, &AutoStartCountdownDlg::reject);
}

void AutoStartCountdownDlg::SetCountdownText(const QString& text) { countdown_->setText(text); }

void AutoStartCountdownDlg::reject() {
  continue_ = false;
  QDialog::reject();
}

}  // namespace kelvan::console
