#include "vltsim/generator/odbc_registration.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <utility>
#include <vector>

#include "platform/basic/raised_error.h"

namespace kelvan::vltsim {
namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kErrWrite = 75;

using Keys = std::vector<std::pair<std::string, std::string>>;

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// An ini file as lines, grouped by section; lines before the first section stay in front.
class IniFile {
 public:
  explicit IniFile(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
      const std::string trimmed = Trim(line);
      if (trimmed.size() > 1 && trimmed.front() == '[' && trimmed.back() == ']') {
        sections_.push_back({trimmed.substr(1, trimmed.size() - 2), {}});
      } else if (sections_.empty()) {
        preamble_.push_back(line);
      } else {
        sections_.back().lines.push_back(line);
      }
    }
  }

  // Replaces the section's keys (in place when it exists, else at the end).
  void Replace(const std::string& name, const Keys& keys) {
    std::vector<std::string> lines;
    for (const auto& [key, value] : keys) lines.push_back(key + "=" + value);
    lines.push_back("");
    auto it = std::find_if(sections_.begin(), sections_.end(),
                           [&](const Section& s) { return SameName(s.name, name); });
    if (it == sections_.end()) {
      if (!sections_.empty() && !sections_.back().lines.empty() &&
          !Trim(sections_.back().lines.back()).empty()) {
        sections_.back().lines.push_back("");
      }
      sections_.push_back({name, lines});
    } else {
      *it = {name, lines};
    }
  }

  void Write(const fs::path& path, fs::perms perms) const {
    const fs::path temporary = path.string() + ".new-" + std::to_string(getpid());
    {
      std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
      fs::permissions(temporary, perms);
      for (const std::string& line : preamble_) out << line << "\n";
      for (const Section& section : sections_) {
        out << "[" << section.name << "]\n";
        for (const std::string& line : section.lines) out << line << "\n";
      }
      if (!out.flush()) {
        throw RaisedError(kErrWrite, "vltsim", "cannot write " + temporary.string());
      }
    }
    fs::rename(temporary, path);
  }

 private:
  struct Section {
    std::string name;
    std::vector<std::string> lines;
  };
  std::vector<std::string> preamble_;
  std::vector<Section> sections_;
};

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

std::optional<std::string> RegistrationProblem(const Registration& r) {
  if (r.dsn.empty() || r.dsn.find_first_of("[]{}(),;?*=!@\\\r\n") != std::string::npos ||
      Trim(r.dsn) != r.dsn) {
    return "the data source name '" + r.dsn + "' is empty or holds a character it may not";
  }
  if (HasLineBreak(r.database.string()) || HasLineBreak(r.uid) || HasLineBreak(r.driver.string()) ||
      (r.odbc_version && HasLineBreak(*r.odbc_version))) {
    return "a value holds a line break";
  }
  if (HasLineBreak(r.pwd)) return "the password holds a line break";
  if (r.dir.empty()) return "no folder given";
  return std::nullopt;
}

void RegisterDataSource(const Registration& r) {
  if (auto problem = RegistrationProblem(r)) throw RaisedError(kErrWrite, "vltsim", *problem);
  fs::create_directories(r.dir);
  const fs::path drivers = r.dir / "odbcinst.ini";
  IniFile driver_file(drivers);
  driver_file.Replace(kVltDriverSection, {{"Description", "VLT server stand-in over SQLite"},
                                          {"Driver", fs::absolute(r.driver).string()}});
  driver_file.Write(drivers, fs::perms::owner_read | fs::perms::owner_write |
                                 fs::perms::group_read | fs::perms::others_read);

  const fs::path sources = r.dir / "odbc.ini";
  IniFile source_file(sources);
  Keys keys = {{"Driver", kVltDriverSection},
               {"Database", fs::absolute(r.database).string()},
               {"UID", r.uid},
               {"PWD", r.pwd}};
  if (r.odbc_version) keys.emplace_back("DriverOdbcVer", *r.odbc_version);
  source_file.Replace(r.dsn, keys);
  source_file.Write(sources, fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace kelvan::vltsim
