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
  return quarn::runConsole(args, std::cin, std::cout, isatty(0) != 0);
}
