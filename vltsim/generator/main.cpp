// vltsim: builds and moves on the stand-in VLT server's data, and registers it with ODBC.
#include <iostream>

#include "platform/basic/version.h"
#include "vltsim/generator/command_line.h"

int main(int argc, char** argv) {
  if (kelvan::AnswerVersion(argc, argv, "vltsim")) return 0;
  return kelvan::vltsim::RunCommandLine(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                        std::cerr);
}
