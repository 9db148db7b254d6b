/*
 * keladmcmd.h - the command line of keladm: command words, options, argument counts and length
 * limits, and the usage texts.  Parsing copies nothing: the command keeps pointers into argv,
 * and every length is checked here, before anything is copied or sent anywhere.  Only command
 * words and option letters are compared without regard to case; names, paths and passwords
 * stay as typed.
 */
#ifndef KEL_KELADMCMD_H
#define KEL_KELADMCMD_H

#include <cstddef>

// Command words and their numbers.
enum class KeladmWord {
  EnableDb = 0,
  DisableDb = 1,
  EnableColumn = 2,
  DisableColumn = 3,
  EnableCollection = 4,
  DisableCollection = 5,
  EnableServer = 8,
  DisableServer = 9,
  TraceOn = 20,
  TraceOff = 21,
  VerifyColumn = 22,
};

// Database platforms, told by the product identifier after CONNECT.
enum class KeladmPlatform { Other = 0, Mainframe = 1, Midrange = 2, Workstation = 3 };

// Length limits of the arguments (characters; the buffers that receive them are one longer).
inline constexpr size_t KELADM_MAX_DBNAME = 16;
inline constexpr size_t KELADM_MAX_USER = 18;
inline constexpr size_t KELADM_MAX_PASSWORD = 18;
inline constexpr size_t KELADM_MAX_TABLESPACE = 18;
inline constexpr size_t KELADM_MAX_VIEW = 128;
inline constexpr size_t KELADM_MAX_ROOTID = 18;
inline constexpr size_t KELADM_MAX_TABLE = 128;
inline constexpr size_t KELADM_MAX_COLUMN = 30;      // column and collection names
inline constexpr size_t KELADM_MAX_PATH = 4095;      // DAD file
inline constexpr size_t KELADM_MAX_INSTANCE = 30;
inline constexpr long KELADM_MAX_DAD = 102400;       // bytes of the DAD host variable

// A parsed command: pointers into argv (null when absent).
struct KeladmCommand {
  KeladmWord word = KeladmWord::EnableDb;
  const char *dbName = nullptr;
  const char *tableName = nullptr;
  const char *columnName = nullptr;   // or the collection name
  const char *dadFile = nullptr;
  const char *user = nullptr;
  const char *password = nullptr;
  const char *tableSpace = nullptr;   // as given (ENABLE_DB: "ts1,ts2" or "ts1")
  const char *defaultView = nullptr;
  const char *rootId = nullptr;
  const char *traceDir = nullptr;
  const char *instance = nullptr;
  bool serverForm = false;            // ENABLE_SERVER, DISABLE_SERVER or an -a form
  bool repair = false;                // VERIFY_COLUMN with -repair
  // ENABLE_DB: the table-space pair split at the comma, each terminated.
  char tableSpace1[KELADM_MAX_TABLESPACE + 1] = "";
  char tableSpace2[KELADM_MAX_TABLESPACE + 1] = "";
  bool hasTableSpacePair = false;
};

// Outcome of parsing.
enum class KeladmParse {
  Ok,
  Usage,    // print the usage text (standard output) and end with -1
  Message,  // a catalogue message was printed (standard error); end with exitCode
};

/*
 * Parses argc/argv into *cmd.  On Message the message has been printed to standard error and
 * *exitCode holds the status to end with; on Usage nothing has been printed.
 */
KeladmParse keladmParse(int argc, char **argv, KeladmCommand *cmd, int *exitCode);

// Prints the usage text of the platform to standard output ("keladm" fills program).
void keladmPrintUsage(const char *program, KeladmPlatform platform);

// The platform of a product identifier ("SQL...", "QZN...", "QMQ...").
KeladmPlatform keladmPlatformOf(const char *productId);

#endif /* KEL_KELADMCMD_H */
