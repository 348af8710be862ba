#include <iostream>
#include <string>
#include <vector>

#include "engine/tool/qobra_cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return kelvan::engine::RunQobra(args, std::cout, std::cerr);
}
