// vltsim: builds and moves on the stand-in VLT server's data, and registers it with ODBC.
#include <iostream>

#include "vltsim/generator/command_line.h"

int main(int argc, char** argv) {
  return kelvan::vltsim::RunCommandLine(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                        std::cerr);
}
