-- External functions of the test routine library: scratchpad, call types, final calls,
-- SQLSTATEs, DBINFO, locators, resolution by argument types and table functions.
CREATE DISTINCT TYPE money AS INTEGER WITH COMPARISONS;
CREATE TABLE t (k INT NOT NULL PRIMARY KEY, m money, s VARCHAR(20), c CLOB(1M));
INSERT INTO t VALUES (1, money(10), 'one', 'first clob'), (2, money(20), 'two', 'second'), (3, money(30), 'three', 'x');
CREATE FUNCTION tcount(INTEGER) RETURNS INTEGER EXTERNAL NAME 'quarntestroutines!tcount' LANGUAGE C PARAMETER STYLE QUARNSQL SCRATCHPAD FINAL CALL NOT FENCED NO SQL NOT VARIANT ALLOW PARALLEL;
CREATE FUNCTION tfinals() RETURNS INTEGER EXTERNAL NAME 'quarntestroutines!tfinals' LANGUAGE C PARAMETER STYLE QUARNSQL NOT DETERMINISTIC NO SQL;
CREATE FUNCTION tcheck(INTEGER) RETURNS INTEGER EXTERNAL NAME 'quarntestroutines!tcheck' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE FUNCTION tbad(INTEGER) RETURNS VARCHAR(5) EXTERNAL NAME 'quarntestroutines!tbad' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE FUNCTION tdbinfo() RETURNS VARCHAR(100) SPECIFIC tdbinfo1 EXTERNAL NAME 'quarntestroutines!tdbinfo' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL DBINFO;
CREATE FUNCTION tkind(INTEGER) RETURNS VARCHAR(20) EXTERNAL NAME 'quarntestroutines!tkindint' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE FUNCTION tkind(money) RETURNS VARCHAR(20) EXTERNAL NAME 'quarntestroutines!tkindmoney' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE FUNCTION tkind(VARCHAR(20)) RETURNS VARCHAR(20) EXTERNAL NAME 'quarntestroutines!tkindtext' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE FUNCTION tloclen(CLOB(1M) AS LOCATOR) RETURNS INTEGER EXTERNAL NAME 'quarntestroutines!tloclen' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE FUNCTION tlocupper(CLOB(1M) AS LOCATOR) RETURNS CLOB(1M) AS LOCATOR EXTERNAL NAME 'quarntestroutines!tlocupper' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE FUNCTION tseries(INTEGER) RETURNS TABLE(i INTEGER, calls VARCHAR(60)) EXTERNAL NAME 'quarntestroutines!tseries' LANGUAGE C PARAMETER STYLE QUARNSQL SCRATCHPAD FINAL CALL NO SQL DISALLOW PARALLEL;
CREATE FUNCTION tmissing(INTEGER) RETURNS INTEGER EXTERNAL NAME 'nosuchlib!f' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE FUNCTION tnoentry(INTEGER) RETURNS INTEGER EXTERNAL NAME 'quarntestroutines!nosuchentry' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
-- The scratchpad counts rows per reference, and starts again with each statement.
SELECT k, tcount(k) AS a, tcount(k) AS b FROM t ORDER BY k;
SELECT k, tcount(k) AS a FROM t WHERE k > 1 ORDER BY k;
-- One final call per reference and statement.
VALUES tfinals();
-- An error SQLSTATE fails the statement; a warning lets it go on.
SELECT k, tcheck(k - 2) FROM t ORDER BY k;
SELECT k, tcheck(k - 1) FROM t ORDER BY k;
VALUES tcheck(4);
-- Numbers of every size in and out; null inputs with and without the call; a decimal.
CREATE FUNCTION tmix(SMALLINT, BIGINT, REAL, DOUBLE) RETURNS DOUBLE EXTERNAL NAME 'quarntestroutines!tmix' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE FUNCTION tmixstrict(SMALLINT, BIGINT, REAL, DOUBLE) RETURNS DOUBLE EXTERNAL NAME 'quarntestroutines!tmix' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL RETURNS NULL ON NULL INPUT;
CREATE FUNCTION tnarrow(BIGINT) RETURNS SMALLINT EXTERNAL NAME 'quarntestroutines!tnarrow' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
SELECT k, tmix(CAST(k AS SMALLINT), k * 10000000000, 0.5, CAST(2.25 AS DECIMAL(5,2))), tmixstrict(CAST(k AS SMALLINT), k, k, k) FROM t ORDER BY k;
VALUES tmix(CAST(NULL AS SMALLINT), 1, 2, 3);
VALUES tmixstrict(CAST(NULL AS SMALLINT), 1, 2, 3);
SELECT k, tnarrow(k * 32769), tnarrow(0 - k) FROM t ORDER BY k;
-- What a routine may not return.
VALUES tbad(1);
VALUES tbad(2);
VALUES tbad(3);
VALUES tbad(0);
VALUES tdbinfo();
-- Resolution by argument types: a distinct type selects its own overload.
SELECT k, tkind(k), tkind(m), tkind(s) FROM t WHERE k = 1;
VALUES tkind(money(5));
VALUES tkind(CAST(5 AS SMALLINT));
SELECT tkind(c) FROM t;
SELECT tkind(k, k) FROM t;
-- A column keeps its distinct type through a nested SELECT (renamed by a column list, under *,
-- in both operands of UNION ALL), WITH, a view's catalogued column, DESCRIBE and a declared
-- temporary table AS (...) DEFINITION ONLY: every call here chose tkind(INTEGER), the overload
-- created first, and the view's column, DESCRIBE and the temporary table's column said INTEGER.
-- A value whose type is not known (NULL, a column that is money in one operand and INTEGER in
-- the other) chooses no overload where they differ in a distinct type: it chose tkind(INTEGER).
SELECT tkind(x.m) FROM (SELECT m FROM t WHERE k = 1) AS x;
WITH w(wm) AS (SELECT m FROM t WHERE k = 1) SELECT tkind(wm) FROM w;
SELECT tkind(mm) FROM (SELECT k, m FROM t WHERE k = 1) AS x(kk, mm);
SELECT tkind(x.m) FROM (SELECT * FROM t WHERE k = 1) AS x;
SELECT tkind(u.m) FROM (SELECT m FROM t WHERE k = 1 UNION ALL SELECT money(5) FROM t WHERE k = 1) AS u;
CREATE VIEW tv AS SELECT k, m FROM t;
SELECT tkind(m) FROM tv WHERE k = 1;
SELECT colname, typeschema, typename FROM syscat.columns WHERE tabname = 'TV' ORDER BY colno;
DESCRIBE SELECT x.* FROM (SELECT k, m FROM tv) AS x;
DECLARE GLOBAL TEMPORARY TABLE SESSION.tm AS (SELECT m FROM t) DEFINITION ONLY ON COMMIT PRESERVE ROWS;
INSERT INTO SESSION.tm SELECT m FROM t WHERE k = 2;
SELECT tkind(m) FROM SESSION.tm;
DROP TABLE SESSION.tm;
DROP VIEW tv;
VALUES tkind(NULL);
SELECT tkind(u.m) FROM (SELECT m FROM t WHERE k = 1 UNION ALL SELECT k FROM t WHERE k = 1) AS u;
-- Missing library and entry fail the call, not the definition.
VALUES tmissing(1);
VALUES tnoentry(1);
-- Large objects by locator.
SELECT k, tloclen(c), tlocupper(c) FROM t ORDER BY k;
VALUES tloclen(tlocupper(CAST('abcdefg' AS CLOB(1M))));
-- A table function: open, fetch until the end, close per outer row; first and final once.
SELECT x.i, x.calls FROM TABLE(tseries(2)) AS x;
-- The engine's argument column of a table function is kept only when a statement reads it.
SELECT x.i, x.qarg1 FROM TABLE(tseries(2)) AS x;
SELECT t.k, x.i, x.calls FROM t, TABLE(tseries(t.k)) AS x WHERE t.k < 3 ORDER BY t.k, x.i;
VALUES tfinals();
SELECT t.k, r.n FROM t, TABLE(tseries(t.k)) AS r(n, calls) WHERE r.n = 2 ORDER BY t.k;
SELECT * FROM TABLE(tseries('a')) AS x;
SELECT * FROM TABLE(nosuchtf(1)) AS x;
DROP FUNCTION tkind(money);
SELECT k, tkind(m) FROM t WHERE k = 1;
-- RETURNS t CAST FROM u: the routine writes into a buffer for u, the engine casts to t.  A value
-- that does not fit t is refused (22001), what is cut may only be blanks; a whole VARCHAR(32672)
-- is written safely.  Numbers are cast with a range check.
CREATE FUNCTION tfill(INTEGER) RETURNS VARCHAR(10) CAST FROM VARCHAR(32672) EXTERNAL NAME 'quarntestroutines!tfill' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE FUNCTION tfillwide(INTEGER) RETURNS VARCHAR(32672) EXTERNAL NAME 'quarntestroutines!tfill' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE FUNCTION tincsmall(INTEGER) RETURNS SMALLINT CAST FROM INTEGER EXTERNAL NAME 'quarntestroutines!tinc' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
VALUES (tfill(5), LENGTH(tfill(10)), LENGTH(tfill(-30)));
VALUES tfill(11);
VALUES tfill(32672);
VALUES LENGTH(tfillwide(32672));
VALUES (tincsmall(5), tincsmall(32766));
VALUES tincsmall(32767);
SELECT ROWTYPE, ORDINAL, TYPENAME, LENGTH FROM SYSCAT.ROUTINEPARMS WHERE SPECIFICNAME = (SELECT SPECIFICNAME FROM SYSCAT.ROUTINES WHERE ROUTINENAME = 'TFILL') ORDER BY ROWTYPE;
-- Definitions the call could not honour: a cast between kinds of types, a result by value
-- larger than the engine gives a call.
CREATE FUNCTION tbadcast(INTEGER) RETURNS INTEGER CAST FROM VARCHAR(10) EXTERNAL NAME 'quarntestroutines!tfill' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE FUNCTION tbigclob(INTEGER) RETURNS CLOB(1G) EXTERNAL NAME 'quarntestroutines!tfill' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE FUNCTION tbigtable(INTEGER) RETURNS TABLE(c CLOB(100M)) EXTERNAL NAME 'quarntestroutines!tfill' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE PROCEDURE tbigout(OUT c CLOB(2G)) EXTERNAL NAME 'quarntestroutines!tfill' LANGUAGE C PARAMETER STYLE SQL;
-- Functions in a trigger: each firing is a statement execution of its own (first and final
-- call per row, the scratchpad zeroed), and each function is entered by its own entry every
-- row; a function defined again with another entry is entered by the new one, and a missing
-- entry fails every row that calls it.
CREATE FUNCTION tswap(INTEGER) RETURNS INTEGER EXTERNAL NAME 'quarntestroutines!tcheck' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE TABLE tsrc (k INT NOT NULL);
CREATE TABLE trows (k INT, kind VARCHAR(20), n INTEGER, w INTEGER);
CREATE TRIGGER tsrc_ins AFTER INSERT ON tsrc REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL INSERT INTO trows VALUES (n.k, tkind(n.k), tcount(n.k), tswap(n.k));
INSERT INTO tsrc VALUES (1), (2), (3);
SELECT k, kind, n, w FROM trows ORDER BY k;
DROP TRIGGER tsrc_ins;
DROP FUNCTION tswap;
CREATE FUNCTION tswap(INTEGER) RETURNS INTEGER EXTERNAL NAME 'quarntestroutines!tcount' LANGUAGE C PARAMETER STYLE QUARNSQL SCRATCHPAD FINAL CALL NO SQL;
CREATE TRIGGER tsrc_ins AFTER INSERT ON tsrc REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL INSERT INTO trows VALUES (n.k, tkind(n.k), tcount(n.k), tswap(n.k * 10));
INSERT INTO tsrc VALUES (4), (5);
SELECT k, kind, n, w FROM trows WHERE k > 3 ORDER BY k;
DROP TRIGGER tsrc_ins;
CREATE TRIGGER tsrc_bad AFTER INSERT ON tsrc REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL INSERT INTO trows VALUES (n.k, NULL, tnoentry(n.k), NULL);
INSERT INTO tsrc VALUES (6);
INSERT INTO tsrc VALUES (7);
SELECT COUNT(*) FROM tsrc;
-- An argument passed as terminated text that holds a zero byte is refused (-171, 5UA05) with its
-- position, whatever its declared type: the routine read it only up to that byte and saw "New".
-- A value without one, and a large object by locator, pass whole.
VALUES tkind(CAST(X'4E6577003C2F623E' AS VARCHAR(20)));
VALUES tkind(X'4E6577003C');
VALUES tkind(CAST(X'4E65773C' AS VARCHAR(20)));
VALUES tloclen(CAST(X'4E6577003C' AS CLOB(1K)));
