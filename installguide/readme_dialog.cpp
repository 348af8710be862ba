#include "installguide/readme_dialog.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kelvan::installguide {

ReadmeDialog::ReadmeDialog(const QString& readme_text, QWidget* parent) : QDialog(parent) {
  setObjectName("frmReadme");
  setWindowTitle("Read Me");
  resize(600, 460);

  auto* text = new QPlainTextEdit(readme_text, this);
  text->setObjectName("txtReadme");
  text->setReadOnly(true);
  auto* accept_button = new QPushButton("Accept", this);
  accept_button->setObjectName("cmdAccept");
  auto* cancel_button = new QPushButton("Cancel", this);
  cancel_button->setObjectName("cmdCancel");
  // Accepting must be a deliberate click, never the effect of pressing Enter.
  accept_button->setAutoDefault(false);
  cancel_button->setDefault(true);
  connect(accept_button, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_button, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(accept_button);
  buttons->addWidget(cancel_button);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addLayout(buttons);
}

}  // namespace kelvan::installguide
