// Setup: the installation guide at the top of the RPX media.
#include <QApplication>

#include "installguide/guide_window.h"
#include "installguide/media_rules.h"
#include "platform/basic/version.h"

int main(int argc, char** argv) {
  if (kelvan::AnswerVersion(argc, argv, "Setup")) return 0;
  QApplication app(argc, argv);
  using kelvan::installguide::GuideMode;
  const QStringList arguments = QCoreApplication::arguments().mid(1);
  const GuideMode mode = kelvan::installguide::IsOdbcInstallation(arguments)
                             ? GuideMode::kOdbcDriver
                             : GuideMode::kComponents;
  kelvan::installguide::GuideWindow guide(mode, QCoreApplication::applicationDirPath());
  guide.show();
  guide.raise();
  return app.exec();
}
