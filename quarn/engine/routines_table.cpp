/*
 * routines_table.cpp - calls of external table functions: an eponymous virtual table per
 * function whose hidden columns are the arguments, with the first/open/fetch/close/final
 * protocol per cursor.
 */
#include "routines_call.h"

namespace quarn {
namespace {

struct TfModule {
  Session *session;
  std::string key;
};

struct TfTable {
  sqlite3_vtab base{};
  Session *session = nullptr;
  std::shared_ptr<const RoutineDef> def;
};

struct TfCursor {
  sqlite3_vtab_cursor base{};
  std::unique_ptr<Frame> frame;
  sqludf_scratchpad pad{};
  void *fn = nullptr;
  bool first = false, open = false, eof = true;
  std::vector<Value> args, row;
  sqlite3_int64 rowid = 0;
};

int vtabError(sqlite3_vtab *tab, const QError &e) {
  sqlite3_free(tab->zErrMsg);
  std::string m = encodeError(e);
  tab->zErrMsg = sqlite3_mprintf("%s", m.c_str());
  return SQLITE_ERROR;
}

int tfConnect(sqlite3 *db, void *aux, int, const char *const *, sqlite3_vtab **out, char **err) {
  auto *m = static_cast<TfModule *>(aux);
  try {
    std::shared_ptr<const RoutineDef> def = cachedDef(*m->session, m->key);
    std::string decl = "CREATE TABLE x(";
    for (size_t k = 0; k < def->columns.size(); ++k)
      decl += (k ? ", " : "") + quoteIdent(def->columns[k].name) + " " + def->columns[k].type.sqliteDecl();
    for (size_t k = 0; k < def->params.size(); ++k)
      decl += std::string(def->columns.empty() && k == 0 ? "" : ", ") + "\"QARG" + std::to_string(k + 1) + "\" HIDDEN";
    decl += ")";
    int rc = sqlite3_declare_vtab(db, decl.c_str());
    if (rc != SQLITE_OK) return rc;
    auto *t = new TfTable();
    t->session = m->session;
    t->def = def;
    *out = &t->base;
    return SQLITE_OK;
  } catch (const QError &e) {
    std::string msg = encodeError(e);
    *err = sqlite3_mprintf("%s", msg.c_str());
    return SQLITE_ERROR;
  }
}

int tfDisconnect(sqlite3_vtab *v) {
  delete reinterpret_cast<TfTable *>(v);
  return SQLITE_OK;
}

int tfBestIndex(sqlite3_vtab *v, sqlite3_index_info *info) {
  auto *t = reinterpret_cast<TfTable *>(v);
  int nCols = static_cast<int>(t->def->columns.size());
  int nArgs = static_cast<int>(t->def->params.size());
  std::vector<int> found(static_cast<size_t>(nArgs), -1);
  for (int k = 0; k < info->nConstraint; ++k) {
    const auto &c = info->aConstraint[k];
    int arg = c.iColumn - nCols;
    if (arg < 0 || arg >= nArgs || c.op != SQLITE_INDEX_CONSTRAINT_EQ) continue;
    if (!c.usable) return SQLITE_CONSTRAINT;
    found[static_cast<size_t>(arg)] = k;
  }
  for (int a = 0; a < nArgs; ++a) {
    if (found[static_cast<size_t>(a)] < 0) return SQLITE_CONSTRAINT;
    info->aConstraintUsage[found[static_cast<size_t>(a)]].argvIndex = a + 1;
    info->aConstraintUsage[found[static_cast<size_t>(a)]].omit = 1;
  }
  // idxNum 1: the statement reads an argument column, so the scan keeps the arguments' values.
  // Columns from the 64th on share the last bit of colUsed.
  info->idxNum = 0;
  for (int a = 0; a < nArgs; ++a)
    if (info->colUsed & (sqlite3_uint64{1} << std::min(nCols + a, 63))) info->idxNum = 1;
  info->estimatedCost = 1000;
  info->estimatedRows = 100;
  return SQLITE_OK;
}

int tfOpen(sqlite3_vtab *v, sqlite3_vtab_cursor **out) {
  auto *t = reinterpret_cast<TfTable *>(v);
  auto *c = new TfCursor();
  c->frame = frameFor(*t->session, t->def, true);
  c->pad.length = SQLUDF_SCRATCHPAD_LEN;
  *out = &c->base;
  return SQLITE_OK;
}

// One call of the table function under cursor c; fetch rows are read into c->row.
void tfCall(TfTable *t, TfCursor *c, int type) {
  Session &s = *t->session;
  RoutineRuntime &rt = *s.routineRuntime();
  size_t mark = createdMark(rt);
  try {
    c->frame->invoke(s, c->fn, &c->pad, type);
    int end = checkState(s, *c->frame, type == SQLUDF_TF_FETCH);
    if (type == SQLUDF_TF_FETCH) {
      if (end) {
        c->eof = true;
      } else {
        const RoutineDef &def = *t->def;
        c->row.resize(def.columns.size());
        for (size_t k = 0; k < def.columns.size(); ++k)
          assignValue(&c->row[k], readResult(s, def, def.columns[k], c->frame->out[k], c->frame->outInd[k]));
        ++c->rowid;
      }
    }
    freeCreated(s, rt, mark);
  } catch (...) {
    freeCreated(s, rt, mark);
    throw;
  }
}

void tfCloseScan(TfTable *t, TfCursor *c) {
  if (!c->open) return;
  c->open = false;
  try {
    tfCall(t, c, SQLUDF_TF_CLOSE);
  } catch (...) {
    freeLocators(*t->session, &c->frame->argLocators);
    throw;
  }
  freeLocators(*t->session, &c->frame->argLocators);
}

int tfClose(sqlite3_vtab_cursor *cur) {
  auto *c = reinterpret_cast<TfCursor *>(cur);
  auto *t = reinterpret_cast<TfTable *>(cur->pVtab);
  try {
    tfCloseScan(t, c);
  } catch (const QError &) {
  }
  if (c->first && t->def->finalCall) {
    try {
      std::fill(c->frame->inInd.begin(), c->frame->inInd.end(), static_cast<short>(-1));
      tfCall(t, c, SQLUDF_TF_FINAL);
    } catch (const QError &) {
    }
  }
  try {
    spareFrame(*t->session, t->def, std::move(c->frame));
  } catch (...) {
  }
  delete c;
  return SQLITE_OK;
}

int tfFilter(sqlite3_vtab_cursor *cur, int idxNum, const char *, int argc, sqlite3_value **argv) {
  auto *c = reinterpret_cast<TfCursor *>(cur);
  auto *t = reinterpret_cast<TfTable *>(cur->pVtab);
  Session &s = *t->session;
  try {
    tfCloseScan(t, c);
    const RoutineDef &def = *t->def;
    const size_t nArgs = std::min(static_cast<size_t>(std::max(argc, 0)), def.params.size());
    const bool keepArgs = (idxNum & 1) != 0;
    c->args.resize(keepArgs ? nArgs : 0);
    bool anyNull = false;
    for (size_t k = 0; k < nArgs; ++k) {
      ArgRef v = argOf(argv[k]);
      if (keepArgs) assignValue(&c->args[k], v);  // for the argument columns the statement reads
      anyNull = anyNull || v.isNull();
      try {
        c->frame->setInput(s, k, v);
      } catch (QError &e) {
        // putInput refuses a value with a zero byte without knowing where it stands.
        if (e.sqlcode == kSqlBadArgument) e.tokens = {std::to_string(k + 1), def.qualified()};
        freeLocators(s, &c->frame->argLocators);
        throw;
      }
    }
    c->eof = false;
    if (anyNull && !def.nullCall) {
      freeLocators(s, &c->frame->argLocators);
      c->eof = true;
      return SQLITE_OK;
    }
    if (c->fn == nullptr) c->fn = findEntry(def, def.externalName);
    if (!c->first && def.finalCall) {
      c->first = true;
      tfCall(t, c, SQLUDF_TF_FIRST);
    }
    c->first = true;
    c->open = true;
    tfCall(t, c, SQLUDF_TF_OPEN);
    tfCall(t, c, SQLUDF_TF_FETCH);
    if (c->eof) tfCloseScan(t, c);
    return SQLITE_OK;
  } catch (const QError &e) {
    return vtabError(cur->pVtab, e);
  }
}

int tfNext(sqlite3_vtab_cursor *cur) {
  auto *c = reinterpret_cast<TfCursor *>(cur);
  auto *t = reinterpret_cast<TfTable *>(cur->pVtab);
  try {
    tfCall(t, c, SQLUDF_TF_FETCH);
    if (c->eof) tfCloseScan(t, c);
    return SQLITE_OK;
  } catch (const QError &e) {
    return vtabError(cur->pVtab, e);
  }
}

int tfEof(sqlite3_vtab_cursor *cur) { return reinterpret_cast<TfCursor *>(cur)->eof ? 1 : 0; }

int tfColumn(sqlite3_vtab_cursor *cur, sqlite3_context *ctx, int i) {
  auto *c = reinterpret_cast<TfCursor *>(cur);
  const size_t nCols = reinterpret_cast<TfTable *>(cur->pVtab)->def->columns.size();
  size_t k = static_cast<size_t>(i);
  if (k < nCols && k < c->row.size()) setResult(ctx, c->row[k]);
  else if (k >= nCols && k - nCols < c->args.size()) setResult(ctx, c->args[k - nCols]);
  else sqlite3_result_null(ctx);
  return SQLITE_OK;
}

int tfRowid(sqlite3_vtab_cursor *cur, sqlite3_int64 *rowid) {
  *rowid = reinterpret_cast<TfCursor *>(cur)->rowid;
  return SQLITE_OK;
}

const sqlite3_module kTableFunctionModule = {
    0,        nullptr,  tfConnect, tfBestIndex, tfDisconnect, nullptr, tfOpen,  tfClose, tfFilter, tfNext, tfEof,
    tfColumn, tfRowid,  nullptr,   nullptr,     nullptr,      nullptr, nullptr, nullptr, nullptr,  nullptr, nullptr,
    nullptr,  nullptr};

void destroyModule(void *p) { delete static_cast<TfModule *>(p); }

std::string defStamp(const RoutineDef &d) {
  std::string s = d.externalName + "|" + std::to_string(d.params.size());
  for (const RoutineParam &c : d.columns) s += "|" + c.name + " " + c.type.sqliteDecl();
  return s;
}

}  // namespace

std::string moduleName(const std::string &schema, const std::string &specific) {
  return "QTF:" + schema + "." + specific;
}

void registerModule(Session &s, const RoutineDef &def) {
  RoutineRuntime &rt = *s.routineRuntime();
  std::string name = moduleName(def.schema, def.specific);
  std::string stamp = defStamp(def);
  auto it = rt.modules.find(name);
  if (it != rt.modules.end() && it->second == stamp) return;
  auto *m = new TfModule{&s, functionKey(def)};
  sqlite3_create_module_v2(s.db(), name.c_str(), &kTableFunctionModule, m, destroyModule);
  rt.modules[name] = stamp;
}

std::string tableFunctionModule(Session &s, const RoutineDef &def) {
  registerModule(s, def);
  return moduleName(def.schema, def.specific);
}

}  // namespace quarn
