/*
 * routines_procedure.cpp - CALL of external procedures in the conventions QUARNDARI (one
 * descriptor area, large objects with their extended entries) and SQL (arguments, indicators,
 * SQLSTATE, names, message), the unregistered QUARNDARI entry, and resolution of procedures by
 * name and number of arguments.
 */
#include "routines_call.h"

#include <cstdlib>
#include <optional>

namespace quarn {
namespace {

// The outcome of a procedure's SQLSTATE: 0, or a warning recorded in the session, or throws.
void checkProcedureState(Session &s, const RoutineDef &def, const char *st, const std::string &msg) {
  std::string state(st, strnlen(st, 5));
  if (state == "00000") return;
  std::string name = def.specific.empty() ? def.externalName : def.qualified();
  if (state.size() == 5 && validStateChars(st)) {
    if (state.compare(0, 2, "38") == 0) raiseWithState(kSqlRoutineError, st, {name, def.specific, msg});
    if (state.compare(0, 3, "01H") == 0) {
      s.setWarning(QError{kSqlRoutineWarning, state, {name, def.specific, msg}});
      return;
    }
    if (state.compare(0, 2, "01") == 0) return;
  }
  raise(kSqlRoutineBadState, {name, def.specific, state, msg});
}

// The type of an argument of an unregistered entry that the caller did not describe.
QType typeOfValue(const Value &v) {
  QType t;
  switch (v.kind) {
    case Value::Int: t.base = Base::Integer; break;
    case Value::Real: t.base = Base::Double; break;
    case Value::Blob: t.base = Base::Blob; t.length = std::max<int64_t>(static_cast<int64_t>(v.s.size()), 1024); break;
    case Value::Text:
      if (v.s.size() > 32672) {
        t.base = Base::Clob;
        t.length = static_cast<int64_t>(v.s.size());
      } else {
        t.base = Base::Varchar;
        t.length = std::max<int64_t>(static_cast<int64_t>(v.s.size()), 1024);
      }
      break;
    case Value::Null: t.base = Base::Varchar; t.length = 1024; break;
  }
  return t;
}

// Capacity of a large object of type t in a descriptor area: the value, and for an output the
// declared length (at most 64 MB).
size_t lobCapacity(const RoutineParam &p, const Value &v) {
  size_t cap = v.isNull() ? 0 : v.s.size();
  if (p.mode != "IN") cap = std::max(cap, static_cast<size_t>(std::min<int64_t>(p.type.length, 64 * 1024 * 1024)));
  return cap;
}

// One parameter of a QUARNDARI call: its data buffer (zeroed, owned), indicator and, for a large
// object, its actual length.
struct DariParam {
  std::unique_ptr<char, void (*)(void *)> data{nullptr, std::free};
  size_t cap = 0;
  short ind = -1;
  sqlint32 lobLen = 0;
};

short dariType(const RoutineParam &p, short *len) {
  const QType &t = p.type;
  if (p.locator) {
    *len = 4;
    return t.base == Base::Blob ? SQL_TYP_NBLOB_LOCATOR : t.base == Base::DbClob ? SQL_TYP_NDBCLOB_LOCATOR : SQL_TYP_NCLOB_LOCATOR;
  }
  switch (t.base) {
    case Base::SmallInt: *len = 2; return SQL_TYP_NSMALL;
    case Base::Integer: *len = 4; return SQL_TYP_NINTEGER;
    case Base::BigInt: *len = 8; return SQL_TYP_NBIGINT;
    case Base::Real: *len = 4; return SQL_TYP_NFLOAT;
    case Base::Double: case Base::Decimal: *len = 8; return SQL_TYP_NFLOAT;
    case Base::Date: *len = 10; return SQL_TYP_NDATE;
    case Base::Time: *len = 8; return SQL_TYP_NTIME;
    case Base::Timestamp: *len = 26; return SQL_TYP_NSTAMP;
    case Base::Clob: *len = 0; return SQL_TYP_NCLOB;
    case Base::Blob: *len = 0; return SQL_TYP_NBLOB;
    case Base::DbClob: *len = 0; return SQL_TYP_NDBCLOB;
    case Base::Char: case Base::Graphic: *len = static_cast<short>(std::min<int64_t>(t.length, 32767)); return SQL_TYP_NCHAR;
    case Base::LongVarchar: case Base::LongVargraphic: *len = 32700; return SQL_TYP_NLONG;
    default: *len = static_cast<short>(std::min<int64_t>(t.length > 0 ? t.length : 32672, 32767)); return SQL_TYP_NVARCHAR;
  }
}

// Calls a QUARNDARI entry with a descriptor area built from def's parameters and *args.
void callDari(Session &s, const RoutineDef &def, void *fn, std::vector<Value> *args, std::vector<short> *inds,
              std::vector<uint32_t> *locators) {
  const size_t n = def.params.size();
  bool lobs = false;
  for (const RoutineParam &p : def.params) lobs = lobs || (p.type.isLob() && !p.locator);
  const size_t entries = lobs ? 2 * n : n;
  const size_t areaBytes = static_cast<size_t>(SQLDASIZE(static_cast<sqlint32>(std::max<size_t>(entries, 1))));
  std::unique_ptr<void, void (*)(void *)> area(std::calloc(1, areaBytes), std::free);
  std::vector<DariParam> parms(n);
  if (!area) raise(kSqlNoMemory, {});
  auto *da = static_cast<sqlda *>(area.get());
  std::memcpy(da->sqldaid, SQLDA_EYECATCHER, 8);
  da->sqldabc = static_cast<sqlint32>(areaBytes);
  da->sqln = static_cast<short>(entries);
  da->sqld = static_cast<short>(n);
  for (size_t k = 0; k < n; ++k) {
    const RoutineParam &p = def.params[k];
    const Value &v = (*args)[k];
    DariParam &dp = parms[k];
    sqlvar &var = da->sqlvar[k];
    var.sqltype = dariType(p, &var.sqllen);
    bool lob = p.type.isLob() && !p.locator;
    bool isIn = p.mode != "OUT";
    dp.cap = lob ? lobCapacity(p, v) : static_cast<size_t>(var.sqllen) + (var.sqltype == SQL_TYP_NVARCHAR ? 2 : 0);
    if (var.sqltype == SQL_TYP_NLONG) dp.cap += 2;
    if (isIn && !v.isNull() && !lob && !p.locator && isStringType(p.type)) {
      // A longer input than declared (an unregistered entry's: a registered procedure's
      // arguments fit by now) is passed whole; the entry sees its real length.
      dp.cap = std::max(dp.cap, v.str().size() + 2);
    }
    dp.data.reset(static_cast<char *>(std::calloc(1, dp.cap + 8)));
    if (!dp.data) raise(kSqlNoMemory, {});
    char *b = dp.data.get();
    var.sqldata = b;
    var.sqlind = &dp.ind;
    var.sqlname.length = static_cast<short>(std::min<size_t>(p.name.size(), sizeof var.sqlname.data));
    std::memcpy(var.sqlname.data, p.name.data(), static_cast<size_t>(var.sqlname.length));
    if (lob) {
      auto *ext = reinterpret_cast<sqlvar2 *>(&da->sqlvar[k + n]);
      ext->len.sqllonglen = static_cast<sqlint64>(dp.cap);
      ext->sqldatalen = reinterpret_cast<char *>(&dp.lobLen);
    }
    dp.ind = (!isIn || v.isNull()) ? -1 : 0;
    if (dp.ind < 0) continue;
    if (p.locator) {
      udf_locator id = s.createLocator(v);
      locators->push_back(id);
      std::memcpy(b, &id, sizeof id);
      continue;
    }
    switch (p.type.base) {
      case Base::SmallInt: { short x = static_cast<short>(valueInt(v)); std::memcpy(b, &x, sizeof x); break; }
      case Base::Integer: { sqlint32 x = static_cast<sqlint32>(valueInt(v)); std::memcpy(b, &x, sizeof x); break; }
      case Base::BigInt: { sqlint64 x = valueInt(v); std::memcpy(b, &x, sizeof x); break; }
      case Base::Real: { float x = static_cast<float>(valueDouble(v)); std::memcpy(b, &x, sizeof x); break; }
      case Base::Double: case Base::Decimal: { double x = valueDouble(v); std::memcpy(b, &x, sizeof x); break; }
      case Base::Clob: case Base::Blob: case Base::DbClob:
        std::memcpy(b, v.s.data(), v.s.size());
        dp.lobLen = static_cast<sqlint32>(v.s.size());
        break;
      default: {
        std::string text = v.str();
        if (var.sqltype == SQL_TYP_NVARCHAR || var.sqltype == SQL_TYP_NLONG) {
          unsigned short len = static_cast<unsigned short>(text.size());
          std::memcpy(b, &len, sizeof len);
          std::memcpy(b + 2, text.data(), text.size());
        } else {
          if (static_cast<int64_t>(text.size()) < var.sqllen) text.append(static_cast<size_t>(var.sqllen) - text.size(), ' ');
          std::memcpy(b, text.data(), text.size());
        }
      }
    }
  }
  sqlca ca{};
  std::memcpy(ca.sqlcaid, "SQLCA   ", 8);
  ca.sqlcabc = sizeof ca;
  std::memcpy(ca.sqlstate, "00000", 5);
  {
    SessionScope scope(&s);
    reinterpret_cast<int (*)(void *, void *, sqlda *, sqlca *)>(fn)(nullptr, nullptr, da, &ca);
  }
  if (ca.sqlcode < 0) {
    std::vector<std::string> tokens;
    std::string mc(ca.sqlerrmc, static_cast<size_t>(std::min<int>(std::max<int>(ca.sqlerrml, 0), sizeof ca.sqlerrmc)));
    size_t start = 0;
    while (!mc.empty()) {
      size_t ff = mc.find('\xFF', start);
      tokens.push_back(mc.substr(start, ff == std::string::npos ? std::string::npos : ff - start));
      if (ff == std::string::npos) break;
      start = ff + 1;
    }
    raiseWithState(ca.sqlcode, std::string(ca.sqlstate, 5).c_str(), tokens);
  }
  // Values that come back.
  for (size_t k = 0; k < n; ++k) {
    const RoutineParam &p = def.params[k];
    DariParam &dp = parms[k];
    short &ind = (*inds)[k];
    if (p.mode == "IN" || dp.ind == SQL_IND_NO_RETURN) {
      ind = SQL_IND_NO_RETURN;
      continue;
    }
    const sqlvar &var = da->sqlvar[k];
    const char *b = dp.data.get();
    ind = dp.ind < 0 ? -1 : 0;
    if (ind < 0) {
      (*args)[k] = Value::null();
      continue;
    }
    auto tooLong = [&]() { raise(kSqlRoutineResultTooLong, {def.specific.empty() ? def.externalName : def.qualified(), def.specific}); };
    Value out;
    if (p.locator) {
      udf_locator id;
      std::memcpy(&id, b, sizeof id);
      const Value *v = s.locatorValue(id);
      if (v == nullptr) raise(kSqlLocatorInvalid, {});
      out = p.type.base == Base::Blob ? Value::blob(v->s) : Value::text(v->s);
    } else {
      switch (p.type.base) {
        case Base::SmallInt: case Base::Integer: case Base::BigInt: case Base::Real: case Base::Double:
        case Base::Decimal: out = getNumber(slotOf(p), b).value(); break;
        case Base::Clob: case Base::Blob: case Base::DbClob: {
          if (dp.lobLen < 0 || static_cast<size_t>(dp.lobLen) > dp.cap) tooLong();
          std::string data(b, static_cast<size_t>(dp.lobLen));
          out = p.type.base == Base::Blob ? Value::blob(data) : Value::text(data);
          break;
        }
        default:
          if (var.sqltype == SQL_TYP_NVARCHAR || var.sqltype == SQL_TYP_NLONG) {
            unsigned short len;
            std::memcpy(&len, b, sizeof len);
            if (len + 2u > dp.cap) tooLong();
            out = Value::text(std::string(b + 2, len));
          } else {
            std::string text(b, strnlen(b, dp.cap));
            while (!text.empty() && text.back() == ' ') text.pop_back();
            out = Value::text(text);
          }
      }
    }
    (*args)[k] = std::move(out);
  }
}

// Calls an SQL-convention entry: the parameters, one indicator per parameter, SQLSTATE, the
// qualified and specific names and the diagnostic message.
void callSqlStyle(Session &s, const RoutineDef &def, void *fn, std::vector<Value> *args, std::vector<short> *inds,
                  std::vector<uint32_t> *locators) {
  const size_t n = def.params.size();
  std::vector<std::vector<char>> bufs(n);
  std::vector<short> ind(n, -1);
  for (size_t k = 0; k < n; ++k) {
    const RoutineParam &p = def.params[k];
    if (p.mode == "OUT") {
      bufs[k].assign(outputBytes(def, p) + 8, 0);
      continue;
    }
    try {
      putInput(s, p, (*args)[k], &bufs[k], &ind[k], locators);
    } catch (QError &e) {
      // putInput refuses a value with a zero byte without knowing where it stands.
      if (e.sqlcode == kSqlBadArgument) e.tokens = {std::to_string(k + 1), def.qualified()};
      throw;
    }
    if (p.mode == "INOUT" && bufs[k].size() < outputBytes(def, p) + 8) bufs[k].resize(outputBytes(def, p) + 8, 0);
  }
  char sqlstate[SQLUDF_SQLSTATE_LEN + 1 + 2] = "00000";
  char fname[SQLUDF_FQNAME_LEN + 1] = {};
  char specname[SQLUDF_SPECNAME_LEN + 1] = {};
  char msg[SQLUDF_MSGTEXT_LEN + 1 + 8] = {};
  std::snprintf(fname, sizeof fname, "%s", def.qualified().c_str());
  std::snprintf(specname, sizeof specname, "%s", def.specific.c_str());
  std::vector<void *> callArgs;
  for (auto &b : bufs) callArgs.push_back(b.data());
  for (short &i : ind) callArgs.push_back(&i);
  callArgs.push_back(sqlstate);
  callArgs.push_back(fname);
  callArgs.push_back(specname);
  callArgs.push_back(msg);
  if (callArgs.size() > kMaxCallArgs) raise(kSqlNoFunction, {def.qualified(), "PROCEDURE"});
  {
    SessionScope scope(&s);
    callPointers(fn, callArgs);
  }
  checkProcedureState(s, def, sqlstate, std::string(msg, strnlen(msg, SQLUDF_MSGTEXT_LEN)));
  for (size_t k = 0; k < n; ++k) {
    const RoutineParam &p = def.params[k];
    if (p.mode == "IN" || ind[k] == SQL_IND_NO_RETURN) {
      (*inds)[k] = SQL_IND_NO_RETURN;
      continue;
    }
    if (p.type.isLob() && !p.locator) {
      sqlint32 len;
      std::memcpy(&len, bufs[k].data(), sizeof len);
      if (ind[k] >= 0 && (len < 0 || static_cast<size_t>(len) + sizeof len > bufs[k].size()))
        raise(kSqlRoutineResultTooLong, {def.qualified(), def.specific});
    }
    RoutineParam q = p;
    if (isStringType(p.type)) q.type.length = static_cast<int64_t>(bufs[k].size()) - 9;
    (*args)[k] = resultValue(s, def, q, bufs[k], ind[k]);
    (*inds)[k] = ind[k] < 0 ? -1 : 0;
  }
}

// The arguments of the IN and INOUT parameters of def as assigned to their types: a number by
// the rules of CAST (QCAST: -413 22003 out of the type's range, -420 22018 for text that is no
// number; a fraction is cut), a string longer than a parameter of a registered procedure as a
// function argument is (fitArgument: -433 22001 unless only blanks are cut).  The parameters of
// an unregistered entry are typed by the arguments themselves, so their lengths hold them.
void assignArguments(Session &s, const RoutineDef &def, std::vector<Value> *args) {
  std::optional<Stmt> cast;
  for (size_t k = 0; k < def.params.size(); ++k) {
    const RoutineParam &p = def.params[k];
    Value &v = (*args)[k];
    if (p.mode == "OUT" || p.locator || v.isNull()) continue;
    if (slotOf(p) != Slot::None) {
      QType builtin = p.type;
      builtin.typeSchema.clear();
      builtin.typeName.clear();
      // An unregistered entry's DECIMAL is the static type of an expression, whose precision
      // is the translator's estimate; the entry takes it as a double in any case.
      if (def.specific.empty() && builtin.base == Base::Decimal) builtin.base = Base::Double;
      if (!cast) cast.emplace(s.db(), "SELECT QCAST(?1, ?2)");
      cast->bind(1, v).bind(2, builtin.sqliteDecl());
      if (!cast->step()) raise(kSqlSystem, {"CALL arguments"});
      v = columnValue(cast->raw(), 0);
      cast->reset();
    } else if (!def.specific.empty() && (v.kind == Value::Text || v.kind == Value::Blob)) {
      v.s.resize(fitArgument(def, p, argOf(v)).bytes.size());
    }
  }
}

// Refuses an unregistered call of entry fn when a routine of the catalogue (any schema) declares
// that entry with another parameter style: the entry reads its arguments as that convention lays
// them out, and handed a descriptor area it would read through pointers that are not there.  An
// entry is the same when the external names are, or when both names find one entry (another
// spelling of the library).  Throws -444 (42724) naming the style.
void refuseOtherConvention(Session &s, const RoutineDef &def, void *fn) {
  const size_t at = def.externalName.find('!');
  const std::string lib = def.externalName.substr(0, at);
  const std::string entry = at == std::string::npos ? def.name : def.externalName.substr(at + 1);
  Stmt st(s.db(), "SELECT ROUTINESCHEMA, ROUTINENAME, SPECIFICNAME, IMPLEMENTATION, PARAMETER_STYLE FROM "
                  "\"SYSQUARN.ROUTINES\" WHERE ORIGIN = 'E' AND IMPLEMENTATION <> '' AND NOT (ROUTINETYPE = 'P' "
                  "AND upper(PARAMETER_STYLE) = 'QUARNDARI')");
  while (st.step()) {
    RoutineDef other;
    other.schema = st.text(0);
    other.name = st.text(1);
    other.specific = st.text(2);
    other.externalName = st.text(3);
    size_t bang = other.externalName.find('!');
    if ((bang == std::string::npos ? other.name : other.externalName.substr(bang + 1)) != entry) continue;
    bool same = other.externalName == def.externalName;
    if (!same) {
      try {
        same = findEntry(other, other.externalName) == fn;
      } catch (const QError &) {
        // The other definition's library or entry is not there: it is not this entry.
      }
    }
    if (same) raise(kSqlRoutineNotLoadable, {def.name, def.specific, lib, entry, "parameter style " + st.text(4)});
  }
}

}  // namespace

RoutineDef entryProcedure(const std::string &externalName) {
  RoutineDef d;
  d.routineType = 'P';
  d.externalName = externalName;
  d.parameterStyle = "QUARNDARI";
  size_t bang = externalName.find('!');
  d.name = bang == std::string::npos ? externalName : externalName.substr(bang + 1);
  return d;
}

int callProcedure(Session &s, const RoutineDef &def0, std::vector<Value> *args, std::vector<short> *inds,
                  const std::vector<QType> &types) {
  RoutineDef def = def0;
  if (def.specific.empty() && def.params.empty()) {
    for (size_t k = 0; k < args->size(); ++k) {
      RoutineParam p;
      p.name = "P" + std::to_string(k + 1);
      p.mode = "INOUT";
      p.type = k < types.size() && types[k].base != Base::None ? types[k] : typeOfValue((*args)[k]);
      def.params.push_back(p);
    }
  }
  if (args->size() != def.params.size())
    raise(kSqlNoFunction, {def.specific.empty() ? def.externalName : def.qualified(), "PROCEDURE"});
  inds->resize(args->size(), 0);
  for (size_t k = 0; k < args->size(); ++k)
    if ((*inds)[k] < 0) (*args)[k] = Value::null();
  assignArguments(s, def, args);
  void *fn = findEntry(def, def.externalName);
  if (def.specific.empty()) refuseOtherConvention(s, def, fn);
  RoutineRuntime &rt = *s.routineRuntime();
  size_t mark = createdMark(rt);
  std::vector<uint32_t> locators;
  try {
    std::string style = def.parameterStyle;
    for (char &c : style) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (style == "SQL") callSqlStyle(s, def, fn, args, inds, &locators);
    else callDari(s, def, fn, args, inds, &locators);
  } catch (...) {
    freeLocators(s, &locators);
    freeCreated(s, rt, mark);
    throw;
  }
  freeLocators(s, &locators);
  freeCreated(s, rt, mark);
  return 0;
}

RoutineDef resolveProcedure(Session &s, const std::string &schema, const std::string &name, size_t nArgs) {
  std::vector<std::string> schemas = searchSchemas(s, schema);
  // The key holds the schemas searched, so a changed function path finds its own answer.
  std::string key;
  for (const std::string &sc : schemas) key += sc + '\x1F';
  key += '\x1E' + name + '\x1E' + std::to_string(nArgs);
  std::map<std::string, std::shared_ptr<const RoutineDef>> &known = s.routineRuntime()->procedures;
  auto it = known.find(key);
  if (it != known.end()) return *it->second;
  for (const std::string &sc : schemas) {
    for (RoutineDef &d : routinesNamed(s, sc, name, 'P', 0))
      if (d.params.size() == nArgs) {
        auto kept = std::make_shared<const RoutineDef>(std::move(d));
        known[key] = kept;
        return *kept;
      }
  }
  raise(kSqlNoFunction, {schema.empty() ? name : schema + "." + name, "PROCEDURE"});
}

}  // namespace quarn
