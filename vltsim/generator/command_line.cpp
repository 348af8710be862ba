#include "vltsim/generator/command_line.h"

#include <charconv>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "platform/basic/raised_error.h"
#include "vltsim/generator/odbc_registration.h"
#include "vltsim/generator/sim_commands.h"

namespace kelvan::vltsim {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: vltsim create FILE --days N --seed S [--now \"yyyy-mm-dd hh:mm:ss\"] [--scale K]\n"
    "                     [--profile tidy|real]\n"
    "       vltsim advance FILE --hours H\n"
    "       vltsim register --dir D --dsn NAME --database FILE --uid U --pwd P\n"
    "                       [--odbc-version V] [--driver PATH]\n";

struct UsageError {
  std::string text;
};

// The options of one command: "--name value" or "--name=value", each at most once.
class Options {
 public:
  Options(const std::vector<std::string>& args, size_t first, std::set<std::string> known)
      : known_(std::move(known)) {
    for (size_t i = first; i < args.size(); ++i) {
      const std::string& arg = args[i];
      // Not echoed: a stray argument may be a password that lost its option.
      if (arg.rfind("--", 0) != 0) throw UsageError{"unexpected argument " + std::to_string(i + 1)};
      std::string name = arg.substr(2);
      std::string value;
      if (const auto equals = name.find('='); equals != std::string::npos) {
        value = name.substr(equals + 1);
        name.resize(equals);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        throw UsageError{"--" + name + " needs a value"};
      }
      if (!known_.count(name)) throw UsageError{"unknown option --" + name};
      if (!values_.emplace(name, value).second) throw UsageError{"--" + name + " given twice"};
    }
  }

  std::optional<std::string> Get(const std::string& name) const {
    const auto it = values_.find(name);
    return it == values_.end() ? std::nullopt : std::optional(it->second);
  }
  std::string Required(const std::string& name) const {
    auto value = Get(name);
    if (!value || value->empty()) throw UsageError{"--" + name + " is required"};
    return *value;
  }
  std::int64_t Number(const std::string& name, std::int64_t low, std::int64_t high,
                      std::optional<std::int64_t> fallback = std::nullopt) const {
    const auto text = Get(name);
    if (!text && fallback) return *fallback;
    const std::string value = Required(name);
    std::int64_t number = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (ec != std::errc() || end != value.data() + value.size() || number < low || number > high) {
      throw UsageError{"--" + name + " must be a whole number from " + std::to_string(low) +
                       " to " + std::to_string(high)};
    }
    return number;
  }

 private:
  std::set<std::string> known_;
  std::map<std::string, std::string> values_;
};

std::string FileArgument(const std::vector<std::string>& args) {
  if (args.size() < 2 || args[1].rfind("--", 0) == 0) {
    throw UsageError{args[0] + " needs a FILE"};
  }
  return args[1];
}

std::uint64_t Seed(const Options& options) {
  const std::string text = options.Required("seed");
  std::uint64_t seed = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seed);
  if (ec != std::errc() || end != text.data() + text.size()) {
    throw UsageError{"--seed must be a whole number from 0 to 18446744073709551615"};
  }
  return seed;
}

int Create(const std::vector<std::string>& args, std::ostream& out) {
  const Options options(args, 2, {"days", "seed", "now", "scale", "profile"});
  CreateOptions create;
  create.file = FileArgument(args);
  create.days = static_cast<int>(options.Number("days", 1, 3650));
  create.seed = Seed(options);
  create.scale = static_cast<int>(options.Number("scale", 1, 1000, 1));
  const auto profile = ParseProfile(options.Get("profile").value_or("tidy"));
  if (!profile) throw UsageError{"--profile must be tidy or real"};
  create.profile = *profile;
  if (const auto now = options.Get("now")) {
    const auto parsed = ParseTimestamp(*now);
    if (!parsed) throw UsageError{"--now must be a time \"yyyy-mm-dd hh:mm:ss\""};
    create.now = *parsed;
  } else {
    create.now = LocalNow();
  }
  CreateServerFile(create);
  out << "created " << create.file.string() << ": " << create.days << " days up to "
      << FormatTimestamp(create.now) << ", " << ProfileName(create.profile) << " profile\n";
  return kExitOk;
}

int Advance(const std::vector<std::string>& args, std::ostream& out) {
  const Options options(args, 2, {"hours"});
  const fs::path file = FileArgument(args);
  const int hours = static_cast<int>(options.Number("hours", 1, 24 * 3650));
  const SimTime now = AdvanceServerFile(file, hours);
  out << "advanced " << file.string() << " to " << FormatTimestamp(now) << "\n";
  return kExitOk;
}

// The installed driver (lib/kelvan beside bin/) when this command is the installed one, else the
// one built beside it.
fs::path DefaultDriver() {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  const fs::path installed = exe.parent_path().parent_path() / "lib/kelvan/libvltodbc.so";
  if (!error && fs::exists(installed, error)) return installed;
  return KELVAN_VLTODBC_PATH;
}

int Register(const std::vector<std::string>& args, std::ostream& out) {
  const Options options(args, 1,
                        {"dir", "dsn", "database", "uid", "pwd", "odbc-version", "driver"});
  Registration registration;
  registration.dir = options.Required("dir");
  registration.dsn = options.Required("dsn");
  registration.database = options.Required("database");
  registration.uid = options.Required("uid");
  registration.pwd = options.Get("pwd").value_or("");
  if (!options.Get("pwd")) throw UsageError{"--pwd is required"};
  registration.odbc_version = options.Get("odbc-version");
  registration.driver = options.Get("driver").value_or(DefaultDriver().string());
  if (const auto problem = RegistrationProblem(registration)) throw UsageError{*problem};
  RegisterDataSource(registration);
  out << "registered data source " << registration.dsn << " in " << registration.dir.string()
      << "\n";
  return kExitOk;
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    if (args.empty()) throw UsageError{"no command given"};
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
      out << kUsage;
      return kExitOk;
    }
    if (args[0] == "create") return Create(args, out);
    if (args[0] == "advance") return Advance(args, out);
    if (args[0] == "register") return Register(args, out);
    throw UsageError{"unknown command '" + args[0] + "'"};
  } catch (const UsageError& error) {
    err << "vltsim: " << error.text << "\n" << kUsage;
    return kExitUsage;
  } catch (const RaisedError& error) {
    err << "vltsim: " << error.Description() << "\n";
  } catch (const std::exception& error) {
    err << "vltsim: " << error.what() << "\n";
  }
  return kExitFailed;
}

}  // namespace kelvan::vltsim
