/*
 * quarnrds_service.h - how the engine plugs its large-object store into the function runtime
 * quarnrds.  Engine-internal: routines never include it.  The engine registers its service
 * once, when it is loaded; until then every runtime call fails with SQLCODE -1024 (no
 * connection), as a function called outside any statement would.
 */
#ifndef QUARN_RDS_SERVICE_H
#define QUARN_RDS_SERVICE_H

#include "sqludf.h"

struct QuarnLobService {
  int (*length)(udf_locator loc, sqlint32 *length);
  int (*substr)(udf_locator loc, sqlint32 start, sqlint32 length, unsigned char *buffer, sqlint32 *got);
  int (*append)(udf_locator loc, const unsigned char *buffer, sqlint32 length, sqlint32 *appended);
  // Creates an empty value; *loc points to storage the session keeps until the statement ends.
  int (*create)(int locType, udf_locator **loc);
};

// Registers the service (null removes it).  The service must outlive every call into it.
extern "C" SQL_API_EXPORT void quarnrdsSetLobService(const QuarnLobService *service);

#endif /* QUARN_RDS_SERVICE_H */
