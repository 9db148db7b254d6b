/*
 * quarnpatternguard.cpp - counts the steps of the parser library's pattern matcher and stops
 * it when a parse's account is spent (see quarnpatternguard.h).
 *
 * The matcher's entry and its steps are member functions that the library calls through its
 * own table of resolved addresses (its global offset table), as it calls every function it
 * exports.  quarnPatternGuardInstall writes the addresses of the counting versions into those
 * entries of the library's table, and quarnPatternGuardRemove writes the library's own back
 * before this library is unloaded.  Only the library's calls change: its functions stay as
 * they are, and anyone else calling them directly is not counted.
 */
#include "quarnpatternguard.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/regx/RegularExpression.hpp>

#include <cstddef>
#include <cstring>

#include "quarnpatternguard_install.h"

QuarnPatternWorkExceeded::~QuarnPatternWorkExceeded() = default;

namespace {

using xercesc::RegularExpression;

// Names the matcher's protected parts: the context of one match and the functions counted.
struct Matcher : RegularExpression {
  using RegularExpression::Context;
  using RegularExpression::matchChar;
  using RegularExpression::matchDot;
  using RegularExpression::matchRange;
  using RegularExpression::matchString;
  using RegularExpression::matchUnion;
};
using Context = Matcher::Context;
using Self = const RegularExpression *;

// A member function called as a plain one: the object first, then the arguments.
using CharStep = bool (*)(Self, Context *, XMLInt32, XMLSize_t &, bool);
using DotStep = bool (*)(Self, Context *, XMLSize_t &);
using RangeStep = bool (*)(Self, Context *, const xercesc::Op *, XMLSize_t &, bool);
using StringStep = bool (*)(Self, Context *, const XMLCh *, XMLSize_t &, bool);
using UnionStep = int (*)(Self, Context *, const xercesc::Op *, XMLSize_t);
using Entry = bool (*)(Self, const XMLCh *, XMLSize_t, XMLSize_t, xercesc::Match *, xercesc::MemoryManager *);

// The address of a non-virtual member function: the first word of its pointer-to-member.
template <class F>
void *addressOf(F member) {
  struct {
    void *ptr;
    std::ptrdiff_t adjust;
  } rep;
  static_assert(sizeof(F) == sizeof rep, "a pointer to member function is two words");
  std::memcpy(&rep, &member, sizeof rep);
  return rep.ptr;
}

CharStep gChar;
DotStep gDot;
RangeStep gRange;
StringStep gString;
UnionStep gUnion;
Entry gEntry;

// The account a caller opened, and the account of the match running now.  Initial-exec: a step
// reads them without a call (a third of its cost otherwise); the loader keeps room for the few
// bytes of a library loaded later.
#define QUARN_FAST_TLS __attribute__((tls_model("initial-exec"))) thread_local
QUARN_FAST_TLS QuarnPatternWork *tOpened = nullptr;
QUARN_FAST_TLS QuarnPatternWork *tCounting = nullptr;

[[noreturn]] void overrun(QuarnPatternWork *work) {
  work->overrun = true;
  if (work->refuse != nullptr) work->refuse(work);
  throw QuarnPatternWorkExceeded();
}

inline void step() {
  QuarnPatternWork *work = tCounting;
  if (work != nullptr && ++work->steps > work->allowed) overrun(work);
}

bool countChar(Self self, Context *c, XMLInt32 ch, XMLSize_t &offset, bool ignoreCase) {
  step();
  return gChar(self, c, ch, offset, ignoreCase);
}

bool countDot(Self self, Context *c, XMLSize_t &offset) {
  step();
  return gDot(self, c, offset);
}

bool countRange(Self self, Context *c, const xercesc::Op *op, XMLSize_t &offset, bool ignoreCase) {
  step();
  return gRange(self, c, op, offset, ignoreCase);
}

// The library's answer without its measuring of the whole value: the string fits before the
// match's limit, which never lies past the value's end, so only the characters are compared.
bool countString(Self self, Context *c, const XMLCh *literal, XMLSize_t &offset, bool ignoreCase) {
  step();
  if (ignoreCase) return gString(self, c, literal, offset, ignoreCase);
  const XMLSize_t length = xercesc::XMLString::stringLen(literal);
  if (c->fLimit - offset < length) return false;
  if (std::memcmp(c->fString + offset, literal, length * sizeof(XMLCh)) != 0) return false;
  offset += length;
  return true;
}

int countUnion(Self self, Context *c, const xercesc::Op *op, XMLSize_t offset) {
  step();
  return gUnion(self, c, op, offset);
}

bool countEntry(Self self, const XMLCh *value, XMLSize_t start, XMLSize_t end, xercesc::Match *match,
                xercesc::MemoryManager *manager) {
  QuarnPatternWork own;
  QuarnPatternWork *work = tOpened != nullptr ? tOpened : &own;
  if (work->overrun) overrun(work);
  const XMLSize_t chars = end > start ? end - start : 0;
  work->allowed += QUARN_PATTERN_WORK_PER_CHAR * (static_cast<uint64_t>(chars) + 1);
  QuarnPatternWork *outer = tCounting;
  tCounting = work;
  struct Restore {
    QuarnPatternWork *outer;
    ~Restore() { tCounting = outer; }
  } restore{outer};
  return gEntry(self, value, start, end, match, manager);
}

// One entry of the library's table to point elsewhere.
struct Target {
  void *library;  // the library's own function
  void *counting;
  const char *name = nullptr;  // its exported name, found from its address
  int found = 0;
};

Target gTargets[6];
constexpr int kTargets = sizeof gTargets / sizeof gTargets[0];
bool gInstalled = false;

struct Table {
  void *anyFunction;  // one of the library's functions, to know the library by
  bool install;       // write the counting functions (else the library's own)
  int written = 0;
};

bool contains(const dl_phdr_info *info, const void *address) {
  const auto at = reinterpret_cast<ElfW(Addr)>(address);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr) &ph = info->dlpi_phdr[i];
    if (ph.p_type == PT_LOAD && at >= info->dlpi_addr + ph.p_vaddr && at < info->dlpi_addr + ph.p_vaddr + ph.p_memsz)
      return true;
  }
  return false;
}

bool isSlot(ElfW(Xword) info) {
#if defined(__x86_64__)
  const auto type = ELF64_R_TYPE(info);
  return type == R_X86_64_JUMP_SLOT || type == R_X86_64_GLOB_DAT;
#elif defined(__aarch64__)
  const auto type = ELF64_R_TYPE(info);
  return type == R_AARCH64_JUMP_SLOT || type == R_AARCH64_GLOB_DAT;
#else
  (void)info;
  return false;
#endif
}

// Writes one word of the table, opening a read-only page for the moment of the write.  The
// loader protects the whole pages of the part it fills before the library runs (its last page,
// when shared with data, stays writable).
void writeSlot(void **slot, void *value, ElfW(Addr) relroStart, ElfW(Addr) relroEnd) {
  const auto page = static_cast<ElfW(Addr)>(sysconf(_SC_PAGESIZE));
  const auto at = reinterpret_cast<ElfW(Addr)>(slot);
  if (at < (relroStart & ~(page - 1)) || at >= (relroEnd & ~(page - 1))) {
    __atomic_store_n(slot, value, __ATOMIC_RELEASE);
    return;
  }
  void *start = reinterpret_cast<void *>(at & ~(page - 1));
  if (mprotect(start, page, PROT_READ | PROT_WRITE) != 0) return;
  __atomic_store_n(slot, value, __ATOMIC_RELEASE);
  mprotect(start, page, PROT_READ);
}

int visit(dl_phdr_info *info, size_t, void *data) {
  auto *table = static_cast<Table *>(data);
  if (!contains(info, table->anyFunction)) return 0;
  const ElfW(Addr) base = info->dlpi_addr;
  const ElfW(Dyn) *dynamic = nullptr;
  ElfW(Addr) relroStart = 0, relroEnd = 0;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr) &ph = info->dlpi_phdr[i];
    if (ph.p_type == PT_DYNAMIC) dynamic = reinterpret_cast<const ElfW(Dyn) *>(base + ph.p_vaddr);
    if (ph.p_type == PT_GNU_RELRO) {
      relroStart = base + ph.p_vaddr;
      relroEnd = relroStart + ph.p_memsz;
    }
  }
  if (dynamic == nullptr) return 1;
  // The loader may have relocated these addresses in place or not: an address below the
  // library's base is still the one in the file.
  auto at = [base](ElfW(Addr) p) { return p < base ? p + base : p; };
  const ElfW(Sym) *symbols = nullptr;
  const char *names = nullptr;
  const ElfW(Rela) *relocations[2] = {nullptr, nullptr};
  size_t sizes[2] = {0, 0};
  bool rela = true;
  for (const ElfW(Dyn) *d = dynamic; d->d_tag != DT_NULL; ++d) {
    switch (d->d_tag) {
      case DT_SYMTAB: symbols = reinterpret_cast<const ElfW(Sym) *>(at(d->d_un.d_ptr)); break;
      case DT_STRTAB: names = reinterpret_cast<const char *>(at(d->d_un.d_ptr)); break;
      case DT_JMPREL: relocations[0] = reinterpret_cast<const ElfW(Rela) *>(at(d->d_un.d_ptr)); break;
      case DT_PLTRELSZ: sizes[0] = d->d_un.d_val; break;
      case DT_RELA: relocations[1] = reinterpret_cast<const ElfW(Rela) *>(at(d->d_un.d_ptr)); break;
      case DT_RELASZ: sizes[1] = d->d_un.d_val; break;
      case DT_PLTREL: rela = d->d_un.d_val == DT_RELA; break;
      default: break;
    }
  }
  if (symbols == nullptr || names == nullptr || !rela) return 1;
  for (int r = 0; r < 2; ++r) {
    if (relocations[r] == nullptr) continue;
    const size_t n = sizes[r] / sizeof(ElfW(Rela));
    for (size_t i = 0; i < n; ++i) {
      const ElfW(Rela) &rel = relocations[r][i];
      if (!isSlot(rel.r_info)) continue;
      const char *name = names + symbols[ELF64_R_SYM(rel.r_info)].st_name;
      for (Target &t : gTargets) {
        if (t.name == nullptr || std::strcmp(name, t.name) != 0) continue;
        writeSlot(reinterpret_cast<void **>(base + rel.r_offset), table->install ? t.counting : t.library, relroStart,
                  relroEnd);
        if (table->install) ++t.found;
        ++table->written;
      }
    }
  }
  return 1;
}

}  // namespace

bool quarnPatternGuardInstall() {
  gChar = reinterpret_cast<CharStep>(addressOf(&Matcher::matchChar));
  gDot = reinterpret_cast<DotStep>(addressOf(&Matcher::matchDot));
  gRange = reinterpret_cast<RangeStep>(addressOf(&Matcher::matchRange));
  gString = reinterpret_cast<StringStep>(addressOf(&Matcher::matchString));
  gUnion = reinterpret_cast<UnionStep>(addressOf(&Matcher::matchUnion));
  bool (RegularExpression::*entry)(const XMLCh *, XMLSize_t, XMLSize_t, xercesc::Match *, xercesc::MemoryManager *)
      const = &RegularExpression::matches;
  gEntry = reinterpret_cast<Entry>(addressOf(entry));
  const Target targets[kTargets] = {
      {reinterpret_cast<void *>(gChar), reinterpret_cast<void *>(&countChar)},
      {reinterpret_cast<void *>(gDot), reinterpret_cast<void *>(&countDot)},
      {reinterpret_cast<void *>(gRange), reinterpret_cast<void *>(&countRange)},
      {reinterpret_cast<void *>(gString), reinterpret_cast<void *>(&countString)},
      {reinterpret_cast<void *>(gUnion), reinterpret_cast<void *>(&countUnion)},
      {reinterpret_cast<void *>(gEntry), reinterpret_cast<void *>(&countEntry)}};
  for (int i = 0; i < kTargets; ++i) {
    gTargets[i] = targets[i];
    Dl_info where{};
    if (dladdr(gTargets[i].library, &where) == 0 || where.dli_sname == nullptr ||
        where.dli_saddr != gTargets[i].library)
      return false;
    gTargets[i].name = where.dli_sname;
  }
  Table table{reinterpret_cast<void *>(gEntry), true};
  dl_iterate_phdr(visit, &table);
  gInstalled = true;
  for (const Target &t : gTargets) gInstalled = gInstalled && t.found > 0;
  // All or none: a matcher counted in part would be neither bounded nor the library's own.
  if (!gInstalled) quarnPatternGuardRemove();
  return gInstalled;
}

void quarnPatternGuardRemove() {
  if (gEntry == nullptr) return;
  Table table{reinterpret_cast<void *>(gEntry), false};
  dl_iterate_phdr(visit, &table);
  gInstalled = false;
}

void quarnPatternWorkOpen(QuarnPatternWork *work) {
  work->outer = tOpened;
  tOpened = work;
}

void quarnPatternWorkClose(QuarnPatternWork *work) {
  if (tOpened == work) tOpened = work->outer;
}

int quarnPatternGuardInstalled(void) { return gInstalled ? 1 : 0; }
