/*
 * kelcodepage.cpp - code-page set-up of a call and the conversions between the application code
 * page, the database code page and UTF-16 (ICU).  Converters belong to the call's code-page
 * record; temporary converters opened here are closed before the function returns.  ICU's
 * default converter name is process-wide: it is read or changed only under defaultNameLock().
 */
#include "kelcodepage.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "kelctx.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "keltrace.h"
#include "sqlca.h"

namespace {

constexpr const char kUnit[] = "kelutil";

// KEL_TRACE for helpers: the line carries the name of the public function they work for.
#define TRACE_AS(ctx, function, ...)                   \
  do {                                                 \
    KelCallContext *traceCtx_ = (ctx);                 \
    if (traceCtx_ != nullptr && traceCtx_->traceOn) {  \
      kelTraceWrite(traceCtx_, "%s:\t\t", (function)); \
      kelTraceWrite(traceCtx_, __VA_ARGS__);           \
    }                                                  \
  } while (0)

constexpr const char kInitIcu[] = "initICU";

struct ConverterCloser {
  void operator()(UConverter *c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Guards every read and change of ICU's process-wide default converter name.
std::mutex &defaultNameLock() {
  static std::mutex lock;
  return lock;
}

// Converters with a fixed ICU table: the year-2000 variants that round-trip the code page.
struct FixedTable {
  int32_t codePage;
  const char *icuName;
};
constexpr FixedTable kFixedTables[] = {
    {942, "ibm-942_P12A-1999"},
    {943, "ibm-943_P15A-2003"},
    {949, "ibm-949_P11A-1999"},
    {1363, "ibm-1363_P11B-1998"},
};

// Encoding names written into or expected in XML documents; searched in this order, the first
// match wins, ended by the sentinel -2.  850, 37 and the 125x pages carry the charset name ICU
// registers for their CCSID alias.
struct EncodingName {
  int32_t codePage;
  const char *name;
};
constexpr EncodingName kEncodingNames[] = {
    {1208, "UTF-8"},        {-1, "UTF-16"},         {367, "us-ascii"},      {819, "iso-8859-1"},
    {850, "IBM850"},        {1252, "windows-1252"}, {1250, "windows-1250"}, {1251, "windows-1251"},
    {1254, "windows-1254"}, {1255, "windows-1255"}, {1256, "windows-1256"}, {1257, "windows-1257"},
    {37, "IBM037"},         {1383, "GB2312"},       {943, "Shift_JIS"},     {932, "Shift_JIS"},
    {950, "Big5"},          {970, "EUC-KR"},        {954, "EUC-JP"},        {33722, "EUC-JP"},
    {970, "EUC-KR"},        {964, "EUC-TW"},        {912, "iso-8859-2"},    {915, "iso-8859-5"},
    {1089, "iso-8859-6"},   {813, "iso-8859-7"},    {916, "iso-8859-8"},    {920, "iso-8859-9"},
    {1046, "cp1046"},       {-2, nullptr},
};

// The built-in encoding name of a code page, or null.
const char *tableName(int32_t codePage) {
  for (const EncodingName *e = kEncodingNames; e->codePage != -2; ++e) {
    if (e->codePage == codePage) return e->name;
  }
  return nullptr;
}

// ICU's name of a converter in one naming standard, or null.
const char *standardName(const char *name, const char *standard) {
  UErrorCode err = U_ZERO_ERROR;
  const char *found = ucnv_getStandardName(name, standard, &err);
  return U_SUCCESS(err) ? found : nullptr;
}

int32_t recorded(int32_t codePage) {
  return codePage == KEL_CP_EUCJP_OLD ? KEL_CP_EUCJP : codePage;
}


// Formats KELQ055E with the ICU error number and sets "38X45".
void icuFailure(KelCallContext *ctx, char *msg, char *sqlstate, long icuError) {
  std::string number = std::to_string(icuError);
  if (msg != nullptr) kelSetMessage(ctx, msg, KELQ055E, number.c_str());
  kelMessageState(KELQ055E, sqlstate);
}

// The pointer's low bits, as the trace lines print converters and addresses.
unsigned traceAddress(const void *p) {
  return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p));
}

// The first 99 units of a UTF-16 text as UTF-8, for trace lines.
std::string traceText(const UChar *text) {
  int32_t units = 0;
  while (units < 99 && text[units] != 0) ++units;
  char out[99 * 3 + 1];
  int32_t outLen = 0;
  UErrorCode err = U_ZERO_ERROR;
  u_strToUTF8WithSub(out, sizeof out, &outLen, text, units, 0xFFFD, nullptr, &err);
  return U_SUCCESS(err) ? std::string(out, static_cast<size_t>(outLen)) : std::string();
}

// Converts len bytes to UTF-16 with conv.  Returns false with err set on failure.
bool toUtf16(UConverter *conv, const char *src, int32_t len, std::u16string *out, UErrorCode *err) {
  out->clear();
  if (len == 0) return true;
  // Two units per byte cover every table ICU ships; the preflighted size is used otherwise.
  int32_t capacity = len > (INT32_MAX - 1) / 2 ? INT32_MAX - 1 : 2 * len + 1;
  for (int attempt = 0; attempt < 2; ++attempt) {
    out->resize(static_cast<size_t>(capacity));
    *err = U_ZERO_ERROR;
    int32_t n = ucnv_toUChars(conv, out->data(), capacity, src, len, err);
    if (*err == U_BUFFER_OVERFLOW_ERROR && n >= capacity && n < INT32_MAX) {
      capacity = n + 1;
      continue;
    }
    if (U_FAILURE(*err)) return false;
    out->resize(static_cast<size_t>(n));
    return true;
  }
  return false;
}

// True for the encodings of Unicode itself, which hold every character exactly.
bool holdsAllOfUnicode(UConverter *conv) {
  switch (ucnv_getType(conv)) {
    case UCNV_UTF8:
    case UCNV_CESU8:
    case UCNV_UTF16_BigEndian:
    case UCNV_UTF16_LittleEndian:
    case UCNV_UTF16:
    case UCNV_UTF32_BigEndian:
    case UCNV_UTF32_LittleEndian:
    case UCNV_UTF32:
    case UCNV_UTF7:
    case UCNV_IMAP_MAILBOX:
    case UCNV_SCSU:
    case UCNV_BOCU1:
      return true;
    default:
      return false;
  }
}

// Reads n bytes back with conv and compares them with text, a piece at a time.  True when they
// give text back exactly.  The converter's to-Unicode state is reset before and after.
bool givesBack(UConverter *conv, const char *bytes, int32_t n, const std::u16string &text) {
  ucnv_resetToUnicode(conv);
  UChar piece[1024];
  const char *src = bytes;
  size_t matched = 0;
  bool same = true;
  for (;;) {
    UChar *target = piece;
    UErrorCode err = U_ZERO_ERROR;
    ucnv_toUnicode(conv, &target, piece + 1024, &src, bytes + n, nullptr, true, &err);
    size_t got = static_cast<size_t>(target - piece);
    if ((U_FAILURE(err) && err != U_BUFFER_OVERFLOW_ERROR) || matched + got > text.size() ||
        text.compare(matched, got, piece, got) != 0) {
      same = false;
      break;
    }
    matched += got;
    if (err != U_BUFFER_OVERFLOW_ERROR) break;
  }
  ucnv_resetToUnicode(conv);
  return same && matched == text.size();
}

/*
 * Converts UTF-16 text with conv into dest (capacity bytes); terminated when room is left.
 * Returns the full converted length; *err is U_BUFFER_OVERFLOW_ERROR when it did not fit, and
 * U_INVALID_CHAR_FOUND (or another ICU failure) when a character has no exact form in conv's
 * code page: the converter's substitution byte would stand in a document for what was lost, so
 * the conversion fails instead (the converter's own callback is restored afterwards).  Some
 * converters drop such a character or write a fallback without calling the callback
 * (x11-compound-text, the fallbacks of the IBM tables), so the bytes of an encoding that
 * cannot hold all of Unicode are read back and must give the text again.
 */
int32_t fromUtf16(UConverter *conv, const std::u16string &text, char *dest, int32_t capacity,
                  UErrorCode *err) {
  *err = U_ZERO_ERROR;
  UConverterFromUCallback previous = nullptr;
  const void *previousContext = nullptr;
  ucnv_setFromUCallBack(conv, UCNV_FROM_U_CALLBACK_STOP, nullptr, &previous, &previousContext, err);
  if (U_FAILURE(*err)) return 0;
  int32_t n =
      ucnv_fromUChars(conv, dest, capacity, text.data(), static_cast<int32_t>(text.size()), err);
  UErrorCode restoreErr = U_ZERO_ERROR;
  ucnv_setFromUCallBack(conv, previous, previousContext, nullptr, nullptr, &restoreErr);
  if (U_SUCCESS(*err) && n <= capacity && !holdsAllOfUnicode(conv) &&
      !givesBack(conv, dest, n, text))
    *err = U_INVALID_CHAR_FOUND;
  return n;
}

// True when every one of the n bytes is valid in conv's code page (read with the stop
// callback, which is restored afterwards).
bool validIn(UConverter *conv, const char *src, int32_t n) {
  UErrorCode err = U_ZERO_ERROR;
  UConverterToUCallback previous = nullptr;
  const void *previousContext = nullptr;
  ucnv_setToUCallBack(conv, UCNV_TO_U_CALLBACK_STOP, nullptr, &previous, &previousContext, &err);
  if (U_FAILURE(err)) return false;
  ucnv_resetToUnicode(conv);
  UChar piece[1024];
  const char *end = src + n;
  do {
    UChar *target = piece;
    err = U_ZERO_ERROR;
    ucnv_toUnicode(conv, &target, piece + 1024, &src, end, nullptr, true, &err);
  } while (err == U_BUFFER_OVERFLOW_ERROR);
  ucnv_resetToUnicode(conv);
  UErrorCode restoreErr = U_ZERO_ERROR;
  ucnv_setToUCallBack(conv, previous, previousContext, nullptr, nullptr, &restoreErr);
  return U_SUCCESS(err);
}

// True when conv writes "<?xml" in a form an XML parser recognises before it knows the
// encoding: ASCII-compatible, UTF-16 or UTF-32 in either byte order, or EBCDIC, behind a
// byte-order mark or not.  A file in any other form cannot be read back by a parser.
bool parserDetects(UConverter *conv) {
  static const std::string_view kForms[] = {
      std::string_view("<?xml", 5),
      std::string_view("\0<\0?\0x\0m\0l", 10),
      std::string_view("<\0?\0x\0m\0l\0", 10),
      std::string_view("\0\0\0<\0\0\0?\0\0\0x\0\0\0m\0\0\0l", 20),
      std::string_view("<\0\0\0?\0\0\0x\0\0\0m\0\0\0l\0\0\0", 20),
      std::string_view("\x4C\x6F\xA7\x94\x93", 5),
  };
  static const std::string_view kMarks[] = {
      std::string_view("\0\0\xFE\xFF", 4), std::string_view("\xFF\xFE\0\0", 4),
      std::string_view("\xEF\xBB\xBF", 3), std::string_view("\xFE\xFF", 2),
      std::string_view("\xFF\xFE", 2)};
  const UChar start[] = u"<?xml";
  char bytes[64];
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = ucnv_fromUChars(conv, bytes, sizeof bytes, start, 5, &err);
  ucnv_resetFromUnicode(conv);
  if (U_FAILURE(err) || n > static_cast<int32_t>(sizeof bytes)) return false;
  std::string_view written(bytes, static_cast<size_t>(n));
  for (std::string_view mark : kMarks) {
    // "FF FE 00 00" begins a UTF-32 text; "FF FE" alone is UTF-16: both are tried.
    if (written.substr(0, mark.size()) != mark) continue;
    for (std::string_view form : kForms)
      if (written.substr(mark.size()) == form) return true;
  }
  for (std::string_view form : kForms)
    if (written == form) return true;
  return false;
}

// The code set of the locale the environment names for character types (LC_ALL, LC_CTYPE,
// LANG), whether or not the program has made it its own with setlocale; empty when that locale
// is not installed.  Read through a locale object of its own: nothing of the process changes.
// Looking the locale up costs about 5,000 instructions, and every first call of a function sets
// its code pages up, so the answer is kept for as long as the variables that name the locale
// stay the same.
std::string environmentCodeSet() {
  std::string key;
  for (const char *name : {"LC_ALL", "LC_CTYPE", "LANG", "LOCPATH"}) {
    const char *value = std::getenv(name);
    key += value != nullptr ? value : "";
    key += '\x1F';
  }
  static std::mutex lock;
  static std::string keptKey, keptCodeSet;
  static bool kept = false;
  std::lock_guard<std::mutex> guard(lock);
  if (kept && key == keptKey) return keptCodeSet;
  std::string out;
  locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (loc != static_cast<locale_t>(0)) {
    const char *codeSet = nl_langinfo_l(CODESET, loc);
    out = codeSet != nullptr ? codeSet : "";
    freelocale(loc);
  }
  keptKey = std::move(key);
  keptCodeSet = out;
  kept = true;
  return out;
}

// The converter of the process's own locale: the code set of the locale the environment names,
// else ICU's default, and UTF-8 when that is plain ASCII (the C locale of minimal machines, whose
// data is UTF-8 in practice).  ICU's default follows the locale only once the program has called
// setlocale, which a program need not do (and the message catalogue did on its first message, so
// a Latin-1 locale was taken or not by the order of the calls).  Caller closes it.
UConverter *openProcessConverter(std::string *name, UErrorCode *err) {
  std::string defaultName = environmentCodeSet();
  UConverter *conv = nullptr;
  if (!defaultName.empty()) {
    UErrorCode probe = U_ZERO_ERROR;
    conv = ucnv_open(defaultName.c_str(), &probe);
    if (U_FAILURE(probe)) {
      ucnv_close(conv);
      conv = nullptr;
      defaultName.clear();
    }
  }
  if (defaultName.empty()) {
    {
      std::lock_guard<std::mutex> guard(defaultNameLock());
      const char *current = ucnv_getDefaultName();
      if (current != nullptr) defaultName = current;
    }
    if (defaultName.empty()) {
      *err = U_MISSING_RESOURCE_ERROR;
      return nullptr;
    }
    conv = ucnv_open(defaultName.c_str(), err);
  }
  if (conv != nullptr) {
    UErrorCode ccsidErr = U_ZERO_ERROR;
    if (ucnv_getCCSID(conv, &ccsidErr) == 367) {
      ucnv_close(conv);
      defaultName = "UTF-8";
      *err = U_ZERO_ERROR;
      conv = ucnv_open(defaultName.c_str(), err);
    }
  }
  if (name != nullptr) *name = defaultName;
  return conv;
}

// Opens the converter a locale name asks for: the name itself as a converter name, else the
// code set of a POSIX locale "ll_CC.codeset@modifier"; "C" and "POSIX" are the UTF-8 default.
UConverter *openLocaleConverter(const char *localeName, UErrorCode *err) {
  std::string_view name(localeName);
  if (name == "C" || name == "POSIX") return ucnv_open("UTF-8", err);
  UConverter *conv = ucnv_open(localeName, err);
  if (conv != nullptr) return conv;
  size_t dot = name.find('.');
  if (dot == std::string_view::npos) return nullptr;
  std::string codeSet(name.substr(dot + 1, name.find('@', dot) - dot - 1));
  if (codeSet.empty()) return nullptr;
  UErrorCode second = U_ZERO_ERROR;
  conv = ucnv_open(codeSet.c_str(), &second);
  if (conv != nullptr) *err = second;
  return conv;
}

int32_t ccsidOf(UConverter *conv) {
  UErrorCode err = U_ZERO_ERROR;
  int32_t ccsid = ucnv_getCCSID(conv, &err);
  return U_SUCCESS(err) && ccsid > 0 ? ccsid : 0;
}

void traceConverters(KelCallContext *ctx, const KelCodePages *cp) {
  TRACE_AS(ctx, kInitIcu, "app code page %d, db code page %d\n", cp->appCodePage, cp->dbCodePage);
  TRACE_AS(ctx, kInitIcu, "got icu converters db conv = %x, app conv = %x\n",
           traceAddress(cp->dbConverter), traceAddress(cp->appConverter));
}

int initForProcedure(KelCallContext *ctx, KelCodePages *cp, const KelCodePageRequest *request) {
  if (request == nullptr || request->connectionInfo == nullptr) {
    TRACE_AS(ctx, kInitIcu, "no connection to ask for the code pages\n");
    return -1;
  }
  struct sqlca ca {};
  int rc = request->connectionInfo(&ca);
  if (rc != 0 || ca.sqlcode < 0) {
    TRACE_AS(ctx, kInitIcu, "connection information failed, rc %d, sqlcode %d\n", rc,
             static_cast<int>(ca.sqlcode));
    return -1;
  }
  int32_t dbCodePage = get_sqlerrmc_token(ctx, &ca, 2);
  int32_t appCodePage = get_sqlerrmc_token(ctx, &ca, 9);
  if (appCodePage == -1) appCodePage = dbCodePage;
  if (appCodePage == -1) return -1;
  cp->appCodePage = cp->dbCodePage = recorded(appCodePage);

  UErrorCode err = U_ZERO_ERROR;
  cp->appConverter = kelOpenConverter(cp->appCodePage, &err);
  if (cp->appConverter == nullptr || U_FAILURE(err)) {
    TRACE_AS(ctx, kInitIcu, "unable to open icu converter for %d\n", cp->appCodePage);
    return U_FAILURE(err) ? err : -1;
  }
  cp->dbConverter = cp->appConverter;
  return 0;
}

int initForFunction(KelCallContext *ctx, KelCodePages *cp, const KelCodePageRequest *request,
                    const char *localeName) {
  UErrorCode err = U_ZERO_ERROR;
  std::string appName;
  if (localeName != nullptr && localeName[0] != '\0') {
    appName = localeName;
    cp->appConverter = openLocaleConverter(localeName, &err);
  } else {
    cp->appConverter = openProcessConverter(&appName, &err);
    if (appName.empty()) {
      TRACE_AS(ctx, kInitIcu, "unable to ucnv_getDefaultName\n");
      return -1;
    }
  }
  if (cp->appConverter == nullptr || U_FAILURE(err)) {
    TRACE_AS(ctx, kInitIcu, "unable to open app icu converter %s for UDF case\n", appName.c_str());
    return U_FAILURE(err) ? err : -1;
  }
  cp->appCodePage = recorded(ccsidOf(cp->appConverter));

  int32_t dbCodePage = request != nullptr ? request->dbCodePage : 0;
  cp->dbCodePage = dbCodePage > 0 ? recorded(dbCodePage) : cp->appCodePage;
  if (cp->dbCodePage == cp->appCodePage) {
    cp->dbConverter = cp->appConverter;
    return 0;
  }
  cp->dbConverter = kelOpenConverter(cp->dbCodePage, &err);
  if (cp->dbConverter == nullptr || U_FAILURE(err)) {
    TRACE_AS(ctx, kInitIcu, "unable to open icu converter for db codepage %d\n", cp->dbCodePage);
    return U_FAILURE(err) ? err : -1;
  }
  return 0;
}

bool haveConverters(const KelCallContext *ctx) {
  return ctx != nullptr && ctx->codePages != nullptr && ctx->codePages->appConverter != nullptr &&
         ctx->codePages->dbConverter != nullptr;
}

UConverter *dbConverterOf(const KelCallContext *ctx) {
  return ctx != nullptr && ctx->codePages != nullptr ? ctx->codePages->dbConverter : nullptr;
}

// Reports a missing code-page set-up: a caller that converts before kelInit is a program error.
int32_t noConverters(KelCallContext *ctx, char *msg, char *sqlstate, int32_t *errCode) {
  int rc = KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  if (errCode != nullptr) *errCode = rc;
  return -1;
}

// Reports a destination too small for the result: KELQ055E, "38X45", error code -124.
const char *converterFunction(bool appToDb) {
  return appToDb ? "convertBufferAppToQuarn" : "convertBufferQuarnToApp";
}

int32_t tooSmall(KelCallContext *ctx, bool appToDb, int32_t destCap, int32_t needed, char *msg,
                 char *sqlstate, int32_t *errCode) {
  if (appToDb)
    TRACE_AS(ctx, converterFunction(appToDb), "destbuf %d too small to hold converted buffer %d\n",
             destCap, needed);
  else
    TRACE_AS(ctx, converterFunction(appToDb), "destbuf too small to hold converted buffer\n");
  icuFailure(ctx, msg, sqlstate, U_BUFFER_OVERFLOW_ERROR);
  if (errCode != nullptr) *errCode = KEL_CONV_TOO_SMALL;
  return -1;
}

// Both directions of the buffer conversion once the converters are chosen.  The result is
// terminated, so it must be shorter than destCap.
int32_t convertBuffer(KelCallContext *ctx, bool appToDb, UConverter *from, UConverter *to,
                      const char *src, int32_t srcLen, char *dest, int32_t destCap, char *msg,
                      char *sqlstate, int32_t *errCode) {
  std::u16string text;
  UErrorCode err = U_ZERO_ERROR;
  if (!toUtf16(from, src, srcLen, &text, &err)) {
    if (appToDb)
      TRACE_AS(ctx, converterFunction(appToDb), "cant convert from app codepage err = %ld\n",
               static_cast<long>(err));
    else
      TRACE_AS(ctx, converterFunction(appToDb), "cant convert from db codepage err = %ld\n",
               static_cast<long>(err));
    icuFailure(ctx, msg, sqlstate, err);
    if (errCode != nullptr) *errCode = err;
    return -1;
  }
  int32_t n = fromUtf16(to, text, dest, destCap, &err);
  if (n < destCap && U_SUCCESS(err)) return n;
  if (err == U_BUFFER_OVERFLOW_ERROR || n >= destCap) {
    if (destCap > 0) dest[0] = '\0';
    return tooSmall(ctx, appToDb, destCap, n, msg, sqlstate, errCode);
  }
  icuFailure(ctx, msg, sqlstate, err);
  if (errCode != nullptr) *errCode = err;
  return -1;
}

// Copies between equal code pages; src and dest may overlap.  No terminator is added.
int32_t copyBuffer(KelCallContext *ctx, bool appToDb, const char *src, int32_t srcLen, char *dest,
                   int32_t destCap, char *msg, char *sqlstate, int32_t *errCode) {
  if (srcLen > destCap) return tooSmall(ctx, appToDb, destCap, srcLen, msg, sqlstate, errCode);
  if (src != dest && srcLen > 0) std::memmove(dest, src, static_cast<size_t>(srcLen));
  return srcLen;
}

// Upper-cases UTF-16 text code point by code point (so lengths stay comparable).
std::u16string upperCased(const UChar *text, int32_t units) {
  std::u16string out;
  out.reserve(static_cast<size_t>(units));
  int32_t i = 0;
  while (i < units) {
    UChar32 c;
    U16_NEXT(text, i, units, c);
    UChar32 upper = kelToUpper(c);
    if (U_IS_BMP(upper)) {
      out.push_back(static_cast<char16_t>(upper));
    } else {
      out.push_back(U16_LEAD(upper));
      out.push_back(U16_TRAIL(upper));
    }
  }
  return out;
}

// XML whitespace.
bool isSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

void skipSpace(const std::u16string &text, size_t *pos) {
  while (*pos < text.size() && isSpace(text[*pos])) ++*pos;
}

bool startsWithAt(const std::u16string &text, size_t pos, std::u16string_view word) {
  return text.compare(pos, word.size(), word) == 0;
}

// Reads `S? = S? quote value quote` at *pos; the value may not hold whitespace.  Moves *pos
// behind the closing quote and sets *valueStart (when given) to the value's first unit.
bool readQuotedValue(const std::u16string &text, size_t *pos, size_t *valueStart = nullptr) {
  skipSpace(text, pos);
  if (*pos >= text.size() || text[*pos] != u'=') return false;
  ++*pos;
  skipSpace(text, pos);
  if (*pos >= text.size() || (text[*pos] != u'"' && text[*pos] != u'\'')) return false;
  char16_t quote = text[(*pos)++];
  if (valueStart != nullptr) *valueStart = *pos;
  while (*pos < text.size() && text[*pos] != quote) {
    if (isSpace(text[*pos])) return false;
    ++*pos;
  }
  if (*pos >= text.size()) return false;
  ++*pos;
  return true;
}

// A name that may stand in an encoding declaration: a letter, then letters, digits, . _ -.
bool isEncodingName(const char *name) {
  if (name == nullptr ||
      !((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
    return false;
  for (const char *p = name + 1; *p; ++p) {
    char c = *p;
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

// Where the parts of a document's XML declaration lie in its UTF-16 text.
struct Declaration {
  size_t versionEnd = 0;     // behind the quoted version
  size_t encodingValue = 0;  // the encoding's name (behind its opening quote)
  size_t encodingEnd = 0;    // its closing quote; 0 when there is no encoding
  size_t rest = 0;           // what follows the version and any encoding (standalone, "?>")
};

/*
 * Reads the XML declaration that begins at pos: `<?xml S version S? = S? quote version quote`,
 * then an optional complete encoding pseudo-attribute.  Returns 1 with *decl filled, 0 when the
 * text does not begin with "<?xml" and white space (no declaration: "<?xml-stylesheet" and
 * "<?xmlfoo" are processing instructions), -1 when the declaration is malformed.
 */
int readDeclaration(const std::u16string &text, size_t pos, Declaration *decl) {
  if (!startsWithAt(text, pos, u"<?xml")) return 0;
  if (pos + 5 < text.size() && !isSpace(text[pos + 5]) && text[pos + 5] != u'?') return 0;
  pos += 5;
  skipSpace(text, &pos);
  if (!startsWithAt(text, pos, u"version")) return -1;
  pos += 7;
  if (!readQuotedValue(text, &pos)) return -1;
  decl->versionEnd = pos;
  skipSpace(text, &pos);
  if (startsWithAt(text, pos, u"encoding")) {
    pos += 8;
    if (!readQuotedValue(text, &pos, &decl->encodingValue)) return -1;
    decl->encodingEnd = pos - 1;
    skipSpace(text, &pos);
  }
  decl->rest = pos;
  return 1;
}

}  // namespace

int get_sqlerrmc_token(KelCallContext *ctx, const struct sqlca *ca, int tokenNumber) {
  if (ca == nullptr) return -1;
  int used = ca->sqlerrml < 0 ? 0 : ca->sqlerrml > SQL_MAX_ERRMC ? SQL_MAX_ERRMC : ca->sqlerrml;
  const char *start = ca->sqlerrmc;
  const char *end = start + used;
  int current = 1;
  const char *p = start;
  while (current < tokenNumber && p < end) {
    if (*p++ == SQL_TOKEN_SEP) ++current;
  }
  if (current != tokenNumber || tokenNumber < 1) {
    KEL_TRACE(ctx, "cant find token %d, cur_tok_num %d, sqlerrmc start %x, end %x\n", tokenNumber,
              current, traceAddress(start), traceAddress(end));
    return -1;
  }
  long value = 0;
  int digits = 0;
  for (; p < end && *p != SQL_TOKEN_SEP; ++p) {
    if (*p < '0' || *p > '9' || value > 99999999) {
      digits = 0;
      break;
    }
    value = value * 10 + (*p - '0');
    ++digits;
  }
  if (digits == 0) {
    KEL_TRACE(ctx, "cant find token %d, cur_tok_num %d, sqlerrmc start %x, end %x\n", tokenNumber,
              current, traceAddress(start), traceAddress(end));
    return -1;
  }
  return static_cast<int>(value);
}

UConverter *kelOpenConverter(int32_t codePage, UErrorCode *err) {
  codePage = recorded(codePage);
  for (const FixedTable &t : kFixedTables) {
    if (t.codePage == codePage) return ucnv_open(t.icuName, err);
  }
  return ucnv_openCCSID(codePage, UCNV_IBM, err);
}

int initICU(KelCallContext *ctx, int mode, const KelCodePageRequest *request,
            const char *localeName) {
  if (ctx == nullptr || ctx->codePages == nullptr) return -1;
  KelCodePages *cp = ctx->codePages;
  int rc = mode == KEL_CP_PROCEDURE_MODE ? initForProcedure(ctx, cp, request)
                                         : initForFunction(ctx, cp, request, localeName);
  if (rc != 0) return rc;
  traceConverters(ctx, cp);
  return 0;
}

int KEL_getEncoding(KelCallContext *ctx, int32_t codePage, UChar *name, int32_t nameCapacity,
                    char *sqlstate, char *msg) {
  const char *found = tableName(codePage);
  std::string chosen;
  if (found != nullptr) {
    chosen = found;
  } else {
    UConverter *db = dbConverterOf(ctx);
    UErrorCode err = U_ZERO_ERROR;
    const char *dbName = db != nullptr ? ucnv_getName(db, &err) : nullptr;
    if (dbName == nullptr || U_FAILURE(err)) {
      std::string number = std::to_string(codePage);
      KEL_TRACE(ctx, "no icu name for %s\n", number.c_str());
      kelFail(ctx, msg, sqlstate, KELG008E, number.c_str());
      return -119;
    }
    std::string alias = "ibm-" + std::to_string(codePage);
    {
      // The lookup runs with the database converter as the process default; nobody else may
      // see or change the default meanwhile.
      std::lock_guard<std::mutex> guard(defaultNameLock());
      const char *current = ucnv_getDefaultName();
      std::string previous = current != nullptr ? current : "";
      ucnv_setDefaultName(dbName);
      const char *standard = standardName(alias.c_str(), "MIME");
      if (standard == nullptr) standard = standardName(alias.c_str(), "IANA");
      chosen = standard != nullptr ? standard : alias;
      ucnv_setDefaultName(previous.empty() ? nullptr : previous.c_str());
    }
    KEL_TRACE(ctx, "icu name %s\n", chosen.c_str());
  }
  if (name != nullptr && nameCapacity > 0) {
    int32_t units = static_cast<int32_t>(chosen.size());
    if (units > nameCapacity - 1) units = nameCapacity - 1;
    u_charsToUChars(chosen.c_str(), name, units);
    name[units] = 0;
  }
  return 0;
}

int32_t convertBufferAppToQuarn(KelCallContext *ctx, const char *src, int32_t srcLen, char *dest,
                                int32_t destCap, char *msg, char *sqlstate, int32_t *errCode) {
  if (errCode != nullptr) *errCode = 0;
  if (!haveConverters(ctx)) return noConverters(ctx, msg, sqlstate, errCode);
  KelCodePages *cp = ctx->codePages;
  if (src == nullptr || srcLen < 0) srcLen = 0;

  // A UTF-16 application buffer may begin with a byte-order mark: drop it and read the bytes in
  // the order it names.
  ConverterPtr bomOrder;
  UConverter *from = cp->appConverter;
  if (cp->appCodePage == KEL_CP_UTF16 && srcLen >= 2) {
    unsigned char b0 = static_cast<unsigned char>(src[0]), b1 = static_cast<unsigned char>(src[1]);
    bool bigEndian = b0 == 0xFE && b1 == 0xFF, littleEndian = b0 == 0xFF && b1 == 0xFE;
    if (bigEndian || littleEndian) {
      src += 2;
      srcLen -= 2;
      UErrorCode err = U_ZERO_ERROR;
      bomOrder.reset(ucnv_open(bigEndian ? "UTF-16BE" : "UTF-16LE", &err));
      if (U_FAILURE(err)) {
        icuFailure(ctx, msg, sqlstate, err);
        if (errCode != nullptr) *errCode = err;
        return -1;
      }
      from = bomOrder.get();
    }
  }
  // Equal code pages copy, unless the byte-order mark named the other byte order or a byte is
  // not valid in the code page: such bytes are converted as between different code pages
  // (into substitution characters), never stored as they are.
  if (cp->appCodePage == cp->dbCodePage &&
      (bomOrder == nullptr || ucnv_getType(from) == ucnv_getType(cp->dbConverter)) &&
      validIn(from, src, srcLen))
    return copyBuffer(ctx, true, src, srcLen, dest, destCap, msg, sqlstate, errCode);
  return convertBuffer(ctx, true, from, cp->dbConverter, src, srcLen, dest, destCap, msg, sqlstate,
                       errCode);
}

int32_t convertBufferQuarnToApp(KelCallContext *ctx, const char *src, int32_t srcLen, char *dest,
                                int32_t destCap, char *msg, char *sqlstate) {
  if (!haveConverters(ctx)) return noConverters(ctx, msg, sqlstate, nullptr);
  KelCodePages *cp = ctx->codePages;
  if (src == nullptr || srcLen <= 0) {
    if (destCap > 0) dest[0] = '\0';
    return 0;
  }
  if (cp->appCodePage == cp->dbCodePage)
    return copyBuffer(ctx, false, src, srcLen, dest, destCap, msg, sqlstate, nullptr);
  return convertBuffer(ctx, false, cp->dbConverter, cp->appConverter, src, srcLen, dest, destCap,
                       msg, sqlstate, nullptr);
}

int32_t KEL_mbstowcsFunction(KelCallContext *ctx, UChar *out, const char *str, int32_t capacity) {
  UConverter *db = dbConverterOf(ctx);
  if (db == nullptr || out == nullptr || str == nullptr || capacity <= 0) return -1;
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(db, out, capacity, str, -1, &err);
  if (U_FAILURE(err)) {
    KEL_TRACE(ctx, "Conversion error. err=%d, mbstr='%.99s...' count=%d\n", static_cast<int>(err),
              str, capacity);
    out[0] = 0;
    return -1;
  }
  return n;
}

int32_t KEL_mbstowcsSys(KelCallContext *ctx, UChar *out, const char *str, int32_t capacity) {
  if (out == nullptr || str == nullptr || capacity <= 0) return -1;
  UErrorCode err = U_ZERO_ERROR;
  ConverterPtr conv(openProcessConverter(nullptr, &err));
  if (conv == nullptr || U_FAILURE(err)) {
    KEL_TRACE(ctx, "Conversion error. err=%d, mbstr='%.99s...' count=%d\n", static_cast<int>(err),
              str, capacity);
    return -1;
  }
  int32_t n = ucnv_toUChars(conv.get(), out, capacity, str, -1, &err);
  if (U_FAILURE(err)) {
    KEL_TRACE(ctx, "Conversion error. err=%d, mbstr='%.99s...' count=%d\n", static_cast<int>(err),
              str, capacity);
    out[0] = 0;
    return -1;
  }
  return n;
}

int32_t KEL_wcstombsFunction(KelCallContext *ctx, char *out, const UChar *wstr, int32_t capacity) {
  UConverter *db = dbConverterOf(ctx);
  if (db == nullptr || out == nullptr || wstr == nullptr || capacity <= 0) return -1;
  UErrorCode err = U_ZERO_ERROR;
  int32_t n;
  // UTF-8 databases (every database of the embedded engine) take ICU's direct conversion,
  // which costs a fraction of a converter call for the short values of extraction.
  if (ctx->codePages->dbCodePage == KEL_CP_UTF8)
    u_strToUTF8(out, capacity, &n, wstr, -1, &err);
  else
    n = ucnv_fromUChars(db, out, capacity, wstr, -1, &err);
  if (U_FAILURE(err) || n >= capacity) {
    if (U_SUCCESS(err)) err = U_BUFFER_OVERFLOW_ERROR;
    std::string shown = traceText(wstr);
    KEL_TRACE(ctx, "Conversion error. err=%d,  wcstr='%s...' count=%d\n", static_cast<int>(err),
              shown.c_str(), capacity);
    out[0] = '\0';
    return -1;
  }
  return n;
}

UChar32 kelToUpper(UChar32 c) {
  if (c >= 0xFF01 && c <= 0xFF5E) return c;
  return u_toupper(c);
}

int32_t kel_utoupper(KelCallContext *ctx, const UChar *str, char *out, int32_t capacity) {
  if (str == nullptr) return -1;
  std::u16string upper = upperCased(str, u_strlen(str));
  return KEL_wcstombsFunction(ctx, out, upper.c_str(), capacity);
}

int32_t kelUpperCase(KelCallContext *ctx, const char *str, char *out, int32_t capacity) {
  if (str == nullptr) return -1;
  UChar work[KEL_UPPER_WORK_CHARS + 1];
  int32_t units = KEL_mbstowcsFunction(ctx, work, str, KEL_UPPER_WORK_CHARS + 1);
  if (units < 0 || units > KEL_UPPER_WORK_CHARS) {
    KEL_TRACE(ctx, "Conversion error. err=%d, mbstr='%.99s...' count=%d\n",
              static_cast<int>(U_BUFFER_OVERFLOW_ERROR), str, KEL_UPPER_WORK_CHARS);
    if (out != nullptr && capacity > 0) out[0] = '\0';
    return -1;
  }
  std::u16string upper = upperCased(work, units);
  return KEL_wcstombsFunction(ctx, out, upper.c_str(), capacity);
}

namespace {

/*
 * Converts the XML document doc (length bytes read with from) with to, whose code page is
 * toCodePage, and rewrites its XML declaration to name to's encoding: the work of
 * kelConvBufferQuarnToAppEncoding (results and failures as it has them) for any pair of
 * converters.
 */
int32_t convertNamingEncoding(KelCallContext *ctx, UConverter *from, UConverter *to,
                              int32_t toCodePage, const char *doc, int32_t length, char *out,
                              int32_t outCap, char *msg, char *sqlstate) {
  UErrorCode nameErr = U_ZERO_ERROR;
  const char *convName = ucnv_getName(to, &nameErr);
  // A file no parser can begin to read is refused as the encoding name that asked for it.
  if (!parserDetects(to)) {
    KEL_TRACE(ctx, "a parser cannot detect the encoding %s\n", convName);
    kelFail(ctx, msg, sqlstate, KELG008E, convName);
    return -1;
  }
  std::u16string text;
  UErrorCode err = U_ZERO_ERROR;
  if (doc == nullptr || length < 0) length = 0;
  if (!toUtf16(from, doc, length, &text, &err)) {
    icuFailure(ctx, msg, sqlstate, err);
    return -1;
  }

  auto rejected = [&]() {
    if (msg != nullptr) kelSetMessage(ctx, msg, KELD000E);
    kelMessageState(KELD000E, sqlstate);
    return -1;
  };
  // A byte-order mark of the database text is not part of the document.
  const size_t bodyStart = !text.empty() && text[0] == u'\uFEFF' ? 1 : 0;
  Declaration decl;
  int found = readDeclaration(text, bodyStart, &decl);
  if (found < 0 || bodyStart == text.size()) return rejected();

  // The declared name: ICU's MIME name, else its IANA name, else the built-in name of the code
  // page, else the converter's own name (which ICU, at least, reads back).
  const char *encoding = convName;
  for (const char *candidate : {standardName(convName, "MIME"), standardName(convName, "IANA"),
                                tableName(toCodePage)}) {
    if (isEncodingName(candidate)) {
      encoding = candidate;
      break;
    }
  }
  std::u16string named = u"encoding=\"";
  for (const char *p = encoding; *p; ++p) named.push_back(static_cast<char16_t>(*p));
  named += u"\"";

  std::u16string result;
  if (found == 0) {
    // A document without a declaration gets one, as update gives it.
    result = u"<?xml version=\"1.0\" " + named + u"?>";
    result.append(text, bodyStart, std::u16string::npos);
  } else {
    result = text.substr(bodyStart, decl.versionEnd - bodyStart);
    result += u" " + named;
    // The rest of the declaration (standalone) keeps a blank before it.
    if (!startsWithAt(text, decl.rest, u"?>")) result += u" ";
    result.append(text, decl.rest, std::u16string::npos);
  }

  int32_t bomLen = 0;
  if (toCodePage == KEL_CP_UTF16) {
    if (outCap < 2) {
      icuFailure(ctx, msg, sqlstate, U_BUFFER_OVERFLOW_ERROR);
      return -1;
    }
    bool bigEndian = ucnv_getType(to) == UCNV_UTF16_BigEndian;
    out[0] = static_cast<char>(bigEndian ? 0xFE : 0xFF);
    out[1] = static_cast<char>(bigEndian ? 0xFF : 0xFE);
    bomLen = 2;
  }
  // One conversion for the whole text, so a stateful converter (or one that writes its own
  // byte-order mark) sees it as one document.
  int32_t n = fromUtf16(to, result, out + bomLen, outCap - bomLen, &err);
  if (U_FAILURE(err)) {
    KEL_TRACE(ctx, "output of %d bytes too small for the converted document of %d\n", outCap,
              n + bomLen);
    icuFailure(ctx, msg, sqlstate, err);
    return -1;
  }
  return n + bomLen;
}

}  // namespace

int32_t kelConvBufferQuarnToAppEncoding(KelCallContext *ctx, const char *doc, int32_t length,
                                        char *out, int32_t outCap, char *msg, char *sqlstate) {
  if (!haveConverters(ctx)) return noConverters(ctx, msg, sqlstate, nullptr);
  KelCodePages *cp = ctx->codePages;
  return convertNamingEncoding(ctx, cp->dbConverter, cp->appConverter, cp->appCodePage, doc,
                               length, out, outCap, msg, sqlstate);
}

namespace {

// True when the XML declaration at the start of text (behind a U+FEFF) names an encoding other
// than the application code page's by every name ICU has for it; *declared is then the name as
// written.  False without a declaration or without an encoding in it.
bool declaresOtherThanApp(const KelCodePages *cp, const std::u16string &text, std::string *declared) {
  Declaration decl;
  if (readDeclaration(text, !text.empty() && text[0] == u'\uFEFF' ? 1 : 0, &decl) != 1 ||
      decl.encodingEnd == 0)
    return false;
  declared->clear();
  bool ascii = true;
  for (size_t k = decl.encodingValue; k < decl.encodingEnd; ++k) {
    if (text[k] >= 0x80) ascii = false;  // no converter has such a name
    declared->push_back(static_cast<char>(text[k] < 0x80 ? text[k] : u'?'));
  }
  if (!ascii) return true;
  UErrorCode openErr = U_ZERO_ERROR;
  ConverterPtr named(ucnv_open(declared->c_str(), &openErr));
  if (named == nullptr || U_FAILURE(openErr)) return true;
  UErrorCode nameErr = U_ZERO_ERROR;
  const char *appName = ucnv_getName(cp->appConverter, &nameErr);
  const char *declaredName = ucnv_getName(named.get(), &nameErr);
  if (U_SUCCESS(nameErr) && std::strcmp(appName, declaredName) == 0) return false;
  int32_t declaredPage = ccsidOf(named.get());
  return declaredPage == 0 || recorded(declaredPage) != cp->appCodePage;
}

}  // namespace

bool kelDeclaresOtherEncoding(KelCallContext *ctx, const char *doc, int32_t length) {
  if (!haveConverters(ctx) || doc == nullptr || length <= 0) return false;
  KelCodePages *cp = ctx->codePages;
  // The declaration lies at the start: only that much is read, without flushing, so a
  // character cut at the end of the piece is no error.
  UChar head[KEL_DECLARATION_BYTES];
  UChar *target = head;
  const char *src = doc;
  UErrorCode err = U_ZERO_ERROR;
  ucnv_resetToUnicode(cp->dbConverter);
  ucnv_toUnicode(cp->dbConverter, &target, head + KEL_DECLARATION_BYTES, &src,
                 doc + std::min(length, KEL_DECLARATION_BYTES), nullptr, false, &err);
  ucnv_resetToUnicode(cp->dbConverter);
  if (U_FAILURE(err) && err != U_BUFFER_OVERFLOW_ERROR) return false;
  std::u16string text(head, static_cast<size_t>(target - head));
  std::string declared;
  return declaresOtherThanApp(cp, text, &declared);
}

namespace {

// For a file without a byte-order mark whose declaration's "<?" tells form (UTF-16LE, UTF-32BE,
// ...): whether the declaration agrees, naming no encoding or one of that width.  A declaration
// that names another (encoding="UTF-8" in UTF-16 bytes) contradicts the bytes, and the parse of
// XMLFile refuses such a file: so do the readers.
bool markLessFormAgrees(const unsigned char *b, int32_t n, const std::string &form) {
  const int width = form.compare(0, 6, "UTF-32") == 0 ? 4 : 2;
  const bool little = form.size() > 2 && form.compare(form.size() - 2, 2, "LE") == 0;
  std::u16string text;
  for (int32_t i = 0; i + width <= std::min(n, KEL_DECLARATION_BYTES); i += width) {
    char32_t c = 0;
    for (int k = 0; k < width; ++k) c |= static_cast<char32_t>(b[i + k]) << (8 * (little ? k : width - 1 - k));
    if (c >= 0x80) break;  // the declaration is ASCII
    text.push_back(static_cast<char16_t>(c));
  }
  Declaration decl;
  if (readDeclaration(text, 0, &decl) != 1) return false;
  if (decl.encodingEnd == 0) return true;
  std::string named;
  for (size_t k = decl.encodingValue; k < decl.encodingEnd; ++k)
    named.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(text[k]))));
  static const char *const kWide16[] = {"UTF-16", "UCS-2", "ISO-10646-UCS-2", "UTF16"};
  static const char *const kWide32[] = {"UTF-32", "UCS-4", "ISO-10646-UCS-4", "UTF32"};
  for (const char *prefix : width == 2 ? kWide16 : kWide32)
    if (named.compare(0, std::strlen(prefix), prefix) == 0) return true;
  return false;
}

// kelEncodingOfFile against the code pages cp: the encoding a file's first bytes name when it is
// not cp's application encoding.
int32_t encodingOfFile(const KelCodePages *cp, const char *head, int32_t n, char *name, int32_t nameCap) {
  if (name == nullptr || nameCap <= 0) return 0;
  name[0] = '\0';
  if (cp == nullptr || cp->appConverter == nullptr || head == nullptr || n <= 0) return 0;
  const auto *b = reinterpret_cast<const unsigned char *>(head);
  std::string found;
  // The four-byte marks first: FF FE 00 00 is UTF-32LE, not UTF-16LE before a U+0000.
  if (n >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0)
    found = "UTF-32LE";
  else if (n >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF)
    found = "UTF-32BE";
  else if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
    found = "UTF-8";
  else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE)
    found = "UTF-16LE";
  else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF)
    found = "UTF-16BE";
  // Without a mark, a declaration's "<?" in UTF-32 or UTF-16 tells the form, as the parse of
  // XMLFile finds it (it read such a file, the readers refused it or stored its bytes as they
  // were).  Without a declaration, the parse reads a file in the application code page, and so
  // do the readers.
  if (found.empty()) {
    if (n >= 8 && std::memcmp(b, "\0\0\0<\0\0\0?", 8) == 0)
      found = "UTF-32BE";
    else if (n >= 8 && std::memcmp(b, "<\0\0\0?\0\0\0", 8) == 0)
      found = "UTF-32LE";
    else if (n >= 4 && b[0] == 0 && b[1] == '<' && b[2] == 0 && b[3] == '?')
      found = "UTF-16BE";
    else if (n >= 4 && b[0] == '<' && b[1] == 0 && b[2] == '?' && b[3] == 0)
      found = "UTF-16LE";
    // Read in the application code page, as the parse of XMLFile refuses it.
    if (!found.empty() && !markLessFormAgrees(b, n, found)) return 0;
  }
  // "<?xm" in EBCDIC, which the parse of XMLFile recognises too: the declaration, read with the
  // letters every EBCDIC code page shares, names which one.  A declaration without a name, or
  // with a name whose converter does not write "<?xm" so (UTF-8), is read as the parse refuses
  // the file.
  if (found.empty() && n >= 4 && b[0] == 0x4C && b[1] == 0x6F && b[2] == 0xA7 && b[3] == 0x94) {
    UErrorCode err = U_ZERO_ERROR;
    ConverterPtr invariant(ucnv_open("IBM037", &err));
    std::u16string text;
    Declaration decl;
    if (invariant == nullptr || U_FAILURE(err) ||
        !toUtf16(invariant.get(), head, std::min(n, KEL_DECLARATION_BYTES), &text, &err) ||
        readDeclaration(text, 0, &decl) != 1 || decl.encodingEnd == 0)
      return 0;
    for (size_t k = decl.encodingValue; k < decl.encodingEnd; ++k) {
      if (text[k] >= 0x80) return 0;  // no converter has such a name
      found.push_back(static_cast<char>(text[k]));
    }
    ConverterPtr named(ucnv_open(found.c_str(), &err));
    char start[4];
    if (named == nullptr || U_FAILURE(err) ||
        ucnv_fromUChars(named.get(), start, sizeof start, u"<?xm", 4, &err) != 4 ||
        std::memcmp(start, b, 4) != 0)
      return 0;
  }
  if (found.empty()) {
    // A declaration is ASCII in every encoding read without a mark that is not UTF-16 or
    // UTF-32; the bytes up to the first that is not ASCII are enough to read it.
    std::u16string text;
    for (int32_t i = 0; i < std::min(n, KEL_DECLARATION_BYTES) && b[i] < 0x80; ++i) text.push_back(b[i]);
    if (!declaresOtherThanApp(cp, text, &found)) return 0;
  } else {
    // A mark of the application's own encoding changes nothing.
    UErrorCode err = U_ZERO_ERROR;
    ConverterPtr named(ucnv_open(found.c_str(), &err));
    if (named != nullptr && U_SUCCESS(err) && ucnv_getType(named.get()) == ucnv_getType(cp->appConverter))
      return 0;
  }
  if (static_cast<int32_t>(found.size()) >= nameCap) found.resize(static_cast<size_t>(nameCap - 1));
  std::memcpy(name, found.data(), found.size());
  name[found.size()] = '\0';
  return static_cast<int32_t>(found.size());
}

}  // namespace

int32_t kelEncodingOfFile(KelCallContext *ctx, const char *head, int32_t n, char *name, int32_t nameCap) {
  if (name != nullptr && nameCap > 0) name[0] = '\0';
  if (!haveConverters(ctx)) return 0;
  return encodingOfFile(ctx->codePages, head, n, name, nameCap);
}

int32_t kelConvFileBufferToQuarn(KelCallContext *ctx, const char *bytes, int32_t n, char *out,
                                 int32_t outCap, char *msg, char *sqlstate) {
  if (!haveConverters(ctx)) return noConverters(ctx, msg, sqlstate, nullptr);
  // The database is UTF-8 whatever the process's locale: a file is converted unless it is
  // UTF-8 already (no mark or declaration naming another encoding).
  UErrorCode openErr = U_ZERO_ERROR;
  ConverterPtr utf8Converter(kelOpenConverter(KEL_CP_UTF8, &openErr));
  if (utf8Converter == nullptr || U_FAILURE(openErr)) return noConverters(ctx, msg, sqlstate, nullptr);
  KelCodePages utf8{};
  utf8.appCodePage = utf8.dbCodePage = KEL_CP_UTF8;
  utf8.appConverter = utf8.dbConverter = utf8Converter.get();
  char name[KEL_MAX_LOCALE_NAME];
  if (encodingOfFile(&utf8, bytes, n, name, sizeof name) == 0) return 0;
  KEL_TRACE(ctx, "file read as %s\n", name);
  // The name is opened as initICU opens a locale's, so a file reads as XMLVarcharFromFile
  // reads it.
  UErrorCode err = U_ZERO_ERROR;
  ConverterPtr fileConverter(openLocaleConverter(name, &err));
  if (fileConverter == nullptr || U_FAILURE(err)) {
    kelFail(ctx, msg, sqlstate, KELG008E, name);
    return -1;
  }
  return convertNamingEncoding(ctx, fileConverter.get(), utf8Converter.get(), KEL_CP_UTF8, bytes, n, out, outCap,
                               msg, sqlstate);
}

bool kelIsSpecialMbcsCodePage(int32_t codePage) {
  return codePage == 954 || codePage == 964 || codePage == 2600 || codePage == 33722;
}

size_t kelAppRoomFor(const KelCallContext *ctx, size_t n) {
  const KelCodePages *cp = ctx != nullptr ? ctx->codePages : nullptr;
  const size_t longest = cp != nullptr && cp->appConverter != nullptr ? ucnv_getMaxCharSize(cp->appConverter) : 4;
  // A database character takes at least one byte and at most two UTF-16 units for as many
  // bytes; the rewritten declaration adds the encoding's name (below 100 characters).
  constexpr size_t kDeclarationRoom = 128;
  const size_t room = UCNV_GET_MAX_BYTES_FOR_STRING(n + kDeclarationRoom, longest) + 4;
  return std::min<size_t>(room, INT32_MAX);  // the conversions count in 32 bits
}

size_t kelUtf8Chars(const char *text, size_t n) {
  size_t chars = 0;
  for (size_t i = 0; i < n; ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++chars;
  return chars;
}

bool kelIsUtf8CodePage(int32_t codePage) {
  return codePage == KEL_CP_UTF8;
}

bool kelNarrowAscii(const UChar *src, size_t n, char *out) {
  size_t k = 0;
#if defined(__SSE2__)
  // Eight units at a time: packed to bytes, and or-ed together for the check at the end.
  __m128i any = _mm_setzero_si128();
  for (; k + 8 <= n; k += 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + k));
    any = _mm_or_si128(any, units);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out + k), _mm_packus_epi16(units, units));
  }
  const __m128i high = _mm_and_si128(any, _mm_set1_epi16(static_cast<short>(0xff80)));
  UChar rest = _mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) == 0xffff ? 0 : 0x80;
#else
  UChar rest = 0;
#endif
  for (; k < n; ++k) {
    rest |= src[k];
    out[k] = static_cast<char>(src[k]);
  }
  return rest < 0x80;
}
