/*
 * sqlsystm.h - fixed-width integer names shared by every platform header of the engine.
 * Used by the engine and by the routines it loads; nothing here allocates or keeps state.
 */
#ifndef QUARN_SQLSYSTM_H
#define QUARN_SQLSYSTM_H

#include <stdint.h>

typedef int16_t sqlint16;
typedef uint16_t sqluint16;
typedef int32_t sqlint32;
typedef uint32_t sqluint32;
typedef int64_t sqlint64;
typedef uint64_t sqluint64;

#if defined(__cplusplus)
#define SQL_EXTERN_C extern "C"
#else
#define SQL_EXTERN_C
#endif

/* Symbols a library of the platform or a routine library exports to the engine. */
#define SQL_API_EXPORT __attribute__((visibility("default")))
#define SQL_API_FN

#endif /* QUARN_SQLSYSTM_H */
