// Small helpers the console's windows share: named controls (tests find them by object name),
// text between std::string and Qt, and the "(None)" choice of the data source lists.
// Threading: the GUI thread.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QString>
#include <string>
#include <string_view>

namespace kelvan::console {

inline constexpr const char* kNoDataSource = "(None)";

template <class Widget>
Widget* Named(Widget* widget, const char* name, const QString& tool_tip = {}) {
  widget->setObjectName(name);
  if (!tool_tip.isEmpty()) widget->setToolTip(tool_tip);
  return widget;
}

inline QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                               const QString& tool_tip = {}) {
  return Named(new QPushButton(caption, parent), name, tool_tip);
}

// Enter means OK in an editor: a Qt dialog would otherwise make its first button, or the one
// holding the focus, the default, and Enter would revert or open something instead.
inline void MakeEnterMeanOk(QDialog* dialog, QPushButton* ok) {
  for (QPushButton* button : dialog->findChildren<QPushButton*>()) button->setAutoDefault(false);
  ok->setDefault(true);
}

inline QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string FromQt(const QString& text) { return text.toStdString(); }

// The console's texts end lines in CR LF; Qt's widgets want LF.
inline QString ToDisplay(std::string_view text) {
  return ToQt(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace kelvan::console
