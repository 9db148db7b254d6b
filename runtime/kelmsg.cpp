/*
 * kelmsg.cpp - message formatting, the external message catalogue and SQLSTATE mapping.
 *
 * The catalogue handle is process-wide: opened at the first message under catalogueLock (a
 * mutex constructed when the library is loaded), never retried, closed when the library is
 * unloaded.  The process locale for messages and character types is taken from the
 * environment once, at that first open, under the same lock: setting it on every call would
 * race with the engine's other threads.
 */
#include "kelmsg.h"

#include <dlfcn.h>
#include <langinfo.h>
#include <nl_types.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "kelctx.h"
#include "keltrace.h"
#include "quarnapp.h"

namespace {

constexpr int kCatalogueSet = 1;
constexpr const char *kCatalogueName = "kel.cat";
constexpr const char *kDbMessageFile = "quarnsql.mo";

std::mutex catalogueLock;
nl_catd catalogueHandle = reinterpret_cast<nl_catd>(-1);
bool catalogueTried = false;

bool catalogueOpen() { return catalogueHandle != reinterpret_cast<nl_catd>(-1); }

// With NLSPATH set the catalogue is looked up the standard way, so a translation per locale is
// found; otherwise it is the one installed beside this library: <libdir>/../share/quarnxml.
std::string cataloguePath() {
  const char *nlspath = std::getenv("NLSPATH");
  if (nlspath != nullptr && *nlspath != '\0') return kCatalogueName;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void *>(&cataloguePath), &info) == 0 || info.dli_fname == nullptr)
    return kCatalogueName;
  std::string dir = info.dli_fname;
  // Linked into a program, this code reports the program's name as it was started: a bare name
  // found through PATH, or one relative to the directory it was started in.  The program's own
  // file is asked for then, so the catalogue is never looked for under the working directory.
  if (dir.empty() || dir[0] != '/') {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return kCatalogueName;
    dir.assign(self, static_cast<size_t>(n));
  }
  size_t slash = dir.rfind('/');
  dir = slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
  return dir + "/../share/quarnxml/" + kCatalogueName;
}

// Opens the catalogue on first use.  Caller holds catalogueLock.
void openCatalogueLocked() {
  if (catalogueTried) return;
  catalogueTried = true;
  std::setlocale(LC_CTYPE, "");
  std::setlocale(LC_MESSAGES, "");
  catalogueHandle = catopen(cataloguePath().c_str(), NL_CAT_LOCALE);
}

__attribute__((destructor)) void closeCatalogue() {
  std::lock_guard<std::mutex> guard(catalogueLock);
  if (catalogueOpen()) catclose(catalogueHandle);
  catalogueHandle = reinterpret_cast<nl_catd>(-1);
}

// Counts the conversions of a format; -1 when it holds anything but %s and %%.
int placeholderCount(const char *format) {
  int n = 0;
  for (const char *p = format; *p; ++p) {
    if (*p != '%') continue;
    if (p[1] == '%') {
      ++p;
    } else if (p[1] == 's') {
      ++n;
      ++p;
    } else {
      return -1;
    }
  }
  return n;
}

enum class Source { Catalogue, NotOpen, NotFound };

// The format of entry msgNo: the translated text when the catalogue has one with the same
// placeholders, else the built-in text; *source tells which.
const char *formatOf(int msgNo, Source *source) {
  const char *builtin = kelSqlStateTable[msgNo].text;
  const char *fetched = nullptr;
  bool open;
  {
    std::lock_guard<std::mutex> guard(catalogueLock);
    openCatalogueLocked();
    open = catalogueOpen();
    if (open) fetched = catgets(catalogueHandle, kCatalogueSet, msgNo, nullptr);
  }
  *source = !open ? Source::NotOpen : fetched == nullptr ? Source::NotFound : Source::Catalogue;
  if (*source != Source::Catalogue) return builtin;
  // The handle stays open for the life of the process, so the text stays valid.
  if (placeholderCount(fetched) != placeholderCount(builtin)) return builtin;
  return fetched;
}

bool fullMode(const KelCallContext *ctx) { return ctx == nullptr || ctx->fullMessages != 0; }

// Places an already formatted text of len bytes at dest + used under the mode's limits.
int placeText(KelCallContext *ctx, char *dest, int used, const char *text, int len) {
  const int limit = fullMode(ctx) ? KEL_MSG_BUFFER : KEL_SHORT_MSG_LEN;
  int room = limit - used;
  // With no byte left for the newline nothing is written (a room of 0 has no last place).
  if (room <= 0) return 0;
  char *out = dest + used;
  // The text and its newline within the room; a longer text loses its end, never part of a
  // character.
  int n = kelCutLength(text, len, room - 1);
  std::memcpy(out, text, static_cast<size_t>(n));
  out[n] = '\n';
  out[n + 1] = '\0';
  return n + 1;
}

int appendMessage(KelCallContext *ctx, char *dest, int msgNo, int used, ...) {
  va_list args;
  va_start(args, used);
  int n = kelVsprint(ctx, dest, msgNo, used, args);
  va_end(args);
  return n;
}

}  // namespace

int kelCutLength(const char *text, int len, int limit) {
  if (len <= limit) return len;
  int cut = limit < 0 ? 0 : limit;
  // The byte at the cut continues a character when it is 10xxxxxx; a character has at most
  // three such bytes behind its first.
  const int first = cut > 3 ? cut - 3 : 0;
  while (cut > first && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

int kelVsprint(KelCallContext *ctx, char *dest, int msgNo, int usedBytes, va_list args) {
  if (msgNo < 0 || msgNo >= KEL_MSG_COUNT || dest == nullptr) return -1;
  Source source;
  const char *format = formatOf(msgNo, &source);
  if (source == Source::NotOpen)
    KEL_TRACE(ctx, "Message catalog open error. Using internal messages.\n");
  else if (source == Source::NotFound)
    KEL_TRACE(ctx, "Message catalog fetch error. Id=%d\n", msgNo);
  // A few bytes beyond the largest room, so that the character at the cut is there whole and
  // placeText sees where it ends.
  char scratch[KEL_MSG_BUFFER + 4];
  int len = std::vsnprintf(scratch, sizeof scratch, format, args);
  if (len < 0) len = 0;
  if (len > static_cast<int>(sizeof scratch) - 1) len = static_cast<int>(sizeof scratch) - 1;
  if (msgNo == KELG001E) KEL_TRACE(ctx, "%s\n", scratch);
  return placeText(ctx, dest, usedBytes, scratch, len);
}

int kelSetMessage(KelCallContext *ctx, char *dest, int msgNo, ...) {
  va_list args;
  va_start(args, msgNo);
  int n = kelVsprint(ctx, dest, msgNo, 0, args);
  va_end(args);
  return n;
}

int kelSetText(KelCallContext *ctx, char *dest, const char *text) {
  if (dest == nullptr) return -1;
  const char *t = text != nullptr ? text : "";
  return placeText(ctx, dest, 0, t, static_cast<int>(std::strlen(t)));
}

namespace {

// dbText (dbLen bytes), KELM001W and msgNo, as kelDbVsprint writes them.
int dbTextVsprint(KelCallContext *ctx, char *dest, const char *dbText, int dbLen, int msgNo, va_list args) {
  if (dbText != nullptr && dbLen > 0 && std::strncmp(dbText, " QZNT400I", 9) != 0) {
    // In short mode the database text may use at most the 70 characters of the message.
    const int limit = fullMode(ctx) ? KEL_MSG_BUFFER : KEL_SHORT_MSG_LEN;
    dbLen = kelCutLength(dbText, dbLen, limit);
    KEL_TRACE(ctx, "outStr='%.*s'\n", dbLen, dbText);
    std::memmove(dest, dbText, static_cast<size_t>(dbLen));
    dest[dbLen] = '\0';
    int m001 = appendMessage(ctx, dest, KELM001W, dbLen);
    if (m001 < 0) m001 = 0;
    int req = kelVsprint(ctx, dest, msgNo, dbLen + m001, args);
    return dbLen + m001 + (req > 0 ? req : 0);
  }
  int req = kelVsprint(ctx, dest, msgNo, 0, args);
  return req > 0 ? req : 0;
}

}  // namespace

int kelDbVsprint(KelCallContext *ctx, char *dest, struct sqlca *ca, int msgNo, va_list args) {
  char dbText[KEL_MSG_BUFFER];
  int dbLen = sqlaintp_api(dbText, sizeof dbText, KEL_MSG_BUFFER, kDbMessageFile, ca);
  return dbTextVsprint(ctx, dest, dbText, dbLen > 0 ? dbLen : 0, msgNo, args);
}

int kelSetDbTextMessage(KelCallContext *ctx, char *dest, const char *dbText, int msgNo, ...) {
  // The text ends its line, as the database's formatted texts do.
  std::string text = dbText != nullptr ? dbText : "";
  if (!text.empty() && text.back() != '\n') text += '\n';
  va_list args;
  va_start(args, msgNo);
  int n = dbTextVsprint(ctx, dest, text.c_str(), static_cast<int>(text.size()), msgNo, args);
  va_end(args);
  return n;
}

int kelSetDbMessage(KelCallContext *ctx, char *dest, struct sqlca *ca, int msgNo, ...) {
  va_list args;
  va_start(args, msgNo);
  int n = kelDbVsprint(ctx, dest, ca, msgNo, args);
  va_end(args);
  return n;
}

int kelPrintMessage(KelCallContext *ctx, int msgNo, ...) {
  char buf[KEL_MSG_BUFFER + 1] = "";
  va_list args;
  va_start(args, msgNo);
  int n = kelVsprint(ctx, buf, msgNo, 0, args);
  va_end(args);
  if (n > 0) std::fputs(buf, stderr);
  return n;
}

int kelPrintDbMessage(KelCallContext *ctx, struct sqlca *ca, int msgNo, ...) {
  char buf[KEL_MSG_BUFFER + 1] = "";
  va_list args;
  va_start(args, msgNo);
  int n = kelDbVsprint(ctx, buf, ca, msgNo, args);
  va_end(args);
  if (n > 0) std::fputs(buf, stderr);
  return n;
}

int32_t kelStateToCode(KelCallContext *ctx, int32_t *rc, const char *sqlstate) {
  int32_t code = KEL_STATE_NOT_FOUND;
  const char *state = sqlstate != nullptr ? sqlstate : "";
  if (std::strcmp(state, "38X13") == 0) {
    code = -85;
  } else {
    for (const KelMessageEntry &e : kelSqlStateTable) {
      if (std::strcmp(e.sqlstate, state) == 0) {
        code = e.code;
        break;
      }
    }
    if (code == KEL_STATE_NOT_FOUND)
      KEL_TRACE(ctx, "sqlState '%s' not found in kelSqlStateTable.\n%ld returned.\n", state,
                static_cast<long>(code));
  }
  if (rc != nullptr) *rc = code;
  return code;
}

int32_t kelMessageState(int msgNo, char *sqlstate) {
  if (msgNo < 0 || msgNo >= KEL_MSG_COUNT) return 0;
  if (sqlstate != nullptr) {
    std::strncpy(sqlstate, kelSqlStateTable[msgNo].sqlstate, 5);
    sqlstate[5] = '\0';
  }
  return kelSqlStateTable[msgNo].code;
}

int32_t kelFail(KelCallContext *ctx, char *msg, char *sqlstate, int msgNo, ...) {
  if (msg != nullptr) {
    va_list args;
    va_start(args, msgNo);
    kelVsprint(ctx, msg, msgNo, 0, args);
    va_end(args);
  }
  return kelMessageState(msgNo, sqlstate);
}

int32_t kelFailWithState(KelCallContext *ctx, char *msg, char *sqlstate, const char *state, int msgNo, ...) {
  if (msg != nullptr) {
    va_list args;
    va_start(args, msgNo);
    kelVsprint(ctx, msg, msgNo, 0, args);
    va_end(args);
  }
  kelSetState(sqlstate, state);
  return msgNo >= 0 && msgNo < KEL_MSG_COUNT ? kelSqlStateTable[msgNo].code : 0;
}

int kelFailNumber(int *msgNo, char *sqlstate, int number) {
  if (msgNo != nullptr) *msgNo = number;
  kelMessageState(number, sqlstate);
  return -1;
}

