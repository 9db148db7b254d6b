-- What the PostgreSQL host itself adds: routines that throw or fail an allocation end only their
-- statement, in the same backend; a table function's CLOSE and FINAL calls come also after an
-- error and when the executor stops early; large objects are read by slices and limited to what
-- a value can hold; a routine's SQL runs on its caller's connection; the process locale is put
-- back; a statement stops between rows; distinct types are strongly typed and length-checked;
-- server files need the privilege to read them; the extract functions work in indexes and
-- parallel plans.
CREATE EXTENSION quarnxml;
SET search_path = public, quarnxml;
CREATE TEMP TABLE me AS SELECT pg_backend_pid() AS pid;
CREATE FUNCTION qsthrow(INTEGER) RETURNS INTEGER LANGUAGE quarnsql AS 'qstestroutines!qsthrow';
CREATE FUNCTION qsthrowrows(INTEGER) RETURNS TABLE(i INTEGER) LANGUAGE quarnsql AS 'qstestroutines!qsthrowrows final_call';
CREATE FUNCTION qsclosed() RETURNS VARCHAR LANGUAGE quarnsql VOLATILE AS 'qstestroutines!qsclosed result=40';
CREATE FUNCTION qsappend(BIGINT) RETURNS TEXT LANGUAGE quarnsql AS 'qstestroutines!qsappend result=locator';
CREATE FUNCTION qsslice(TEXT, INTEGER, INTEGER) RETURNS VARCHAR LANGUAGE quarnsql AS 'qstestroutines!qsslice arg1=locator result=100';
CREATE FUNCTION qssql(VARCHAR) RETURNS VARCHAR LANGUAGE quarnsql VOLATILE AS 'qstestroutines!qssql arg1=400 result=200';
CREATE FUNCTION qsquery(VARCHAR, VARCHAR) RETURNS VARCHAR LANGUAGE quarnsql VOLATILE AS 'qstestroutines!qsquery result=400';
CREATE FUNCTION qsrefused(INTEGER) RETURNS VARCHAR LANGUAGE quarnsql VOLATILE AS 'qstestroutines!qsrefused result=200';
CREATE FUNCTION qsspin(INTEGER) RETURNS INTEGER LANGUAGE quarnsql VOLATILE AS 'qstestroutines!qsspin';
CREATE FUNCTION qslocale(INTEGER) RETURNS VARCHAR LANGUAGE quarnsql VOLATILE AS 'qstestroutines!qslocale result=100';
CREATE FUNCTION qsshow(CHARACTER, BYTEA, DATE, TIME, TIMESTAMP, NUMERIC) RETURNS VARCHAR LANGUAGE quarnsql AS 'qstestroutines!qsshow arg1=5 arg2=lob:1K result=200';
CREATE FUNCTION qsbytes(INTEGER) RETURNS BYTEA LANGUAGE quarnsql AS 'qstestroutines!qsbytes result=lob:255';
CREATE FUNCTION qsdates(INTEGER) RETURNS TABLE(d DATE, t TIME, ts TIMESTAMP) LANGUAGE quarnsql AS 'qstestroutines!qsdates';
CREATE FUNCTION qsrows(INTEGER, INTEGER) RETURNS TABLE(k INTEGER, t VARCHAR, loc VARCHAR) LANGUAGE quarnsql VOLATILE AS 'qstestroutines!qsrows result=,100000,100';
CREATE FUNCTION qsasdate(VARCHAR) RETURNS DATE LANGUAGE quarnsql IMMUTABLE AS 'qstestroutines!qsasdate';
CREATE FUNCTION qsastime(VARCHAR) RETURNS TIME LANGUAGE quarnsql IMMUTABLE AS 'qstestroutines!qsastime';
CREATE FUNCTION qsastimestamp(VARCHAR) RETURNS TIMESTAMP LANGUAGE quarnsql IMMUTABLE AS 'qstestroutines!qsastimestamp';
-- A clause that does not fit the declaration fails the definition.
CREATE FUNCTION bad1(INTEGER) RETURNS INTEGER LANGUAGE quarnsql AS 'qstestroutines!qsthrow arg1=locator';
CREATE FUNCTION bad2(INTEGER) RETURNS INTEGER LANGUAGE quarnsql AS 'qstestroutines!qsthrow arg2=10';
CREATE FUNCTION bad3(INTEGER) RETURNS INTEGER LANGUAGE quarnsql AS 'qstestroutines!qsthrow result=10,20';
CREATE FUNCTION bad4(INTEGER) RETURNS INTEGER LANGUAGE quarnsql AS 'qstestroutines!qsthrow fenced';
CREATE FUNCTION bad5(POINT) RETURNS INTEGER LANGUAGE quarnsql AS 'qstestroutines!qsthrow';
CREATE FUNCTION bad6(INTEGER) RETURNS INTEGER LANGUAGE quarnsql AS '../lib/qstestroutines!qsthrow';
-- An entry must be the library's own, not one of a library it depends on (the C library's).
CREATE FUNCTION bad7(INTEGER) RETURNS INTEGER LANGUAGE quarnsql AS 'quarnxmlfn!abort';
CREATE FUNCTION bad8(INTEGER) RETURNS INTEGER LANGUAGE quarnsql AS 'qstestroutines!getpid';
-- A length that wraps, that is past 2G, or that no buffer can hold; an argument number that is
-- not one.
CREATE FUNCTION bad9() RETURNS VARCHAR LANGUAGE quarnsql AS 'qstestroutines!qsclosed result=17179869185G';
CREATE FUNCTION bad10() RETURNS VARCHAR LANGUAGE quarnsql AS 'qstestroutines!qsclosed result=1024G';
CREATE FUNCTION bad11() RETURNS VARCHAR LANGUAGE quarnsql AS 'qstestroutines!qsclosed result=1G';
CREATE FUNCTION bad12(VARCHAR) RETURNS VARCHAR LANGUAGE quarnsql AS 'qstestroutines!qssql arg1junk=400';
CREATE FUNCTION bad13(VARCHAR) RETURNS VARCHAR LANGUAGE quarnsql AS 'qstestroutines!qssql arg4294967297=400';
-- A specific name is given once and whole, at most 128 bytes as on the engine: a second one
-- replaced the first and a longer one was cut, so two functions could share a name.
CREATE FUNCTION bad14(INTEGER) RETURNS INTEGER LANGUAGE quarnsql AS 'qstestroutines!qsthrow specific=one specific=two';
CREATE FUNCTION bad16(INTEGER) RETURNS TABLE (a VARCHAR, b VARCHAR) LANGUAGE quarnsql AS 'qstestroutines!qsthrow result=10 result=20';
CREATE FUNCTION bad15(INTEGER) RETURNS INTEGER LANGUAGE quarnsql AS 'qstestroutines!qsthrow specific=s0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef';
CREATE FUNCTION long128(INTEGER) RETURNS INTEGER LANGUAGE quarnsql AS 'qstestroutines!qsthrow specific=s0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcde';
VALUES (long128(1));
DROP FUNCTION long128(INTEGER);
-- Values in and out as the convention passes them: CHAR padded, BLOB by value, dates and times
-- in the platform's forms, DECIMAL as a double.
VALUES (qsshow('ab', '\x00ff10', DATE '2005-06-05', TIME '10:30:00', TIMESTAMP '2005-06-05 10:30:00.5', 2.25));
VALUES (qsshow(NULL, NULL, NULL, NULL, NULL, NULL));
-- The engine's dates are years 1 to 9999: a DATE or TIMESTAMP of another year is refused with
-- 22008 (it was cut to "10000-01-3" or written as "-043-03-15"); the first and last days pass.
SELECT qsshow('ab','\x00', DATE '10000-01-31', TIME '10:00', TIMESTAMP '10000-01-31 10:30:00.123456', 1);
SELECT qsshow('ab','\x00', DATE '0044-03-15 BC', TIME '10:00', TIMESTAMP '0044-03-15 12:00:00 BC', 1);
SELECT qsshow('ab','\x00', DATE '0001-06-05 BC', NULL, NULL, 1);
SELECT qsshow('ab','\x00', NULL, NULL, TIMESTAMP '10000-01-31 10:30:00.123456', 1);
SELECT qsshow('ab','\x00', NULL, NULL, TIMESTAMP '0001-12-31 23:59:59 BC', 1);
SELECT qsshow('ab','\x00', DATE '0001-01-01', NULL, TIMESTAMP '9999-12-31 23:59:59.999999', 1);
VALUES (qsbytes(4));
SELECT k, x.* FROM generate_series(1, 2) AS k, LATERAL qsdates(k) AS x ORDER BY k;
-- A routine's DATE, TIME and TIMESTAMP are read in the engine's forms whatever DateStyle says:
-- the same texts are the same values under MDY and DMY.  PostgreSQL's words, other forms and
-- fields out of range are 22007.
SET DateStyle = 'ISO, MDY';
SELECT qsasdate('05/06/2005') AS usa, qsasdate('05.06.2005') AS eur, qsasdate(' 2005-6-5 ') AS iso, qsastime('1:30 PM') AS usa_time, qsastimestamp('2005-06-05T10:30:00.5') AS ts;
SET DateStyle = 'ISO, DMY';
SELECT qsasdate('05/06/2005') AS usa, qsasdate('05.06.2005') AS eur, qsasdate(' 2005-6-5 ') AS iso, qsastime('1:30 PM') AS usa_time, qsastimestamp('2005-06-05T10:30:00.5') AS ts;
VALUES (qsasdate('05-06-2005'));
RESET DateStyle;
VALUES (qsasdate('today'));
VALUES (qsasdate('now'));
VALUES (qsastime('allballs'));
VALUES (qsastimestamp('epoch'));
VALUES (qsastimestamp('infinity'));
VALUES (qsasdate('2005-02-29'));
VALUES (qsastime('25.00.00'));
-- An argument longer than its declared length is refused before the call (22001); blanks past
-- the length are cut.  A file name is never cut to name another file, and nothing is written.
VALUES (qsshow('ab      ', NULL, NULL, NULL, NULL, NULL));
VALUES (qsshow('abcdefg', NULL, NULL, NULL, NULL, NULL));
VALUES (XMLFileFromVarchar('<a>hi</a>', '@DATA@/' || repeat('d/../', 100) || 'q.xml'));
SELECT count(*) FROM pg_ls_dir('@DATA@') AS f WHERE f = 'q.xml';
VALUES (XMLVarcharFromFile('@DATA@/order.xml' || repeat('x', 512)));
-- A C++ exception or a failed allocation in a routine ends its statement with 38503 ...
VALUES (qsthrow(1));
VALUES (qsthrow(2));
VALUES (qsthrow(3));
SELECT * FROM qsthrowrows(3);
-- ... and the table function still got its CLOSE and FINAL calls; the backend goes on.
VALUES (qsclosed());
SELECT qsthrow(4), pg_backend_pid() = pid AS same_backend FROM me;
-- The executor stops reading early: CLOSE, then FINAL.
SELECT qsthrowrows(5) LIMIT 1;
VALUES (qsclosed());
-- A large object is read by slices when stored uncompressed out of line, and whole otherwise.
CREATE TABLE lobs (id INT, doc TEXT);
ALTER TABLE lobs ALTER COLUMN doc SET STORAGE EXTERNAL;
INSERT INTO lobs VALUES (1, repeat('abcdefghij', 100000));
SELECT id, qsslice(doc, 500001, 10), qsslice(doc, 999995, 10) FROM lobs;
ALTER TABLE lobs ALTER COLUMN doc SET STORAGE EXTENDED;
INSERT INTO lobs VALUES (2, repeat('klmnopqrst', 100000));
SELECT id, qsslice(doc, 3, 5) FROM lobs ORDER BY id;
-- A value cannot grow beyond what this host keeps; the routine says so and the statement ends.
VALUES (qsappend(16));
VALUES (qsappend(1000000000));
-- A routine's SQL runs in its caller's transaction: its rows are seen and undone with it; a
-- failing statement reaches the routine as SQLCODE and SQLSTATE, and the statement goes on.
CREATE TABLE kv (k INT PRIMARY KEY, v TEXT);
VALUES (qssql('INSERT INTO kv VALUES (1, ''one'')'));
VALUES (qssql('INSERT INTO kv VALUES (1, ''again'')'));
VALUES (qssql('SELECT nosuch FROM kv'));
VALUES (qssql('UPDATE kv SET v = ''none'' WHERE k = 5'));
BEGIN;
VALUES (qssql('INSERT INTO kv VALUES (2, ''two'')'));
SELECT k, v FROM kv ORDER BY k;
ROLLBACK;
SELECT k, v FROM kv ORDER BY k;
VALUES (qsquery('SELECT v FROM kv WHERE k = ?', '1'));
VALUES (qsquery('SELECT k + ? FROM kv', '10'));
VALUES (qsquery('SELECT v FROM nosuchtable WHERE k = ?', '1'));
-- A "?" is a marker only outside literals, delimited identifiers and comments: not in a
-- dollar-quoted string, an E'' string past an escaped quote, a "" identifier or a nested comment.
VALUES (qsquery('SELECT v || $$a?b$$ || $t$c?$t$ || E''it\''s?'' || "?" FROM (SELECT v, 1 AS "?" FROM kv) x /* c /* d */ ? */ WHERE ? = ''1'' -- ?', '1'));
-- Markers from the 100,000th on are numbered in seven bytes and more ("$100000"): a text of
-- 120,000 of them is refused by the parser, never written past its buffer.
CREATE FUNCTION qsquerylong(VARCHAR, VARCHAR) RETURNS VARCHAR LANGUAGE quarnsql VOLATILE AS 'qstestroutines!qsquery arg1=2M result=400';
VALUES (qsquerylong(repeat('?', 120000), '1'));
-- What a routine may not do from inside a backend.
SELECT w, qsrefused(w) FROM generate_series(1, 4) AS w ORDER BY w;
-- A routine that sets the process locale finds it put back after its call.
VALUES (qslocale(0));
VALUES (qslocale(1));
VALUES (qslocale(0));
-- Between the rows of one set as well: the fetch after the one that set the locale runs in the
-- database's again, and so does the next statement after a fetch that set it and failed.
SELECT r.k, length(r.t), r.t = repeat(chr(96 + r.k), length(r.t)) AS letters, r.loc FROM qsrows(4, 2) AS r;
SELECT * FROM qsrows(3, -2);
VALUES (qslocale(0));
-- Rows of different lengths (one longer than the buffers a call site keeps), all rows of an
-- outer row made in one call and in the select list one per call, each value whole.
SELECT n, r.k, length(r.t), r.t = repeat(chr(96 + r.k), length(r.t)) AS letters FROM generate_series(1, 4) AS n, LATERAL qsrows(n, 0) AS r;
SELECT count(*), sum(length((x).t)), bool_and((x).t = repeat(chr(96 + (x).k), length((x).t))) AS letters FROM (SELECT qsrows(5, 0) AS x) AS s;
-- A statement stops between rows when it is cancelled.
SET statement_timeout = '300ms';
SELECT count(qsspin(20)) FROM generate_series(1, 1000);
RESET statement_timeout;
SELECT pg_backend_pid() = pid AS same_backend FROM me;
-- Distinct types: strongly typed, compared only with themselves, their lengths checked.
CREATE TABLE docs (id INT PRIMARY KEY, v quarnxml.XMLVarchar, c quarnxml.XMLCLOB, f quarnxml.XMLFile);
INSERT INTO docs VALUES (1, '<order id="7"/>', '<order id="7"/>', '@DATA@/order.xml');
INSERT INTO docs VALUES (2, quarnxml.XMLVarchar('<order id="8"/>'), quarnxml.XMLCLOB('<order id="8"/>'), NULL);
INSERT INTO docs (id, f) VALUES (3, repeat('x', 513));
VALUES (quarnxml.XMLFile(repeat('x', 513)));
VALUES (CAST(repeat('x', 512) AS quarnxml.XMLFile) IS NOT NULL);
SELECT id FROM docs WHERE v = quarnxml.XMLVarchar('<order id="8"/>');
SELECT id FROM docs WHERE v = '<order id="8"/>'::varchar;
SELECT id FROM docs WHERE c = c;
SELECT id, CAST(v AS VARCHAR) FROM docs ORDER BY v;
VALUES (extractVarchar(CAST('<a>1</a>' AS VARCHAR), '/a'));
VALUES (extractVarchar('<a>1</a>', '/a'));
-- The extract functions in an expression index and in a parallel plan.
CREATE INDEX docs_order ON docs (extractInteger(v, '/order/@id'));
SET enable_seqscan = off;
EXPLAIN (COSTS OFF) SELECT id FROM docs WHERE extractInteger(v, '/order/@id') = 8;
SELECT id FROM docs WHERE extractInteger(v, '/order/@id') = 8;
RESET enable_seqscan;
SET force_parallel_mode = on;
SET parallel_setup_cost = 0;
SET parallel_tuple_cost = 0;
EXPLAIN (COSTS OFF) SELECT sum(extractInteger(v, '/order/@id')) FROM docs;
SELECT sum(extractInteger(v, '/order/@id')) FROM docs;
RESET force_parallel_mode;
-- Server files need the privilege to read them: without it no directory is allowed.
CREATE ROLE reader;
SET ROLE reader;
VALUES (extractInteger(quarnxml.XMLFile('@DATA@/order.xml'), '/order/@id'));
RESET ROLE;
GRANT pg_read_server_files TO reader;
SET ROLE reader;
VALUES (extractInteger(quarnxml.XMLFile('@DATA@/order.xml'), '/order/@id'));
VALUES (XMLFileFromVarchar('<a/>', '@DATA@/w.xml'));
RESET ROLE;
-- The privilege is decided for the user of each call: a call site that ran inside a SECURITY
-- DEFINER function of a role that may read server files refuses them to a caller who may not.
CREATE ROLE fileowner;
GRANT pg_read_server_files TO fileowner;
CREATE ROLE plain;
CREATE FUNCTION public.g(f varchar) RETURNS varchar LANGUAGE plpgsql AS $$ BEGIN RETURN quarnxml.extractVarchar(f::quarnxml.xmlfile,'/order/@id'); END $$;
CREATE FUNCTION public.wrapped() RETURNS varchar LANGUAGE plpgsql SECURITY DEFINER AS $$ BEGIN RETURN public.g('@DATA@/order.xml'); END $$;
ALTER FUNCTION public.wrapped() OWNER TO fileowner;
SET ROLE plain;
BEGIN;
VALUES (public.wrapped());
VALUES (public.g('@DATA@/order.xml'));
ROLLBACK;
RESET ROLE;
DROP FUNCTION public.wrapped();
DROP FUNCTION public.g(varchar);
DROP ROLE fileowner;
DROP ROLE plain;
-- Only a superuser makes functions in the language or changes the directories.
GRANT CREATE ON SCHEMA public TO reader;
SET ROLE reader;
CREATE FUNCTION mine(INTEGER) RETURNS INTEGER LANGUAGE quarnsql AS 'qstestroutines!qsthrow';
SET quarnsql.xml_read_dirs = '/';
RESET ROLE;
DROP OWNED BY reader;
DROP ROLE reader;
