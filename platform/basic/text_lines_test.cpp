#include "platform/basic/text_lines.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/basic/raised_error.h"
#include "tests/support/files.h"
#include "tests/support/odbc_sandbox.h"

namespace kelvan {
namespace {

using kelvan::testing::ReadFile;

TEST(TextLinesTest, AppendLineEndsWithCrLf) {
  std::string text;
  AppendLine(text, "first");
  AppendLine(text, "");
  EXPECT_EQ(text, "first\r\n\r\n");
}

TEST(TextLinesTest, AppendToFileCreatesThenAppends) {
  auto path = testing::OdbcSandbox::Instance().MakeTempDir("append") / "log.htm";
  AppendToFile(path.string(), "one\r\n");
  AppendToFile(path.string(), "two\r\n");
  EXPECT_EQ(ReadFile(path), "one\r\ntwo\r\n");
  // Traces name servers, users and paths: for the owner's eyes only.
  EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(TextLinesTest, AppendToAnUnwritablePathRaises) {
  auto dir = testing::OdbcSandbox::Instance().MakeTempDir("nodir");
  EXPECT_THROW(AppendToFile((dir / "missing" / "log.htm").string(), "x"), RaisedError);
}

TEST(TextLinesTest, ConcurrentAppendsNeverInterleave) {
  auto path = testing::OdbcSandbox::Instance().MakeTempDir("concurrent") / "trace.htm";
  constexpr int kThreads = 4, kLines = 500;
  std::vector<std::jthread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      std::string line(200, static_cast<char>('a' + t));
      for (int i = 0; i < kLines; ++i) AppendToFile(path.string(), line + "\r\n");
    });
  }
  writers.clear();
  std::istringstream lines(ReadFile(path));
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ASSERT_EQ(line.size(), 201u);
    EXPECT_EQ(line.find_first_not_of(line[0]), 200u) << "interleaved line " << count;
    ++count;
  }
  EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace
}  // namespace kelvan
