#include "vltsim/generator/odbc_registration.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <fstream>

#include "tests/support/odbc_sandbox.h"
#include "vltsim/generator/sim_commands.h"

namespace kelvan::vltsim {
namespace {

namespace fs = std::filesystem;
using kelvan::testing::OdbcSandbox;

// Output and exit status of a shell command run with the ODBC configuration of `dir` only.
struct Shell {
  std::string output;
  int status;
};

Shell RunWithOdbcDir(const fs::path& dir, const std::string& command) {
  const std::string full = "env ODBCSYSINI='" + dir.string() + "' ODBCINI='" +
                           (dir / "odbc.ini").string() + "' HOME='" + dir.string() + "' " +
                           command + " 2>&1";
  Shell run{"", -1};
  FILE* pipe = popen(full.c_str(), "r");
  std::array<char, 4096> buffer{};
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    run.output.append(buffer.data(), n);
  run.status = WEXITSTATUS(pclose(pipe));
  return run;
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

Registration Make(const fs::path& dir, const std::string& dsn, const fs::path& database) {
  return {dir,
          dsn,
          database,
          "vltadmin",
          "Pa$$w0rd'x",
          std::string("03.01"),
          kelvan::testing::VltDriverPath()};
}

TEST(OdbcRegistration, DriverManagerSeesTheDataSourceBesideTheEntriesAlreadyThere) {
  const fs::path dir = OdbcSandbox::Instance().MakeTempDir("register");
  WriteFile(dir / "odbcinst.ini", "[Other Driver]\nDriver=/usr/lib/other.so\n");
  WriteFile(dir / "odbc.ini", "; kept\n[KEEP]\nDriver=Other Driver\nDatabase=/tmp/keep\n");
  RegisterDataSource(Make(dir, "VLT_ONE", dir / "one.db"));
  RegisterDataSource(Make(dir, "VLT_TWO", dir / "two.db"));
  RegisterDataSource(Make(dir, "VLT_ONE", dir / "one-again.db"));  // replaces, not adds

  const Shell sources = RunWithOdbcDir(dir, "odbcinst -q -s");
  EXPECT_EQ(sources.status, 0) << sources.output;
  EXPECT_EQ(sources.output, "[KEEP]\n[VLT_ONE]\n[VLT_TWO]\n");
  const Shell drivers = RunWithOdbcDir(dir, "odbcinst -q -d");
  EXPECT_EQ(drivers.output, "[Other Driver]\n[VLT Emulation Driver]\n");

  const Shell one = RunWithOdbcDir(dir, "odbcinst -q -s -n VLT_ONE");
  EXPECT_NE(one.output.find("Driver=VLT Emulation Driver"), std::string::npos) << one.output;
  EXPECT_NE(one.output.find("Database=" + (dir / "one-again.db").string()), std::string::npos);
  EXPECT_NE(one.output.find("UID=vltadmin"), std::string::npos);
  EXPECT_NE(one.output.find("PWD=Pa$$w0rd'x"), std::string::npos);
  EXPECT_NE(one.output.find("DriverOdbcVer=03.01"), std::string::npos);
  const Shell driver = RunWithOdbcDir(dir, "odbcinst -q -d -n 'VLT Emulation Driver'");
  EXPECT_NE(driver.output.find("Driver=" + kelvan::testing::VltDriverPath().string()),
            std::string::npos)
      << driver.output;

  std::ifstream in(dir / "odbc.ini");
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  EXPECT_EQ(Occurrences(text, "[VLT_ONE]"), 1u);
  EXPECT_NE(text.find("; kept"), std::string::npos);
  struct stat info {};
  ASSERT_EQ(stat((dir / "odbc.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "odbc.ini holds a password";
}

TEST(OdbcRegistration, DriverVersionKeyIsLeftOutWhenNotGiven) {
  const fs::path dir = OdbcSandbox::Instance().MakeTempDir("noversion");
  Registration registration = Make(dir, "VLT_PLAIN", dir / "plain.db");
  registration.odbc_version.reset();
  RegisterDataSource(registration);
  EXPECT_EQ(RunWithOdbcDir(dir, "odbcinst -q -s -n VLT_PLAIN").output.find("DriverOdbcVer"),
            std::string::npos);
}

bool DriverIsBuilt() {
  void* library = dlopen(kelvan::testing::VltDriverPath().c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (library == nullptr) return false;
  const bool exported = dlsym(library, "SQLDriverConnect") != nullptr;
  dlclose(library);
  return exported;
}

TEST(OdbcRegistration, AnOdbcClientReadsTheGeneratedServer) {
  if (!DriverIsBuilt()) GTEST_SKIP() << "the VLT driver is not built yet";
  const fs::path dir = OdbcSandbox::Instance().MakeTempDir("connect");
  CreateServerFile({dir / "server.db", 2, 3, *ParseTimestamp("2026-02-01 10:00:00"), 1});
  Registration registration = Make(dir, "VLT_SIM", dir / "server.db");
  registration.pwd = "simPw1";
  RegisterDataSource(registration);
  const Shell run = RunWithOdbcDir(
      dir, "sh -c \"echo 'SELECT count(*) FROM OPTIONS' | isql -b VLT_SIM vltadmin simPw1\"");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("12"), std::string::npos) << run.output;  // the twelve options
}

}  // namespace
}  // namespace kelvan::vltsim
