/*
 * routines_scalar.cpp - calls of external scalar functions: the SQL function QUDF, whose state
 * per reference and statement execution (frame, scratchpad, first/normal/final call) is the
 * auxiliary data of its constant key, and the short path of functions of fixed-size numbers.
 */
#include "routines_call.h"

namespace quarn {

void FrameDeleter::operator()(Frame *f) const { delete f; }

// Spare frames a session keeps: one per function of a trigger body is enough.
constexpr size_t kMaxSpareFrames = 16;

std::unique_ptr<Frame> frameFor(Session &s, const std::shared_ptr<const RoutineDef> &def, bool table) {
  std::vector<SpareFrame> &spares = s.routineRuntime()->spareFrames;
  for (size_t k = spares.size(); k-- > 0;) {
    if (spares[k].def != def) continue;
    std::unique_ptr<Frame> f(spares[k].frame.release());
    spares.erase(spares.begin() + static_cast<std::ptrdiff_t>(k));
    return f;
  }
  return std::make_unique<Frame>(s, *def, table);
}

// A kept frame's buffers are reused as a site's own are from one call to the next: the inputs
// are written before each call, the results cleared, the state and message reset.
void spareFrame(Session &s, const std::shared_ptr<const RoutineDef> &def, std::unique_ptr<Frame> frame) {
  RoutineRuntime *rt = s.routineRuntime();
  if (rt == nullptr || frame == nullptr || !frame->argLocators.empty()) return;
  std::vector<SpareFrame> &spares = rt->spareFrames;
  if (spares.size() >= kMaxSpareFrames) spares.erase(spares.begin());
  spares.push_back(SpareFrame{def, std::unique_ptr<Frame, FrameDeleter>(frame.release())});
}

namespace {

// The state of one function reference in one statement execution.
struct ScalarSite {
  Session *session = nullptr;
  std::shared_ptr<const RoutineDef> def;
  void *fn = nullptr;
  std::unique_ptr<Frame> frame;
  sqludf_scratchpad pad{};
  bool called = false;
  // For the short path of fixed-size numbers: each parameter's slot and place in the frame,
  // and the slot of the result.
  struct FixedInput {
    Slot slot;
    char *buf;
    short *ind;
  };
  std::vector<FixedInput> fixedInputs;
  Slot outSlot = Slot::None;
  bool fixed = false;  // every parameter and the result have a slot

  ~ScalarSite() {
    if (called && def->finalCall && fn != nullptr) {
      // The final call: inputs are null.
      std::fill(frame->inInd.begin(), frame->inInd.end(), static_cast<short>(-1));
      try {
        size_t mark = createdMark(*session->routineRuntime());
        frame->invoke(*session, fn, &pad, SQLUDF_FINAL_CALL);
        freeCreated(*session, *session->routineRuntime(), mark);
      } catch (const QError &) {
      }
    }
    try {
      spareFrame(*session, def, std::move(frame));
    } catch (...) {
    }
  }
};

void destroySite(void *p) { delete static_cast<ScalarSite *>(p); }

// Puts a fixed-size number input from v; false when v is text or a blob, which the general
// conversion reads as a number.
inline bool putFixedInput(const ScalarSite::FixedInput &in, sqlite3_value *v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: {
      int64_t i = sqlite3_value_int64(v);
      putNumber(in.slot, in.buf, i, static_cast<double>(i));
      *in.ind = 0;
      return true;
    }
    case SQLITE_FLOAT: {
      double d = sqlite3_value_double(v);
      putNumber(in.slot, in.buf, static_cast<int64_t>(d), d);
      *in.ind = 0;
      return true;
    }
    case SQLITE_NULL:
      std::memset(in.buf, 0, kNumberBuffer);
      *in.ind = -1;
      return true;
    default: return false;
  }
}

// The call of a function whose parameters and result are all fixed-size numbers, the usual
// shape of small computational functions: the same protocol as the general path, without its
// conversions.  The input buffers were made kNumberBuffer bytes and never move, the result
// buffer is small and cleared whole, and no locator is passed.  False (nothing called) when an
// argument needs the general conversion.
bool fixedCall(Session &s, ScalarSite &site, sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  Frame &f = *site.frame;
  bool anyNull = false;
  const ScalarSite::FixedInput *in = site.fixedInputs.data();
  for (int k = 1; k < argc; ++k, ++in) {
    if (!putFixedInput(*in, argv[k])) return false;
    anyNull |= *in->ind < 0;
  }
  const RoutineDef &def = *site.def;
  if (anyNull && !def.nullCall) {
    sqlite3_result_null(ctx);
    return true;
  }
  if (site.fn == nullptr) site.fn = findEntry(def, def.externalName);
  std::vector<char> &out = f.out[0];
  std::memset(out.data(), 0, kNumberBuffer);  // the whole buffer of a number
  f.outInd[0] = -1;
  RoutineRuntime &rt = *s.routineRuntime();
  size_t mark = createdMark(rt);
  int type = site.called ? SQLUDF_NORMAL_CALL : SQLUDF_FIRST_CALL;
  site.called = true;
  f.call(s, site.fn, &site.pad, type);
  // A function with no locator argument may still have created locators; none outlive the call.
  freeCreated(s, rt, mark);
  checkState(s, f, false);
  if (f.outInd[0] < 0) {
    sqlite3_result_null(ctx);
    return true;
  }
  const char *b = out.data();
  const ArgRef r = getNumber(site.outSlot, b);
  if (r.kind == Value::Int) sqlite3_result_int64(ctx, r.i);
  else sqlite3_result_double(ctx, r.d);
  return true;
}

ScalarSite *newSite(Session &s, sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  auto fresh = std::make_unique<ScalarSite>();
  fresh->session = &s;
  fresh->def = cachedDef(s, reinterpret_cast<const char *>(sqlite3_value_text(argv[0])));
  const RoutineDef &def = *fresh->def;
  if (static_cast<size_t>(argc - 1) != def.params.size()) raise(kSqlNoFunction, {def.qualified(), "FUNCTION"});
  fresh->frame = frameFor(s, fresh->def, false);
  fresh->pad.length = SQLUDF_SCRATCHPAD_LEN;
  fresh->outSlot = slotOf(def.result);
  fresh->fixed = fresh->outSlot != Slot::None && !def.castFrom && fresh->frame->out[0].size() == kNumberBuffer;
  for (size_t k = 0; k < def.params.size(); ++k) {
    Slot slot = slotOf(def.params[k]);
    fresh->fixedInputs.push_back({slot, fresh->frame->in[k].data(), &fresh->frame->inInd[k]});
    fresh->fixed = fresh->fixed && slot != Slot::None;
  }
  sqlite3_set_auxdata(ctx, 0, fresh.release(), destroySite);
  auto *site = static_cast<ScalarSite *>(sqlite3_get_auxdata(ctx, 0));
  if (site == nullptr) raise(kSqlSystem, {"function state lost"});
  return site;
}

}  // namespace

void qudf(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  try {
    auto *site = static_cast<ScalarSite *>(sqlite3_get_auxdata(ctx, 0));
    if (site == nullptr) site = newSite(*static_cast<Session *>(sqlite3_user_data(ctx)), ctx, argc, argv);
    Session *s = site->session;
    if (site->fixed && fixedCall(*s, *site, ctx, argc, argv)) return;
    const RoutineDef &def = *site->def;
    Frame &f = *site->frame;
    bool anyNull = false;
    for (int k = 1; k < argc; ++k) {
      ArgRef v = argOf(argv[k]);
      anyNull = anyNull || v.isNull();
      try {
        f.setInput(*s, static_cast<size_t>(k - 1), v);
      } catch (QError &e) {
        // putInput refuses a value with a zero byte without knowing where it stands.
        if (e.sqlcode == kSqlBadArgument) e.tokens = {std::to_string(k), def.qualified()};
        freeLocators(*s, &f.argLocators);
        throw;
      }
    }
    if (anyNull && !def.nullCall) {
      freeLocators(*s, &f.argLocators);
      sqlite3_result_null(ctx);
      return;
    }
    if (site->fn == nullptr) site->fn = findEntry(def, def.externalName);
    RoutineRuntime &rt = *s->routineRuntime();
    size_t mark = createdMark(rt);
    int type = site->called ? SQLUDF_NORMAL_CALL : SQLUDF_FIRST_CALL;
    site->called = true;
    try {
      f.invoke(*s, site->fn, &site->pad, type);
      checkState(*s, f, false);
      // SQLite copies the value before the locators it may live in are freed.
      ArgRef r = readResult(*s, def, def.written(), f.out[0], f.outInd[0]);
      if (def.castFrom) r = castResult(def, r);
      setResult(ctx, r);
      freeCreated(*s, rt, mark);
      freeLocators(*s, &f.argLocators);
    } catch (...) {
      freeCreated(*s, rt, mark);
      freeLocators(*s, &f.argLocators);
      throw;
    }
  } catch (const QError &e) {
    resultError(ctx, e);
  }
}

}  // namespace quarn
