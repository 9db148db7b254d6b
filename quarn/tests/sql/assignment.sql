-- Strings assigned to a shorter declared length.  A distinct type's cast function, a cast to a
-- distinct type and a routine's argument refuse a value whose cut part is more than blanks
-- (22001); a column refuses it (22001); CAST, CHAR and VARCHAR with a length cut it with the
-- warning 01004; trailing blanks are cut silently.
CREATE DISTINCT TYPE doc AS VARCHAR(3000) WITH COMPARISONS;
CREATE DISTINCT TYPE tag AS VARCHAR(5) WITH COMPARISONS;
CREATE TABLE docs (id INT NOT NULL PRIMARY KEY, d doc, t tag);
CREATE FUNCTION tfillwide(INTEGER) RETURNS VARCHAR(32672) EXTERNAL NAME 'quarntestroutines!tfill' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
CREATE FUNCTION tkind(VARCHAR(5)) RETURNS VARCHAR(20) EXTERNAL NAME 'quarntestroutines!tkindtext' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL;
-- A document of 3,100 bytes through the cast function: refused, nothing stored.
INSERT INTO docs (id, d) VALUES (1, doc(tfillwide(3100)));
INSERT INTO docs (id, d) VALUES (1, CAST(tfillwide(3100) AS doc));
INSERT INTO docs (id, d) VALUES (1, tfillwide(3100));
INSERT INTO docs (id, d) VALUES (1, doc(tfillwide(3000)));
INSERT INTO docs (id, t) VALUES (2, tag('abcdef'));
INSERT INTO docs (id, t) VALUES (2, tag('abc     '));
SELECT id, LENGTH(VARCHAR(d)), VARCHAR(t) || '|' FROM docs ORDER BY id;
-- CAST and the casting functions cut with a warning; blanks alone cut without one.
VALUES CAST('abcdef' AS VARCHAR(3));
VALUES CAST('abc   ' AS VARCHAR(3)) || '|';
VALUES CAST('abcdef' AS CHAR(2));
VALUES VARCHAR('abcdef', 4);
VALUES CHAR('abcdef', 1);
VALUES CAST('éé' AS VARCHAR(3));
-- A routine's argument: trailing blanks beyond the parameter's length go, anything else is
-- refused.
VALUES tkind('ab   ' || '     ');
VALUES tkind('abcdef');
-- Constants where a length or precision is asked for.
VALUES DECIMAL(2600.005, 12, 2);
VALUES VARCHAR('abc', 2 + 1);
