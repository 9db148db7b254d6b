/*
 * sqlda.h - the SQL descriptor area: a header and an array of entries that describe the
 * parameters of a procedure call (QUARNDARI convention) or the columns and host variables of
 * a dynamic statement.  The engine builds it for calls; routines and applications build their
 * own with SQLDASIZE bytes.  Whoever allocates an area frees it.
 *
 * Large-object entries have a second, extended entry at index + sqld; its pointer 8 bytes
 * into the entry (sqldatalen) addresses the 32-bit actual length of the value.
 */
#ifndef QUARN_SQLDA_H
#define QUARN_SQLDA_H

#include "sqlsystm.h"

#define SQLDA_EYECATCHER "SQLDA   "

/* SQL type codes; the odd code is the nullable form of the even one. */
#define SQL_TYP_DATE 384
#define SQL_TYP_NDATE 385
#define SQL_TYP_TIME 388
#define SQL_TYP_NTIME 389
#define SQL_TYP_STAMP 392
#define SQL_TYP_NSTAMP 393
#define SQL_TYP_BLOB 404
#define SQL_TYP_NBLOB 405
#define SQL_TYP_CLOB 408
#define SQL_TYP_NCLOB 409
#define SQL_TYP_DBCLOB 412
#define SQL_TYP_NDBCLOB 413
#define SQL_TYP_VARCHAR 448
#define SQL_TYP_NVARCHAR 449
#define SQL_TYP_CHAR 452
#define SQL_TYP_NCHAR 453
#define SQL_TYP_LONG 456
#define SQL_TYP_NLONG 457
#define SQL_TYP_CSTR 460
#define SQL_TYP_NCSTR 461
#define SQL_TYP_VARGRAPH 464
#define SQL_TYP_NVARGRAPH 465
#define SQL_TYP_GRAPHIC 468
#define SQL_TYP_NGRAPHIC 469
#define SQL_TYP_FLOAT 480
#define SQL_TYP_NFLOAT 481
#define SQL_TYP_DECIMAL 484
#define SQL_TYP_NDECIMAL 485
#define SQL_TYP_BIGINT 492
#define SQL_TYP_NBIGINT 493
#define SQL_TYP_INTEGER 496
#define SQL_TYP_NINTEGER 497
#define SQL_TYP_SMALL 500
#define SQL_TYP_NSMALL 501
#define SQL_TYP_BLOB_LOCATOR 960
#define SQL_TYP_NBLOB_LOCATOR 961
#define SQL_TYP_CLOB_LOCATOR 964
#define SQL_TYP_NCLOB_LOCATOR 965
#define SQL_TYP_DBCLOB_LOCATOR 968
#define SQL_TYP_NDBCLOB_LOCATOR 969
#define SQL_TYP_CLOB_FILE 920
#define SQL_TYP_NCLOB_FILE 921

/* Null indicator values. */
#define SQL_IND_NULL (-1)
#define SQL_IND_NO_RETURN (-128) /* input parameter the engine need not send back */

struct sqlname {
  short length;
  char data[30];
};

struct sqlvar {
  short sqltype;
  short sqllen;
  char *sqldata;
  short *sqlind;
  struct sqlname sqlname;
};

/* The extended entry of a large-object parameter (same size as struct sqlvar). */
struct sqlvar2 {
  union {
    sqluint32 reserve1[2];
    sqlint64 sqllonglen;
  } len;
  char *sqldatalen; /* points to the 32-bit actual length of the value */
  struct sqlname sqldatatype_name;
  char reserve2[8]; /* keeps the extended entry as large as an ordinary one */
};

struct sqlda {
  char sqldaid[8];   /* "SQLDA   " */
  sqlint32 sqldabc;  /* total size in bytes */
  short sqln;        /* entries allocated */
  short sqld;        /* entries used */
  struct sqlvar sqlvar[1];
};

#define SQLDA_HEADER_SIZE 16
#define SQLDASIZE(n) ((sqlint32)(SQLDA_HEADER_SIZE + (n) * sizeof(struct sqlvar)))

#endif /* QUARN_SQLDA_H */
