-- The engine's routine conformance script (quarn/tests/sql/routines.sql) in PostgreSQL's dialect:
-- external functions of the test routine library through the language quarnsql: scratchpad,
-- call types, final calls, SQLSTATEs, DBINFO, locators, resolution by argument types and table
-- functions.  Where the statements differ from the engine's, the room's README says why.
CREATE EXTENSION quarnxml;
SET search_path = public, pg_catalog;
SELECT quarnsql.create_distinct_type('public', 'money', 'integer', 0, true);
CREATE TABLE t (k INT NOT NULL PRIMARY KEY, m money, s VARCHAR(20), c TEXT);
INSERT INTO t VALUES (1, money(10), 'one', 'first clob'), (2, money(20), 'two', 'second'), (3, money(30), 'three', 'x');
CREATE FUNCTION tcount(INTEGER) RETURNS INTEGER LANGUAGE quarnsql IMMUTABLE PARALLEL SAFE AS 'quarntestroutines!tcount scratchpad final_call';
CREATE FUNCTION tfinals() RETURNS INTEGER LANGUAGE quarnsql VOLATILE AS 'quarntestroutines!tfinals';
CREATE FUNCTION tcheck(INTEGER) RETURNS INTEGER LANGUAGE quarnsql AS 'quarntestroutines!tcheck';
CREATE FUNCTION tbad(INTEGER) RETURNS VARCHAR LANGUAGE quarnsql AS 'quarntestroutines!tbad result=5';
CREATE FUNCTION tdbinfo() RETURNS VARCHAR LANGUAGE quarnsql AS 'quarntestroutines!tdbinfo result=100 dbinfo specific=tdbinfo1';
CREATE FUNCTION tkind(INTEGER) RETURNS VARCHAR LANGUAGE quarnsql AS 'quarntestroutines!tkindint result=20';
CREATE FUNCTION tkind(money) RETURNS VARCHAR LANGUAGE quarnsql AS 'quarntestroutines!tkindmoney result=20';
CREATE FUNCTION tkind(VARCHAR) RETURNS VARCHAR LANGUAGE quarnsql AS 'quarntestroutines!tkindtext arg1=20 result=20';
CREATE FUNCTION tloclen(TEXT) RETURNS INTEGER LANGUAGE quarnsql AS 'quarntestroutines!tloclen arg1=locator:1M';
CREATE FUNCTION tlocupper(TEXT) RETURNS TEXT LANGUAGE quarnsql AS 'quarntestroutines!tlocupper arg1=locator:1M result=locator:1M';
CREATE FUNCTION tseries(INTEGER) RETURNS TABLE(i INTEGER, calls VARCHAR) LANGUAGE quarnsql PARALLEL RESTRICTED AS 'quarntestroutines!tseries result=,60 scratchpad final_call';
-- A missing library or entry fails the definition while function bodies are checked ...
CREATE FUNCTION tmissing(INTEGER) RETURNS INTEGER LANGUAGE quarnsql AS 'nosuchlib!f';
CREATE FUNCTION tnoentry(INTEGER) RETURNS INTEGER LANGUAGE quarnsql AS 'quarntestroutines!nosuchentry';
-- ... and the call when they are not (as when a dump is restored).
SET check_function_bodies = off;
CREATE FUNCTION tmissing(INTEGER) RETURNS INTEGER LANGUAGE quarnsql AS 'nosuchlib!f';
CREATE FUNCTION tnoentry(INTEGER) RETURNS INTEGER LANGUAGE quarnsql AS 'quarntestroutines!nosuchentry';
RESET check_function_bodies;
-- The scratchpad counts rows per reference, and starts again with each statement.
SELECT k, tcount(k) AS a, tcount(k) AS b FROM t ORDER BY k;
SELECT k, tcount(k) AS a FROM t WHERE k > 1 ORDER BY k;
-- One final call per reference and statement.
VALUES (tfinals());
-- An error SQLSTATE fails the statement; a warning lets it go on.
SELECT k, tcheck(k - 2) FROM t ORDER BY k;
SELECT k, tcheck(k - 1) FROM t ORDER BY k;
VALUES (tcheck(4));
-- Numbers of every size in and out; null inputs with and without the call; a decimal.
CREATE FUNCTION tmix(SMALLINT, BIGINT, REAL, DOUBLE PRECISION) RETURNS DOUBLE PRECISION LANGUAGE quarnsql AS 'quarntestroutines!tmix';
CREATE FUNCTION tmixstrict(SMALLINT, BIGINT, REAL, DOUBLE PRECISION) RETURNS DOUBLE PRECISION LANGUAGE quarnsql STRICT AS 'quarntestroutines!tmix';
CREATE FUNCTION tnarrow(BIGINT) RETURNS SMALLINT LANGUAGE quarnsql AS 'quarntestroutines!tnarrow';
SELECT k, tmix(CAST(k AS SMALLINT), k * 10000000000, 0.5, CAST(2.25 AS DECIMAL(5,2))), tmixstrict(CAST(k AS SMALLINT), k, k, k) FROM t ORDER BY k;
VALUES (tmix(CAST(NULL AS SMALLINT), 1, 2, 3));
VALUES (tmixstrict(CAST(NULL AS SMALLINT), 1, 2, 3));
SELECT k, tnarrow(k * 32769), tnarrow(0 - k) FROM t ORDER BY k;
-- What a routine may not return.
VALUES (tbad(1));
VALUES (tbad(2));
VALUES (tbad(0));
VALUES (tdbinfo());
-- Resolution by argument types: a distinct type selects its own overload.
SELECT k, tkind(k), tkind(m), tkind(s) FROM t WHERE k = 1;
VALUES (tkind(money(5)));
VALUES (tkind(CAST(5 AS SMALLINT)));
SELECT tkind(c) FROM t;
SELECT tkind(k, k) FROM t;
-- Missing library and entry.
VALUES (tmissing(1));
VALUES (tnoentry(1));
-- Large objects by locator.
SELECT k, tloclen(c), tlocupper(c) FROM t ORDER BY k;
VALUES (tloclen(tlocupper(CAST('abcdefg' AS TEXT))));
-- A table function: open, fetch until the end, close per outer row; first and final once.
SELECT x.i, x.calls FROM tseries(2) AS x;
SELECT x.i FROM tseries(2) AS x;
SELECT t.k, x.i, x.calls FROM t, LATERAL tseries(t.k) AS x WHERE t.k < 3 ORDER BY t.k, x.i;
VALUES (tfinals());
SELECT t.k, r.n FROM t, LATERAL tseries(t.k) AS r(n, calls) WHERE r.n = 2 ORDER BY t.k;
SELECT * FROM tseries('a') AS x;
SELECT * FROM nosuchtf(1) AS x;
DROP FUNCTION tkind(money);
SELECT k, tkind(m) FROM t WHERE k = 1;
