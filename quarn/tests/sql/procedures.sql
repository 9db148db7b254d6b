-- Procedures of the test routine library in both conventions: IN, OUT and INOUT parameters,
-- overloads by parameter count, -128 indicators, errors, the caller's unit of work, DROP.
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
