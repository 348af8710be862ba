#include "engine/trace_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/basic/raised_error.h"
#include "tests/support/files.h"
#include "tests/support/odbc_sandbox.h"

namespace kelvan::engine {
namespace {

using kelvan::testing::ReadFile;

class TraceLogTest : public ::testing::Test {
 protected:
  std::filesystem::path file_ = testing::OdbcSandbox::Instance().MakeTempDir("trace") / "run.htm";
  TraceLog trace_;
};

TEST_F(TraceLogTest, LevelZeroCreatesNoFile) {
  trace_.Write("failure", 1);
  trace_.Configure(0, file_.string());
  trace_.Write("failure", 1);
  EXPECT_FALSE(std::filesystem::exists(file_));
}

TEST_F(TraceLogTest, LevelOneLinesAfterTheFirstRepeatThePreviousMessage) {
  trace_.Configure(1, file_.string());
  trace_.Write("first result", 1);
  trace_.Write("a detail never written", 3);
  trace_.Write("second result", 1);
  trace_.Write("", 3);
  trace_.Write("third result", 1);
  EXPECT_EQ(ReadFile(file_),
            "first result\r\n"
            "second result\r\n"
            "Previous message = a detail never written\r\n"
            "third result\r\n");
}

TEST_F(TraceLogTest, LevelTwoOmitsDetails) {
  trace_.Configure(2, file_.string());
  trace_.Write("step", 2);
  trace_.Write("detail", 3);
  trace_.Write("result", 1);
  EXPECT_EQ(ReadFile(file_), "step\r\nresult\r\nPrevious message = detail\r\n");
}

// A lazily made message is made only to be written or repeated, and repeats as a plain one does.
TEST_F(TraceLogTest, LazyMessagesAreMadeOnlyWhenWrittenOrRepeated) {
  trace_.Configure(2, file_.string());
  int made = 0;
  auto lazily = [&made](const char* text) {
    return [&made, text] { return ++made, std::string(text); };
  };
  trace_.WriteLazily(3, lazily("overtaken"));
  trace_.Write("step", 2);
  trace_.WriteLazily(3, lazily("detail"));
  trace_.Write("result", 1);
  trace_.WriteLazily(2, lazily("written step"));
  EXPECT_EQ(made, 2);
  EXPECT_EQ(ReadFile(file_), "step\r\nresult\r\nPrevious message = detail\r\nwritten step\r\n");
  trace_.WriteLazily(3, lazily("last detail"));
  EXPECT_EQ(trace_.previous_message(), "last detail");
}

TEST_F(TraceLogTest, AppendsToWhatIsThere) {
  std::ofstream(file_, std::ios::binary) << "banner\r\n";
  trace_.Configure(3, file_.string());
  trace_.Write("detail", 3);
  EXPECT_EQ(ReadFile(file_), "banner\r\ndetail\r\n");
}

TEST_F(TraceLogTest, UnwritableFileFailsWriteButNotWriteQuietly) {
  trace_.Configure(3, (file_.parent_path() / "missing" / "run.htm").string());
  EXPECT_THROW(trace_.Write("detail", 3), RaisedError);
  EXPECT_NO_THROW(trace_.WriteQuietly("failure", 1));
  EXPECT_EQ(trace_.previous_message(), "failure");
}

}  // namespace
}  // namespace kelvan::engine
