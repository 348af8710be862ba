#include "platform/basic/run_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/basic/raised_error.h"
#include "platform/basic/text_lines.h"

namespace kelvan {
namespace {

constexpr std::int32_t kErrPathFileAccess = 75;

void RefuseToReplaceOtherFiles(const std::string& path, const std::string& source) {
  std::ifstream in(path, std::ios::binary);
  std::string start(5, '\0');
  if (!in || !in.read(start.data(), 5)) return;  // absent, unreadable here, or nearly empty
  if (start == "<PRE>") return;
  throw RaisedError(kErrPathFileAccess, source,
                    "Path/File access error: " + path +
                        " holds something other than a run log; it is left as it is. Name "
                        "another file with -LOG.");
}

}  // namespace

void CreateRunLogFile(const std::string& path, std::string_view banner, const std::string& source) {
  RefuseToReplaceOtherFiles(path, source);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  // An older log keeps its mode through O_TRUNC: narrow it.
  const bool narrowed = fd >= 0 && ::fchmod(fd, 0600) == 0;
  if (fd < 0 || ::close(fd) != 0 || !narrowed) {
    throw RaisedError(kErrPathFileAccess, source, "Path/File access error: " + path);
  }
  AppendToRunLog(path, banner);
}

void AppendToRunLog(const std::string& path, std::string_view text) { AppendToFile(path, text); }

std::string RunLogPartName(const std::string& path, size_t number) {
  return path + ".server" + std::to_string(number) + ".part";
}

void StartRunLogPart(const std::string& part) {
  std::error_code ignored;
  std::filesystem::remove(part, ignored);
}

void MovePartIntoRunLog(const std::string& path, std::string_view header, const std::string& part) {
  std::ifstream in(part, std::ios::binary);
  std::string text(header);
  text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  AppendToRunLog(path, text);
  StartRunLogPart(part);
}

}  // namespace kelvan
