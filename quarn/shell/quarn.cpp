/*
 * quarn.cpp - main() of the console `quarn`; everything else is in console.cpp.
 */
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "console.h"

int main(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // Interactive only when both ends are a terminal: with output to a pipe or file, no prompt
  // may end up in it.
  bool interactive = isatty(0) != 0 && isatty(1) != 0;
  return quarn::runConsole(args, std::cin, std::cout, std::cerr, interactive);
}
