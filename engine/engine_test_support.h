// The engine's shared test support, for its database suites and the benchmarks: a stand-in VLT
// server made from SQL, destination tables declared once for every destination type, a
// destination record, and reading the trace. Test main thread only.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/data_source.h"
#include "tests/support/files.h"
#include "tests/support/odbc_sandbox.h"

namespace kelvan::engine::testing {

using kelvan::testing::ApplyDestinationSchema;
using kelvan::testing::Destination;
using kelvan::testing::ScratchDatabase;

// A VLT server whose tables are whatever SQL made them, served by the stand-in driver.
class SourceServer {
 public:
  static constexpr const char* kPassword = "Src-Pa55word";

  explicit SourceServer(const std::string& tag);
  void Exec(const std::string& sql) const;  // on the SQLite file, directly
  // A data source of the file with extra odbc.ini keys (fault injection); returns its connect
  // string.
  std::string AddDataSource(const std::string& name,
                            const std::map<std::string, std::string>& keys) const;
  const std::string& ConnectString() const { return connect_; }
  const std::string& dsn() const { return dsn_; }

 private:
  std::filesystem::path file_;
  std::string dsn_;
  std::string connect_;
};

// Portable column types: "TS", "INT", "SMALLINT", "DOUBLE", "DATE", "TIME", "VARCHAR(n)".
struct ColumnDef {
  std::string name;
  std::string type;
};

// CREATE TABLE with the given columns plus EXT_SERVER_NAME, EXTRACT_DATE and PSEUDO_INDEX.
void CreateDestinationTable(const ScratchDatabase& db, const std::string& table,
                            const std::vector<ColumnDef>& columns);
void ExecuteOnDestination(const ScratchDatabase& db, const std::string& sql);
// One number from the database's own client.
long long QueryNumber(const ScratchDatabase& db, const std::string& sql);

class TestRecord : public DataSource {
 public:
  TestRecord(std::string name, std::string user, std::string password, std::string qualifier = {})
      : name_(std::move(name)),
        user_(std::move(user)),
        password_(std::move(password)),
        qualifier_(std::move(qualifier)) {}
  std::string Name() const override { return name_; }
  std::string UserName() const override { return user_; }
  std::string Password() const override { return password_; }
  std::string Qualifier() const override { return qualifier_; }
  void set_password(std::string password) { password_ = std::move(password); }

 private:
  std::string name_, user_, password_, qualifier_;
};

using kelvan::testing::ReadFile;

// `text` written `times` times over.
std::string Repeat(const std::string& text, int times);
// The file's lines, split at CR LF.
std::vector<std::string> ReadLines(const std::filesystem::path& path);

}  // namespace kelvan::engine::testing
