// The guide window driven as a user would: hovering, paging, choosing, the readme and installers.
#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "installguide/guide_window.h"
#include "installguide/readme_dialog.h"

namespace kelvan::installguide {
namespace {

// Writes <media>/<component>/Setup.exe; the script runs in the guide's folder.
void MakeComponent(const QString& media, const QString& component, const QByteArray& script,
                   bool executable = true) {
  QVERIFY(QDir(media).mkpath(component));
  QFile file(InstallerCommand(media, component));
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("#!/bin/sh\ncd \"$(dirname \"$0\")\"\n" + script);
  file.close();
  if (executable) file.setPermissions(file.permissions() | QFile::ExeOwner);
}

QLabel* Line(QWidget& guide, int index) {
  return guide.findChild<QLabel*>("lblTemplate_" + QString::number(index));
}

QStringList VisibleLines(QWidget& guide) {
  QStringList texts;
  for (int i = 0; QLabel* line = Line(guide, i); ++i) {
    if (line->isVisible()) texts.append(line->text());
  }
  return texts;
}

QColor TextColour(QLabel* line) { return line->palette().color(QPalette::WindowText); }

void Hover(QLabel* line) {
  QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
  QApplication::sendEvent(line, &enter);
}

void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(4, 4)); }

// Answers the modal readme with `button` once it shows, keeping the text it showed. The watch
// ends with `guide`.
void AnswerReadme(QWidget* guide, const char* button, QString* shown_text) {
  auto* timer = new QTimer(guide);
  QObject::connect(timer, &QTimer::timeout, [=] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal->objectName() != "frmReadme") return;
    *shown_text = modal->findChild<QPlainTextEdit*>("txtReadme")->toPlainText();
    modal->findChild<QPushButton*>(button)->click();
    timer->deleteLater();
  });
  timer->start(10);
}

// Records what the guide asked of the user instead of blocking on message boxes.
struct Recorder {
  QStringList critical;
  QStringList messages;
  QStringList readmes;  // texts offered for acceptance
  bool accept = true;
  int clicks = 0;
  std::optional<OsFamily> family = OsFamily::kThisSystem;

  GuideServices Services(bool real_readme = false) {
    GuideServices services;
    services.os_family = [this] { return family; };
    services.critical = [this](QWidget*, const QString& text) { critical.append(text); };
    services.message = [this](QWidget*, const QString& text) { messages.append(text); };
    services.click = [this] { ++clicks; };
    if (!real_readme) {
      services.accept_readme = [this](QWidget*, const QString& text) {
        readmes.append(text);
        return accept;
      };
    }
    return services;
  }
};

}  // namespace

class GuideWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void ShowsTheTitleOfItsMode_data();
  void ShowsTheTitleOfItsMode();
  void PagesThroughAHundredComponents();
  void HighlightsTheHoveredLineWithAClick();
  void ExitEndsTheGuide();
  void StartsOnlyCommandsWithinTheLengthLimit_data();
  void StartsOnlyCommandsWithinTheLengthLimit();
  void OffersTheNotFoundTextForAMissingReadme();
  void CancelInTheReadmeInstallsNothing();
  void AcceptWaitsForTheInstallerWhileRepainting();
  void IgnoresAnotherChoiceWhileAnInstallerRuns();
  void ReportsInstallersThatCannotRun_data();
  void ReportsInstallersThatCannotRun();
  void StopsTheReadmeStepOnItsProblems_data();
  void StopsTheReadmeStepOnItsProblems();
};

void GuideWindowTest::ShowsTheTitleOfItsMode_data() {
  QTest::addColumn<bool>("odbc");
  QTest::addColumn<QString>("form");
  QTest::addColumn<QString>("second_line");
  QTest::newRow("components") << false << "frmGuideMain"
                              << "Installation Program";
  QTest::newRow("odbc driver") << true << "frmODBCDriverMain"
                               << "ODBC Driver Installation";
}

void GuideWindowTest::ShowsTheTitleOfItsMode() {
  QFETCH(bool, odbc);
  QFETCH(QString, form);
  QFETCH(QString, second_line);
  Recorder recorder;
  GuideWindow guide(odbc ? GuideMode::kOdbcDriver : GuideMode::kComponents, KELVAN_SAMPLE_MEDIA_DIR,
                    recorder.Services());
  guide.show();
  QCOMPARE(guide.objectName(), form);
  QCOMPARE(guide.findChild<QLabel*>("lblRPXInstallLine2")->text(), second_line);
  QCOMPARE(VisibleLines(guide), QStringList({"RPX Core", "RPX Reporting Client", "Exit"}));
}

void GuideWindowTest::PagesThroughAHundredComponents() {
  QTemporaryDir media;
  QStringList expected;
  for (int i = 0; i <= 100; ++i) {
    const QString name = QString("Component %1").arg(i, 3, 10, QChar('0'));
    MakeComponent(media.path(), name, "");
    if (i < 100) expected.append(name);
  }
  Recorder recorder;
  GuideWindow guide(GuideMode::kComponents, media.path(), recorder.Services());
  guide.show();
  auto* previous = guide.findChild<QToolButton*>("picPrevious");
  auto* next = guide.findChild<QToolButton*>("picNext");
  QVERIFY(!previous->isVisible());

  QStringList seen;
  int pages = 0;
  for (;; ++pages) {
    QStringList lines = VisibleLines(guide);
    QCOMPARE(lines.takeLast(), QString("Exit"));
    QVERIFY(lines.size() <= guide.PageSize());
    seen += lines;
    if (!next->isVisible()) break;
    Click(next);
    QVERIFY(previous->isVisible());
  }
  QCOMPARE(seen, expected);
  QCOMPARE(pages + 1, (100 + guide.PageSize() - 1) / guide.PageSize());
  Click(previous);
  QCOMPARE(VisibleLines(guide).first(), expected.at((pages - 1) * guide.PageSize()));
}

void GuideWindowTest::HighlightsTheHoveredLineWithAClick() {
  Recorder recorder;
  GuideWindow guide(GuideMode::kComponents, KELVAN_SAMPLE_MEDIA_DIR, recorder.Services());
  guide.show();
  QLabel* first = Line(guide, 0);
  QLabel* second = Line(guide, 1);
  QLabel* exit = Line(guide, 2);
  const QColor normal = TextColour(first);
  QCOMPARE(TextColour(second), normal);

  Hover(second);
  QVERIFY(TextColour(second) != normal);
  QCOMPARE(TextColour(first), normal);
  QCOMPARE(TextColour(exit), normal);
  Hover(first);
  QVERIFY(TextColour(first) != normal);
  QCOMPARE(TextColour(second), normal);
  QCOMPARE(recorder.clicks, 2);
}

void GuideWindowTest::ExitEndsTheGuide() {
  QTemporaryDir media;
  MakeComponent(media.path(), "Core", "touch ran\n");
  Recorder recorder;
  GuideWindow guide(GuideMode::kComponents, media.path(), recorder.Services());
  guide.show();
  QVERIFY(QTest::qWaitForWindowExposed(&guide));
  Click(Line(guide, 1));
  QVERIFY(!guide.isVisible());
  QVERIFY(recorder.readmes.isEmpty());
  QVERIFY(!QFile::exists(media.filePath("Core/ran")));
}

void GuideWindowTest::StartsOnlyCommandsWithinTheLengthLimit_data() {
  QTest::addColumn<int>("length");
  QTest::addColumn<bool>("starts");
  QTest::newRow("131 characters") << 131 << true;
  QTest::newRow("132 characters") << 132 << false;
}

void GuideWindowTest::StartsOnlyCommandsWithinTheLengthLimit() {
  QFETCH(int, length);
  QFETCH(bool, starts);
  QTemporaryDir media;
  const QString component(length - media.path().size() - QString("//Setup.exe").size(), 'n');
  MakeComponent(media.path(), component, "touch ran\n");
  Recorder recorder;
  GuideWindow guide(GuideMode::kComponents, media.path(), recorder.Services());
  guide.show();
  Click(Line(guide, 0));

  const QString command = media.path() + "/" + component + "/Setup.exe";
  QCOMPARE(command.size(), length);
  QCOMPARE(QFile::exists(media.filePath(component + "/ran")), starts);
  const QStringList expected =
      starts ? QStringList()
             : QStringList("[" + command + "]\nExceeds the maximum length (131 characters) !");
  QCOMPARE(recorder.critical, expected);
  QVERIFY(recorder.messages.isEmpty());
}

void GuideWindowTest::OffersTheNotFoundTextForAMissingReadme() {
  QTemporaryDir media;
  MakeComponent(media.path(), "Core", "");
  Recorder recorder;
  recorder.accept = false;
  GuideWindow guide(GuideMode::kComponents, media.path(), recorder.Services());
  guide.show();
  Click(Line(guide, 0));
  QCOMPARE(recorder.readmes,
           QStringList("RPX 2.1 Core Readme file (RPX21README.txt) was not found!"));
}

void GuideWindowTest::CancelInTheReadmeInstallsNothing() {
  QTemporaryDir media;
  MakeComponent(media.path(), "Core", "touch ran\n");
  QFile readme(media.filePath("RPX21ReadMe.txt"));
  QVERIFY(readme.open(QIODevice::WriteOnly));
  readme.write("Terms\nMore terms\n");
  readme.close();
  Recorder recorder;
  GuideWindow guide(GuideMode::kComponents, media.path(), recorder.Services(true));
  guide.show();
  QString shown;
  AnswerReadme(&guide, "cmdCancel", &shown);
  Click(Line(guide, 0));

  QCOMPARE(shown, QString("Terms\nMore terms"));
  QVERIFY(!QFile::exists(media.filePath("Core/ran")));
  QVERIFY(recorder.critical.isEmpty());
  QVERIFY(recorder.messages.isEmpty());
}

void GuideWindowTest::AcceptWaitsForTheInstallerWhileRepainting() {
  QTemporaryDir media;
  // Gives up waiting after about ten seconds so a failing guide leaves nothing running.
  MakeComponent(media.path(), "Core",
                "touch started\ni=0\nwhile [ ! -f go ] && [ $i -lt 500 ]; do\n"
                "  sleep 0.02; i=$((i + 1))\ndone\n[ -f go ] && touch finished\n");
  Recorder recorder;
  GuideWindow guide(GuideMode::kComponents, media.path(), recorder.Services(true));
  guide.show();
  QVERIFY(QTest::qWaitForWindowExposed(&guide));

  // Once the installer runs, ask for a repaint; let it end only after the guide painted.
  int paints_while_running = 0;
  QTimer watcher;
  connect(&watcher, &QTimer::timeout, [&] {
    if (!QFile::exists(media.filePath("Core/started"))) return;
    if (paints_while_running > 0) {
      QFile(media.filePath("Core/go")).open(QIODevice::WriteOnly);
      watcher.stop();
    }
    guide.update();
  });
  struct PaintCounter : QObject {
    int* count;
    const QTemporaryDir* dir;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint && QFile::exists(dir->filePath("Core/started"))) ++*count;
      return false;
    }
  } counter;
  counter.count = &paints_while_running;
  counter.dir = &media;
  guide.installEventFilter(&counter);
  watcher.start(20);
  QString shown;
  AnswerReadme(&guide, "cmdAccept", &shown);
  Click(Line(guide, 0));

  QVERIFY(QFile::exists(media.filePath("Core/finished")));
  QVERIFY(paints_while_running > 0);
  QVERIFY(recorder.critical.isEmpty());
  QVERIFY(recorder.messages.isEmpty());
}

void GuideWindowTest::IgnoresAnotherChoiceWhileAnInstallerRuns() {
  QTemporaryDir media;
  MakeComponent(media.path(), "Client", "");
  MakeComponent(media.path(), "Core", "");
  Recorder recorder;
  GuideServices services = recorder.Services();
  GuideWindow* guide = nullptr;
  QStringList started;
  services.run_installer = [&](const QString& command) -> std::optional<QString> {
    started.append(command);
    Click(Line(*guide, 1));
    return std::nullopt;
  };
  GuideWindow window(GuideMode::kComponents, media.path(), services);
  guide = &window;
  window.show();
  Click(Line(window, 0));
  QCOMPARE(started, QStringList(media.path() + "/Client/Setup.exe"));
  QCOMPARE(recorder.readmes.size(), 1);
}

void GuideWindowTest::ReportsInstallersThatCannotRun_data() {
  QTest::addColumn<bool>("remove");
  QTest::addColumn<QString>("critical");
  QTest::addColumn<QString>("message");
  QTest::newRow("removed after the scan") << true << "Setup.exe not found !" << QString();
  QTest::newRow("not executable") << false << QString()
                                  << "Unable to start Setup\nError : Permission denied";
}

void GuideWindowTest::ReportsInstallersThatCannotRun() {
  QFETCH(bool, remove);
  QFETCH(QString, critical);
  QFETCH(QString, message);
  QTemporaryDir media;
  MakeComponent(media.path(), "Core", "touch ran\n", false);
  Recorder recorder;
  GuideWindow guide(GuideMode::kComponents, media.path(), recorder.Services());
  guide.show();
  if (remove) QVERIFY(QFile::remove(media.filePath("Core/Setup.exe")));
  Click(Line(guide, 0));
  QCOMPARE(recorder.critical, critical.isEmpty() ? QStringList() : QStringList(critical));
  QCOMPARE(recorder.messages, message.isEmpty() ? QStringList() : QStringList(message));
  QVERIFY(!QFile::exists(media.filePath("Core/ran")));
  QVERIFY(guide.isVisible());
}

void GuideWindowTest::StopsTheReadmeStepOnItsProblems_data() {
  QTest::addColumn<int>("family");  // -1 unknown, 0 Windows 9x, 1 this system
  QTest::addColumn<int>("readme_bytes");
  QTest::addColumn<QString>("critical");  // empty when the readme is offered
  const QString unknown = "Unable to determine Operating System !";
  const QString too_long =
      "The RPX21Readme.txt file exceeds the maximum length allowed to be displayed under\n"
      "Windows 95 !\nContact technical support for a work-around solution.";
  QTest::newRow("system unknown") << -1 << 10 << unknown;
  QTest::newRow("9x, readme one byte too long") << 0 << 64001 << too_long;
  QTest::newRow("9x, readme at the limit") << 0 << 64000 << QString();
  QTest::newRow("this system, long readme") << 1 << 64001 << QString();
}

void GuideWindowTest::StopsTheReadmeStepOnItsProblems() {
  QFETCH(int, family);
  QFETCH(int, readme_bytes);
  QFETCH(QString, critical);
  QTemporaryDir media;
  MakeComponent(media.path(), "Core", "touch ran\n");
  QFile readme(media.filePath("RPX21ReadMe.txt"));
  QVERIFY(readme.open(QIODevice::WriteOnly));
  readme.write(QByteArray(readme_bytes, 'r'));
  readme.close();
  Recorder recorder;
  if (family < 0) recorder.family.reset();
  if (family == 0) recorder.family = OsFamily::kWin9x;
  GuideWindow guide(GuideMode::kComponents, media.path(), recorder.Services());
  guide.show();
  Click(Line(guide, 0));

  const bool offered = critical.isEmpty();
  QCOMPARE(recorder.critical, offered ? QStringList() : QStringList(critical));
  QCOMPARE(recorder.readmes.size(), offered ? 1 : 0);
  QCOMPARE(QFile::exists(media.filePath("Core/ran")), offered);
}

}  // namespace kelvan::installguide

QTEST_MAIN(kelvan::installguide::GuideWindowTest)
#include "guide_window_test.moc"
