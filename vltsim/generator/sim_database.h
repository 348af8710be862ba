// The simulated server's SQLite file: opening it for a fresh build or for an update, inserting
// rows through prepared statements, and the generator's own bookkeeping (seed, scale, start of
// history, current time) in the table VLTSIM_STATE. Failures raise RaisedError. One object per
// thread; the file may be read by the driver in other processes while an update runs.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vltsim/generator/sim_row.h"
#include "vltsim/generator/source_tables.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kelvan::vltsim {

class SimDatabase {
 public:
  // kBuild: a new file, written without journal or syncs (it is renamed into place when done).
  // kUpdate: an existing file, changed in ordinary transactions beside concurrent readers.
  enum class Mode { kBuild, kUpdate };
  SimDatabase(const std::filesystem::path& file, Mode mode);
  ~SimDatabase();
  SimDatabase(const SimDatabase&) = delete;
  SimDatabase& operator=(const SimDatabase&) = delete;

  void Exec(const std::string& sql);

  // A prepared "INSERT INTO table VALUES (?, ...)" for the table's columns in order.
  class Inserter {
   public:
    Inserter(SimDatabase& db, const SourceTable& table);
    ~Inserter();
    Inserter(const Inserter&) = delete;
    Inserter& operator=(const Inserter&) = delete;
    void Insert(const SimRow& row);

   private:
    SimDatabase& db_;
    sqlite3_stmt* statement_ = nullptr;
  };

  std::optional<std::string> State(const std::string& name);
  void SetState(const std::string& name, const std::string& value);
  // Runs a query and returns the first column of its first row as text (nullopt for none/NULL).
  std::optional<std::string> QueryText(const std::string& sql);

 private:
  [[noreturn]] void Fail(const std::string& what);

  sqlite3* db_ = nullptr;
  std::filesystem::path file_;
};

}  // namespace kelvan::vltsim
