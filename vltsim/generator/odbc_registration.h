// Makes a simulated server reachable as an ODBC data source: writes the driver section to
// odbcinst.ini and the data source to odbc.ini in one folder (never /etc), keeping whatever
// else those files hold. A process run with ODBCSYSINI=<dir> and ODBCINI=<dir>/odbc.ini sees
// it. Failures raise RaisedError. Not safe against concurrent writers of the same folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kelvan::vltsim {

inline constexpr const char* kVltDriverSection = "VLT Emulation Driver";

struct Registration {
  std::filesystem::path dir;
  std::string dsn;
  std::filesystem::path database;
  std::string uid;
  std::string pwd;
  std::optional<std::string> odbc_version;  // the driver's DriverOdbcVer key
  std::filesystem::path driver;             // libvltodbc.so
};

// Why the registration cannot be written as given (a name the ini format cannot hold, ...), or
// nullopt when it can. The text never quotes the password.
std::optional<std::string> RegistrationProblem(const Registration& registration);

// Adds or replaces the data source and the driver section. odbc.ini holds the password, so it
// is left readable by its owner only.
void RegisterDataSource(const Registration& registration);

}  // namespace kelvan::vltsim
