// frmReadme: shows the readme and asks the user to accept it before a component is installed.
// Data in through the constructor; exec() returns Accepted only for "Accept". GUI thread only.
#pragma once

#include <QDialog>

namespace kelvan::installguide {

class ReadmeDialog : public QDialog {
  Q_OBJECT
 public:
  ReadmeDialog(const QString& readme_text, QWidget* parent = nullptr);
};

}  // namespace kelvan::installguide
