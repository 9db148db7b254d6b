-- Character strings as the host compares and reads them: the shorter operand padded with blanks
-- in every comparison (columns, literals, expressions, joins, IN, BETWEEN, CASE, GROUP BY,
-- DISTINCT, ORDER BY), and a CHAR(n) value n bytes long wherever it is used as a value.
CREATE TABLE T (S CHAR(8), V VARCHAR(10), N INT);
INSERT INTO T VALUES ('AB', 'AB', 1), ('CD', 'CD  ', 2);
-- Padded comparison, whatever else the statement holds.
SELECT COUNT(*) FROM T x, T y WHERE x.S = 'AB ';
SELECT COUNT(*) FROM T x CROSS JOIN T y WHERE x.S = 'AB ';
SELECT COUNT(*) FROM T x, T y WHERE x.S = 'AB ' AND y.N > 0;
SELECT COUNT(*) FROM T x, T y WHERE x.S = y.V;
VALUES CASE WHEN 'AB ' = 'AB' THEN 1 ELSE 0 END;
SELECT COUNT(*) FROM T WHERE RTRIM(S) = 'AB ';
SELECT COUNT(*) FROM T WHERE V = 'CD';
SELECT N FROM T WHERE S IN ('AB  ', 'XY');
SELECT N FROM T WHERE V BETWEEN 'CD' AND 'CD ';
SELECT CASE S WHEN 'CD ' THEN 'yes' ELSE 'no' END FROM T ORDER BY N;
SELECT COUNT(*) FROM T WHERE 'AB' < 'AB ';
SELECT RTRIM(V) || '|', COUNT(*) FROM (SELECT V FROM T UNION ALL VALUES 'CD') x GROUP BY RTRIM(V) || '' ORDER BY 1;
SELECT COUNT(*) FROM (SELECT DISTINCT V || '' FROM (SELECT V FROM T UNION ALL VALUES 'CD ') x) d;
-- The migration's trigger lookup: a CHAR(8) suffix against a substring.
CREATE TABLE usage (trigger_suffix CHAR(8));
INSERT INTO usage VALUES ('AbCdEfGh');
SELECT COUNT(*) FROM usage a, (VALUES 'XAbCdEfGh') AS b(trigname) WHERE a.trigger_suffix = SUBSTR(b.trigname, 2, 8);
-- A CHAR(n) value is n bytes: its length, concatenation, a CAST, through a derived table.
SELECT LENGTH(S), S || '|', LENGTH(V), V || '|' FROM T ORDER BY N;
VALUES (CAST('ab' AS CHAR(5)) || '|', LENGTH(CAST('ab' AS CHAR(5))));
SELECT c || '|', LENGTH(c) FROM (SELECT CAST('ab' AS CHAR(5)) AS c FROM T WHERE N = 1) AS d;
VALUES CHAR(12) || '|';
-- A CHAR(n) value holds n bytes, as its length check counts them: two two-byte letters in a
-- CHAR(5) get one blank, as a cast, as a column used as a value and as fetched (they got three,
-- seven bytes in a CHAR(5)); a GRAPHIC(n) value is n characters.
CREATE TABLE W (C CHAR(5), G GRAPHIC(3));
INSERT INTO W VALUES ('éé', 'é');
SELECT C || '|', LENGTH(C), G || '|', CAST('éé' AS CHAR(5)) || '|', LENGTH(CAST('éé' AS CHAR(5))) FROM W;
SELECT '[' || C || ']' FROM W WHERE C = 'éé';
-- A longer value whose excess is blanks is stored without them, by INSERT, UPDATE, INSERT ...
-- SELECT (a CHAR(5) kept all eight bytes: LENGTH 8, and a fetch showed them; so did a marker); a
-- GRAPHIC(3) takes three characters, not twelve bytes (it took eleven letters).
DELETE FROM W;
INSERT INTO W VALUES ('abcde   ', 'éé     ');
INSERT INTO W (G) VALUES ('abcdefghijk');
INSERT INTO W (G) VALUES ('日本語日');
INSERT INTO W (C) VALUES ('abcdef  ');
SELECT LENGTH(C), HEX(C), C || '|', G || '|' FROM W;
UPDATE W SET C = 'xy      ', G = '日本語  ';
INSERT INTO W SELECT C || '  ', G || ' ' FROM W;
SELECT LENGTH(C), HEX(C), C || '|', G || '|' FROM W;
-- ORDER BY a result column's name, where the FROM items have two columns of that name.
SELECT x.S, y.N FROM T x, T y WHERE x.S = y.S ORDER BY S DESC;
SELECT x.S AS K, y.N FROM T x, T y WHERE x.S = y.S ORDER BY K;
SELECT x.S, y.N FROM T x, T y WHERE x.S = y.S ORDER BY x.N;
-- LIKE matches a CHAR(n) value as its n bytes, however it was stored: both rows match
-- 'ab__', neither '%b' (the stored text matched before: one row each).
CREATE TABLE LK (C CHAR(4), V VARCHAR(4));
INSERT INTO LK VALUES ('ab', 'ab'), ('ab  ', 'ab  ');
SELECT COUNT(*) FROM LK WHERE C LIKE 'ab__';
SELECT COUNT(*) FROM LK WHERE C LIKE '%b';
SELECT COUNT(*) FROM LK WHERE V LIKE 'ab__';
DROP TABLE LK;
-- POSSTR, LEFT and RIGHT count bytes, as SUBSTR, LOCATE and LENGTH do: POSSTR counted
-- characters, so SUBSTR of its position began one byte early for each 'é' before it.  LEFT and
-- RIGHT pad with blanks a string shorter than the length asked for, as SUBSTR does.
VALUES (SUBSTR('ééab', POSSTR('ééab', 'a')), POSSTR('ééab', 'a'), LOCATE('a', 'ééab'), LEFT('ééab', 2), RIGHT('ééab', 4));
VALUES (LEFT('ab', 4) || '|', RIGHT('ab', 4) || '|', LEFT('', 0) || '|');
VALUES RIGHT('ab', -1);
DESCRIBE VALUES (LEFT(CAST('abc' AS VARCHAR(12)), 2), RIGHT(CAST('abc' AS CHAR(3)), 1));
-- A CHAR column read through a derived table or WITH is its n bytes as a value, as the column
-- itself and a view's are (it was 'ab': 'ab|', LENGTH 2).
CREATE TABLE W5 (C CHAR(5), G GRAPHIC(3));
INSERT INTO W5 VALUES ('ab', 'é');
SELECT D.C || '|', LENGTH(D.C), D.G || '|' FROM (SELECT C, G FROM W5) AS D;
WITH D (X) AS (SELECT C FROM W5) SELECT X || '|', LENGTH(X) FROM D;
SELECT X || '|' FROM (SELECT C FROM W5) AS D (X) WHERE X = 'ab';
DROP TABLE W5;
-- NULLIF(a, b) compares as a = b does: blank-padded, and a string beside a datetime read as one
-- (SQLite's nullif compared stored values: NULLIF(c, '') kept a CHAR(3) '', NULLIF('a', 'a  ')
-- kept 'a').  An a that may change between evaluations (GENERATE_UNIQUE) is evaluated once.
CREATE TABLE NC (C CHAR(3), D DATE);
INSERT INTO NC VALUES ('', '2024-01-10'), ('x', NULL);
SELECT COUNT(*) FROM NC WHERE NULLIF(C, '') IS NULL;
VALUES (NULLIF('a', 'a  '), NULLIF('a', 'b'));
SELECT NULLIF(D, '2024-1-10'), NULLIF(D, '2024-1-11') FROM NC WHERE C = '';
SELECT COUNT(*) FROM NC WHERE NULLIF(GENERATE_UNIQUE(), GENERATE_UNIQUE()) IS NULL;
-- Over a column function it is one value per group (the subquery of the evaluated-once form
-- took the column function out of its grouping: a row per row, or -120).
SELECT NULLIF(LENGTH(MAX(GENERATE_UNIQUE())), 0) FROM NC;
SELECT C, NULLIF(COUNT(GENERATE_UNIQUE()), 2) FROM NC GROUP BY C ORDER BY C;
DROP TABLE NC;
-- CONCAT(a, b) is typed as a || b is (it took the last argument's type: VARCHAR(1), and a
-- view over it was VARCHAR(2)).
DESCRIBE VALUES (CONCAT('abc', 'b'), 'abc' || 'b');
-- A DECIMAL or REAL operand reads as it does turned into text, with its scale ("101x" before).
VALUES (CAST(101 AS DECIMAL(9,2)) || 'x', CONCAT('x', CAST(-0.5 AS DECIMAL(5,3))), REAL(0.02) || '|' || 7);
CREATE TABLE ONE (K INTEGER);
INSERT INTO ONE VALUES (1);
CREATE VIEW CV AS SELECT CONCAT('abc', 'b') AS V FROM ONE;
DESCRIBE SELECT V FROM CV;
SELECT V FROM CV;
DROP VIEW CV;
DROP TABLE ONE;
-- LIKE's escape is one character, and stands in the pattern only before '%', '_' or itself:
-- otherwise -130 (an empty or long escape was -901 with SQLite's text; 'a!b' matched 'ab').
VALUES (CASE WHEN 'a%' LIKE 'a!%' ESCAPE '!' THEN 1 ELSE 0 END, CASE WHEN 'a!' LIKE 'a!!' ESCAPE '!' THEN 1 ELSE 0 END);
VALUES CASE WHEN 'ab' LIKE 'ab' ESCAPE '' THEN 1 ELSE 0 END;
VALUES CASE WHEN 'ab' LIKE 'ab' ESCAPE '!!' THEN 1 ELSE 0 END;
VALUES CASE WHEN 'ab' LIKE 'a!b' ESCAPE '!' THEN 1 ELSE 0 END;
VALUES CASE WHEN 'ab' LIKE 'ab!' ESCAPE '!' THEN 1 ELSE 0 END;
