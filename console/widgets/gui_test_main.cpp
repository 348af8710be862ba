// Test main of the windows' Qt Test suites: the ODBC sandbox first, offscreen, then every
// registered test class.
#include <QApplication>
#include <QTest>

#include "console/widgets/gui_test.h"
#include "tests/support/odbc_sandbox.h"

namespace kelvan::console::gui_test {

std::vector<Factory>& Registry() {
  static std::vector<Factory> registry;
  return registry;
}

}  // namespace kelvan::console::gui_test

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  kelvan::testing::OdbcSandbox::Instance();
  QApplication application(argc, argv);
  // Tests close windows; the process must outlive them.
  QApplication::setQuitOnLastWindowClosed(false);
  int failed = 0;
  for (const auto& factory : kelvan::console::gui_test::Registry()) {
    const std::unique_ptr<QObject> test = factory();
    failed += QTest::qExec(test.get(), argc, argv);
  }
  return failed == 0 ? 0 : 1;
}
