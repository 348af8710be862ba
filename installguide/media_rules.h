// The installation guide's rules over the media folder: which components it lists, the readme
// it shows and the installer command it builds. Plain functions over the file system; no widgets,
// safe from any thread.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace kelvan::installguide {

inline constexpr int kMaxComponents = 100;
inline constexpr int kMaxCommandLength = 131;
inline constexpr qint64 kMaxWin9xReadmeBytes = 64000;
inline constexpr char kInstallerName[] = "Setup.exe";
inline constexpr char kReadmeName[] = "RPX21ReadMe.txt";
inline constexpr char kClickSoundName[] = "3dclick.wav";

enum class OsFamily { kWin9x, kThisSystem };

// The operating-system family the guide runs on; empty when the system cannot tell.
std::optional<OsFamily> CurrentOsFamily();

// Subdirectories of `guide_dir` holding a file Setup.exe, in name order, at most kMaxComponents.
QStringList FindComponents(const QString& guide_dir);

// The readme beside the guide; media made for case-blind file systems may spell it in any case.
QString ReadmePath(const QString& guide_dir);

// Why the readme step must stop before the readme is shown, or empty when it may go on.
// `readme_size` is the file's length in bytes, or -1 when the file is missing.
std::optional<QString> ReadmeProblem(std::optional<OsFamily> family, qint64 readme_size);

// The readme's lines for the text box, or the not-found text when it cannot be read.
QString ReadmeText(const QString& readme_path);

QString InstallerCommand(const QString& guide_dir, const QString& component);

// Why the installer command must not be started, or empty when it may.
std::optional<QString> InstallerCommandProblem(const QString& command);

// The guide shows its ODBC driver mode only for exactly this trimmed command line.
bool IsOdbcInstallation(const QStringList& arguments);

}  // namespace kelvan::installguide
