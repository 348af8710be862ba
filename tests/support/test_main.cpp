// Test main: the ODBC sandbox must exist before the first ODBC call of the process.
#include <gmock/gmock.h>

#include "tests/support/odbc_sandbox.h"

int main(int argc, char** argv) {
  testing::InitGoogleMock(&argc, argv);
  kelvan::testing::OdbcSandbox::Instance();
  return RUN_ALL_TESTS();
}
