-- Every error code of the dialect, each leaving the database as it was.
CREATE TABLE p (k INT NOT NULL PRIMARY KEY, v VARCHAR(5), c CHAR(3), n SMALLINT);
CREATE TABLE ch (id INT NOT NULL, pk INT, CONSTRAINT ch_fk FOREIGN KEY (pk) REFERENCES p);
INSERT INTO p VALUES (1, 'abc', 'x', 1);
INSERT INTO ch VALUES (1, 1);
SELECT * FROM nosuchtable;
SELECT nosuchcolumn FROM p;
INSERT INTO p VALUES (2, 'toolong', 'x', 1);
INSERT INTO p VALUES (2, 'ok', 'xxxx', 1);
INSERT INTO p VALUES (2, 'ok', 'x', 'abc');
INSERT INTO p VALUES (2, 'ok', 'x', 40000);
INSERT INTO p VALUES (NULL, 'ok', 'x', 1);
INSERT INTO p VALUES (1, 'dup', 'x', 1);
INSERT INTO ch VALUES (2, 99);
DELETE FROM p WHERE k = 1;
UPDATE p SET k = 5 WHERE k = 1;
CREATE TABLE p (x INT);
-- Tables, views, aliases and indexes share one name space: a name taken by any of them is
-- -601 naming what took it (an index over a table's name said INDEX, a table over an index's
-- name failed with -901).
CREATE INDEX p ON p (k);
CREATE INDEX p_k ON p (k);
CREATE TABLE p_k (x INT);
CREATE VIEW p_k AS SELECT k FROM p;
CREATE INDEX p_k ON p (k);
DROP INDEX p_k;
-- SQLite's name space ignores case: a table whose name differs from an index's or a table's
-- only in case is -601 too (it was -901).
CREATE TABLE casec (x INT);
CREATE INDEX "ix_c" ON casec (x);
CREATE TABLE IX_C (y INT);
CREATE TABLE "casec" (y INT);
DROP TABLE casec;
CREATE TABLE d (a INT, a INT);
ALTER TABLE p ADD PRIMARY KEY (v);
ALTER TABLE p ADD COLUMN v INT;
SELECT nosuchfunc(k) FROM p;
CREATE FUNCTION f1 (INTEGER) RETURNS INTEGER EXTERNAL NAME 'lib!f1' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE FUNCTION f1 (INT) RETURNS INTEGER EXTERNAL NAME 'lib!f1b' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE FUNCTION f1 (VARCHAR(10)) RETURNS INTEGER SPECIFIC spec1 EXTERNAL NAME 'lib!f2' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE FUNCTION f2 (DOUBLE) RETURNS INTEGER SPECIFIC spec1 EXTERNAL NAME 'lib!f3' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
DROP FUNCTION f1;
DROP FUNCTION f1 (VARCHAR());
DROP SPECIFIC FUNCTION nosuch;
SELECT FROM p;
SELECT * FROM p WHERE k = 1 `;
CREATE TABLE aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa (x INT);
CREATE TABLE t2 (x VARCHAR(40000));
SELECT * FROM p ORDER BY k;
SELECT * FROM ch;
-- A duplicate key names the index and its table: a user's unique index by its own name (it was
-- "1"), a table and key column whose names hold dots whole (the table was cut at the dots).
-- An index that cannot be made unique names its table, not the index.
CREATE TABLE "dk.a" ("a.b" INT NOT NULL, c INT, CONSTRAINT dkpk PRIMARY KEY ("a.b"));
INSERT INTO "dk.a" VALUES (1, 1), (1, 2);
CREATE TABLE dk (a INT, "b.c" INT);
CREATE UNIQUE INDEX dkx ON dk ("b.c", a);
INSERT INTO dk VALUES (1, 1), (1, 1);
DROP INDEX dkx;
INSERT INTO dk VALUES (1, 1), (1, 1);
CREATE UNIQUE INDEX dkx ON dk (a);
DROP TABLE dk;
DROP TABLE "dk.a";
-- A data change as a table reference is not supported (-142; it was -204 for "FINAL").
CREATE TABLE fin (n INT);
SELECT * FROM FINAL TABLE (INSERT INTO fin VALUES (1));
SELECT n FROM fin;
DROP TABLE fin;
-- A view needs a column list when a column is named by its position alone (-153; it was named
-- 1), and its column list names each column of its select (-158; it was -901 from SQLite, then
-- -421 about set operators).
CREATE TABLE VQ (K INT);
CREATE VIEW VQ4 AS SELECT K + 1 FROM VQ;
CREATE VIEW VQ5 (A1, A2) AS SELECT K FROM VQ;
CREATE VIEW VQ6 (A1) AS SELECT K + 1 FROM VQ;
SELECT TABNAME FROM SYSCAT.TABLES WHERE TABNAME LIKE 'VQ%' ORDER BY 1;
DROP VIEW VQ6;
DROP TABLE VQ;
SELECT 'unterminated FROM p;
