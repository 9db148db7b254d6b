/*
 * quarnparseguard.cpp - counts the work of the parser library's pattern matcher and of its
 * namespace lookups, and stops a parse whose account is spent (see quarnparseguard.h).
 *
 * The functions counted are member functions that the library calls through its own table of
 * resolved addresses (its global offset table), as it calls every function it exports.
 * quarnParseGuardInstall writes the addresses of the counting versions into those entries of
 * the library's table, and quarnParseGuardRemove writes the library's own back before this
 * library is unloaded.  Only the library's calls change: its functions stay as they are, and
 * anyone else calling them directly is not counted.
 */
#include "quarnparseguard.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/internal/ElemStack.hpp>
#include <xercesc/util/Hashers.hpp>
#include <xercesc/util/RefHash2KeysTableOf.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/regx/RegularExpression.hpp>
#include <xercesc/validators/DTD/DTDValidator.hpp>
#include <xercesc/validators/common/MixedContentModel.hpp>

#include <cstddef>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "quarnmemberof.h"
#include "quarnparseguard_install.h"

// The start-tag table's functions are the library's instance, not one made here.
extern template class xercesc::RefHash2KeysTableOf<xercesc::XMLAttr, xercesc::StringHasher>;

QuarnParseWorkExceeded::~QuarnParseWorkExceeded() = default;

using QuarnAttrTable = xercesc::RefHash2KeysTableOf<xercesc::XMLAttr, xercesc::StringHasher>;

// The private state the counts read: the open elements and the prefix ids of the element
// stack, and the slots of the start tag's attribute table.  The explicit instantiations that
// name them belong to the global namespace, and so do their tags.
#define QUARN_MEMBER(Tag, Class, Kind)   \
  struct Tag {                            \
    using Type = Kind Class::*;           \
    friend Type member(Tag);              \
  }
QUARN_MEMBER(StackRows, xercesc::ElemStack, xercesc::ElemStack::StackElem **);
QUARN_MEMBER(StackTop, xercesc::ElemStack, XMLSize_t);
QUARN_MEMBER(StackPrefixes, xercesc::ElemStack, xercesc::XMLStringPool);
QUARN_MEMBER(StackGlobalId, xercesc::ElemStack, unsigned int);
QUARN_MEMBER(StackXmlId, xercesc::ElemStack, unsigned int);
QUARN_MEMBER(StackXmlnsId, xercesc::ElemStack, unsigned int);
QUARN_MEMBER(StackGlobals, xercesc::ElemStack, xercesc::ElemStack::StackElem *);
QUARN_MEMBER(TableSlots, QuarnAttrTable, xercesc::RefHash2KeysTableBucketElem<xercesc::XMLAttr> **);
QUARN_MEMBER(TableModulus, QuarnAttrTable, XMLSize_t);
QUARN_MEMBER(MixedCount, xercesc::MixedContentModel, XMLSize_t);
QUARN_MEMBER(MixedChildren, xercesc::MixedContentModel, xercesc::QName **);
QUARN_MEMBER(MixedDtd, xercesc::MixedContentModel, bool);
#undef QUARN_MEMBER
// The check of a DTD attribute's token list for repeats, a private member function.
struct TokenListCheck {
  using Type = void (xercesc::DTDValidator::*)(const xercesc::XMLAttDef &, bool);
  friend Type member(TokenListCheck);
};
template struct QuarnMemberOf<TokenListCheck, &xercesc::DTDValidator::checkTokenList>;
template struct QuarnMemberOf<StackRows, &xercesc::ElemStack::fStack>;
template struct QuarnMemberOf<StackTop, &xercesc::ElemStack::fStackTop>;
template struct QuarnMemberOf<StackPrefixes, &xercesc::ElemStack::fPrefixPool>;
template struct QuarnMemberOf<StackGlobalId, &xercesc::ElemStack::fGlobalPoolId>;
template struct QuarnMemberOf<StackXmlId, &xercesc::ElemStack::fXMLPoolId>;
template struct QuarnMemberOf<StackXmlnsId, &xercesc::ElemStack::fXMLNSPoolId>;
template struct QuarnMemberOf<StackGlobals, &xercesc::ElemStack::fGlobalNamespaces>;
template struct QuarnMemberOf<TableSlots, &QuarnAttrTable::fBucketList>;
template struct QuarnMemberOf<TableModulus, &QuarnAttrTable::fHashModulus>;
template struct QuarnMemberOf<MixedCount, &xercesc::MixedContentModel::fCount>;
template struct QuarnMemberOf<MixedChildren, &xercesc::MixedContentModel::fChildren>;
template struct QuarnMemberOf<MixedDtd, &xercesc::MixedContentModel::fDTD>;

namespace {

using xercesc::RegularExpression;

// Names the matcher's protected parts: the context of one match, the functions counted and the
// pattern's text.
struct Matcher : RegularExpression {
  using RegularExpression::Context;
  using RegularExpression::fPattern;
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
using AttrTable = QuarnAttrTable;
using Lookup = unsigned int (*)(const xercesc::ElemStack *, const XMLCh *, bool &);
using AttrPut = void (*)(AttrTable *, void *, int, xercesc::XMLAttr *);
using HasDups = bool (*)(const xercesc::MixedContentModel *);
using TokenCheck = void (*)(xercesc::DTDValidator *, const xercesc::XMLAttDef &, bool);
using InList = bool (*)(const XMLCh *, const XMLCh *);


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
Lookup gLookup;
AttrPut gAttrPut;
HasDups gHasDups;
TokenCheck gTokenCheck;
InList gInList;

// The account a caller opened, and the account of the match running now.  Initial-exec: a step
// reads them without a call (a third of its cost otherwise); the loader keeps room for the few
// bytes of a library loaded later.
#define QUARN_FAST_TLS __attribute__((tls_model("initial-exec"))) thread_local
QUARN_FAST_TLS QuarnParseWork *tOpened = nullptr;
QUARN_FAST_TLS QuarnParseWork *tCounting = nullptr;

[[noreturn]] void overrun(QuarnParseWork *work, QuarnWork by) {
  if (!work->overrun) work->overrunBy = by;
  work->overrun = true;
  if (work->refuse != nullptr) work->refuse(work);
  throw QuarnParseWorkExceeded();
}

inline void step() {
  QuarnParseWork *work = tCounting;
  if (work != nullptr && ++work->patterns.used > work->patterns.allowed) overrun(work, QuarnWork::Patterns);
}

// Adds one name's work to the opened account, and the allowance that comes with the name.
inline void countName(uint64_t work) {
  QuarnParseWork *account = tOpened;
  if (account == nullptr) return;
  if (account->overrun) overrun(account, QuarnWork::Names);
  account->names.used += work;
  account->names.allowed += QUARN_NAME_WORK_PER_NAME;
  if (account->names.used > account->names.allowed) overrun(account, QuarnWork::Names);
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

// The lowest address this thread's stack may reach, found once per thread; 0 when unknown.
QUARN_FAST_TLS uintptr_t tStackLow = 0;
QUARN_FAST_TLS bool tStackKnown = false;

uintptr_t stackLow() {
  if (!tStackKnown) {
    tStackKnown = true;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
      void *low = nullptr;
      size_t size = 0;
      if (pthread_attr_getstack(&attr, &low, &size) == 0) tStackLow = reinterpret_cast<uintptr_t>(low);
      pthread_attr_destroy(&attr);
    }
  }
  return tStackLow;
}

// A choice inside a repeat is matched by a call per repetition, each below the last, so a long
// value could take the whole stack (a million characters against "(a|b)+c?" ended the process).
// The choice that would leave less than QUARN_PATTERN_STACK_RESERVE of the stack ends the match.
constexpr uintptr_t QUARN_PATTERN_STACK_RESERVE = uintptr_t{256} << 10;

int countUnion(Self self, Context *c, const xercesc::Op *op, XMLSize_t offset) {
  step();
  const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  const uintptr_t low = stackLow();
  QuarnParseWork *work = tCounting;
  if (work != nullptr && low != 0 && here > low && here - low < QUARN_PATTERN_STACK_RESERVE)
    overrun(work, QuarnWork::PatternDepth);
  return gUnion(self, c, op, offset);
}

bool countEntry(Self self, const XMLCh *value, XMLSize_t start, XMLSize_t end, xercesc::Match *match,
                xercesc::MemoryManager *manager) {
  QuarnParseWork own;
  QuarnParseWork *work = tOpened != nullptr ? tOpened : &own;
  if (work->overrun) overrun(work, QuarnWork::Patterns);
  const XMLSize_t chars = end > start ? end - start : 0;
  // A pass over a short value may try every choice of the pattern once: a pattern of a thousand
  // alternatives costs a thousand steps on a value of two characters.
  XMLCh *const RegularExpression::*text = &Matcher::fPattern;
  const XMLSize_t patternLength = self->*text != nullptr ? xercesc::XMLString::stringLen(self->*text) : 0;
  work->patterns.allowed += QUARN_PATTERN_WORK_PER_CHAR * (static_cast<uint64_t>(chars) + 1) + patternLength;
  QuarnParseWork *outer = tCounting;
  tCounting = work;
  struct Restore {
    QuarnParseWork *outer;
    ~Restore() { tCounting = outer; }
  } restore{outer};
  return gEntry(self, value, start, end, match, manager);
}

// The lookup's own walk, counted before it is made: from the innermost open element outwards,
// each element and each of its declarations up to the one that maps the prefix, then the
// global declarations.
unsigned int countLookup(const xercesc::ElemStack *stack, const XMLCh *prefix, bool &unknown) {
  if (tOpened != nullptr) {
    const unsigned int id = prefix == nullptr || *prefix == 0 ? stack->*member(StackGlobalId{})
                                                               : (stack->*member(StackPrefixes{})).getId(prefix);
    uint64_t work = 1;
    if (id != 0 && id != stack->*member(StackXmlId{}) && id != stack->*member(StackXmlnsId{})) {
      xercesc::ElemStack::StackElem *const *rows = stack->*member(StackRows{});
      bool found = false;
      for (XMLSize_t level = stack->*member(StackTop{}); level > 0 && !found; --level) {
        const xercesc::ElemStack::StackElem *row = rows[level - 1];
        ++work;
        for (XMLSize_t i = 0; i < row->fMapCount && !found; ++i, ++work) found = row->fMap[i].fPrefId == id;
      }
      const xercesc::ElemStack::StackElem *globals = stack->*member(StackGlobals{});
      if (!found && globals != nullptr) work += globals->fMapCount;
    }
    countName(work);
  }
  return gLookup(stack, prefix, unknown);
}

// A start tag's attribute, put into the table that finds duplicates: the library compares it
// with every attribute of the same slot (the slot follows from the local name alone), once to
// look for it and once to put it.
void countAttrPut(AttrTable *table, void *localName, int uri, xercesc::XMLAttr *attr) {
  if (tOpened != nullptr) {
    const XMLSize_t slot = xercesc::StringHasher().getHashVal(localName, table->*member(TableModulus{}));
    uint64_t work = 1;
    for (const xercesc::RefHash2KeysTableBucketElem<xercesc::XMLAttr> *e = (table->*member(TableSlots{}))[slot];
         e != nullptr; e = e->fNext)
      work += 2;
    countName(work);
  }
  gAttrPut(table, localName, uri, attr);
}

/*
 * Whether a mixed model "(#PCDATA|a|b|...)*" names an element twice.  The library compares every
 * pair of its names as the DTD is read, before any document element (20,000 names: 4.5
 * seconds); a set of the names gives its answer in one pass.  A DTD's names are compared whole,
 * a schema's by namespace and local name, as the library compares them.
 */
bool fastHasDups(const xercesc::MixedContentModel *model) {
  const XMLSize_t n = model->*member(MixedCount{});
  if (n <= 1) return false;
  xercesc::QName *const *children = model->*member(MixedChildren{});
  const bool dtd = model->*member(MixedDtd{});
  try {
    struct Key {
      unsigned int uri;
      std::u16string_view name;
      bool operator==(const Key &o) const { return uri == o.uri && name == o.name; }
    };
    struct Hash {
      size_t operator()(const Key &k) const { return std::hash<std::u16string_view>()(k.name) ^ k.uri; }
    };
    std::unordered_set<Key, Hash> seen;
    seen.reserve(n);
    for (XMLSize_t i = 0; i < n; ++i) {
      const xercesc::QName *q = children[i];
      const Key key = dtd ? Key{0, q->getRawName()} : Key{q->getURI(), q->getLocalPart()};
      if (!seen.insert(key).second) return true;
    }
    return false;
  } catch (const std::bad_alloc &) {
    return gHasDups(model);  // no room for the set: the library's own way
  }
}

/*
 * Whether a DTD attribute's list of values "(v1|v2|...)" (or of notations) names one twice.  The
 * library walks the list once and asks, for each token, whether it is in the rest of the list:
 * a search of the rest each time, so 40,000 values took 3.2 seconds as the DTD was read.  While
 * the library checks one list, its searches are answered from counts of the tokens that follow,
 * made at its first search; each later search must be for the token the previous one's rest
 * began with, and takes it off the counts.  A search of any other shape, a short list, or no room
 * for the counts gets the library's own search, which gives the same answers.
 */
struct TokenCounts {
  bool started = false;
  bool plain = false;  // the library's own search for the rest of this list
  const XMLCh *next = nullptr;  // where the rest searched last began
  std::unordered_map<std::u16string_view, uint32_t> after;  // tokens of that rest, counted
};
QUARN_FAST_TLS TokenCounts *tTokens = nullptr;

// Below this length a list is searched the library's way: its searches cost little.
constexpr XMLSize_t QUARN_TOKEN_LIST_SHORT = 512;

// Counts the tokens of a blank-separated list as the library's search reads it: a token starts
// at the list's start and after each blank, and none starts at its end.
void countTokens(const XMLCh *list, std::unordered_map<std::u16string_view, uint32_t> &into) {
  for (const XMLCh *p = list; *p != 0;) {
    const XMLCh *start = p;
    while (*p != 0 && *p != xercesc::chSpace) ++p;
    ++into[std::u16string_view(start, static_cast<size_t>(p - start))];
    if (*p == 0) break;
    ++p;
  }
}

bool fastInList(const XMLCh *token, const XMLCh *list) {
  TokenCounts *counts = tTokens;
  if (counts == nullptr || counts->plain) return gInList(token, list);
  const std::u16string_view name(token, xercesc::XMLString::stringLen(token));
  if (!counts->started) {
    counts->started = true;
    if (xercesc::XMLString::stringLen(list) < QUARN_TOKEN_LIST_SHORT) {
      counts->plain = true;
      return gInList(token, list);
    }
    try {
      countTokens(list, counts->after);
    } catch (const std::bad_alloc &) {
      counts->plain = true;
      counts->after.clear();
      return gInList(token, list);
    }
  } else {
    // The token the last rest began with, its rest right behind it (or the list's end).
    const XMLCh *end = token + name.size();
    auto found = counts->after.find(name);
    if (token != counts->next || !(list == end + 1 || (list == end && *list == 0)) || found == counts->after.end() ||
        found->second == 0) {
      counts->plain = true;
      return gInList(token, list);
    }
    --found->second;
  }
  counts->next = list;
  auto found = counts->after.find(name);
  return found != counts->after.end() && found->second > 0;
}

void fastCheckTokenList(xercesc::DTDValidator *validator, const xercesc::XMLAttDef &attribute, bool notation) {
  TokenCounts counts;
  struct Restore {
    TokenCounts *outer;
    ~Restore() { tTokens = outer; }
  } restore{tTokens};
  tTokens = &counts;
  gTokenCheck(validator, attribute, notation);
}

// One entry of the library's table to point elsewhere.
struct Target {
  void *library;  // the library's own function
  void *counting;
  const char *name = nullptr;  // its exported name, found from its address
  int found = 0;
};

Target gTargets[11];
constexpr int kTargets = sizeof gTargets / sizeof gTargets[0];
bool gInstalled = false;

struct Table {
  void *anyFunction;  // one of the library's functions, to know the library by
  bool install;       // write the counting functions (else the library's own)
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
      }
    }
  }
  return 1;
}

}  // namespace

bool quarnParseGuardInstall() {
  gChar = reinterpret_cast<CharStep>(addressOf(&Matcher::matchChar));
  gDot = reinterpret_cast<DotStep>(addressOf(&Matcher::matchDot));
  gRange = reinterpret_cast<RangeStep>(addressOf(&Matcher::matchRange));
  gString = reinterpret_cast<StringStep>(addressOf(&Matcher::matchString));
  gUnion = reinterpret_cast<UnionStep>(addressOf(&Matcher::matchUnion));
  bool (RegularExpression::*entry)(const XMLCh *, XMLSize_t, XMLSize_t, xercesc::Match *, xercesc::MemoryManager *)
      const = &RegularExpression::matches;
  gEntry = reinterpret_cast<Entry>(addressOf(entry));
  gLookup = reinterpret_cast<Lookup>(addressOf(&xercesc::ElemStack::mapPrefixToURI));
  gAttrPut = reinterpret_cast<AttrPut>(addressOf(&AttrTable::put));
  gHasDups = reinterpret_cast<HasDups>(addressOf(&xercesc::MixedContentModel::hasDups));
  gTokenCheck = reinterpret_cast<TokenCheck>(addressOf(member(TokenListCheck{})));
  gInList = &xercesc::XMLString::isInList;
  const Target targets[kTargets] = {
      {reinterpret_cast<void *>(gChar), reinterpret_cast<void *>(&countChar)},
      {reinterpret_cast<void *>(gDot), reinterpret_cast<void *>(&countDot)},
      {reinterpret_cast<void *>(gRange), reinterpret_cast<void *>(&countRange)},
      {reinterpret_cast<void *>(gString), reinterpret_cast<void *>(&countString)},
      {reinterpret_cast<void *>(gUnion), reinterpret_cast<void *>(&countUnion)},
      {reinterpret_cast<void *>(gEntry), reinterpret_cast<void *>(&countEntry)},
      {reinterpret_cast<void *>(gLookup), reinterpret_cast<void *>(&countLookup)},
      {reinterpret_cast<void *>(gAttrPut), reinterpret_cast<void *>(&countAttrPut)},
      {reinterpret_cast<void *>(gHasDups), reinterpret_cast<void *>(&fastHasDups)},
      {reinterpret_cast<void *>(gTokenCheck), reinterpret_cast<void *>(&fastCheckTokenList)},
      {reinterpret_cast<void *>(gInList), reinterpret_cast<void *>(&fastInList)}};
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
  // All or none: work counted in part would be neither bounded nor the library's own.
  if (!gInstalled) quarnParseGuardRemove();
  return gInstalled;
}

void quarnParseGuardRemove() {
  if (gEntry == nullptr) return;
  Table table{reinterpret_cast<void *>(gEntry), false};
  dl_iterate_phdr(visit, &table);
  gInstalled = false;
}

void quarnParseWorkOpen(QuarnParseWork *work) {
  work->outer = tOpened;
  tOpened = work;
}

void quarnParseWorkClose(QuarnParseWork *work) {
  if (tOpened == work) tOpened = work->outer;
}

int quarnParseGuardInstalled(void) { return gInstalled ? 1 : 0; }
