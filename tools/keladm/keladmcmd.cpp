// keladmcmd.cpp - parsing of keladm's command line and its usage texts.
#include "keladmcmd.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "kelmsg.h"

namespace {

// Case-insensitive equality of a command word or option letter with its upper-case form.
bool sameWord(const char *arg, const char *upper) {
  size_t i = 0;
  for (; arg[i] != '\0' && upper[i] != '\0'; ++i)
    if (std::toupper(static_cast<unsigned char>(arg[i])) != upper[i]) return false;
  return arg[i] == '\0' && upper[i] == '\0';
}

struct WordEntry {
  const char *name;
  KeladmWord word;
  int positional;       // arguments after the word before the options
  const char *options;  // option letters allowed (upper case)
};

constexpr WordEntry kWords[] = {
    {"ENABLE_DB", KeladmWord::EnableDb, 1, "LPT"},
    {"DISABLE_DB", KeladmWord::DisableDb, 1, "LP"},
    {"ENABLE_COLUMN", KeladmWord::EnableColumn, 4, "TVRLP"},
    {"DISABLE_COLUMN", KeladmWord::DisableColumn, 3, "LP"},
    {"ENABLE_COLLECTION", KeladmWord::EnableCollection, 3, "TLP"},
    {"DISABLE_COLLECTION", KeladmWord::DisableCollection, 2, "LP"},
    {"ENABLE_SERVER", KeladmWord::EnableServer, 0, ""},
    {"DISABLE_SERVER", KeladmWord::DisableServer, 0, ""},
    {"TRACE_ON", KeladmWord::TraceOn, 1, ""},
    {"TRACE_OFF", KeladmWord::TraceOff, 0, ""},
    {"VERIFY_COLUMN", KeladmWord::VerifyColumn, 3, "LP"},
};

// The option letter of arg ("-l" or "-L" gives 'L'), or 0 when arg is not an option.
char optionLetter(const char *arg) {
  if (arg[0] != '-' || arg[1] == '\0' || arg[2] != '\0') return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(arg[1])));
}

// The mainframe forms (ENABLE_SERVER, DISABLE_SERVER and the -a forms) are checked only for
// their argument counts; this program does not attach to a mainframe subsystem.
bool serverCountFits(KeladmWord word, int argc) {
  switch (word) {
    case KeladmWord::EnableServer: return argc == 7 || argc == 9;
    case KeladmWord::DisableServer: return argc == 4;
    case KeladmWord::EnableColumn: return argc == 7 || argc == 9 || argc == 11 || argc == 13;
    case KeladmWord::DisableColumn: return argc == 6 || argc == 8;
    case KeladmWord::EnableCollection: return argc == 6 || argc == 8;
    case KeladmWord::DisableCollection: return argc == 5;
    default: return false;
  }
}

// An instance name becomes part of file names: letters, digits and '_' only.
bool validInstance(const char *name) {
  size_t n = std::strlen(name);
  if (n == 0 || n > KELADM_MAX_INSTANCE) return false;
  for (size_t i = 0; i < n; ++i)
    if (!std::isalnum(static_cast<unsigned char>(name[i])) && name[i] != '_') return false;
  return true;
}

KeladmParse message(int *exitCode, int msgNo, const char *arg = nullptr) {
  if (arg != nullptr)
    kelPrintMessage(nullptr, msgNo, arg);
  else
    kelPrintMessage(nullptr, msgNo);
  *exitCode = -1;
  return KeladmParse::Message;
}

// Copies ENABLE_DB's "ts1,ts2" (lengths checked) into the command's two buffers; len2 is
// size_t(-1) when there is no second name.
void splitTableSpaces(KeladmCommand *cmd, size_t len1, size_t len2) {
  const char *ts = cmd->tableSpace;
  std::memcpy(cmd->tableSpace1, ts, len1);
  cmd->tableSpace1[len1] = '\0';
  if (len2 != static_cast<size_t>(-1)) {
    std::memcpy(cmd->tableSpace2, ts + len1 + 1, len2);
    cmd->tableSpace2[len2] = '\0';
  }
  cmd->hasTableSpacePair = len2 != static_cast<size_t>(-1);
}

}  // namespace

KeladmParse keladmParse(int argc, char **argv, KeladmCommand *cmd, int *exitCode) {
  *exitCode = -1;
  if (argc < 2) return KeladmParse::Usage;
  const WordEntry *entry = nullptr;
  for (const WordEntry &w : kWords)
    if (sameWord(argv[1], w.name)) entry = &w;
  if (entry == nullptr) return KeladmParse::Usage;
  cmd->word = entry->word;

  if (entry->word == KeladmWord::EnableServer || entry->word == KeladmWord::DisableServer ||
      (argc > 2 && optionLetter(argv[2]) == 'A')) {
    if (!serverCountFits(entry->word, argc)) return KeladmParse::Usage;
    cmd->serverForm = true;
    return KeladmParse::Ok;
  }

  if (entry->word == KeladmWord::TraceOn || entry->word == KeladmWord::TraceOff) {
    int most = entry->positional + 1;
    if (argc - 2 < entry->positional || argc - 2 > most) return KeladmParse::Usage;
    if (entry->word == KeladmWord::TraceOn) {
      cmd->traceDir = argv[2];
      // Its length is the trace's to judge: a directory that cannot name a trace file is
      // KELC009E (-97) with the directory, as any other that cannot be written to.
      if (cmd->traceDir[0] == '\0') return KeladmParse::Usage;
    }
    if (argc - 2 == most) {
      cmd->instance = argv[argc - 1];
      if (!validInstance(cmd->instance)) return message(exitCode, KELA076E);
    }
    return KeladmParse::Ok;
  }

  // VERIFY_COLUMN's -repair stands alone among the options, once.
  int repairAt = 0;
  if (entry->word == KeladmWord::VerifyColumn)
    for (int i = 2 + entry->positional; i < argc; ++i)
      if (sameWord(argv[i], "-REPAIR")) {
        if (repairAt != 0) return KeladmParse::Usage;
        repairAt = i;
      }
  cmd->repair = repairAt != 0;
  int nOptions = argc - 2 - entry->positional - (repairAt != 0 ? 1 : 0);
  if (nOptions < 0 || nOptions % 2 != 0) return KeladmParse::Usage;
  // Positional arguments by word: the database first, then its own names.
  switch (entry->word) {
    case KeladmWord::EnableColumn:
      cmd->dadFile = argv[5];
      [[fallthrough]];
    case KeladmWord::DisableColumn:
    case KeladmWord::VerifyColumn:
      cmd->tableName = argv[3];
      cmd->columnName = argv[4];
      break;
    case KeladmWord::EnableCollection:
      cmd->dadFile = argv[4];
      [[fallthrough]];
    case KeladmWord::DisableCollection:
      cmd->columnName = argv[3];
      break;
    default:
      break;
  }
  cmd->dbName = argv[2];
  for (int i = 2; i < 2 + entry->positional; ++i)
    if (optionLetter(argv[i]) != 0) return KeladmParse::Usage;

  for (int i = 2 + entry->positional; i < argc; i += 2) {
    if (i == repairAt && ++i >= argc) break;
    char letter = optionLetter(argv[i]);
    if (letter == 0 || std::strchr(entry->options, letter) == nullptr) return KeladmParse::Usage;
    const char **target = nullptr;
    switch (letter) {
      case 'L': target = &cmd->user; break;
      case 'P': target = &cmd->password; break;
      case 'T': target = &cmd->tableSpace; break;
      case 'V': target = &cmd->defaultView; break;
      case 'R': target = &cmd->rootId; break;
      default: return KeladmParse::Usage;
    }
    if (*target != nullptr) return KeladmParse::Usage;  // repeated option
    *target = argv[i + 1];
  }
  // A user id and a password are given together or not at all, in every form.
  if ((cmd->user == nullptr) != (cmd->password == nullptr)) return KeladmParse::Usage;

  // Lengths, before anything is copied.
  size_t dbLen = std::strlen(cmd->dbName);
  if (dbLen == 0 || dbLen > KELADM_MAX_DBNAME) return KeladmParse::Usage;
  if (cmd->user != nullptr && std::strlen(cmd->user) > KELADM_MAX_USER) return KeladmParse::Usage;
  if (cmd->password != nullptr && std::strlen(cmd->password) > KELADM_MAX_PASSWORD) return KeladmParse::Usage;
  if (cmd->tableName != nullptr && std::strlen(cmd->tableName) > KELADM_MAX_TABLE) return KeladmParse::Usage;
  if (cmd->columnName != nullptr && std::strlen(cmd->columnName) > KELADM_MAX_COLUMN)
    return message(exitCode, KELQ032E);
  if (cmd->tableSpace != nullptr) {
    const char *ts = cmd->tableSpace;
    size_t total = std::strlen(ts);
    if (entry->word == KeladmWord::EnableDb) {
      const char *comma = std::strchr(ts, ',');
      size_t len1 = comma != nullptr ? static_cast<size_t>(comma - ts) : total;
      size_t len2 = comma != nullptr ? total - len1 - 1 : static_cast<size_t>(-1);
      if (len1 == 0 || len2 == 0) return KeladmParse::Usage;
      if (len1 > KELADM_MAX_TABLESPACE || (comma != nullptr && len2 > KELADM_MAX_TABLESPACE))
        return message(exitCode, KELA037E);
      splitTableSpaces(cmd, len1, len2);
    } else if (total > KELADM_MAX_TABLESPACE) {
      return message(exitCode, KELA037E);
    }
  }
  if (cmd->rootId != nullptr && std::strlen(cmd->rootId) > KELADM_MAX_ROOTID) return message(exitCode, KELA039E);
  if (cmd->defaultView != nullptr && std::strlen(cmd->defaultView) > KELADM_MAX_VIEW)
    return message(exitCode, KELA021E, cmd->defaultView);
  if (cmd->dadFile != nullptr) {
    size_t len = std::strlen(cmd->dadFile);
    if (len == 0 || len > KELADM_MAX_PATH) return message(exitCode, KELG000E, len == 0 ? "" : "(too long)");
  }
  return KeladmParse::Ok;
}

void keladmPrintUsage(const char *p, KeladmPlatform platform) {
  std::printf("Usage:\n");
  if (platform == KeladmPlatform::Mainframe) {
    std::printf("%s [enable_server -a subsystem-name ", p);
    std::printf("        wlm environment wlm-name1<,wlm-name2>\n");
    std::printf("        <security ext-security>]\n");
    std::printf("%s [disable_server]\n", p);
    std::printf("%s [enable_collection -a subsystem-name ", p);
    std::printf("collectionName dad_file\n");
    std::printf("        <-t tablespace>]\n");
    std::printf("%s [disable_collection -a subsystem-name ", p);
    std::printf("collectionName\n");
    std::printf("%s [enable_column -a subsystem ", p);
    std::printf("tabname column dad_file\n");
    std::printf("       <-t tablespace> <-v default_view> ");
    std::printf("<-r root_id> <-l userid>]\n");
    std::printf("%s [disable_column -a subsystem ", p);
    std::printf("tabname column <-l userid>]\n");
    return;
  }
  bool midrange = platform == KeladmPlatform::Midrange;
  std::printf("%s [enable_db dbname ", p);
  std::printf(midrange ? "<-l userid -p password> ]\n" : "<-l userid -p password -t tablespace1<,tablespace2>> ]\n");
  std::printf("%s [disable_db dbname ", p);
  std::printf("<-l userid -p password> ]\n");
  std::printf("%s [enable_column dbname tabname column dad_file\n", p);
  std::printf(midrange ? "       <-v default_view> <-r root_id> " : "       <-t tablespace> <-v default_view> <-r root_id> ");
  std::printf("<-l userid -p password> ]\n");
  std::printf("%s [disable_column dbname tabname column ", p);
  std::printf("<-l userid -p password> ]\n");
  std::printf("%s [enable_collection dbname collectionName dad_file\n", p);
  std::printf(midrange ? "   <-l userid -p password> ]\n" : "   <-t tablespace> <-l userid -p password> ]\n");
  std::printf("%s [disable_collection dbname collection ", p);
  std::printf("<-l userid -p password> ]\n");
  // Verifying a column and switching the instance trace are commands of this program's own.
  std::printf("%s [verify_column dbname tabname column <-repair> ", p);
  std::printf("<-l userid -p password> ]\n");
  std::printf("%s [trace_on directory <instance> ]\n", p);
  std::printf("%s [trace_off <instance> ]\n", p);
}

KeladmPlatform keladmPlatformOf(const char *productId) {
  if (productId == nullptr) return KeladmPlatform::Other;
  if (std::strncmp(productId, "QZN", 3) == 0) return KeladmPlatform::Mainframe;
  if (std::strncmp(productId, "QMQ", 3) == 0) return KeladmPlatform::Midrange;
  if (std::strncmp(productId, "SQL", 3) == 0) return KeladmPlatform::Workstation;
  return KeladmPlatform::Other;
}
