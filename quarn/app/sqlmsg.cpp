/*
 * sqlmsg.cpp - sqlaintp_api, which turns a communication area into "SQLnnnnN text
 * SQLSTATE=xxxxx" cut into lines.  The texts are the engine's list of errors (errors.h), whose
 * &1, &2, ... are replaced by the area's tokens (sqlerrmc, separated by 0xFF); for the failure
 * this thread met last, by its tokens whole (a routine's diagnostic text is cut to what is left
 * of the area's 70 bytes behind the routine's names, some 27 characters).  Thread-safe.
 */
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"
#include "quarnapp.h"

namespace {

std::string textOf(const sqlca &ca) { return quarn::wholeFailureText(ca); }

// The last place at or before at where a UTF-8 character starts, but never before from: a
// cut there leaves no character in pieces (a name in a token may be in any script).
size_t wholeCharacters(const std::string &text, size_t from, size_t at) {
  size_t cut = at;
  while (cut > from && cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut > from ? cut : at;
}

// Cuts text into lines of at most width - 1 bytes plus a newline, breaking at the last blank of
// a line where there is one, else behind the last whole character.
std::string wrap(const std::string &text, size_t width) {
  std::string out;
  size_t pos = 0;
  size_t room = width - 1;
  while (pos < text.size()) {
    size_t len = text.size() - pos;
    if (len > room) {
      len = wholeCharacters(text, pos, pos + room) - pos;
      size_t blank = text.rfind(' ', pos + room);
      if (blank != std::string::npos && blank > pos) len = blank - pos + 1;
    }
    size_t end = pos + len;
    size_t trimmed = end;
    while (trimmed > pos && text[trimmed - 1] == ' ' && end < text.size()) --trimmed;
    out.append(text, pos, trimmed - pos);
    out.push_back('\n');
    pos = end;
  }
  return out;
}

}  // namespace

extern "C" SQL_API_EXPORT int sqlaintp_api(char *pBuffer, short BufferSize, short LineWidth,
                                           const char *pMsgFileName, struct sqlca *pSqlca) {
  (void)pMsgFileName;
  if (pBuffer == nullptr || pSqlca == nullptr || BufferSize < 2 || LineWidth < 2) return -1;
  pBuffer[0] = '\0';
  if (pSqlca->sqlcode == 0) return 0;
  std::string text = wrap(textOf(*pSqlca), static_cast<size_t>(LineWidth));
  size_t n = text.size();
  if (n > static_cast<size_t>(BufferSize) - 1) n = wholeCharacters(text, 0, static_cast<size_t>(BufferSize) - 1);
  std::memcpy(pBuffer, text.data(), n);
  pBuffer[n] = '\0';
  return static_cast<int>(n);
}
