/*
 * kelmsggen.cpp - build-time generator of the external catalogue source: writes the built-in
 * message table in the gencat format (set 1, message number = entry number) to the file named
 * by its argument, so the texts of "kel.cat" and the built-in texts cannot drift apart.
 */
#include <cstdio>
#include <string>

#include "kelmsgtab.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kelmsggen output.msg\n");
    return 2;
  }
  FILE *out = std::fopen(argv[1], "w");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(out, "$ Message catalogue of the XML extension; generated, do not edit.\n");
  std::fprintf(out, "$quote \"\n$set 1\n");
  for (int i = 0; i < KEL_MSG_COUNT; ++i) {
    const char *text = kelSqlStateTable[i].text;
    if (*text == '\0') continue;
    std::string quoted;
    for (const char *p = text; *p; ++p) {
      if (*p == '"' || *p == '\\') quoted.push_back('\\');
      quoted.push_back(*p);
    }
    std::fprintf(out, "%d \"%s\"\n", i, quoted.c_str());
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
