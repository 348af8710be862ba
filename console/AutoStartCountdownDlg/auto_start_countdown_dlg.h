// AutoStartCountdownDlg: the small window of the auto-start countdown. It shows the caption and
// text it is given, the countdown label, and CANCEL, which clears its continue flag and closes it
// (so does the window's close button). It counts nothing itself: the start-up's countdown loop
// sets the label and reads the flag.
// Threading: the console's one (GUI) thread.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace kelvan::console {

class AutoStartCountdownDlg : public QDialog {
  Q_OBJECT

 public:
  AutoStartCountdownDlg(const QString& caption, const QString& text, QWidget* parent = nullptr);

  void SetCountdownText(const QString& text);
  // False once CANCEL was pressed.
  bool Continue() const { return continue_; }

  void reject() override;

 private:
  bool continue_ = true;
  QLabel* countdown_ = nullptr;
};

}  // namespace kelvan::console
