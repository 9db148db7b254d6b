/*
 * routines.cpp - external routines: the libraries they live in (opened on first call, kept
 * for the life of the process), their catalog definitions, the checks of a definition's
 * outputs, static resolution of function references by argument types, and the registration
 * of the call paths on a session's connection.  The calls themselves are in routines_scalar.cpp,
 * routines_table.cpp and routines_procedure.cpp; the large-object service in routines_lob.cpp.
 *
 * Every call into a routine runs with the caller's session as the thread's current session, so
 * the function runtime (sqludf_*) and a procedure's embedded SQL reach the caller's locators
 * and unit of work.  Locators the engine makes for arguments and those a routine creates live
 * until the engine has read the call's results; then they are freed.
 */
#include "routines_call.h"

#include <dlfcn.h>
#include <link.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>

#include "catalog.h"

namespace quarn {
namespace {

std::mutex gLibMutex;

std::map<std::string, void *> gLibraries;  // file -> handle; never closed
// The entries found: the files searched and the entry name -> the entry.  A library is never
// closed, so an entry once found stays valid; the key holds the search list, so a changed
// function directory (QUARN_FUNCTION_DIR, QUARNPATH) searches again.
std::map<std::string, void *> gEntries;

void anchor() {}

// The directory of the engine's own library, found once: it does not move while loaded.
std::string engineLibraryDir() {
  static const std::string dir = [] {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&anchor), &info) == 0 || info.dli_fname == nullptr) return std::string();
    std::filesystem::path p(info.dli_fname);
    std::error_code ec;
    std::filesystem::path abs = std::filesystem::weakly_canonical(p, ec);
    return (ec ? p : abs).parent_path().string();
  }();
  return dir;
}

// The loader's reason without the file name it starts with.
std::string loaderReason(const char *err, const std::string &file) {
  std::string r = err ? err : "unknown";
  if (r.rfind(file + ": ", 0) == 0) r = r.substr(file.size() + 2);
  return r;
}

[[noreturn]] void cannotAccess(const RoutineDef &def, const std::string &lib, const std::string &entry,
                               const std::string &reason) {
  raise(kSqlRoutineNotLoadable, {def.name, def.specific, lib, entry, reason});
}

// Whether fn, which dlsym found through handle, is defined by that library itself.  dlsym on a
// library's handle also finds the symbols of the libraries it depends on (the C library's exit
// and abort through any routine library), which no external name may reach.
bool definedByLibrary(void *handle, void *fn) {
  struct link_map *own = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &own) != 0 || own == nullptr) return false;
  Dl_info info{};
  struct link_map *holder = nullptr;
  if (dladdr1(fn, &info, reinterpret_cast<void **>(&holder), RTLD_DL_LINKMAP) == 0 || holder == nullptr) return false;
  return holder == own;
}

// Position of a built-in type in its promotion chain, and the chain; -1 for none.
std::pair<int, int> promotion(const QType &t) {
  switch (t.base) {
    case Base::SmallInt: return {0, 0};
    case Base::Integer: return {0, 1};
    case Base::BigInt: return {0, 2};
    case Base::Decimal: return {0, 3};
    case Base::Real: return {0, 4};
    case Base::Double: return {0, 5};
    case Base::Char: return {1, 0};
    case Base::Varchar: return {1, 1};
    case Base::LongVarchar: return {1, 2};
    case Base::Clob: return {1, 3};
    case Base::Graphic: return {2, 0};
    case Base::Vargraphic: return {2, 1};
    case Base::LongVargraphic: return {2, 2};
    case Base::DbClob: return {2, 3};
    case Base::Blob: return {3, 0};
    case Base::Date: return {4, 0};
    case Base::Time: return {5, 0};
    case Base::Timestamp: return {6, 0};
    default: return {-1, 0};
  }
}

// A value whose type the translator does not know (a parameter marker, NULL, ...).
bool unknownType(const QType &t) { return t.base == Base::None && !t.isDistinct(); }

// How far arg is promoted to reach param: 0 exact, more is worse, -1 cannot.
int promotionDistance(const QType &arg, const QType &param) {
  if (unknownType(arg)) return 100;
  if (arg.isDistinct() || param.isDistinct()) {
    return arg.isDistinct() && param.isDistinct() && arg.typeSchema == param.typeSchema && arg.typeName == param.typeName
               ? 0
               : -1;
  }
  auto a = promotion(arg), p = promotion(param);
  if (a.first < 0 || a.first != p.first || p.second < a.second) return -1;
  return p.second - a.second;
}

}  // namespace

std::vector<RoutineDef> routinesNamed(Session &s, const std::string &schema, const std::string &name, char routineType,
                                      char functionType) {
  Stmt st(s.db(), "SELECT SPECIFICNAME FROM \"SYSQUARN.ROUTINES\" WHERE ROUTINESCHEMA = ?1 AND ROUTINENAME = ?2 AND "
                  "ROUTINETYPE = ?3 ORDER BY CREATE_TIME");
  st.bind(1, schema).bind(2, name).bind(3, std::string(1, routineType));
  std::vector<std::string> specifics;
  while (st.step()) specifics.push_back(st.text(0));
  std::vector<RoutineDef> out;
  for (const std::string &sp : specifics) {
    std::optional<RoutineDef> d = loadRoutineDef(s.db(), schema, sp);
    if (d && (routineType == 'P' || d->functionType == functionType)) out.push_back(std::move(*d));
  }
  return out;
}

std::vector<std::string> searchSchemas(Session &s, const std::string &schema) {
  if (!schema.empty()) return {schema};
  return s.functionPath();
}

// The entry of external name "library!entry" (library alone: the entry is the routine's name).
void *findEntry(const RoutineDef &def, const std::string &externalName) {
  if (def.entry != nullptr && def.entryOf == externalName) return def.entry;
  auto remember = [&](void *fn) {
    def.entry = fn;
    def.entryOf = externalName;
    return fn;
  };
  std::string lib = externalName, entry = def.name;
  size_t bang = externalName.find('!');
  if (bang != std::string::npos) {
    lib = externalName.substr(0, bang);
    entry = externalName.substr(bang + 1);
  }
  if (lib.empty() || entry.empty()) cannotAccess(def, lib, entry, "bad external name");
  std::vector<std::string> files;
  if (lib.find('/') != std::string::npos) {
    // A path names any file of the system; only a routine's definition may give one.  The
    // unregistered form ('library!entry' in CALL) looks in the routine library directories.
    if (def.specific.empty()) cannotAccess(def, lib, entry, "library name with a path");
    files.push_back(lib);
  } else {
    for (const std::string &dir : routineLibraryDirs()) {
      files.push_back(dir + "/lib" + lib + ".so");
      files.push_back(dir + "/" + lib + ".so");
      files.push_back(dir + "/" + lib);
    }
  }
  std::string key;
  for (const std::string &f : files) key += f + '\x1F';
  key += '!' + entry;
  std::lock_guard<std::mutex> lock(gLibMutex);
  auto known = gEntries.find(key);
  if (known != gEntries.end()) return remember(known->second);
  void *handle = nullptr;
  for (const std::string &f : files) {
    auto it = gLibraries.find(f);
    if (it != gLibraries.end()) {
      handle = it->second;
      break;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(f, ec)) continue;
    dlerror();
    handle = dlopen(f.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) cannotAccess(def, lib, entry, loaderReason(dlerror(), f));
    gLibraries[f] = handle;
    break;
  }
  if (handle == nullptr) cannotAccess(def, lib, entry, "not found");
  dlerror();
  void *fn = dlsym(handle, entry.c_str());
  if (fn == nullptr || !definedByLibrary(handle, fn)) cannotAccess(def, lib, entry, "no entry");
  gEntries[key] = fn;
  return remember(fn);
}

std::shared_ptr<const RoutineDef> cachedDef(Session &s, const std::string &key) {
  RoutineRuntime &rt = *s.routineRuntime();
  auto it = rt.defs.find(key);
  if (it != rt.defs.end()) return it->second;
  size_t sep = key.find('\x1F');
  if (sep == std::string::npos) raise(kSqlNoFunction, {key, "FUNCTION"});
  std::optional<RoutineDef> d = loadRoutineDef(s.db(), key.substr(0, sep), key.substr(sep + 1));
  if (!d) raise(kSqlNoFunction, {key.substr(sep + 1), "FUNCTION"});
  auto sp = std::make_shared<const RoutineDef>(std::move(*d));
  rt.defs[key] = sp;
  return sp;
}

std::vector<std::string> routineLibraryDirs() {
  std::vector<std::string> dirs;
  const char *env = std::getenv("QUARN_FUNCTION_DIR");
  if (env && *env) {
    std::string list = env;
    size_t start = 0;
    while (start <= list.size()) {
      size_t colon = list.find(':', start);
      std::string d = list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
      if (!d.empty()) dirs.push_back(d);
      if (colon == std::string::npos) break;
      start = colon + 1;
    }
  }
  dirs.push_back(instancePath() + "/function");
  std::string own = engineLibraryDir();
  if (!own.empty()) dirs.push_back(own);
  return dirs;
}

std::string functionKey(const RoutineDef &def) { return def.schema + "\x1F" + def.specific; }

void checkRoutineOutputs(const RoutineDecl &decl) {
  auto fits = [&](const RoutineParam &p) {
    if (!p.locator && valueBytes(p.type) > kMaxOutputValueBytes) raise(kSqlBadLength, {decl.name.text()});
  };
  if (decl.routineType == 'F' && decl.functionType == 'S') {
    fits(decl.castFrom ? *decl.castFrom : decl.result);
    if (decl.castFrom) {
      const QType &from = decl.castFrom->type, &to = decl.result.type;
      bool strings = (from.isCharacter() && to.isCharacter()) || (from.base == Base::Blob && to.base == Base::Blob) ||
                     (from.forBitData && to.forBitData);
      bool numbers = from.isNumeric() && to.isNumeric();
      if (!(strings || numbers) || decl.castFrom->locator != decl.result.locator || decl.result.locator)
        raise(kSqlCastInvalid, {from.sqlText(), to.sqlText()});
    }
  }
  for (const RoutineParam &c : decl.columns) fits(c);
  if (decl.routineType == 'P' && decl.parameterStyle != "QUARNDARI")
    for (const RoutineParam &p : decl.params)
      if (p.mode != "IN") fits(p);
}

std::optional<RoutineDef> loadRoutineDef(sqlite3 *db, const std::string &schema, const std::string &specific) {
  Stmt st(db, "SELECT ROUTINENAME, ROUTINETYPE, FUNCTIONTYPE, ORIGIN, IMPLEMENTATION, PARAMETER_STYLE, NULLCALL, "
              "SCRATCHPAD, FINAL_CALL, DBINFO, SOURCESCHEMA, SOURCESPECIFIC FROM \"SYSQUARN.ROUTINES\" "
              "WHERE ROUTINESCHEMA = ?1 AND SPECIFICNAME = ?2");
  st.bind(1, schema).bind(2, specific);
  if (!st.step()) return std::nullopt;
  RoutineDef d;
  d.schema = schema;
  d.specific = specific;
  d.name = st.text(0);
  d.routineType = st.text(1).empty() ? 'F' : st.text(1)[0];
  d.functionType = st.text(2).empty() ? 'S' : st.text(2)[0];
  d.origin = st.text(3).empty() ? 'E' : st.text(3)[0];
  d.externalName = st.text(4);
  d.parameterStyle = st.text(5);
  d.nullCall = st.text(6) != "N";
  d.scratchpad = st.text(7) == "Y";
  d.finalCall = st.text(8) == "Y";
  d.dbinfo = st.text(9) == "Y";
  d.sourceSchema = st.text(10);
  d.sourceSpecific = st.text(11);
  Stmt parms(db, "SELECT ROWTYPE, ORDINAL, PARMNAME, TYPESCHEMA, TYPENAME, LENGTH, SCALE, LOCATOR FROM "
                 "\"SYSQUARN.ROUTINEPARMS\" WHERE ROUTINESCHEMA = ?1 AND SPECIFICNAME = ?2 ORDER BY ROWTYPE = 'C', ORDINAL");
  parms.bind(1, schema).bind(2, specific);
  while (parms.step()) {
    RoutineParam p;
    std::string row = parms.text(0);
    p.name = parms.text(2);
    std::string tschema = parms.text(3), tname = parms.text(4);
    if (tschema == kSystemSchema) {
      p.type = typeFromCatalog(tname, parms.integer(5), static_cast<int>(parms.integer(6)));
    } else if (std::optional<DistinctType> dt = findDistinctType(db, tschema, tname)) {
      p.type = dt->source;
      p.type.typeSchema = dt->schema;
      p.type.typeName = dt->name;
    } else {
      raise(kSqlUndefinedName, {tschema + "." + tname});
    }
    p.locator = parms.text(7) == "Y";
    if (row == "R") {
      d.castFrom = p;
    } else if (row == "C") {
      if (d.routineType == 'F' && d.functionType == 'S') d.result = p;
      else d.columns.push_back(p);
    } else {
      p.mode = row == "O" ? "OUT" : row == "B" ? "INOUT" : "IN";
      d.params.push_back(p);
    }
  }
  return d;
}

RoutineDef resolveFunction(Session &s, const std::string &schema, const std::string &fname, char functionType,
                           const std::vector<QType> &argTypes) {
  std::optional<RoutineDef> best;
  std::vector<int> bestScore;
  // For each argument of unknown type, the distinct type ("schema.name", "." for a built-in
  // type) of that parameter in the first function that fits.  A value of unknown type fits any
  // parameter, so where the functions that fit differ in it the choice would rest on a type
  // nobody knows: such a reference is refused, as one that no function fits.
  std::vector<std::optional<std::string>> unknownParams(argTypes.size());
  bool restsOnUnknown = false;
  for (const std::string &sc : searchSchemas(s, schema)) {
    for (RoutineDef &d : routinesNamed(s, sc, fname, 'F', functionType)) {
      if (d.params.size() != argTypes.size()) continue;
      std::vector<int> score;
      bool ok = true;
      for (size_t k = 0; k < argTypes.size() && ok; ++k) {
        int dist = promotionDistance(argTypes[k], d.params[k].type);
        if (dist < 0) ok = false;
        score.push_back(dist);
      }
      if (!ok) continue;
      for (size_t k = 0; k < argTypes.size(); ++k) {
        if (!unknownType(argTypes[k])) continue;
        std::string distinct = d.params[k].type.typeSchema + "." + d.params[k].type.typeName;
        if (!unknownParams[k]) unknownParams[k] = distinct;
        else if (*unknownParams[k] != distinct) restsOnUnknown = true;
      }
      // Best fit from the left; on a tie the earlier schema of the path wins.
      if (!best || score < bestScore) {
        best = std::move(d);
        bestScore = std::move(score);
      }
    }
  }
  if (!best || restsOnUnknown) raise(kSqlNoFunction, {schema.empty() ? fname : schema + "." + fname, "FUNCTION"});
  return *best;
}

void refreshRoutines(Session &s) {
  RoutineRuntime *rt = s.routineRuntime();
  if (rt->session == nullptr) {
    rt->session = &s;
    sqlite3_create_function_v2(s.db(), "QUDF", -1, SQLITE_UTF8, &s, qudf, nullptr, nullptr, nullptr);
  }
  rt->defs.clear();
  rt->procedures.clear();
  Stmt st(s.db(), "SELECT ROUTINESCHEMA, SPECIFICNAME FROM \"SYSQUARN.ROUTINES\" WHERE ROUTINETYPE = 'F' AND "
                  "FUNCTIONTYPE = 'T'");
  std::vector<std::pair<std::string, std::string>> tfs;
  while (st.step()) tfs.emplace_back(st.text(0), st.text(1));
  for (const auto &[schema, specific] : tfs) {
    std::optional<RoutineDef> d = loadRoutineDef(s.db(), schema, specific);
    if (d) registerModule(s, *d);
  }
}

}  // namespace quarn
