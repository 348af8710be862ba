#include "installguide/media_rules.h"

#include <sys/utsname.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace kelvan::installguide {

std::optional<OsFamily> CurrentOsFamily() {
  utsname name{};
  if (uname(&name) != 0) return std::nullopt;
  return OsFamily::kThisSystem;
}

QStringList FindComponents(const QString& guide_dir) {
  const QDir dir(guide_dir);
  const QStringList entries =
      dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
  QStringList components;
  for (const QString& entry : entries) {
    if (!QFileInfo(dir.filePath(entry) + "/" + kInstallerName).isFile()) continue;
    components.append(entry);
    if (components.size() == kMaxComponents) break;
  }
  return components;
}

QString ReadmePath(const QString& guide_dir) {
  const QDir dir(guide_dir);
  if (QFileInfo(dir.filePath(kReadmeName)).isFile()) return dir.filePath(kReadmeName);
  const QStringList files = dir.entryList(QDir::Files | QDir::Hidden, QDir::Name);
  for (const QString& file : files) {
    if (file.compare(kReadmeName, Qt::CaseInsensitive) == 0) return dir.filePath(file);
  }
  return dir.filePath(kReadmeName);
}

std::optional<QString> ReadmeProblem(std::optional<OsFamily> family, qint64 readme_size) {
  if (!family) return QString("Unable to determine Operating System !");
  if (*family == OsFamily::kWin9x && readme_size > kMaxWin9xReadmeBytes) {
    return QString(
        "The RPX21Readme.txt file exceeds the maximum length allowed to be displayed under\n"
        "Windows 95 !\n"
        "Contact technical support for a work-around solution.");
  }
  return std::nullopt;
}

QString ReadmeText(const QString& readme_path) {
  QFile file(readme_path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    return "RPX 2.1 Core Readme file (RPX21README.txt) was not found!";
  }
  QTextStream stream(&file);
  QStringList lines;
  QString line;
  while (stream.readLineInto(&line)) lines.append(line);
  return lines.join('\n');
}

QString InstallerCommand(const QString& guide_dir, const QString& component) {
  return guide_dir + "/" + component + "/" + kInstallerName;
}

std::optional<QString> InstallerCommandProblem(const QString& command) {
  if (!QFileInfo(command).isFile()) return QString("Setup.exe not found !");
  if (command.size() > kMaxCommandLength) {
    return "[" + command + "]\nExceeds the maximum length (131 characters) !";
  }
  return std::nullopt;
}

bool IsOdbcInstallation(const QStringList& arguments) {
  return arguments.join(' ').trimmed() == "ODBC Installation";
}

}  // namespace kelvan::installguide
