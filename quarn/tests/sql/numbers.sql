-- [+c]
-- Numbers as the host keeps and shows them: DECIMAL keeps its scale when turned into text, a
-- value stored into a column is cut to the column's scale, and result columns are described
-- with their types (COUNT and LENGTH INTEGER, arithmetic by the operands' precision and scale).
CREATE TABLE P (D DECIMAL(6,2), I INTEGER, R REAL, S SMALLINT);
COMMIT;
INSERT INTO P VALUES (2600.00, 1.5, 0.02, 7.9);
INSERT INTO P (D, I) VALUES (1.005, -2.7);
SELECT D, I, S FROM P ORDER BY D DESC;
UPDATE P SET D = D / 3, I = D WHERE S = 7;
SELECT D, I FROM P WHERE S = 7;
ROLLBACK;
INSERT INTO P VALUES (2600.00, 1, 0.02, 1);
SELECT CHAR(D), CAST(D AS CHAR(12)) || '|', CAST(D AS VARCHAR(12)), D * 2, DECIMAL(D * 2, 12, 2) FROM P;
SELECT COUNT(*), LENGTH('abc'), D * 2, D + I, D / 4, SUM(D), AVG(I) FROM P GROUP BY D, I;
DESCRIBE SELECT COUNT(*), LENGTH('abc'), D * 2, D + I, D * D, I + S, CAST(R AS REAL), CHAR(D), DIGITS(I) FROM P GROUP BY D, I, R, S;
-- A REAL reads back as the host shows it.
SELECT R, CAST(0.02 AS REAL) FROM P;
-- Values a column refuses: out of range, not a number.
INSERT INTO P (D) VALUES (10000.5);
INSERT INTO P (S) VALUES (40000.2);
INSERT INTO P (I) VALUES ('x');
-- A decimal literal has as many digits as it is written with, and a scale of those after the
-- point: it shows so, and is cut when stored into a column of a smaller scale (1.239 and
-- 999.999 were DECIMAL(31,0): shown as 1 and stored uncut, so D = 1.24 found nothing).
VALUES (1.239, 1.5 + 1, 1.5 * 2.25, .5, 12., 0.1 + 0.2);
DESCRIBE VALUES (1.239, .5, 12., 1234567890.0123456789);
INSERT INTO P (D) VALUES (1.239), (999.999), (-0.005);
SELECT D, D * 1000 FROM P WHERE D IN (1.23, 999.99, 0) ORDER BY D;
SELECT COUNT(*) FROM P WHERE D = 1.239;
-- A number past BIGINT's range is an overflow when cast, never a wrapped value.
VALUES CAST(9223372036854775808 AS BIGINT);
VALUES CAST(-9300000000000000000 AS BIGINT);
-- A floating value past its type's range is -413 too: it was an infinity, stored and compared as
-- a number (a side column of type FLOAT held "inf" for <v>1e400</v>).
VALUES CAST('1e400' AS DOUBLE);
VALUES CAST(1e300 AS REAL);
VALUES (CAST('3.4e38' AS REAL), CAST('-1e308' AS DOUBLE));
VALUES CAST(9223372036854775807 AS BIGINT);
-- Division by zero, of any type and by MOD, is -801 (SQLite's division gave NULL); a NULL
-- divisor still gives NULL.
SELECT I / 0 FROM P;
SELECT D / 0.0 FROM P;
SELECT MOD(I, 0) FROM P;
SELECT COUNT(*), MAX(I / NULLIF(0, 0)), MAX(MOD(7, 3)) FROM P;
-- Integer arithmetic outside its result type's range is -802: INTEGER (SMALLINT operands
-- included) within 32 bits, BIGINT within 64; SQLite gave a larger number or a double.  A
-- constant is INTEGER when it fits one.  A sum past 64 bits is -802 too.
VALUES 2147483647 + 1;
VALUES (2147483646 + 1, -2147483647 - 1, 2147483648 + 1, CAST(32767 AS SMALLINT) * 32767);
CREATE TABLE OV (I INTEGER, B BIGINT);
INSERT INTO OV VALUES (-2147483648, 9223372036854775807);
SELECT -I FROM OV;
SELECT I / -1 FROM OV;
SELECT I * 2 FROM OV;
SELECT B + 1 FROM OV;
SELECT B * 2 FROM OV;
SELECT B - 1, CAST(I AS BIGINT) * 2, - -1, - - 2, 5 - -1 FROM OV;
SELECT SUM(B) FROM (SELECT B FROM OV UNION ALL SELECT B FROM OV) X;
-- DIGITS: the digits of the absolute value, as many as the type's precision.
VALUES (DIGITS(CAST(-42 AS SMALLINT)), DIGITS(CAST(7 AS INTEGER)), DIGITS(CAST(12.5 AS DECIMAL(5,2))));
-- NULLIF has its first argument's type, ROUND too, COALESCE/VALUE the type that holds every
-- argument (INTEGER and DECIMAL(7,2): DECIMAL(13,2)); all three had the last argument's type,
-- so they showed 1, a quotient by NULLIF(D, 0) was integer arithmetic (-802) and an INTEGER
-- column stored 2.8 and 2.5 unconverted.  ROUND to negative places rounds to tens, hundreds...
-- (SQLite's round took them as 0: 1235).
CREATE TABLE NF (D DECIMAL(7,2), Y INT, I INT);
INSERT INTO NF VALUES (1.50, 3, NULL);
SELECT NULLIF(D, 0), ROUND(D, 1), COALESCE(I, D), VALUE(I, Y), Y / NULLIF(D, 0) FROM NF;
DESCRIBE SELECT NULLIF(D, 0), ROUND(D, 1), COALESCE(I, D), COALESCE(NULL, D), VALUE(I, Y) FROM NF;
DESCRIBE VALUES (COALESCE(CAST('a' AS CHAR(3)), 'bcde'), COALESCE(CURRENT DATE, '2024-01-05'), COALESCE(1, 2.5e0));
CREATE TABLE RI (N INT);
INSERT INTO RI VALUES (ROUND(2.75e0, 1)), (NULLIF(2.5, 0));
SELECT N, N * 10 FROM RI;
VALUES (ROUND(1234.5, -2), ROUND(1234, -2), ROUND(-1250, -2), ROUND(2.5e0), ROUND(CAST(NULL AS INTEGER), -1));
VALUES ROUND(9223372036854775807, -1);
-- An integer literal past BIGINT is a DECIMAL of its digits: a BIGINT refuses it (-413; it
-- was stored as -9223372036854775808) and VALUES shows the number (its 15 significant digits).
CREATE TABLE BB (B BIGINT);
INSERT INTO BB VALUES (9223372036854775808);
INSERT INTO BB VALUES (-9223372036854775808);
SELECT B FROM BB;
VALUES 9223372036854775808;
DESCRIBE VALUES 9223372036854775808;
-- So are the literals just past the smallest BIGINT, which SQLite reads as it (they were stored
-- as -9223372036854775808).  The largest DECIMAL(31,0) and DECIMAL(31,2) values are stored:
-- their double is that of 10^31 (10^29), and the bound 1e31, compared as a double, refused them.
-- 10^31 itself is still -413, and a literal of more than 31 digits is a DOUBLE.
INSERT INTO BB VALUES (-9223372036854775809);
INSERT INTO BB VALUES (-9223372036854776832);
VALUES CAST(-9223372036854775809 AS BIGINT);
VALUES CAST(-9223372036854775808 AS BIGINT);
CREATE TABLE DX (D DECIMAL(31,0), E DECIMAL(31,2));
INSERT INTO DX VALUES (9999999999999999999999999999999, 99999999999999999999999999999.99);
INSERT INTO DX VALUES (-9999999999999999999999999999999, -99999999999999999999999999999.99);
INSERT INTO DX (D) VALUES (10000000000000000000000000000000);
INSERT INTO DX (D) VALUES (1e31);
INSERT INTO DX (E) VALUES (100000000000000000000000000000);
VALUES CAST(1e31 AS DECIMAL(31,0));
SELECT COUNT(*) FROM DX WHERE D IN (9999999999999999999999999999999, -9999999999999999999999999999999)
  AND CAST(D AS DECIMAL(31,0)) = D AND CAST(E AS DECIMAL(31,2)) = E;
DESCRIBE VALUES 10000000000000000000000000000000;
-- A REAL or DOUBLE column refuses a value past its range (-413), as CAST does; 1e39 and an
-- infinity were stored.  Values known to fit are stored as they are.
CREATE TABLE FL (R REAL, F DOUBLE);
INSERT INTO FL VALUES (1e39, 1);
INSERT INTO FL VALUES (1, 1e309);
INSERT INTO FL VALUES (1, 1e308 * 10);
INSERT INTO FL VALUES (3.4e38, -1e308), (0.02, 12345678901234567890);
INSERT INTO FL (R) SELECT F * 1e300 FROM FL;
UPDATE FL SET R = R * 1e300;
SELECT R, F FROM FL;
-- A REAL turned into text (CHAR, CAST) reads as it is fetched: 1.0000001, not 1.
CREATE TABLE RT (R REAL);
INSERT INTO RT VALUES (1.0000001), (0.02), (1);
SELECT R, CHAR(R), CAST(R AS VARCHAR(20)) FROM RT;
-- A character string in arithmetic is read as the number it spells, blanks around it allowed;
-- one that spells none is -420 (SQLite read 'abc' as 0 and '7x' as 7), one past a DOUBLE -413.
CREATE TABLE SN (C VARCHAR(9));
INSERT INTO SN VALUES (' 12 '), ('1.5'), ('-2e1'), (NULL);
SELECT C + 1, C * 2, 6 / C, -C FROM SN ORDER BY 1;
VALUES 'abc' + 1;
VALUES 2 * '7x';
VALUES -'';
VALUES '1e999' + 0;
INSERT INTO SN VALUES ('9-1');
SELECT C FROM SN WHERE C + 0 > 0;
-- Floating arithmetic past a DOUBLE's range is -802, as integer arithmetic past its type's is;
-- SQLite gave an infinity (shown "inf").  It is done in double precision, and a REAL result past
-- a REAL's range is -802 too (R + R was 6e+38 typed REAL).
VALUES 1e308 * 10;
VALUES -1e308 - 1e308;
VALUES 1e308 / 1e-10;
CREATE TABLE RA (R REAL);
INSERT INTO RA VALUES (3e38);
SELECT R * 1 FROM RA;
SELECT R + R FROM RA;
-- AVG of DECIMAL(p,s) is DECIMAL(31,31-p+s): the mean of 1.00 and 2.25 is 1.625 (it was cut to
-- the argument's scale, 1.62); AVG of integers stays an integer.
CREATE TABLE AV (I INT, D DECIMAL(5,2));
INSERT INTO AV VALUES (1, 1.00), (2, 2.25);
SELECT AVG(I), AVG(D), SUM(D) FROM AV;
DESCRIBE SELECT AVG(I), AVG(D), SUM(D) FROM AV;
-- A character string operand is no exception: its arithmetic past a DOUBLE's range is -802 too.
-- An AVG's digits past a double's 15 significant ones are zeros, not the binary expansion's.
VALUES '1e308' * 10;
CREATE TABLE PAY (AMT DECIMAL(9,2));
INSERT INTO PAY VALUES (10.00), (10.00), (10.01);
SELECT AVG(AMT), SUM(AMT) FROM PAY;
-- A chain of operators is one checked call, not one check nested around the steps before it:
-- 31 INTEGER terms overflowed SQLite's parser stack (-901).  200 terms of INTEGER, of DOUBLE and
-- of 32 columns give their sums; a step past INTEGER's range in the middle of a chain is still
-- -802, and so is a zero divisor -801, however long the chain.
VALUES 0 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1;
VALUES 0e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0 + 0.5e0;
VALUES 7 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2, 7.0 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2 * 3 / 2;
VALUES 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 2147483647 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1 - 1;
VALUES 0 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 7 / 0;
CREATE TABLE WIDE (C1 INT, C2 INT, C3 INT, C4 INT, C5 INT, C6 INT, C7 INT, C8 INT, C9 INT, C10 INT, C11 INT, C12 INT, C13 INT, C14 INT, C15 INT, C16 INT, C17 INT, C18 INT, C19 INT, C20 INT, C21 INT, C22 INT, C23 INT, C24 INT, C25 INT, C26 INT, C27 INT, C28 INT, C29 INT, C30 INT, C31 INT, C32 INT);
INSERT INTO WIDE VALUES (1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32);
SELECT C1 + C2 + C3 + C4 + C5 + C6 + C7 + C8 + C9 + C10 + C11 + C12 + C13 + C14 + C15 + C16 + C17 + C18 + C19 + C20 + C21 + C22 + C23 + C24 + C25 + C26 + C27 + C28 + C29 + C30 + C31 + C32, C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 * C1 - C1 / C1 - C2 / C1 - C3 / C1 - C4 / C1 - C5 / C1 - C6 / C1 - C7 / C1 - C8 / C1 - C9 / C1 - C10 / C1 - C11 / C1 - C12 / C1 - C13 / C1 - C14 / C1 - C15 / C1 - C16 / C1 - C17 / C1 - C18 / C1 - C19 / C1 - C20 / C1 - C21 / C1 - C22 / C1 - C23 / C1 - C24 / C1 - C25 / C1 - C26 / C1 - C27 / C1 - C28 / C1 - C29 / C1 - C30 / C1 - C31 / C1 - C32 / C1 FROM WIDE;
ROLLBACK;
-- A CAST to a DECIMAL bounds its value as the column does, also for a product or sum whose
-- type lies within the DECIMAL's precision (it came back with 33 digits; the product, a
-- DECIMAL(31,0), is past its own type first: -802).  A whole number past
-- the type is refused where a double would round it to the bound (10^16 + 1 in DECIMAL(16,0)).
CREATE TABLE dedge (b DECIMAL(16,0), d DECIMAL(31,0));
INSERT INTO dedge (d) VALUES (9999999999999999999999999999999);
SELECT CAST(d * 100 AS DECIMAL(31,0)) FROM dedge;
INSERT INTO dedge (b) VALUES (10000000000000001);
INSERT INTO dedge (b) VALUES (9999999999999999);
SELECT COUNT(*) FROM dedge;
VALUES CAST(999999999999999999999 AS DECIMAL(20,0));
VALUES CAST(9999999999999999999999999999999 AS DECIMAL(31,0));
DROP TABLE dedge;
-- AVG of integers is an INTEGER (BIGINT of BIGINT), the mean truncated toward zero (it was
-- SQLite's double described as INTEGER: AVG(I) + 0 was -802, HAVING AVG(I) = 26 found nothing,
-- CHAR(AVG(I)) was '26.66666666').  A SUM past its type, the absolute value of the most negative
-- SMALLINT or INTEGER and the negation of the most negative INTEGER are -802 (they gave
-- 2147483648 as an INTEGER, 32768 as a SMALLINT, and a DOUBLE sum's infinity, which times 0 was
-- NULL); the negation of a SMALLINT is an INTEGER.
CREATE TABLE AG (G INT, I INT, S SMALLINT, B BIGINT, F DOUBLE);
INSERT INTO AG VALUES (1, 10, -7, 10, 1e308), (1, 20, 0, 20, 1e308), (1, 50, 0, 50, NULL), (2, 2147483647, -32768, -3, NULL), (2, 1, NULL, -4, NULL);
SELECT G, AVG(I), AVG(I) + 0, CHAR(AVG(I)), AVG(S), AVG(B), AVG(DISTINCT S) FROM AG GROUP BY G ORDER BY G;
DESCRIBE SELECT AVG(I), AVG(S), AVG(B), SUM(S) FROM AG;
SELECT G FROM AG GROUP BY G HAVING AVG(I) = 26;
SELECT AVG(I) FROM AG WHERE G = 3;
SELECT SUM(I) FROM AG WHERE G = 1;
SELECT SUM(I) FROM AG WHERE G = 2;
SELECT SUM(S) FROM AG;
SELECT SUM(F) FROM AG;
SELECT SUM(F) * 0 FROM AG;
SELECT ABS(S), -S FROM AG WHERE G = 1 ORDER BY I;
SELECT ABS(S) FROM AG WHERE G = 2 AND S IS NOT NULL;
SELECT -S FROM AG WHERE G = 2 AND S IS NOT NULL;
SELECT ABS(I - 2147483647 - 2) FROM AG WHERE I = 1;
SELECT ABS(I - 2147483647 - 1) FROM AG WHERE I = 1;
DROP TABLE AG;
-- A DECIMAL result of arithmetic, SUM and AVG is brought to its type: rounded to the 15
-- significant digits a double holds, cut (not rounded) to the result's scale, and -802 past its
-- precision.  SQLite's doubles were passed on: 0.1 + 0.2 differed from 0.3, two sums of 0.30 were
-- two rows under DISTINCT, 20.00 / 3 showed 6.67 while its CAST was 6.66, and a 62-digit product
-- came back.  0.3 / 0.1 (the double 2.9999999999999996) is 3.
VALUES (CASE WHEN 0.1 + 0.2 = 0.3 THEN 'equal' ELSE 'differ' END, 0.3 / 0.1, -(0.1 + 0.2));
CREATE TABLE DR (G INTEGER, P DECIMAL(7,2), BAL DECIMAL(31,2));
INSERT INTO DR VALUES (1, 0.10, 20.00), (1, 0.20, NULL), (2, 0.30, NULL);
SELECT DISTINCT SUM(P) FROM DR GROUP BY G;
SELECT BAL / 3, CAST(BAL / 3 AS DECIMAL(31,2)), (BAL / 3) * 3 FROM DR WHERE G = 1 AND BAL IS NOT NULL;
DESCRIBE SELECT BAL / 3, (BAL / 3) * 3 FROM DR;
SELECT AVG(P), SUM(P) / 3 FROM DR;
VALUES 9999999999999999999999999999999. * 9999999999999999999999999999999.;
-- CAST and assignment to DECIMAL(p,s) cut a value just below a step, as they cut any other:
-- 1.9999999999999 was 2.0 in a DECIMAL(5,1) and 2.00 stored in a DECIMAL(5,2).
VALUES CAST(1.9999999999999 AS DECIMAL(5,1));
VALUES (CAST(1.9999999999999 AS DECIMAL(5,0)), DECIMAL(12.3499999999999, 5, 2), CAST(-1.9999999999999 AS DECIMAL(5,2)));
INSERT INTO DR (P) VALUES (1.9999999999999);
SELECT P FROM DR WHERE G IS NULL;
-- DECIMAL text is fixed point with zeros past the 15 significant digits: 10^30 showed the
-- binary expansion 1000000000000000019884624838656, and CHAR of a DECIMAL(31,0) 1.2345678901234568e+30.
VALUES CAST(1e30 AS DECIMAL(31,0));
VALUES 12345678901234567.89;
VALUES CHAR(CAST(1234567890123456789012345678901 AS DECIMAL(31,0)));
VALUES CHAR(CAST(1234567890123456789 AS DECIMAL(19,0)));
-- MOD of DECIMAL arguments is the remainder with the dividend's sign, of their decimal type (it
-- was SQLite's integer %: MOD(5, 0.5) divided by zero); a NULL argument gives NULL, also before a
-- zero divisor, as / does.
VALUES (MOD(5, 0.5), MOD(7.9, 2.5), MOD(-7.5, 2), MOD(-7, 3), MOD(7, -3));
VALUES (MOD(NULL, 0), CAST(NULL AS INTEGER) / 0, CAST(NULL AS DECIMAL(5,2)) / 0.0);
VALUES MOD(7.5, 0);
-- The numeric functions read their argument as arithmetic does: text that is no number is -420
-- and a datetime -182 (ABS('7x') was 7.0, FLOOR('abc') 0.0, ABS of a date its year).
VALUES (ABS('-7'), FLOOR('2.5'), CEIL(2.5), SIGN('-3'), ROUND('2.5'));
VALUES ABS('7x');
VALUES FLOOR('abc');
VALUES SIGN('abc');
VALUES CEIL('7x');
VALUES MOD('a', 2);
VALUES ABS(DATE('2024-01-01'));
VALUES ROUND(CURRENT TIMESTAMP);
-- ROUND's places are read as arithmetic reads an operand too ('abc' was 0 places, a date its year).
VALUES ROUND(2.567, '1');
VALUES ROUND(2.567, 'abc');
VALUES ROUND(2.567, CURRENT DATE);
-- ROUND of an INTEGER is held to INTEGER's range, as arithmetic is (it gave 2147483650).
VALUES ROUND(2147483647, -1);
VALUES ROUND(2147483642, -1);
-- AVG of floating values does not overflow on the way (1e308, 1e308 and 1 gave inf, so AVG * 0
-- was NULL); a REAL result past a REAL's range is -802 (a REAL sum of 6e+38 was typed REAL).
CREATE TABLE FA (D DOUBLE, R REAL);
INSERT INTO FA VALUES (1e308, 3e38), (1e308, 3e38), (1, 1);
SELECT AVG(D), AVG(D) * 0, AVG(R) FROM FA;
SELECT SUM(R) FROM FA;
VALUES REAL(3e38) * REAL(10);
DROP TABLE FA;
DROP TABLE DR;
-- A DECIMAL keeps every digit its double holds: a value is cut to its scale, never rounded to 15
-- significant digits first (12345678901234.56 + 0.01 was 12345678901234.6, and a sum of two
-- amounts lost its cents), and a value just below its type's bound is cut below it, never
-- rounded up past it (CAST(9.999999999999999 AS DECIMAL(5,4)) was 10.0000, and negating or
-- averaging a DECIMAL(16,1) of 16 nines was -802).
CREATE TABLE DK (A DECIMAL(18,2), V DECIMAL(16,1), Y DECIMAL(5,4));
INSERT INTO DK VALUES (12345678901234.56, 999999999999999.9, '9.999999999999999');
UPDATE DK SET A = A + 0.01;
SELECT CAST(A AS DOUBLE), Y, CAST(-V AS DOUBLE), CAST(AVG(V) AS DOUBLE) FROM DK GROUP BY A, Y, V;
INSERT INTO DK VALUES (5000000000000.01, 0, 0), (5000000000000.02, 0, 0);
SELECT CAST(SUM(A) AS DOUBLE) FROM DK WHERE V = 0;
VALUES (CAST(9.999999999999999 AS DECIMAL(5,4)), CAST(0.9999999999999999 AS DECIMAL(31,31)), -99999.99999999999);
-- MOD of decimals is exact in units of their scale (MOD(0.3, 0.1) was 0.1).
VALUES (MOD(0.3, 0.1), MOD(1, 0.1), MOD(4.35, 0.05), MOD(-0.7, 0.2));
DROP TABLE DK;
