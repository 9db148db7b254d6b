-- Procedures of the test routine library in both conventions: IN, OUT and INOUT parameters,
-- overloads by parameter count, -128 indicators, errors, the caller's unit of work, DROP; what
-- an unregistered CALL may reach; arguments converted and checked against their parameters.
CREATE TABLE t (k INT NOT NULL PRIMARY KEY);
CREATE PROCEDURE tdari (IN n INTEGER, IN s VARCHAR(20), IN c CLOB(1K), OUT total INTEGER, OUT text VARCHAR(40), INOUT x INTEGER) EXTERNAL NAME 'quarntestroutines!tdari' LANGUAGE C PARAMETER STYLE QUARNDARI NOT DETERMINISTIC FENCED NULL CALL;
CREATE PROCEDURE tsql (IN n INTEGER, OUT doubled INTEGER, INOUT s VARCHAR(30)) SPECIFIC tsql3 EXTERNAL NAME 'quarntestroutines!tsqlproc' LANGUAGE C PARAMETER STYLE SQL;
CREATE PROCEDURE tsql (IN n INTEGER) SPECIFIC tsql1 EXTERNAL NAME 'quarntestroutines!nosuchentry' LANGUAGE C PARAMETER STYLE SQL;
-- A descriptor area with a large object and its extended entry; OUT and INOUT values come back.
CALL tdari(5, 'abc', 'clob text', ?, ?, 21);
-- Expressions as arguments; the routine marks x -128, so it is not sent back.
CALL tdari(3 + 4, 'a' || 'b', CAST('xy' AS CLOB(1K)), ?, ?, 1);
-- The communication area of the routine fails the call.
CALL tdari(-1, 'a', 'b', ?, ?, 1);
-- SQL convention: indicators, INOUT text, SQLSTATE 38xxx gives -443.
CALL tsql(21, ?, 'hello');
CALL tsql(NULL, ?, 'x');
CALL tsql(-5, ?, 'x');
-- Overloads by the number of parameters; the one-parameter procedure's entry is missing.
CALL tsql(1);
CALL tsql(1, 2);
CALL nosuchproc(1);
-- The procedure's embedded SQL works in the caller's unit of work.
CALL tdari(99, 'row', 'c', ?, ?, 0);
SELECT k FROM t;
-- An unregistered QUARNDARI entry by library and entry name.
CALL 'quarntestroutines!tdari'(5, 'e', CAST('lob' AS CLOB(1K)), 0, '', 4);
SELECT ROUTINENAME, SPECIFICNAME, ROUTINETYPE, PARM_COUNT, PARAMETER_STYLE FROM SYSCAT.ROUTINES WHERE ROUTINETYPE = 'P' ORDER BY SPECIFICNAME;
DROP SPECIFIC PROCEDURE tsql1;
DROP PROCEDURE tsql;
DROP PROCEDURE tdari;
CALL tsql(1, ?, 'x');
-- A procedure made again under the same name is the one called, not the one a call before
-- the drop resolved.
CREATE PROCEDURE tsql (IN n INTEGER, OUT doubled INTEGER, INOUT s VARCHAR(30)) SPECIFIC tsql3b EXTERNAL NAME 'quarntestroutines!nosuchentry' LANGUAGE C PARAMETER STYLE SQL;
CALL tsql(1, ?, 'x');
DROP PROCEDURE tsql;
-- An entry is only a symbol its own library defines: the C library's abort and exit, which a
-- routine library reaches through the libraries it depends on, were called and ended the
-- process, registered or not.
CALL 'quarntestroutines!abort'();
CALL 'quarntestroutines!exit'(0);
CREATE PROCEDURE texit (IN code INTEGER) EXTERNAL NAME 'quarntestroutines!exit' LANGUAGE C PARAMETER STYLE QUARNDARI;
CALL texit(0);
CREATE FUNCTION tabort() RETURNS INTEGER EXTERNAL NAME 'quarntestroutines!abort' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
VALUES tabort();
-- The unregistered form takes a library name, looked up in the routine library directories; a
-- path opened any library of the system.
CALL '/lib/x86_64-linux-gnu/libc.so.6!abort'();
CALL '../../../../lib/x86_64-linux-gnu/libc.so.6!abort'();
CALL 'quarntestroutines/../quarntestroutines!tdari'(5, 'e', CAST('lob' AS CLOB(1K)), 0, '', 4);
-- The unregistered form calls in the QUARNDARI convention only: an entry the catalogue declares
-- in another convention (in any spelling of its library) is refused, where it read a descriptor
-- area as its own arguments and crashed.  Through its registration it is called as it expects.
CREATE PROCEDURE tsql (IN n INTEGER, OUT doubled INTEGER, INOUT s VARCHAR(30)) SPECIFIC tsql3 EXTERNAL NAME 'quarntestroutines!tsqlproc' LANGUAGE C PARAMETER STYLE SQL;
CREATE FUNCTION tinc(INTEGER) RETURNS INTEGER EXTERNAL NAME 'quarntestroutines!tinc' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CALL 'quarntestroutines!tsqlproc'(1, 0, 'x');
CALL 'libquarntestroutines.so!tsqlproc'(1, 0, 'x');
CALL 'quarntestroutines!tinc'(1, 0);
CALL tsql(2, ?, 'y');
-- Arguments take the rules of a CAST to their parameter's type: 4294967297 was passed as 1,
-- 4294967295 as -1, '1x' as 1 and 'abc' as 0.  Text that is a number and a fraction (cut) pass.
CREATE PROCEDURE tdari (IN n INTEGER, IN s VARCHAR(20), IN c CLOB(1K), OUT total INTEGER, OUT text VARCHAR(40), INOUT x INTEGER) EXTERNAL NAME 'quarntestroutines!tdari' LANGUAGE C PARAMETER STYLE QUARNDARI;
CALL tdari(4294967297, 'a', 'b', ?, ?, 0);
CALL tdari(4294967295, 'a', 'b', ?, ?, 0);
CALL tdari(-2147483649, 'a', 'b', ?, ?, 0);
CALL tdari('1x', 'a', 'b', ?, ?, 0);
CALL tdari('abc', 'a', 'b', ?, ?, 0);
CALL tdari(1, 'a', 'b', ?, ?, 4294967297);
CALL tdari(' 12 ', 'a', 'b', ?, ?, 2.9);
CREATE PROCEDURE tnumbers (IN a SMALLINT, IN b BIGINT, INOUT c DECIMAL(5,2)) EXTERNAL NAME 'quarntestroutines!nosuchentry' LANGUAGE C PARAMETER STYLE SQL;
CALL tnumbers(32768, 0, 0);
CALL tnumbers(0, 9223372036854775808, 0);
CALL tnumbers(0, '12a', 0);
CALL tnumbers(0, 0, 1000);
CALL tnumbers(-32768, '-9223372036854775808', 999.99);
-- Declared lengths hold for procedure arguments (IN and INOUT) as for function arguments: a
-- longer value is -433 unless only blanks are cut; it was passed whole.
CALL tdari(1, '123456789012345678901', 'b', ?, ?, 0);
CALL tdari(1, '12345678901234567890    ', 'b', ?, ?, 0);
CALL tsql(1, ?, '1234567890123456789012345678901');
CREATE PROCEDURE tlengths (IN c CLOB(10), IN g VARGRAPHIC(3), INOUT ch CHAR(4)) EXTERNAL NAME 'quarntestroutines!nosuchentry' LANGUAGE C PARAMETER STYLE SQL;
CALL tlengths('12345678901', '', '');
CALL tlengths('1234567890', 'abcd', '');
CALL tlengths('', '', 'abcde');
CALL tlengths('1234567890  ', 'äöü ', 'abcd  ');
-- A BLOB argument longer than its parameter was passed whole to a routine that may keep it in
-- a buffer of the declared length; it is -433 however it ends.
CREATE PROCEDURE tbits (IN b BLOB(4), INOUT v BLOB(2)) EXTERNAL NAME 'quarntestroutines!nosuchentry' LANGUAGE C PARAMETER STYLE SQL;
CALL tbits(BLOB('abcde'), X'00');
CALL tbits(BLOB('abc'), BLOB('ab '));
CALL tbits(BLOB('abcd'), X'0102');
CREATE FUNCTION tblob (BLOB(4)) RETURNS VARCHAR(10) EXTERNAL NAME 'quarntestroutines!tkindtext' LANGUAGE C PARAMETER STYLE SQL NO SQL DETERMINISTIC;
VALUES tblob(BLOB('abcd   '));
-- An IN or INOUT argument passed as terminated text that holds a zero byte is refused (-171,
-- 5UA05) with its position: the routine read it only up to that byte.  A QUARNDARI VARCHAR comes
-- with its length and is read whole.
CALL tsql(1, ?, CAST(X'4E6577003C2F623E' AS VARCHAR(20)));
CALL tdari(1, CAST(X'4E6577003C' AS VARCHAR(20)), 'b', ?, ?, 0);
DROP FUNCTION tblob;
DROP PROCEDURE tbits;
DROP PROCEDURE tlengths;
DROP PROCEDURE tnumbers;
DROP PROCEDURE tdari;
DROP PROCEDURE tsql;
DROP PROCEDURE texit;
DROP FUNCTION tinc;
DROP FUNCTION tabort;
