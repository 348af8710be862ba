#include <iostream>
#include <string>
#include <vector>

#include "engine/tool/qobra_cli.h"
#include "platform/basic/version.h"

int main(int argc, char** argv) {
  if (kelvan::AnswerVersion(argc, argv, "qobra")) return 0;
  std::vector<std::string> args(argv + 1, argv + argc);
  return kelvan::engine::RunQobra(args, std::cout, std::cerr);
}
