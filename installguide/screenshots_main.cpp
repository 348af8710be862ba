// setup-screenshots DIR: renders both guides over the sample media and the readme window into
// DIR as PNG files, for review. Run with QT_QPA_PLATFORM=offscreen.
#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QLabel>
#include <QTextStream>

#include "installguide/guide_window.h"
#include "installguide/media_rules.h"
#include "installguide/readme_dialog.h"

namespace {

using kelvan::installguide::GuideMode;
using kelvan::installguide::GuideWindow;

bool Save(QWidget& widget, const QDir& dir, const QString& name) {
  widget.show();
  QCoreApplication::processEvents();
  return widget.grab().save(dir.filePath(name));
}

bool SaveGuide(GuideMode mode, const QDir& dir, const QString& name) {
  kelvan::installguide::GuideServices silent;
  silent.click = [] {};
  GuideWindow guide(mode, KELVAN_SAMPLE_MEDIA_DIR, silent);
  // The first line shown hovered, so the highlight colour is reviewed too.
  if (auto* line = guide.findChild<QLabel*>("lblTemplate_0")) {
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(line, &enter);
  }
  return Save(guide, dir, name);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    QTextStream(stderr) << "usage: setup-screenshots DIR\n";
    return 2;
  }
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  const QString readme =
      kelvan::installguide::ReadmeText(kelvan::installguide::ReadmePath(KELVAN_SAMPLE_MEDIA_DIR));
  kelvan::installguide::ReadmeDialog readme_dialog(readme);
  const bool saved = SaveGuide(GuideMode::kComponents, dir, "setup-guide.png") &&
                     SaveGuide(GuideMode::kOdbcDriver, dir, "setup-odbc-guide.png") &&
                     Save(readme_dialog, dir, "setup-readme.png");
  if (!saved) QTextStream(stderr) << "setup-screenshots: cannot write into " << dir.path() << "\n";
  return saved ? 0 : 1;
}
