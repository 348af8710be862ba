// The guide's rules over the media folder, checked on real folders.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "installguide/click_sound.h"
#include "installguide/media_rules.h"

namespace kelvan::installguide {
namespace {

void WriteFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(content);
}

}  // namespace

class MediaRulesTest : public QObject {
  Q_OBJECT

 private slots:
  void FindsOnlyDirectoriesHoldingAnInstaller();
  void ReadsTheReadmeByLinesOrSaysItIsMissing();
  void FindsTheReadmeWhateverItsCase();
  void ChoosesTheOdbcModeByTheExactCommandLine_data();
  void ChoosesTheOdbcModeByTheExactCommandLine();
  void ClickSoundIsSilentWithoutAFileOrADevice();
};

void MediaRulesTest::FindsOnlyDirectoriesHoldingAnInstaller() {
  QTemporaryDir media;
  QDir dir(media.path());
  for (const char* name : {"Core", "Client", "Docs", "Nested", "Lower", ".hidden"}) {
    QVERIFY(dir.mkdir(name));
  }
  WriteFile(dir.filePath("Core/Setup.exe"), "x");
  WriteFile(dir.filePath("Client/Setup.exe"), "x");
  WriteFile(dir.filePath(".hidden/Setup.exe"), "x");
  WriteFile(dir.filePath("Docs/readme.txt"), "x");
  QVERIFY(dir.mkpath("Nested/Setup.exe"));          // a directory, not an installer
  WriteFile(dir.filePath("Lower/setup.exe"), "x");  // another name on this file system
  WriteFile(dir.filePath("Setup.exe"), "x");        // beside the guide: not a component
  WriteFile(dir.filePath("Loose"), "x");

  QCOMPARE(FindComponents(media.path()), QStringList({".hidden", "Client", "Core"}));
}

void MediaRulesTest::ReadsTheReadmeByLinesOrSaysItIsMissing() {
  QTemporaryDir media;
  const QString path = QDir(media.path()).filePath("RPX21ReadMe.txt");
  QCOMPARE(ReadmeText(path), QString("RPX 2.1 Core Readme file (RPX21README.txt) was not found!"));
  WriteFile(path, "First line\r\nSecond line\n\nLast line\n");
  QCOMPARE(ReadmeText(path), QString("First line\nSecond line\n\nLast line"));
}

void MediaRulesTest::FindsTheReadmeWhateverItsCase() {
  QTemporaryDir media;
  const QDir dir(media.path());
  QCOMPARE(ReadmePath(media.path()), dir.filePath("RPX21ReadMe.txt"));
  WriteFile(dir.filePath("RPX21README.TXT"), "upper");
  QCOMPARE(ReadmePath(media.path()), dir.filePath("RPX21README.TXT"));
  WriteFile(dir.filePath("RPX21ReadMe.txt"), "exact");
  QCOMPARE(ReadmePath(media.path()), dir.filePath("RPX21ReadMe.txt"));
}

void MediaRulesTest::ChoosesTheOdbcModeByTheExactCommandLine_data() {
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<bool>("odbc");
  QTest::newRow("quoted") << QStringList{"ODBC Installation"} << true;
  QTest::newRow("two words") << QStringList{"ODBC", "Installation"} << true;
  QTest::newRow("padded") << QStringList{"  ODBC Installation \t"} << true;
  QTest::newRow("other case") << QStringList{"odbc installation"} << false;
  QTest::newRow("more words") << QStringList{"ODBC", "Installation", "now"} << false;
  QTest::newRow("inner spaces") << QStringList{"ODBC  Installation"} << false;
  QTest::newRow("none") << QStringList{} << false;
}

void MediaRulesTest::ChoosesTheOdbcModeByTheExactCommandLine() {
  QFETCH(QStringList, arguments);
  QFETCH(bool, odbc);
  QCOMPARE(IsOdbcInstallation(arguments), odbc);
}

void MediaRulesTest::ClickSoundIsSilentWithoutAFileOrADevice() {
  ClickSound missing("/nonexistent/3dclick.wav");
  QVERIFY(!missing.HasSound());
  missing.Play();
  ClickSound sample(QDir(KELVAN_SAMPLE_MEDIA_DIR).filePath("3dclick.wav"));
  QVERIFY(sample.HasSound());
  sample.Play();
  sample.Play();  // while the first may still sound
}

}  // namespace kelvan::installguide

QTEST_MAIN(kelvan::installguide::MediaRulesTest)
#include "media_rules_test.moc"
