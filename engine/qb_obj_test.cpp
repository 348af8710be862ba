#include "engine/qb_obj.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/component/registry.h"
#include "platform/data/data_engine.h"
#include "tests/support/files.h"
#include "tests/support/odbc_sandbox.h"

namespace kelvan::engine {
namespace {

using kelvan::testing::ReadFile;

class NoRecord : public DataSource {
 public:
  std::string Name() const override { return ""; }
  std::string UserName() const override { return ""; }
  std::string Password() const override { return ""; }
  std::string Qualifier() const override { return ""; }
};

TEST(QbObjTest, DestinationTypeIsTrimmedAndOracleMatchesAnyCase) {
  QbObj engine;
  engine.SetDBType("  oracle ");
  EXPECT_EQ(engine.db_type(), "oracle");
  EXPECT_EQ(engine.DestinationTimestampLiteral("'2026-01-02 03:04:05'"),
            "TO_DATE('2026-01-02 03:04:05','YYYY-MM-DD HH24:MI:SS')");
  engine.SetDBType("MS SQL");
  EXPECT_EQ(engine.DestinationTimestampLiteral("'2026-01-02 03:04:05'"), "'2026-01-02 03:04:05'");
}

TEST(QbObjTest, OnlyQdbExactlySelectsClientBatchCursors) {
  QbObj engine;
  data::DataEngine& layer = data::DataEngine::ForThisThread();
  const std::pair<const char*, data::CursorDriver> cases[] = {
      {"QDB", data::CursorDriver::kClientBatch}, {" QDB ", data::CursorDriver::kClientBatch},
      {"qdb", data::CursorDriver::kDefault},     {"Qdb", data::CursorDriver::kDefault},
      {"Oracle", data::CursorDriver::kDefault},  {"Unknown", data::CursorDriver::kDefault}};
  for (const auto& [type, expected] : cases) {
    engine.SetDBType(type);
    engine.ChooseCursorDriver();
    EXPECT_EQ(layer.cursor_driver(), expected) << type;
  }
}

TEST(QbObjTest, PseudoIndexNumbersStartAtTwoAfterEachReset) {
  QbObj engine;
  engine.ResetPseudoIndex();
  EXPECT_EQ(engine.PseudoIndexNumberGenerator(), 2);
  EXPECT_EQ(engine.PseudoIndexNumberGenerator(), 3);
  engine.ResetPseudoIndex();
  EXPECT_EQ(engine.PseudoIndexNumberGenerator(), 2);
}

TEST(QbObjTest, FormatEngineErrorWithAnEmptyErrorList) {
  QbObj engine;
  data::DataEngine::ForThisThread().ClearErrors();
  RaisedError current(5, "Src", "D");
  EXPECT_EQ(engine.FormatEngineError("Error copying data. ", current),
            "Error copying data. :\r\nD\r\nD\r");
}

TEST(QbObjTest, FormatEngineErrorListsAndClearsTheLayersErrorsOfThisFailureOnly) {
  QbObj engine;
  data::DataEngine& layer = data::DataEngine::ForThisThread();
  const std::vector<data::ErrorEntry> entries = {{208, "42S02: no such table", "42S02"},
                                                 {0, "01000: note", "01000"}};
  layer.ReplaceErrors(entries);
  RaisedError raised(40002, "SQLExecDirect", "42S02: no such table; 01000: note", "42S02");
  EXPECT_EQ(engine.FormatEngineError("P", raised),
            "P:\r\n42S02: no such table; 01000: note\r\nError Number: 208 - 42S02: no such "
            "table\rError Number: 0 - 01000: note\r");
  EXPECT_TRUE(layer.Errors().empty());
  // Left by a failure that was caught and passed over: not this failure's cause.
  layer.ReplaceErrors(entries);
  EXPECT_EQ(engine.FormatEngineError("P", RaisedError(6, "Qobra", "Overflow")),
            "P:\r\nOverflow\r\nOverflow\r");
  EXPECT_TRUE(layer.Errors().empty());
}

TEST(QbObjTest, DaysToValueReturnsZero) {
  QbObj engine;
  NoRecord record;
  EXPECT_EQ(engine.DaysToValue("SELECT 1", "a", "b", 1.5, record), 0);
}

// Whether an operation is built yet or not, a call that cannot work reports no success.
TEST(QbObjTest, OperationsWithoutADestinationRaise) {
  QbObj engine;
  NoRecord record;
  auto expect_raised = [](auto&& call, const std::string& name) {
    try {
      call();
      ADD_FAILURE() << name << " reported a result";
    } catch (const RaisedError& e) {
      EXPECT_TRUE(e.Source().starts_with("Qobra.QbObj." + name + ":")) << e.Source();
    }
  };
  expect_raised([&] { engine.PostProcessSummaryTable("s", record); }, "PostProcessSummaryTable");
  expect_raised([&] { engine.SimultaneousActivityTable("s", record, "r"); },
                "SimultaneousActivityTable");
  expect_raised([&] { engine.Forecast2CopyTable({}, {}, {}, {}, "s", "T", 1, 1, record); },
                "Forecast2CopyTable");
}

TEST(QbObjTest, CreatedByClassIdentifier) {
  RegisterQobraClasses();
  auto engine = component::CreateObject<LoadEngine>("Qobra.QbObj");
  NoRecord record;
  EXPECT_EQ(engine.Call([&](LoadEngine& e) { return e.DaysToValue("", "", "", 0, record); }), 0);
}

// An operation whose failure the tests make up.
class FakeRun : public OperationRun {
 public:
  std::string Name() const override { return "CopyTable"; }
  std::string DescriptionPrefix() const override { return "Error copying data. "; }
  std::string FailureLine(const RaisedError& e) const override {
    return "Error in CopyTable: " + e.Description();
  }
  void Release() noexcept override { ++releases; }
  int releases = 0;
};

class FailureConventionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_.SetTrace(1, file_.string());
    data::DataEngine::ForThisThread().ClearErrors();
  }
  RaisedError FailWith(const RaisedError& inner) {
    try {
      engine_.RunOperation(run_, [&]() -> int { throw inner; });
    } catch (const RaisedError& e) {
      return e;
    }
    ADD_FAILURE() << "nothing raised";
    return inner;
  }

  std::filesystem::path file_ =
      testing::OdbcSandbox::Instance().MakeTempDir("convention") / "trace.htm";
  QbObj engine_;
  FakeRun run_;
};

TEST_F(FailureConventionTest, TracesReleasesAndRaisesWithTheOperationsSource) {
  engine_.Trace("Running the following query: SELECT 1", 2);
  RaisedError raised = FailWith(RaisedError(3265, "KelvanData", "Column not found"));
  EXPECT_EQ(raised.Number(), 3265);
  EXPECT_EQ(raised.Source(), "Qobra.QbObj.CopyTable:KelvanData");
  EXPECT_EQ(raised.Description(),
            "Error copying data. :\r\nColumn not found\r\nColumn not found\r");
  EXPECT_EQ(run_.releases, 1);
  EXPECT_EQ(ReadFile(file_),
            "Error in CopyTable: Column not found\r\n"
            "Previous message = Running the following query: SELECT 1\r\n");
}

TEST_F(FailureConventionTest, AnAlreadyDescribedFailurePassesUnchanged) {
  RaisedError raised =
      FailWith(RaisedError(6, "Qobra.QbObj.PseudoIndexNumberGenerator:Qobra", "already described"));
  EXPECT_EQ(raised.Source(), "Qobra.QbObj.CopyTable:Qobra.QbObj.PseudoIndexNumberGenerator:Qobra");
  EXPECT_EQ(raised.Description(), "already described");
}

TEST_F(FailureConventionTest, OtherExceptionsBecomeRaisedErrors) {
  try {
    engine_.RunOperation(run_, []() -> int { throw std::runtime_error("boom"); });
    FAIL() << "nothing raised";
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.Source(), "Qobra.QbObj.CopyTable:Qobra");
    EXPECT_NE(e.Description().find("boom"), std::string::npos);
  }
  EXPECT_EQ(run_.releases, 1);
}

}  // namespace
}  // namespace kelvan::engine
