// The Qt Test classes of console_gui_test register themselves here; the test main runs each in
// turn. Also the data sources the window tests offer. Test code; the GUI thread only.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "console/core/data_sources.h"

namespace kelvan::console::gui_test {

using Factory = std::function<std::unique_ptr<QObject>()>;
std::vector<Factory>& Registry();

struct Registration {
  explicit Registration(Factory factory) { Registry().push_back(std::move(factory)); }
};

// Two VLT data sources, a destination and one of each kind the filters must drop.
inline std::vector<odbc::DataSourceInfo> FakeDataSources() {
  return {{"VLTA", "VLT Emulation Driver"},
          {"VLTB", "VLT Emulation Driver"},
          {"REPORTS", "PostgreSQL"},
          {"notes", "text driver"}};
}

}  // namespace kelvan::console::gui_test

#define KELVAN_GUI_TEST(Class)                                             \
  static const ::kelvan::console::gui_test::Registration register_##Class( \
      [] { return std::make_unique<Class>(); })
