-- Queries a DAD's SQL text may hold: quantified predicates (ANY, SOME, ALL with every
-- comparison, as the host answers them for empty sets and NULLs), EXCEPT ALL and INTERSECT ALL
-- (copies of a row meet copies on the other side); and what stays refused, with the clause named.
CREATE TABLE N (X INT, S CHAR(4));
INSERT INTO N VALUES (1, 'a'), (2, 'b'), (2, 'b'), (3, 'c'), (NULL, NULL);
CREATE TABLE M (Y INT, S VARCHAR(4));
INSERT INTO M VALUES (2, 'b '), (3, 'c');
SELECT X FROM N WHERE X > ANY (SELECT Y FROM M) ORDER BY X;
SELECT X FROM N WHERE X > ALL (SELECT Y FROM M WHERE Y < 3) ORDER BY X;
SELECT X FROM N WHERE X >= ALL (SELECT Y FROM M WHERE Y > 99) ORDER BY X;
SELECT X FROM N WHERE X < SOME (SELECT Y FROM M WHERE Y > 99) ORDER BY X;
SELECT X FROM N WHERE NOT (X < SOME (SELECT Y FROM M)) ORDER BY X;
SELECT X FROM N WHERE X <= ALL (SELECT X FROM N) ORDER BY X;
SELECT X FROM N WHERE S = ANY (SELECT S FROM M) ORDER BY X;
SELECT X FROM N WHERE S <> ALL (SELECT S FROM M) ORDER BY X;
SELECT X FROM N WHERE X = ANY (SELECT Y, Y FROM M);
SELECT X, S FROM N EXCEPT ALL SELECT Y, S FROM M ORDER BY 1;
SELECT X, S FROM N EXCEPT SELECT Y, S FROM M ORDER BY 1;
SELECT X FROM N INTERSECT ALL SELECT X FROM N WHERE X > 1 ORDER BY 1;
SELECT X AS K FROM N INTERSECT ALL SELECT Y FROM M UNION ALL VALUES 7 ORDER BY K;
-- Refused: positioned changes, writes through views, triggers INSTEAD OF or FOR EACH STATEMENT.
DELETE FROM N WHERE CURRENT OF c1;
UPDATE N SET X = 0 WHERE CURRENT OF c1;
CREATE VIEW NV AS SELECT X FROM N;
INSERT INTO NV VALUES (5);
CREATE TRIGGER t1 INSTEAD OF INSERT ON NV FOR EACH ROW MODE QUARNSQL DELETE FROM N;
CREATE TRIGGER t2 AFTER INSERT ON N FOR EACH STATEMENT MODE QUARNSQL DELETE FROM M;
-- A fullselect used as a value gives one column of at most one row: more rows are -811, no row
-- is NULL, and the check holds in a correlated subquery, a VALUES list, an assignment and a
-- trigger's condition (the statement changes nothing when it fails).
SELECT X, (SELECT Y FROM M WHERE Y = N.X) FROM N ORDER BY X;
SELECT X, (SELECT S FROM N AS I WHERE I.X = N.X) FROM N ORDER BY X;
SELECT (SELECT Y FROM M) FROM N;
VALUES ((SELECT Y FROM M WHERE Y > 2), (VALUES 9), (SELECT MAX(Y) FROM M WHERE Y > 5));
VALUES ((VALUES 1, 2));
SELECT (SELECT Y, Y FROM M WHERE Y = 3) FROM M;
UPDATE M SET Y = (SELECT X FROM N WHERE X = 2);
UPDATE M SET Y = (SELECT X FROM N WHERE X = 1) WHERE Y = 3;
SELECT Y, S FROM M ORDER BY Y;
CREATE TRIGGER t3 NO CASCADE BEFORE INSERT ON M REFERENCING NEW AS R FOR EACH ROW MODE QUARNSQL WHEN (R.Y > (SELECT X FROM N WHERE X > 1)) SIGNAL SQLSTATE '75001' ('too big');
INSERT INTO M VALUES (5, 'e');
SELECT COUNT(*) FROM M;
-- A grouped select (GROUP BY, or a column function among its items) gives each item once per
-- group: a column that is neither a grouping column nor inside a column function is -122, where
-- SQLite gave the value of any row of the group.  Expressions over grouping columns, keys that
-- are expressions, MIN and MAX of several arguments (scalar) and subqueries keep working.
CREATE TABLE GR (A INT, B INT, C VARCHAR(3));
INSERT INTO GR VALUES (1, 2, 'x'), (1, 3, 'y'), (2, 4, 'x');
SELECT A, COUNT(*) FROM GR;
SELECT GR.A, B, SUM(B) FROM GR GROUP BY A;
SELECT SUM(B), C FROM GR;
SELECT X.A, A + 1, COUNT(*), SUM(B) FROM GR AS X GROUP BY X.A ORDER BY 1;
SELECT A + B, COUNT(*) FROM GR GROUP BY A + B ORDER BY 1;
SELECT MAX(A, B) FROM GR ORDER BY 1;
SELECT A, (SELECT COUNT(*) FROM GR AS I WHERE I.A = GR.A) FROM GR ORDER BY 1, 2;
SELECT COUNT(*), (SELECT MAX(B) FROM GR) FROM GR;
-- x IS [NOT] DISTINCT FROM y: equality in which two nulls are equal, compared as = compares
-- (blank-padded strings, datetimes against strings).
CREATE TABLE ND (K INT, C CHAR(4), D DATE);
INSERT INTO ND VALUES (1, 'a', '2020-01-05'), (NULL, NULL, NULL), (2, 'b ', '2020-02-01');
SELECT K FROM ND WHERE K IS NOT DISTINCT FROM NULL;
SELECT K FROM ND WHERE K IS DISTINCT FROM 1 ORDER BY K;
SELECT K FROM ND WHERE C IS NOT DISTINCT FROM 'b';
SELECT K FROM ND WHERE D IS NOT DISTINCT FROM '1/5/2020';
SELECT K FROM ND WHERE K IS NOT DISTINCT FROM K ORDER BY K;
-- A scalar fullselect of column functions without GROUP BY is one row and is left as it is, so it
-- may take an aggregate of the outer query; a scalar MIN or MAX of several arguments keeps its
-- columns select items of their own (-122 in a grouped select).
SELECT A, (SELECT COUNT(*) FROM GR AS I WHERE I.A = MAX(GR.A)) FROM GR GROUP BY A ORDER BY A;
SELECT A FROM GR GROUP BY A HAVING (SELECT COUNT(*) FROM GR AS I WHERE I.B > MIN(GR.B)) > 1 ORDER BY A;
SELECT A, MAX(B, 0) FROM GR GROUP BY A;
SELECT MAX(B), MIN(A, 100) FROM GR;
-- A set operator's result column holds every operand's values, typed as VALUES rows and COALESCE
-- combine them (it took the first operand's type: 999.99 came back as 999, CHAR(4) was described
-- with 12 characters in it, and an INTEGER with a VARCHAR was accepted); operands a number and a
-- string are -415.  INTERSECT binds tighter than UNION and EXCEPT (they were applied from the
-- left: the first two statements gave no row).
CREATE TABLE SU (K INT, D DECIMAL(5,2), C CHAR(4), V VARCHAR(12), T DATE);
INSERT INTO SU VALUES (1, 0.01, 'ab', 'abcdefghijkl', '2020-01-05'), (2, 999.99, 'x', 'ab', NULL);
SELECT K FROM SU WHERE K = 1 UNION ALL SELECT D FROM SU WHERE K = 2 ORDER BY 1;
DESCRIBE SELECT K FROM SU UNION ALL SELECT D FROM SU;
DESCRIBE SELECT D FROM SU UNION SELECT K FROM SU;
SELECT C || '|' FROM (SELECT C FROM SU UNION ALL SELECT V FROM SU) AS U ORDER BY 1;
DESCRIBE SELECT C FROM SU UNION SELECT V FROM SU;
SELECT C FROM SU UNION SELECT V FROM SU ORDER BY 1;
SELECT T FROM SU WHERE K = 1 UNION SELECT '01/06/2020' FROM SU WHERE K = 1 ORDER BY 1;
SELECT K, NULL FROM SU UNION SELECT NULL, C FROM SU ORDER BY 1;
SELECT K FROM SU UNION SELECT V FROM SU;
SELECT K, D FROM SU EXCEPT SELECT K, T FROM SU;
VALUES 1 UNION VALUES 2 INTERSECT VALUES 3;
VALUES 1 EXCEPT VALUES 1 INTERSECT VALUES 2;
VALUES 1 INTERSECT VALUES 1 UNION VALUES 3 EXCEPT VALUES 3;
VALUES 1, 2 UNION ALL VALUES 2, 3 INTERSECT ALL VALUES 2, 3, 3 ORDER BY 1;
-- CASE holds the values of every THEN and the ELSE (it took the first THEN's type: 999.99 came
-- back as 999 and adding 1 to it was -802); a number and a string are -415.
SELECT K, CASE WHEN K = 1 THEN K ELSE D END, CASE WHEN K = 1 THEN K ELSE D END + 1 FROM SU ORDER BY K;
DESCRIBE SELECT CASE WHEN K = 1 THEN K ELSE D END, CASE K WHEN 1 THEN C ELSE V END, CASE WHEN K = 1 THEN NULL ELSE C END FROM SU;
SELECT CASE K WHEN 2 THEN C ELSE 'abcdef' END || '|' FROM SU ORDER BY 1;
SELECT CASE WHEN K = 1 THEN 1 ELSE 'x' END FROM SU;
-- A derived table or common table expression over a set operator has the type that holds every
-- operand's values, as a view over it has, also through another derived table (it had the type
-- SQLite declares, one operand's: 999.99 came back as 999, or DECIMAL(5,2) was described).
SELECT X FROM (SELECT K AS X FROM SU UNION SELECT D FROM SU) AS Q ORDER BY 1;
SELECT X FROM (SELECT D AS X FROM SU UNION SELECT K FROM SU) AS Q ORDER BY 1;
DESCRIBE SELECT X FROM (SELECT K AS X FROM SU UNION SELECT D FROM SU) AS Q;
WITH Q (Y) AS (SELECT D FROM SU UNION ALL SELECT K FROM SU) SELECT Y, Y / 2 FROM Q ORDER BY 1;
DESCRIBE WITH Q AS (SELECT K AS X FROM SU UNION SELECT D FROM SU) SELECT X FROM Q;
SELECT * FROM (SELECT X FROM (SELECT D AS X FROM SU UNION SELECT K FROM SU) AS Q) AS R ORDER BY 1;
DROP TABLE SU;
-- ORDER BY keys of one subselect are checked as its select items are: a DISTINCT select is
-- ordered by what its items are made of (-214 reason 2), a grouped one by grouping columns and
-- column functions (-122); both were accepted and ordered by any row's value.  A set operator's
-- ORDER BY names a result column (-208; it was -901 with SQLite's message).
CREATE TABLE QC (K INT, V INT, D DECIMAL(5,2));
INSERT INTO QC VALUES (1, 10, 0.01), (2, 20, 999.99), (3, 50, NULL);
SELECT DISTINCT K FROM QC ORDER BY V;
SELECT DISTINCT K FROM QC ORDER BY QC.K + 1 DESC;
SELECT K, COUNT(*) FROM QC GROUP BY K ORDER BY V;
SELECT K, COUNT(*) FROM QC GROUP BY K ORDER BY QC.K DESC, COUNT(*);
SELECT COUNT(*) FROM QC ORDER BY V;
SELECT K FROM QC UNION SELECT K FROM QC ORDER BY V;
-- Where a grouping key is an expression, an ORDER BY key or select item outside a column function
-- is made of the keys' columns (-122; ORDER BY V and the item V were accepted).
SELECT K + 1 FROM QC GROUP BY K + 1 ORDER BY V;
SELECT V FROM QC GROUP BY K + 1;
SELECT K + 1, COUNT(*) FROM QC GROUP BY K + 1 ORDER BY K + 1 DESC, COUNT(*);
-- A column list of another length than the columns it names is -158/42811, for a derived table,
-- a common table expression and a table (it was -421 about set operators, -117 for WITH).  A
-- derived table's columns of one name keep it under * (the heading was K K:1, SQLite's rename).
SELECT * FROM (SELECT K, V FROM QC) AS Q (X);
WITH Q (X) AS (SELECT K, V FROM QC) SELECT * FROM Q;
SELECT * FROM QC AS Q (X, Y);
SELECT * FROM (SELECT K, K FROM QC) AS Q ORDER BY 1;
-- A column reached by another name than SQLite's is named as the statement names it (one of two
-- columns of one name was named with the engine's own name for it, a view over it had a column
-- no statement could name; a table function's column renamed by a column list had its own name).
SELECT Q.* FROM (SELECT K, V, K FROM QC) AS Q WHERE Q.V > 10 ORDER BY 3 DESC;
-- A reference to one of two columns of one name of a derived table or a common table expression,
-- qualified or not, is -203, in a view's select too (the qualified one took the first column).
SELECT Q.K FROM (SELECT K, V AS K FROM QC) AS Q ORDER BY 1;
SELECT K FROM (SELECT K, V AS K FROM QC) AS Q;
WITH Q AS (SELECT K, V AS K FROM QC) SELECT Q.K FROM Q;
CREATE VIEW QV AS SELECT Q.K FROM (SELECT K, V AS K FROM QC) AS Q;
SELECT Q.V FROM (SELECT K, V, V AS K FROM QC) AS Q ORDER BY 1;
-- HAVING without GROUP BY: the whole table is one group (it was -120); a column outside a column
-- function is -122.  (SELECT ...) in VALUES is a scalar fullselect (it was -104).
SELECT 1 FROM QC HAVING COUNT(*) > 0;
SELECT 'none' AS N FROM QC HAVING COUNT(*) = 0;
SELECT K FROM QC HAVING COUNT(*) > 0;
VALUES (SELECT COUNT(*) FROM QC);
VALUES (SELECT K FROM QC WHERE K = 2);
-- Five nested scalar fullselects (the innermost has no select around it), ten EXCEPT ALL or
-- INTERSECT ALL in a row (applied as one operation): SQLite's parser took four of each (-901).
SELECT (SELECT (SELECT (SELECT (SELECT (SELECT K FROM QC WHERE K = 1) FROM QC WHERE K = 1) FROM QC WHERE K = 1) FROM QC WHERE K = 1) FROM QC WHERE K = 1) FROM QC WHERE K = 1;
SELECT (SELECT (SELECT (SELECT K FROM QC WHERE K > 0) FROM QC WHERE K = 1) FROM QC WHERE K = 1) FROM QC WHERE K = 1;
VALUES 1, 1, 2, 3, 3, 3 EXCEPT ALL VALUES 3 EXCEPT ALL VALUES 3 EXCEPT ALL VALUES 3 EXCEPT ALL VALUES 3 EXCEPT ALL VALUES 3 EXCEPT ALL VALUES 3 EXCEPT ALL VALUES 3 EXCEPT ALL VALUES 3 EXCEPT ALL VALUES 3 EXCEPT ALL VALUES 3 ORDER BY 1;
VALUES 1, 1, 2, 3, 3, 3 INTERSECT ALL VALUES 1, 1, 3, 3 INTERSECT ALL VALUES 1, 1, 3, 3 INTERSECT ALL VALUES 1, 1, 3, 3 INTERSECT ALL VALUES 1, 1, 3, 3 INTERSECT ALL VALUES 1, 1, 3, 3 INTERSECT ALL VALUES 1, 1, 3, 3 INTERSECT ALL VALUES 1, 1, 3, 3 INTERSECT ALL VALUES 1, 1, 3, 3 INTERSECT ALL VALUES 1, 1, 3, 3 INTERSECT ALL VALUES 1, 1, 3, 3 ORDER BY 1;
VALUES 1, 1, 2 EXCEPT ALL VALUES 1 INTERSECT ALL VALUES 1, 1 EXCEPT ALL VALUES 2 ORDER BY 1;
DROP TABLE QC;
-- Scalar fullselects nested deeper than SQLite's parser takes are -101 (it was -901 with
-- SQLite's "parser stack overflow").
SELECT (SELECT (SELECT (SELECT (SELECT (SELECT (SELECT (SELECT (SELECT (SELECT 1 FROM N WHERE X = 1) FROM N WHERE X = 1) FROM N WHERE X = 1) FROM N WHERE X = 1) FROM N WHERE X = 1) FROM N WHERE X = 1) FROM N WHERE X = 1) FROM N WHERE X = 1) FROM N WHERE X = 1) FROM N WHERE X = 1;
-- A common table expression's columns of one name keep it under * as a derived table's do
-- (the heading was K K:1, SQLite's name for the second).
CREATE TABLE wdup (k INT, v INT);
INSERT INTO wdup VALUES (1, 2);
WITH q AS (SELECT k, v AS k FROM wdup) SELECT * FROM q;
WITH q AS (SELECT k, v AS k FROM wdup) SELECT x.*, y.* FROM q x, q y;
DROP TABLE wdup;
-- Tables of one name in two schemas are two FROM items (S.T.C and S.T.* name each; T.C is
-- ambiguous when both have C); SQLite knew both by T: -203 for every reference and for *, whose
-- message named SQLite's "main".
CREATE TABLE qa.t (k INT, v CHAR(1));
CREATE TABLE qb.t (k INT, w CHAR(1));
INSERT INTO qa.t VALUES (1, 'x'), (2, 'u');
INSERT INTO qb.t VALUES (1, 'y'), (3, 'z');
SELECT qa.t.k, qa.t.v, qb.t.w FROM qa.t, qb.t WHERE qa.t.k = qb.t.k;
SELECT * FROM qa.t JOIN qb.t ON qa.t.k = qb.t.k;
SELECT qb.t.*, qa.t.* FROM qa.t, qb.t WHERE qa.t.k = qb.t.k;
SELECT t.w FROM qa.t, qb.t ORDER BY 1;
SELECT t.k FROM qa.t, qb.t;
SELECT qc.t.k FROM qa.t, qb.t;
SELECT qa.t.w FROM qa.t, qb.t;
SELECT qc.t.* FROM qa.t, qb.t;
SELECT qa.t.k FROM qa.t AS x;
SELECT * FROM qa.t x, qb.t x;
-- An enclosing query's table of that name is reached by S.T.C; T.C is the nearest.
SELECT qa.t.v FROM qa.t WHERE EXISTS (SELECT 1 FROM qb.t WHERE qb.t.k = qa.t.k AND t.w = 'y');
UPDATE qa.t SET v = 'w' WHERE EXISTS (SELECT 1 FROM qb.t WHERE qb.t.k = qa.t.k);
DELETE FROM qb.t WHERE qb.t.k NOT IN (SELECT qa.t.k FROM qa.t);
SELECT qa.t.k, qa.t.v, qb.t.k, qb.t.w FROM qa.t LEFT JOIN qb.t ON qb.t.k = qa.t.k ORDER BY 1;
DROP TABLE qa.t;
DROP TABLE qb.t;
-- A HAVING condition's columns outside a column function are grouping columns (SQLite tested
-- any row's V of the group: group 1 holds V 1 and 5, and V > 4 dropped it).
CREATE TABLE gh (k INT, v INT);
INSERT INTO gh VALUES (1, 1), (1, 5), (2, 2);
SELECT k, COUNT(*) FROM gh GROUP BY k HAVING v > 4;
SELECT COUNT(*) FROM gh HAVING v > 4;
SELECT k, COUNT(*) FROM gh AS x GROUP BY k HAVING x.k > 1 OR MAX(x.v) > 4 ORDER BY 1;
SELECT k + 1, COUNT(*) FROM gh GROUP BY k + 1 HAVING k + 1 > 2;
DROP TABLE gh;
-- The grouping check tells tables of one name in two schemas apart (B.T.K passed as grouped
-- by A.T.K, with any row's value).
CREATE TABLE qa.g (k INT, v INT);
CREATE TABLE qb.g (k INT, v INT);
INSERT INTO qa.g VALUES (1, 1), (1, 2);
INSERT INTO qb.g VALUES (3, 1), (4, 2);
SELECT qb.g.k FROM qa.g, qb.g GROUP BY qa.g.k;
SELECT qa.g.k FROM qa.g, qb.g GROUP BY qa.g.k HAVING qb.g.k > 1;
SELECT qa.g.k FROM qa.g, qb.g GROUP BY qa.g.k ORDER BY qb.g.k;
SELECT qa.g.k, COUNT(*) FROM qa.g, qb.g GROUP BY qa.g.k HAVING MAX(qb.g.k) > 3 ORDER BY qa.g.k;
DROP TABLE qa.g;
DROP TABLE qb.g;
-- A character string compared with a number is read as the number it spells, either way round,
-- in a comparison, BETWEEN, an IN list, CASE x WHEN, NULLIF and the rows of a subquery; text
-- that is no number is -420.  The text was compared unless one side was a column of numeric
-- affinity: 1 = '1' and 10 > '9' were false, and K + 0 = '1' found nothing where K = '1' found
-- the row.  Strings compared with strings stay blank-padded.
CREATE TABLE cn (k INT, d DECIMAL(5,2), s VARCHAR(6));
INSERT INTO cn VALUES (1, 1.50, ' 1'), (10, 10.00, '9'), (2, 2.00, '02');
VALUES (CASE WHEN 1 = '1' THEN 'equal' ELSE 'differ' END, CASE WHEN 10 > '9' THEN 'greater' ELSE 'not greater' END);
SELECT k FROM cn WHERE k = '1';
SELECT k FROM cn WHERE k + 0 = ' 1 ';
SELECT k FROM cn WHERE d * 1 < '1.6e0' ORDER BY k;
SELECT k FROM cn WHERE s = 2;
SELECT k FROM cn WHERE k + 0 > s ORDER BY k;
SELECT k FROM cn WHERE k * 1 BETWEEN '2' AND '10' ORDER BY k;
SELECT k FROM cn WHERE '1.5' BETWEEN k AND d * 1 ORDER BY k;
SELECT k FROM cn WHERE k + 0 IN ('1', ' 2', '9') ORDER BY k;
SELECT k FROM cn WHERE s NOT IN (1, 2) ORDER BY k;
SELECT k, CASE k + 0 WHEN '1' THEN 'one' WHEN '10' THEN 'ten' ELSE 'other' END, CASE s WHEN 2 THEN 'two' ELSE 'not two' END FROM cn ORDER BY k;
SELECT k FROM cn WHERE k + 0 IN (SELECT s FROM cn) ORDER BY k;
SELECT k FROM cn WHERE k + 0 > ALL (SELECT s FROM cn);
SELECT s FROM cn WHERE s = ANY (SELECT k FROM cn) ORDER BY s;
VALUES (NULLIF(1, '1'), NULLIF('2', 2.0), NULLIF('3', 2));
SELECT k FROM cn WHERE k = 'one';
SELECT k FROM cn WHERE s = '9  ';
DROP TABLE cn;
