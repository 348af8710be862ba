#include "console/core/utility_functions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kelvan::console {
namespace {

using ::testing::ElementsAre;

TEST(UtilityFunctionsTest, StrTokLeftTakesTextBeforeLastToken) {
  EXPECT_EQ(clsUtilityFunctions::strTokLeft("a:=b:=c", ":="), "a:=b");
  EXPECT_EQ(clsUtilityFunctions::strTokLeft("abc", ":="), "");
  EXPECT_EQ(clsUtilityFunctions::strTokLeft(":=x", ":="), "");
  EXPECT_EQ(clsUtilityFunctions::strTokLeft("TraceLevel:=", ":="), "TraceLevel");
}

TEST(UtilityFunctionsTest, GetCommandLineSplitsAtRunsOfBlanksAndTabs) {
  EXPECT_THAT(clsUtilityFunctions::getCommandLine("  -LOG=a.htm\t-CONFIG=b.ini"),
              ElementsAre("", "-LOG=a.htm", "-CONFIG=b.ini"));
  EXPECT_THAT(clsUtilityFunctions::getCommandLine(" \t "), ElementsAre(""));
  EXPECT_THAT(clsUtilityFunctions::getCommandLine("x \t\t y  "), ElementsAre("", "x", "y"));
}

TEST(UtilityFunctionsTest, InStrCompareIsCaseSensitive) {
  EXPECT_TRUE(clsUtilityFunctions::inStrCompare("VLT Emulation Driver", "VLT"));
  EXPECT_FALSE(clsUtilityFunctions::inStrCompare("vlt emulation driver", "VLT"));
  EXPECT_TRUE(clsUtilityFunctions::inStrCompare("anything", ""));
}

TEST(UtilityFunctionsTest, JoinArgumentsSkipsTheProgramName) {
  const char* argv[] = {"/bin/kelvan-batch", "-LOG=x", "-CONFIG=y"};
  EXPECT_EQ(JoinArguments(3, argv), "-LOG=x -CONFIG=y");
  EXPECT_EQ(JoinArguments(1, argv), "");
}

}  // namespace
}  // namespace kelvan::console
