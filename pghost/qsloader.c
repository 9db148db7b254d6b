/*
 * qsloader.c - routine libraries on quarnsql.routine_path (see qsloader.h).
 */
/* dladdr1 and dlinfo */
#define _GNU_SOURCE
#include "postgres.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include "miscadmin.h"
#include "qsloader.h"
#include "utils/memutils.h"

char *qsRoutinePath;

typedef struct Opened {
  char *file;
  void *handle;
  struct Opened *next;
} Opened;

static Opened *opened;

static void cannotAccess(const QsDef *def, const char *reason) {
  ereport(ERROR, (errcode(MAKE_SQLSTATE('4', '2', '7', '2', '4')),
                  errmsg("routine \"%s\" (specific name \"%s\") is implemented with code in library or path \"%s\", "
                         "function \"%s\" which cannot be accessed",
                         def->fname, def->specific, def->library, def->entry),
                  errdetail("Reason code: \"%s\".", reason)));
}

/* The loader's reason without the file name it starts with. */
static const char *reasonOf(const char *err, const char *file) {
  size_t n = strlen(file);
  if (err == NULL) return "unknown";
  if (strncmp(err, file, n) == 0 && strncmp(err + n, ": ", 2) == 0) return err + n + 2;
  return err;
}

static bool isFile(const char *path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

/* Whether address belongs to the library of handle itself.  dlsym on a handle also finds the
 * symbols of the libraries it depends on (the C library's abort, exit, getpid ...), which are no
 * entry of a routine library. */
static bool definedIn(void *handle, void *address) {
  Dl_info info;
  struct link_map *own = NULL, *found = NULL;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &own) != 0 || own == NULL) return false;
  if (dladdr1(address, &info, (void **)&found, RTLD_DL_LINKMAP) == 0 || found == NULL) return false;
  return found == own;
}

/* The directory dir of the path with "$libdir" at its start replaced. */
static void expandDir(const char *dir, size_t len, char *out, size_t size) {
  if (len >= 7 && strncmp(dir, "$libdir", 7) == 0)
    snprintf(out, size, "%s%.*s", pkglib_path, (int)(len - 7), dir + 7);
  else
    snprintf(out, size, "%.*s", (int)len, dir);
}

void *qsLoadEntry(const QsDef *def) {
  const char *patterns[] = {"%s/lib%s.so", "%s/%s.so", "%s/%s"};
  const char *path = qsRoutinePath != NULL ? qsRoutinePath : "";
  void *handle = NULL;
  void *fn;

  if (def->library[0] == '\0' || def->entry[0] == '\0') cannotAccess(def, "bad external name");
  if (strchr(def->library, '/') != NULL) cannotAccess(def, "a library name may not hold a directory");
  for (const char *p = path; handle == NULL && *p != '\0';) {
    const char *colon = strchr(p, ':');
    size_t len = colon != NULL ? (size_t)(colon - p) : strlen(p);
    char dir[MAXPGPATH];
    expandDir(p, len, dir, sizeof dir);
    p += len + (colon != NULL ? 1 : 0);
    if (dir[0] == '\0') continue;
    for (int k = 0; k < 3 && handle == NULL; ++k) {
      char file[MAXPGPATH];
      Opened *o;
      snprintf(file, sizeof file, patterns[k], dir, def->library);
      for (o = opened; o != NULL; o = o->next)
        if (strcmp(o->file, file) == 0) break;
      if (o != NULL) {
        handle = o->handle;
        break;
      }
      if (!isFile(file)) continue;
      dlerror();
      handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
      if (handle == NULL) cannotAccess(def, reasonOf(dlerror(), file));
      o = MemoryContextAlloc(TopMemoryContext, sizeof *o);
      o->file = MemoryContextStrdup(TopMemoryContext, file);
      o->handle = handle;
      o->next = opened;
      opened = o;
    }
  }
  if (handle == NULL) cannotAccess(def, "not found");
  dlerror();
  fn = dlsym(handle, def->entry);
  if (fn == NULL || !definedIn(handle, fn)) cannotAccess(def, "no entry");
  return fn;
}
