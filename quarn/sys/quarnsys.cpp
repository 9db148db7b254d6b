/*
 * quarnsys.cpp - registry values of the instance, kept in "<instance>/quarn.registry".
 * A process-wide mutex serialises this process's writers; the file is replaced by rename, so
 * other processes never read a half-written file.
 */
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

#include "sqlenv.h"

namespace {

std::mutex registryLock;

struct Known {
  int id;
  const char *name;
};
constexpr Known kKnown[] = {
    {SQLE_REG_XML_READ_DIRS, "QUARN_XML_READ_DIRS"},
    {SQLE_REG_XML_WRITE_DIRS, "QUARN_XML_WRITE_DIRS"},
};

std::string instanceDir() {
  if (const char *p = std::getenv("QUARNPATH"); p != nullptr && *p) return p;
  const char *home = std::getenv("HOME");
  return std::string(home != nullptr ? home : ".") + "/.quarn";
}

std::string registryFile() { return instanceDir() + "/quarn.registry"; }

// Reads every NAME=value line; false when the file exists but cannot be read.
bool readAll(std::map<std::string, std::string> *values) {
  std::ifstream in(registryFile());
  if (!in) return access(registryFile().c_str(), F_OK) != 0;  // a missing file holds nothing
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    (*values)[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return !in.bad();
}

}  // namespace

extern "C" const char *sqloEnvName(int id) {
  for (const Known &k : kKnown)
    if (k.id == id) return k.name;
  return nullptr;
}

extern "C" int sqloGetEnv(int id, char *value, int size) {
  const char *name = sqloEnvName(id);
  if (name == nullptr || value == nullptr || size < 1) return -1;
  value[0] = '\0';
  std::map<std::string, std::string> values;
  {
    std::lock_guard<std::mutex> guard(registryLock);
    if (!readAll(&values)) return -1;
  }
  auto it = values.find(name);
  if (it == values.end()) return SQLO_REG_UNSET;
  if (it->second.size() + 1 > static_cast<size_t>(size)) return -1;
  std::memcpy(value, it->second.c_str(), it->second.size() + 1);
  return 0;
}

extern "C" int sqloSetEnv(int id, const char *value) {
  const char *name = sqloEnvName(id);
  if (name == nullptr || (value != nullptr && std::strpbrk(value, "\r\n") != nullptr)) return -1;
  std::lock_guard<std::mutex> guard(registryLock);
  std::map<std::string, std::string> values;
  if (!readAll(&values)) return -1;
  if (value != nullptr) values[name] = value;
  else values.erase(name);
  std::string file = registryFile();
  std::string temp = file + ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(temp, std::ios::trunc);
    if (!out) return -1;
    out << "# Registry values of the instance; NAME=value per line.\n";
    for (const auto &[k, v] : values) out << k << '=' << v << '\n';
    out.flush();
    if (!out) {
      std::remove(temp.c_str());
      return -1;
    }
  }
  if (std::rename(temp.c_str(), file.c_str()) != 0) {
    std::remove(temp.c_str());
    return -1;
  }
  return 0;
}
