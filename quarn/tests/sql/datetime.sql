-- [+c]
-- Dates, times and timestamps as the host reads and writes them: every string form it accepts
-- (ISO, USA, EUR, JIS, leading zeros left out, seconds left out, AM/PM), stored in one form so
-- two spellings of one value are one value, refused on INSERT and UPDATE when not valid;
-- labeled durations, differences, and the datetime built-ins.
CREATE TABLE W (K INT NOT NULL, D DATE, T TIME, TS TIMESTAMP);
INSERT INTO W VALUES (1, '2024-3-5', '1.02.03', '2024-03-05-10.20.30.5');
INSERT INTO W VALUES (2, '03/05/2024', '10.20', '2024-03-05 10:20:30');
INSERT INTO W VALUES (3, '05.03.2024', '10:20 AM', '2024-03-05-10.20.30.000000');
INSERT INTO W VALUES (4, '2024-03-05', '10:20 PM', '2024-03-05');
INSERT INTO W VALUES (5, '2024-03-05', '10:20:00', '2024-03-05-10.20.30');
SELECT K, D, T, TS FROM W ORDER BY K;
SELECT COUNT(DISTINCT D), COUNT(DISTINCT TS) FROM W;
SELECT K FROM W WHERE D = '03/05/2024' AND T = '10.20.00' ORDER BY K;
-- Refused: not a datetime (22007 -180), out of range (22007 -181); the row is not stored.
INSERT INTO W (K, D) VALUES (9, '2024-02-30');
INSERT INTO W (K, D) VALUES (9, 'yesterday');
INSERT INTO W (K, T) VALUES (9, '25.00.00');
INSERT INTO W (K, TS) VALUES (9, '2024-03-05-10.61.00');
UPDATE W SET D = '13/01/2024' WHERE K = 1;
SELECT COUNT(*) FROM W WHERE K = 9;
-- Labeled durations and differences.
SELECT D + 1 DAY, D - 3 MONTHS, D + 1 YEAR, TS + 90 MINUTES, T - 2 HOURS FROM W WHERE K = 1;
VALUES (DATE('2024-01-31') + 1 MONTH, DATE('2024-03-31') - 1 MONTH, TIMESTAMP('2024-12-31-23.59.59') + 1 SECOND);
VALUES (DATE('2024-03-05') - DATE('2023-01-01'), DATE('2023-01-01') - DATE('2024-03-05'), DAYS('2024-03-05') - DAYS('2024-01-01'));
SELECT K FROM W WHERE D + 1 DAY > '2024-03-05' AND K < 3 ORDER BY K;
-- Built-ins.
VALUES (DAYS('0001-01-01'), DAYS(DATE('2024-03-05')), TIMESTAMP('2024-03-05', '10.20.30'));
VALUES (CHAR(DATE('2024-03-05'), USA), CHAR(DATE('2024-03-05'), EUR), CHAR(DATE('2024-03-05'), ISO), CHAR(DATE('2024-03-05'), JIS));
VALUES (CHAR(TIME('13.05.00'), USA), CHAR(TIME('13.05.00'), JIS), CHAR(TIME('13.05.00'), EUR));
VALUES VARCHAR_FORMAT(TIMESTAMP('2024-03-05-13.05.09.123456'), 'YYYY-MM-DD HH24:MI:SS');
VALUES (TRANSLATE('abcab', 'xy', 'ab'), TRANSLATE('abc', 'x', 'ab', '*'), TRANSLATE('abc'));
VALUES LENGTH(CHAR(TIMESTAMP(GENERATE_UNIQUE())));
VALUES YEAR(TIMESTAMP(GENERATE_UNIQUE())) > 2000;
VALUES (YEAR('2024-03-05'), MONTH('03/05/2024'), DAY('05.03.2024'), HOUR('10:20 PM'), MINUTE('2024-03-05-10.20.30'));
-- Durations that do not fit the value.
VALUES DATE('2024-03-05') + 2 HOURS;
VALUES DATE('9999-12-31') + 1 DAY;
-- A datetime against strings in BETWEEN, IN and CASE compares as datetimes, as = does (the
-- strings compared as text found nothing); a string in no form is -180.
CREATE TABLE DW (D DATE, T TIMESTAMP);
INSERT INTO DW VALUES ('2020-01-05', '2020-01-05-10.30.00'), ('2020-02-01', '2020-02-01-00.00.00');
SELECT D FROM DW WHERE D BETWEEN '1/1/2020' AND '1/31/2020';
SELECT D FROM DW WHERE D NOT BETWEEN '01.01.2020' AND '31.01.2020';
SELECT D FROM DW WHERE '1/5/2020' BETWEEN D AND D;
SELECT D FROM DW WHERE D IN ('1/5/2020', '01.02.2020') ORDER BY D;
SELECT T FROM DW WHERE T IN ('2020-01-05 10:30:00');
SELECT D, CASE D WHEN '1/5/2020' THEN 'fifth' WHEN '01.02.2020' THEN 'first' END FROM DW ORDER BY D;
SELECT D FROM DW WHERE D IN ('soon');
-- The same for the strings of a subquery: IN, NOT IN, = ANY and > ALL read them as datetimes.
CREATE TABLE DS (S VARCHAR(12));
INSERT INTO DS VALUES ('1/5/2020'), ('01.02.2020');
SELECT D FROM DW WHERE D IN (SELECT S FROM DS) ORDER BY D;
SELECT D FROM DW WHERE D NOT IN (SELECT S FROM DS) ORDER BY D;
SELECT D FROM DW WHERE D = ANY (SELECT S FROM DS) ORDER BY D;
SELECT D FROM DW WHERE D > ALL (SELECT S FROM DS WHERE S LIKE '1/%') ORDER BY D;
-- A DATE compared with a TIMESTAMP is the timestamp of its midnight, either way round, in a
-- comparison, BETWEEN, an IN list, CASE and a subquery's rows (compared as text a date was
-- before every timestamp of its day: = never held and D < T held at midnight).
VALUES CASE WHEN DATE('2024-01-01') = TIMESTAMP('2024-01-01-00.00.00') THEN 'equal' ELSE 'differ' END;
SELECT D FROM DW WHERE D = T;
SELECT D FROM DW WHERE D < T;
SELECT D FROM DW WHERE T <= D;
SELECT D FROM DW WHERE D BETWEEN T AND '2020-12-31-00.00.00';
SELECT D FROM DW WHERE D IN (TIMESTAMP('2020-01-05-10.30.00'), '2020-02-01 00:00:00');
SELECT D, CASE D WHEN T THEN 'midnight' ELSE 'later' END FROM DW ORDER BY D;
SELECT D FROM DW WHERE D IN (SELECT T FROM DW);
SELECT T FROM DW WHERE T = ANY (SELECT D FROM DW);
-- A difference borrows the days left in the earlier value's month when its day is later: these
-- were 2 months 13 days, 1 year 2 days and 1 year 99 days (the month before the later value's
-- month was borrowed).  The other order is the same duration negated.
VALUES (DATE('2000-03-15') - DATE('1999-12-31'), DATE('2024-03-01') - DATE('2023-02-28'), DATE('2024-03-01') - DATE('2023-01-31'), DATE('2023-01-31') - DATE('2024-03-01'));
VALUES (TIMESTAMP('2024-03-01-00.00.00') - TIMESTAMP('2023-01-31-00.00.00'), TIMESTAMP('2023-01-31-00.00.00') - TIMESTAMP('2024-03-01-00.00.00'), TIMESTAMP('2024-03-01-00.00.00') - TIMESTAMP('2024-02-01-01.00.00'));
-- A number added to, subtracted from, multiplying or dividing a datetime is -182 (42816): the
-- date was read as its year (D + 1 was 2024, D * 2 4046, D - 1 -180), and D + D as two years.
-- A labeled duration, a date minus a date and a date minus a string stay valid.
SELECT D + 1 FROM DW;
SELECT D - 1 FROM DW;
SELECT 1 + D FROM DW;
SELECT D * 2 FROM DW;
SELECT T / 2 FROM DW;
SELECT 2 * D FROM DW;
SELECT D + D FROM DW;
SELECT D + 1 DAY + 1 FROM DW;
SELECT D + 1 DAY, D - DATE('2020-01-01'), D - '1/1/2020', '2/1/2020' - D FROM DW ORDER BY D;
-- A string added to a datetime, and a sign before one, are -182 too (D + '1' was its year plus
-- one, -D minus its year).
SELECT D + '1' FROM DW;
SELECT '1' + D FROM DW;
SELECT -D FROM DW;
SELECT +T FROM DW;
ROLLBACK;
-- 24:00:00 ends the day: a timestamp may hold it with no fraction only (the fraction was taken,
-- and adding nothing moved it to 00:00:00.000001 of the next day).
VALUES TIMESTAMP('2005-06-05-24.00.00');
VALUES TIMESTAMP('2005-06-05-24.00.00.000000');
VALUES TIMESTAMP('2005-06-05-24.00.00.000001');
VALUES TIMESTAMP('2005-06-05-24.00.00.0000001');
-- CURRENT DATE, TIME and TIMESTAMP read one clock per statement execution, however many times
-- they are named (two references stored two values); CURRENT TIMEZONE is the local offset as a
-- time duration (DECIMAL(6,0), hhmmss; it was 0), which a timestamp may be moved by.
CREATE TABLE CT (A TIMESTAMP, B TIMESTAMP, C DATE, T TIME);
INSERT INTO CT VALUES (CURRENT TIMESTAMP, CURRENT TIMESTAMP, CURRENT DATE, CURRENT TIME);
INSERT INTO CT SELECT CURRENT TIMESTAMP, CURRENT_TIMESTAMP, CURRENT DATE, CURRENT TIME FROM CT;
SELECT COUNT(*) FROM CT WHERE A = B AND C = DATE(A) AND T = TIME(A);
DESCRIBE VALUES CURRENT TIMEZONE;
SELECT COUNT(*) FROM CT WHERE A - CURRENT TIMEZONE + CURRENT TIMEZONE = A;
VALUES TIMESTAMP('2024-01-10-12.00.00') - DEC(53000, 6, 0);
DROP TABLE CT;
-- COALESCE of a DATE and a string is a DATE in its stored form ('2024-1-5' sorted after
-- 2024-01-10).
CREATE TABLE CD (D DATE);
INSERT INTO CD VALUES ('2024-01-10'), (NULL);
SELECT COALESCE(D, '2024-1-5') FROM CD ORDER BY 1;
DROP TABLE CD;
-- CAST between incompatible types is -461: a datetime to a number or a BLOB, a number to a
-- datetime or a BLOB (DATE to INTEGER was its year, INTEGER to DATE -180).
VALUES CAST(DATE('2024-01-01') AS INTEGER);
VALUES CAST(TIMESTAMP('2024-01-01-00.00.00') AS DECIMAL(20,6));
VALUES CAST(DATE('2024-01-01') AS DOUBLE);
VALUES CAST(TIME('10.00.00') AS SMALLINT);
VALUES CAST(1 AS DATE);
VALUES CAST(1 AS BLOB);
-- A bad VARCHAR_FORMAT format names the routine (-171 named "").
VALUES VARCHAR_FORMAT(CURRENT TIMESTAMP, 'xyz');
