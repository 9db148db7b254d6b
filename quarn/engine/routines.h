/*
 * routines.h - external routines: their catalog definitions, static resolution of function
 * references by argument types, the libraries they live in, and the call conventions.
 *
 * A scalar function reference is translated into the SQL function QUDF(key, args...) whose
 * first argument is the constant key "SCHEMA<0x1F>SPECIFIC"; the state of one reference in
 * one statement execution (scratchpad, first/final call) is that argument's auxiliary data, so
 * SQLite frees it, and the engine makes the final call, when the statement ends.  A table
 * function is an eponymous virtual table "QTF:SCHEMA.SPECIFIC" whose hidden columns are the
 * arguments.  Procedures are called by callProcedure.
 *
 * Libraries are opened on first call and stay loaded for the life of the process; the table of
 * loaded libraries is shared and guarded by a mutex.  Everything else works on one session,
 * used by one thread at a time.
 */
#ifndef QUARN_ENGINE_ROUTINES_H
#define QUARN_ENGINE_ROUTINES_H

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ddl.h"
#include "sqlutil.h"
#include "types.h"

struct sqlite3;

namespace quarn {

class Session;

// A routine as the catalog records it.
struct RoutineDef {
  std::string schema, name, specific;
  char routineType = 'F', functionType = 'S', origin = 'E';
  std::vector<RoutineParam> params;
  RoutineParam result;
  std::optional<RoutineParam> castFrom;  // RETURNS result CAST FROM castFrom
  std::vector<RoutineParam> columns;
  std::string externalName, parameterStyle;
  std::string sourceSchema, sourceSpecific;
  bool nullCall = true, scratchpad = false, finalCall = false, dbinfo = false;
  // The entry findEntry last found for this definition, and the external name it was found
  // for.  A definition belongs to one session's runtime, used by one thread at a time.
  mutable void *entry = nullptr;
  mutable std::string entryOf;
  std::string qualified() const { return schema + "." + name; }
  // The declaration of what a scalar function writes into its result buffer.
  const RoutineParam &written() const { return castFrom ? *castFrom : result; }
};

// The most bytes an external routine may be given for one output value (a result, a table
// function column, an OUT parameter) held by value.
constexpr int64_t kMaxOutputValueBytes = 16 * 1024 * 1024;

// Refuses at definition what the call convention could not honour: an output held by value
// whose declared type needs more than kMaxOutputValueBytes (-604, 42611), and a CAST FROM type
// that does not cast to the declared result (-461, 42846).
void checkRoutineOutputs(const RoutineDecl &decl);

// The definition of schema.specific (functions and procedures); nullopt when there is none.
std::optional<RoutineDef> loadRoutineDef(sqlite3 *db, const std::string &schema, const std::string &specific);

// Chooses the function fname of functionType ('S' scalar, 'T' table) that best fits argTypes
// (Base::None: type unknown, fits any parameter) over schema, or over the session's function
// path when schema is empty.  Throws -440 (42884) when none fits, and when the functions that
// fit differ in the distinct type of a parameter whose argument's type is unknown (the choice
// would rest on that unknown type).
RoutineDef resolveFunction(Session &s, const std::string &schema, const std::string &fname, char functionType,
                           const std::vector<QType> &argTypes);

// The SQLite name of the eponymous table of table function def, registering its module on the
// session's connection when it is not there yet.
std::string tableFunctionModule(Session &s, const RoutineDef &def);

// The key QUDF's first argument carries for def.
std::string functionKey(const RoutineDef &def);
// The name of the eponymous table of the table function schema.specific: "QTF:SCHEMA.SPECIFIC".
std::string moduleName(const std::string &schema, const std::string &specific);

// Registers QUDF and the modules of all table functions of the catalog on the session's
// connection, dropping what was loaded for an older catalog.  Called when a session opens and
// whenever the catalog generation changes.
void refreshRoutines(Session &s);

// The per-session state of routine calls.
struct Frame;
// Deletes a frame (routines_scalar.cpp, where it is a complete type).
struct FrameDeleter {
  void operator()(Frame *f) const;
};

// A call frame kept after its call site ended, with the definition it was made for.
struct SpareFrame {
  std::shared_ptr<const RoutineDef> def;
  std::unique_ptr<Frame, FrameDeleter> frame;
};

struct RoutineRuntime {
  Session *session = nullptr;                                      // set by the first refreshRoutines
  std::map<std::string, std::shared_ptr<const RoutineDef>> defs;  // by functionKey
  std::map<std::string, std::string> modules;                     // table function module -> definition stamp
  // CALL targets already resolved, by the schemas searched, the name and the number of
  // arguments: a procedure called once per document is looked up in the catalogue once.
  std::map<std::string, std::shared_ptr<const RoutineDef>> procedures;
  std::deque<uint32_t> created;  // locators routines created in the calls under way
  // Frames of scalar call sites that ended, for the next site of the same definition: a
  // function in a trigger gets a site of its own at every firing, and making its argument
  // buffers cost more than the call.  At most a few (routines_scalar.cpp).
  std::vector<SpareFrame> spareFrames;
};

// CALL: runs procedure def (or the unregistered QUARNDARI entry def.externalName =
// 'library!entry' when def has no specific name; its parameters are then all INOUT, typed by
// types or, where types has no entry, by the values) with args, one per parameter, in the
// session s as the thread's current session.  On return (*args)[k] holds the value that came
// back and (*inds)[k] its indicator (0 value, -1 null), or -128 when parameter k does not come
// back (an IN parameter, or one the routine marked -128).  Arguments are first assigned to their
// parameters' types: a number as CAST converts it (-413 22003 out of range, -420 22018 text that
// is no number), a string longer than a parameter of a registered procedure -433 (22001) unless
// only blanks are cut.  Throws QError (-444 cannot load, and for an unregistered entry a library
// given by path or an entry a routine of the catalogue declares with another parameter style;
// -443 error SQLSTATE, -440 wrong number of arguments, -450 a result longer than its
// parameter, -463 a bad SQLSTATE, or the SQLCODE a QUARNDARI entry left in its communication
// area).  Returns 0 or a positive warning (+462) the statement reports.
int callProcedure(Session &s, const RoutineDef &def, std::vector<Value> *args, std::vector<short> *inds,
                  const std::vector<QType> &types = {});

// The definition of an unregistered QUARNDARI entry 'library!entry' (specific name empty).
RoutineDef entryProcedure(const std::string &externalName);

// Procedures named name in schema (or on the path when schema is empty) with nArgs parameters.
// Throws -440 when none fits.  Answers are kept until the catalogue changes (refreshRoutines).
RoutineDef resolveProcedure(Session &s, const std::string &schema, const std::string &name, size_t nArgs);

// The directories searched for a routine library, in order: $QUARN_FUNCTION_DIR,
// <QUARNPATH>/function, the directory holding the engine's own library.
std::vector<std::string> routineLibraryDirs();

}  // namespace quarn

#endif  // QUARN_ENGINE_ROUTINES_H
