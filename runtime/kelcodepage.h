/*
 * kelcodepage.h - the code-page record of a call: the application and database code pages
 * and their converters.  Created zeroed by kelInit, filled by the code-page set-up, released
 * by kelTerm.  Owned by one call context.
 */
#ifndef KEL_CODEPAGE_H
#define KEL_CODEPAGE_H

#include <cstdint>

struct UConverter;

struct KelCodePages {
  int32_t appCodePage;          // CCSID of the application's data
  int32_t dbCodePage;           // CCSID of the database's data
  int32_t reserved;             // not used
  UConverter *appConverter;     // converter of the application code page
  UConverter *dbConverter;      // converter of the database code page; may be appConverter
};

#endif /* KEL_CODEPAGE_H */
