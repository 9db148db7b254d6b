-- Triggers: the catalogue tables' DTD_REF triggers, the XML column triggers with side tables
-- filled by extract functions (stood for by the engine's test routines, which find elements by
-- plain search), BEFORE assignments seen by AFTER triggers, creation order,
-- SIGNAL, the catalogue views and what DROP does to triggers and what they depend on.
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
create distinct type quarnxml.XMLVarchar as varchar(3000) with comparisons;
create distinct type quarnxml.XMLCLOB as clob(2G);
create function quarnxml.extractVarchar(quarnxml.XMLVarchar, varchar(256)) returns varchar(4000) external name 'quarntestroutines!textract' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO;
create function quarnxml.extractVarchars(quarnxml.XMLVarchar, varchar(256)) returns table(returnedVarchar varchar(4000)) external name 'quarntestroutines!textracts' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO;
create function quarnxml.seqno() returns integer specific seqno external name 'quarntestroutines!tseqno' not deterministic no external action language C not fenced parameter style QUARNSQL no SQL scratchpad allow parallel DBINFO;
create function quarnxml.validate(quarnxml.XMLVarchar, varchar(512), varchar(128)) returns integer specific ValidateVarchar external name 'quarntestroutines!tcount' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO;
create function quarnxml.validate(quarnxml.XMLVarchar, quarnxml.XMLCLOB as locator, varchar(128)) returns integer specific ValidateVarchar2 external name 'quarntestroutines!tcount' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO;
create function quarnxml.extractVarcharWDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB as locator, varchar(256)) returns varchar(4000) external name 'quarntestroutines!textractdtd' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO;
create function quarnxml.extractVarcharsDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedVarchar varchar(4000)) external name 'quarntestroutines!textractsdtd' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO;
-- The DTD reference table and its three triggers, as enablement creates them.
create table quarnxml.dtd_ref (dtdid varchar(128) not null, content quarnxml.xmlclob not null not logged, usage_count int not null, author varchar(128), creator varchar(128), updator varchar(128), constraint dtd_ref_pk primary key (dtdid));
create trigger quarnxml.dtdref_delete no cascade before delete on quarnxml.dtd_ref referencing old as o for each row mode quarnsql when (o.usage_count > 0) signal sqlstate '70010' ('This DTD is used by others.');
create trigger quarnxml.dtdref_update no cascade before update on quarnxml.dtd_ref referencing new as n old as o for each row mode quarnsql when ((n.usage_count <> o.usage_count + 1 and n.usage_count <> o.usage_count - 1 and n.usage_count <> o.usage_count) or (n.usage_count = o.usage_count and o.usage_count > 0)) signal sqlstate '70010' ('Illegal update on DTD or its usage count.');
create trigger quarnxml.dtdref_insert no cascade before insert on quarnxml.dtd_ref referencing new as n for each row mode quarnsql when (n.usage_count <> 0) signal sqlstate '70010' ('The usage_count must be 0 when inserted.');
insert into quarnxml.dtd_ref (dtdid, content, usage_count, author) values ('d1', 'x', 0, 'me');
insert into quarnxml.dtd_ref (dtdid, content, usage_count, author) values ('d2', 'x', 1, 'me');
update quarnxml.dtd_ref set usage_count = usage_count + 2;
update quarnxml.dtd_ref set usage_count = usage_count + 1;
update quarnxml.dtd_ref set author = 'you';
delete from quarnxml.dtd_ref;
update quarnxml.dtd_ref set usage_count = usage_count - 1;
select dtdid, usage_count, author from quarnxml.dtd_ref;
delete from quarnxml.dtd_ref;
-- An XML column with a root id filled by triggers and two side tables: single values, and
-- several values per document numbered by seqno.
CREATE TABLE docs (id INT NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar);
ALTER TABLE docs ADD KELROOT_ID CHAR(13) FOR BIT DATA;
CREATE TABLE TESTER.s_title (KELROOT_ID CHAR(13) FOR BIT DATA NOT NULL, title varchar(50));
CREATE TABLE TESTER.s_item (KELROOT_ID CHAR(13) FOR BIT DATA NOT NULL, KEL_SEQNO integer, item varchar(20));
CREATE TRIGGER TESTER.HABC1234 NO CASCADE BEFORE INSERT ON docs REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL WHEN (NEWROW.doc IS NOT NULL) BEGIN ATOMIC  SET NEWROW.KELROOT_ID=generate_unique();  END;
CREATE TRIGGER TESTER.JABC1234 AFTER INSERT ON docs REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL WHEN (NEWROW.doc IS NOT NULL) BEGIN ATOMIC  INSERT INTO TESTER.s_title (KELROOT_ID,title)  VALUES ( NEWROW.KELROOT_ID, CAST(QUARNXML.EXTRACTVARCHAR(NEWROW.doc, '/d/title') AS varchar(50)) ); INSERT INTO TESTER.s_item SELECT NEWROW.KELROOT_ID, quarnxml.seqno(), CAST(returnedVarchar as varchar(20))  FROM  table(quarnxml.extractvarchars(NEWROW.doc, '/d/item')) x;  END;
CREATE TRIGGER TESTER.DABC1234 AFTER DELETE ON docs REFERENCING OLD AS OLDROW FOR EACH ROW MODE QUARNSQL BEGIN ATOMIC DELETE FROM TESTER.s_title WHERE oldrow.KELROOT_ID = TESTER.s_title.KELROOT_ID; DELETE FROM TESTER.s_item WHERE oldrow.KELROOT_ID = TESTER.s_item.KELROOT_ID;  END;
CREATE TRIGGER TESTER.TABC1234 NO CASCADE BEFORE UPDATE ON docs REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL WHEN (NEWROW.doc IS NOT NULL AND NEWROW.KELROOT_ID IS NULL) BEGIN ATOMIC  SET NEWROW.KELROOT_ID = generate_unique();  END;
CREATE TRIGGER TESTER.UABC1234 AFTER UPDATE OF KELROOT_ID, doc ON docs REFERENCING NEW AS NEWROW OLD AS OLDROW FOR EACH ROW MODE QUARNSQL WHEN (NEWROW.doc IS NOT NULL) BEGIN ATOMIC DELETE FROM TESTER.s_title WHERE oldrow.KELROOT_ID = TESTER.s_title.KELROOT_ID;  INSERT INTO TESTER.s_title (KELROOT_ID,title)  VALUES ( NEWROW.KELROOT_ID, CAST(QUARNXML.EXTRACTVARCHAR(NEWROW.doc, '/d/title') AS varchar(50)) ); DELETE FROM TESTER.s_item WHERE oldrow.KELROOT_ID = TESTER.s_item.KELROOT_ID;  INSERT INTO TESTER.s_item SELECT NEWROW.KELROOT_ID, quarnxml.seqno(), CAST(returnedVarchar as varchar(20))  FROM  table(quarnxml.extractvarchars(NEWROW.doc, '/d/item'))  x;  END;
INSERT INTO docs (id, doc) VALUES (1, quarnxml.XMLVarchar('<d><title>First</title><item>a</item><item>b</item></d>')), (2, NULL);
INSERT INTO docs (id, doc) VALUES (3, quarnxml.XMLVarchar('<d><title>Third</title><item>c</item><item>d</item><item>e</item></d>'));
SELECT id, KELROOT_ID IS NOT NULL AS has_root FROM docs ORDER BY id;
SELECT d.id, s.title FROM docs d, TESTER.s_title s WHERE s.KELROOT_ID = d.KELROOT_ID ORDER BY d.id;
SELECT d.id, s.KEL_SEQNO, s.item FROM docs d, TESTER.s_item s WHERE s.KELROOT_ID = d.KELROOT_ID ORDER BY d.id, s.KEL_SEQNO;
-- Update: a document gets its root id from T, and U refreshes the side tables.
UPDATE docs SET doc = quarnxml.XMLVarchar('<d><title>Second</title><item>x</item></d>') WHERE id = 2;
UPDATE docs SET doc = quarnxml.XMLVarchar('<d><title>One</title><item>z</item></d>') WHERE id = 1;
SELECT id, KELROOT_ID IS NOT NULL AS has_root FROM docs ORDER BY id;
SELECT d.id, s.title FROM docs d, TESTER.s_title s WHERE s.KELROOT_ID = d.KELROOT_ID ORDER BY d.id;
SELECT d.id, s.KEL_SEQNO, s.item FROM docs d, TESTER.s_item s WHERE s.KELROOT_ID = d.KELROOT_ID ORDER BY d.id, s.KEL_SEQNO;
-- Delete: D removes the side-table rows.
DELETE FROM docs WHERE id = 3;
SELECT COUNT(*) FROM TESTER.s_title;
SELECT COUNT(*) FROM TESTER.s_item;
-- What the catalogue says.
SELECT TRIGNAME, TABNAME, TRIGTIME, TRIGEVENT, DEFINER, QUALIFIER FROM SYSCAT.TRIGGERS WHERE TABNAME = 'DOCS' ORDER BY TRIGNAME;
SELECT TRIGNAME, BTYPE, BSCHEMA, BNAME FROM SYSCAT.TRIGDEP WHERE TRIGNAME LIKE '%ABC1234' ORDER BY TRIGNAME, BTYPE, BNAME;
SELECT TEXT FROM SYSCAT.TRIGGERS WHERE TRIGNAME = 'DABC1234';
-- Objects the triggers depend on cannot be dropped while they are there.
DROP TABLE TESTER.s_item;
DROP FUNCTION quarnxml.extractVarchars(quarnxml.XMLVarchar, varchar(256));
-- Triggers of one table and event fire in creation order; a BEFORE assignment is stored and
-- seen by the AFTER triggers of the same statement; SIGNAL fails the statement and undoes it.
CREATE TABLE ord (k INT NOT NULL, v VARCHAR(20));
CREATE TABLE log (n INT NOT NULL, what VARCHAR(40));
CREATE TRIGGER a2 AFTER INSERT ON ord REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL INSERT INTO log VALUES (n.k, 'a2 ' || n.v);
CREATE TRIGGER b1 NO CASCADE BEFORE INSERT ON ord REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL WHEN (n.v IS NULL) SET n.v = 'set by b1';
CREATE TRIGGER a1 AFTER INSERT ON ord REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL BEGIN ATOMIC INSERT INTO log VALUES (n.k, 'a1 ' || n.v); INSERT INTO log SELECT n.k, 'a1 again' FROM ord WHERE ord.k = n.k; END;
CREATE TRIGGER b2 NO CASCADE BEFORE INSERT ON ord REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL WHEN (n.k > (SELECT COUNT(*) + 10 FROM log)) SIGNAL SQLSTATE '75001' ('k too large');
INSERT INTO ord VALUES (1, NULL), (2, 'given');
SELECT k, v FROM ord ORDER BY k;
SELECT n, what FROM log;
INSERT INTO ord VALUES (3, NULL), (99, NULL);
SELECT COUNT(*) FROM ord;
SELECT COUNT(*) FROM log;
DROP TRIGGER a2;
DROP TRIGGER a2;
INSERT INTO ord VALUES (4, 'four');
SELECT n, what FROM log WHERE n = 4;
-- Forms that are refused.
CREATE TRIGGER a1 AFTER INSERT ON ord FOR EACH ROW MODE QUARNSQL INSERT INTO log VALUES (0, 'dup');
CREATE TRIGGER bad1 AFTER INSERT ON ord REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL SET n.v = 'x';
CREATE TRIGGER bad2 NO CASCADE BEFORE INSERT ON ord REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL INSERT INTO log VALUES (0, 'x');
CREATE TRIGGER bad3 AFTER DELETE ON ord REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL INSERT INTO log VALUES (0, 'x');
CREATE TRIGGER bad4 AFTER INSERT ON nosuch FOR EACH ROW MODE QUARNSQL INSERT INTO log VALUES (0, 'x');
CREATE TRIGGER bad5 AFTER INSERT ON ord REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL INSERT INTO log VALUES (n.nosuch, 'x');
CREATE TRIGGER bad6 AFTER INSERT ON ord FOR EACH STATEMENT MODE QUARNSQL INSERT INTO log VALUES (0, 'x');
-- A refused definition leaves nothing behind.
INSERT INTO ord VALUES (5, 'five');
SELECT n, what FROM log WHERE n = 5;
-- A column with a DTD: side tables filled with the DTD's content, validation on insert and
-- update; and validation without a DTD.
insert into quarnxml.dtd_ref (dtdid, content, usage_count, author) values ('dd', quarnxml.XMLCLOB('<!ELEMENT d (title, item*)><!ELEMENT title (#PCDATA)><!ELEMENT item (#PCDATA)>'), 0, 'me');
CREATE TABLE dtddocs (id INT NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar, KELROOT_ID CHAR(13) FOR BIT DATA);
CREATE TABLE TESTER.d_title (KELROOT_ID CHAR(13) FOR BIT DATA NOT NULL, title varchar(50));
CREATE TABLE TESTER.d_item (KELROOT_ID CHAR(13) FOR BIT DATA NOT NULL, KEL_SEQNO integer, item varchar(20));
CREATE TRIGGER TESTER.HDTD0001 NO CASCADE BEFORE INSERT ON dtddocs REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL WHEN (NEWROW.doc IS NOT NULL) BEGIN ATOMIC  SET NEWROW.KELROOT_ID=generate_unique();  END;
CREATE TRIGGER TESTER.JDTD0001 AFTER INSERT ON dtddocs REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL WHEN (NEWROW.doc IS NOT NULL) BEGIN ATOMIC  INSERT INTO TESTER.d_title (KELROOT_ID,title)   SELECT NEWROW.KELROOT_ID, CAST(QUARNXML.EXTRACTVARCHARWDTD(NEWROW.doc, content, '/d/title') AS varchar(50))  FROM (SELECT CONTENT FROM QUARNXML.DTD_REF WHERE DTDID='dd') AS x ; INSERT INTO TESTER.d_item SELECT NEWROW.KELROOT_ID, quarnxml.seqno(), CAST(returnedVarchar as varchar(20))  FROM (SELECT content FROM quarnxml.dtd_ref WHERE dtdid='dd') Y , table(quarnxml.extractvarcharsDTD(NEWROW.doc,  Y.content, '/d/item')) x;  END;
CREATE TRIGGER TESTER.VDTD0001 NO CASCADE BEFORE INSERT ON dtddocs REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL WHEN (0 = (SELECT quarnxml.validate(NEWROW.doc, QUARNXML.DTD_REF.CONTENT, 'dd') FROM quarnxml.dtd_ref WHERE dtdid='dd'))SIGNAL SQLSTATE '38X14' ('KELD000E The document is not valid.');
CREATE TRIGGER TESTER.WDTD0001 NO CASCADE BEFORE UPDATE OF doc ON dtddocs REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL WHEN (0 = (SELECT quarnxml.validate(NEWROW.doc, QUARNXML.DTD_REF.CONTENT, 'dd') FROM quarnxml.dtd_ref WHERE dtdid='dd')) SIGNAL SQLSTATE '38X14' ('KELD000E The document is not valid.');
CREATE TABLE nodtd (id INT NOT NULL, doc quarnxml.XMLVarchar);
CREATE TRIGGER TESTER.VNOD0001 NO CASCADE BEFORE INSERT ON nodtd REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL WHEN (0 = quarnxml.validate(NEWROW.doc, '', '') ) SIGNAL SQLSTATE '38X14' ('KELD000E The document is not valid.');
SELECT TRIGNAME, TABNAME, TRIGTIME, TRIGEVENT FROM SYSCAT.TRIGGERS WHERE TABNAME IN ('DTDDOCS', 'NODTD') ORDER BY TRIGNAME;
SELECT TRIGNAME, BTYPE, BSCHEMA, BNAME FROM SYSCAT.TRIGDEP WHERE TRIGNAME IN ('VDTD0001', 'VNOD0001') ORDER BY TRIGNAME, BTYPE, BNAME;
-- The validation triggers are dropped before rows arrive (validation itself is the function
-- library's); a WHEN condition that calls an extract function refuses a document instead.
DROP TRIGGER TESTER.VDTD0001;
DROP TRIGGER TESTER.WDTD0001;
CREATE TRIGGER TESTER.XDTD0001 NO CASCADE BEFORE INSERT ON dtddocs REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL WHEN (QUARNXML.EXTRACTVARCHAR(NEWROW.doc, '/d/title') = 'forbidden') SIGNAL SQLSTATE '38X14' ('KELD000E The document is not valid.');
INSERT INTO dtddocs (id, doc) VALUES (1, quarnxml.XMLVarchar('<d><title>T1</title><item>p</item><item>q</item></d>'));
INSERT INTO dtddocs (id, doc) VALUES (2, quarnxml.XMLVarchar('<d><title>forbidden</title><item>r</item></d>'));
SELECT d.id, s.title FROM dtddocs d, TESTER.d_title s WHERE s.KELROOT_ID = d.KELROOT_ID;
SELECT d.id, s.KEL_SEQNO, s.item FROM dtddocs d, TESTER.d_item s WHERE s.KELROOT_ID = d.KELROOT_ID ORDER BY s.KEL_SEQNO;
DROP TABLE dtddocs;
DROP TABLE nodtd;
DROP TABLE TESTER.d_title;
DROP TABLE TESTER.d_item;
-- Validation against a schema location: the WHEN condition is a VALUES subquery.  The
-- function is registered here only to be named (no row reaches it).
create function quarnxml.validateschema(quarnxml.XMLVarchar, varchar(1000)) returns integer specific VSV external name 'quarntestroutines!tcount' language C parameter style QUARNSQL no SQL;
CREATE TABLE sdocs (id INT NOT NULL, doc quarnxml.XMLVarchar);
CREATE TRIGGER TESTER.VSCH0001 NO CASCADE BEFORE INSERT ON sdocs REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL WHEN (0 = (VALUES quarnxml.validateschema(NEWROW.doc, 'a.xsd') ))SIGNAL SQLSTATE '38X14' ('KELD000E The document is not valid.');
CREATE TRIGGER TESTER.WSCH0001 NO CASCADE BEFORE UPDATE OF doc ON sdocs REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL WHEN (0 = (VALUES quarnxml.validateschema(NEWROW.doc, 'a.xsd') )) SIGNAL SQLSTATE '38X14' ('KELD000E The document is not valid.');
-- A view a trigger uses cannot be dropped; parameter markers have no place in a trigger.
CREATE VIEW vdoc AS SELECT id FROM sdocs;
CREATE TABLE other (k INT);
CREATE TRIGGER TESTER.ONV AFTER INSERT ON other REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL DELETE FROM sdocs WHERE id IN (SELECT id FROM vdoc WHERE id = n.k);
DROP VIEW vdoc;
CREATE TRIGGER TESTER.BADP AFTER INSERT ON other FOR EACH ROW MODE QUARNSQL DELETE FROM sdocs WHERE id = ?;
DROP TRIGGER TESTER.ONV;
DROP VIEW vdoc;
DROP TABLE other;
DROP TABLE sdocs;
-- A BEFORE assignment's update is prepared once per connection and kept: it stays right for
-- every row, after the table is dropped and made again with its columns in another order, and
-- for rows another table's AFTER trigger inserts into it.
CREATE TABLE asg (k INT NOT NULL, v VARCHAR(20), w VARCHAR(20));
CREATE TRIGGER asg_b NO CASCADE BEFORE INSERT ON asg REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL WHEN (n.v IS NULL) SET n.v = 'row ' || CHAR(n.k);
INSERT INTO asg (k) VALUES (1), (2), (3);
INSERT INTO asg (k, v) VALUES (4, 'given');
SELECT k, RTRIM(v) FROM asg ORDER BY k;
DROP TABLE asg;
CREATE TABLE asg (w VARCHAR(20), v VARCHAR(20), k INT NOT NULL);
CREATE TRIGGER asg_b NO CASCADE BEFORE INSERT ON asg REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL WHEN (n.v IS NULL) SET n.v = 'again ' || CHAR(n.k);
CREATE TABLE asgsrc (k INT NOT NULL);
CREATE TRIGGER asg_a AFTER INSERT ON asgsrc REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL WHEN (n.k < 3) INSERT INTO asg (k) VALUES (n.k + 10);
INSERT INTO asg (k) VALUES (1), (2), (5);
INSERT INTO asgsrc VALUES (1), (2), (5);
SELECT k, RTRIM(v), w FROM asg ORDER BY k;
DROP TABLE asgsrc;
DROP TABLE asg;
-- A trigger that would fire itself again is refused (-142): SQLite does not fire a trigger
-- inside itself, so the cascade stopped after one level and the statement succeeded (1, 2 for
-- a chain meant to reach 5).  Through its own table and event, through another table's
-- trigger, through an UPDATE OF trigger whose columns it sets, and through a foreign key's
-- cascading delete; an UPDATE of columns no trigger of the chain is for, or another event of
-- the table, fires nothing again and is taken.
CREATE TABLE tr (n INT);
CREATE TRIGGER trr AFTER INSERT ON tr REFERENCING NEW AS nn FOR EACH ROW MODE QUARNSQL WHEN (nn.n < 5) INSERT INTO tr VALUES (nn.n + 1);
CREATE TABLE tr2 (n INT);
CREATE TRIGGER tra AFTER INSERT ON tr REFERENCING NEW AS nn FOR EACH ROW MODE QUARNSQL INSERT INTO tr2 VALUES (nn.n + 1);
CREATE TRIGGER trb AFTER INSERT ON tr2 REFERENCING NEW AS nn FOR EACH ROW MODE QUARNSQL WHEN (nn.n < 5) INSERT INTO tr VALUES (nn.n + 1);
CREATE TRIGGER trc AFTER INSERT ON tr2 REFERENCING NEW AS nn FOR EACH ROW MODE QUARNSQL DELETE FROM tr WHERE n = nn.n;
CREATE TABLE tu (a INT, b INT);
CREATE TRIGGER tua AFTER UPDATE OF a ON tu REFERENCING NEW AS nn FOR EACH ROW MODE QUARNSQL UPDATE tu SET b = nn.a WHERE b IS NULL;
CREATE TRIGGER tub AFTER UPDATE OF b ON tu REFERENCING NEW AS nn FOR EACH ROW MODE QUARNSQL UPDATE tu SET a = nn.b;
CREATE TABLE tp (k INT NOT NULL PRIMARY KEY);
CREATE TABLE tc (k INT, CONSTRAINT tcfk FOREIGN KEY (k) REFERENCES tp ON DELETE CASCADE);
CREATE TRIGGER tcd AFTER DELETE ON tc REFERENCING OLD AS oo FOR EACH ROW MODE QUARNSQL DELETE FROM tp WHERE k = oo.k + 1;
INSERT INTO tr VALUES (1);
SELECT n FROM tr2;
INSERT INTO tu VALUES (NULL, NULL);
UPDATE tu SET a = 1;
SELECT a, b FROM tu;
DROP TRIGGER tra;
DROP TRIGGER trc;
DROP TABLE tr;
DROP TABLE tr2;
DROP TABLE tu;
DROP TABLE tc;
DROP TABLE tp;
-- A one-row INSERT builds its row with the BEFORE assignments in one step: a value a function
-- gives is computed once (the assignments read it as it is stored), an assignment reads what
-- the one before it assigned, text that reads like a reference to the row stays text, and a
-- value its column refuses (too long, out of range) refuses the row.
CREATE TABLE once (k INT NOT NULL, a CHAR(13) FOR BIT DATA, b CHAR(13) FOR BIT DATA, c CHAR(13) FOR BIT DATA, d CHAR(13) FOR BIT DATA, t VARCHAR(40), n SMALLINT);
CREATE TRIGGER once_1 NO CASCADE BEFORE INSERT ON once REFERENCING NEW AS r FOR EACH ROW MODE QUARNSQL SET r.b = r.a;
CREATE TRIGGER once_2 NO CASCADE BEFORE INSERT ON once REFERENCING NEW AS r FOR EACH ROW MODE QUARNSQL WHEN (r.c IS NULL) SET r.c = generate_unique();
CREATE TRIGGER once_3 NO CASCADE BEFORE INSERT ON once REFERENCING NEW AS r FOR EACH ROW MODE QUARNSQL WHEN (r.k > 1) SET r.d = r.c, r.t = '"quarn_new"."K" ' || CHAR(r.k), r.n = r.k * 2;
INSERT INTO once (k, a) VALUES (1, generate_unique());
INSERT INTO once (k, a) VALUES (2, generate_unique());
INSERT INTO once (k, n) VALUES (3, 7);
INSERT INTO once (k) VALUES (4), (5);
INSERT INTO once (k) VALUES (20000);
INSERT INTO once (k, t) VALUES (0, 'a text of more than forty characters, refused');
INSERT INTO once (k, t) VALUES (6, 'given');
SELECT k, CASE WHEN a IS NULL THEN 'no a' WHEN a = b THEN 'b = a' ELSE 'b <> a' END, CASE WHEN c IS NULL THEN 'no c' ELSE 'c' END, CASE WHEN d IS NULL THEN 'no d' WHEN d = c THEN 'd = c' ELSE 'd <> c' END, t, n FROM once ORDER BY k;
SELECT COUNT(DISTINCT c) FROM once;
DROP TABLE once;
-- Dropping a table drops its triggers.
DROP TABLE docs;
DROP TABLE ord;
SELECT TRIGNAME FROM SYSCAT.TRIGGERS ORDER BY TRIGNAME;
SELECT COUNT(*) FROM SYSCAT.TRIGDEP WHERE TRIGNAME LIKE '%ABC1234';
DROP TABLE TESTER.s_item;
-- A statement whose triggers change far more pages than the statement journal keeps in memory
-- by default, failing at its last row: only its own effects are undone.
CREATE TABLE padrows (p VARCHAR(1000));
INSERT INTO padrows VALUES ('xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx');
INSERT INTO padrows SELECT p FROM padrows;
INSERT INTO padrows SELECT p FROM padrows;
INSERT INTO padrows SELECT p FROM padrows;
INSERT INTO padrows SELECT p FROM padrows;
INSERT INTO padrows SELECT p FROM padrows;
INSERT INTO padrows SELECT p FROM padrows;
CREATE TABLE fanned (k INT NOT NULL, p VARCHAR(1000));
CREATE INDEX fanned_k ON fanned (k, p);
CREATE TABLE fansrc (k INT NOT NULL);
CREATE TRIGGER fanchk NO CASCADE BEFORE INSERT ON fansrc REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL WHEN (n.k < 0) SIGNAL SQLSTATE '75002' ('negative');
CREATE TRIGGER fanout AFTER INSERT ON fansrc REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL INSERT INTO fanned SELECT n.k, p FROM padrows;
INSERT INTO fansrc VALUES (1);
INSERT INTO fansrc VALUES (2), (3), (4), (5), (-1);
SELECT k, COUNT(*) FROM fanned GROUP BY k ORDER BY k;
SELECT COUNT(*) FROM fansrc;
INSERT INTO fansrc VALUES (2), (3);
SELECT k, COUNT(*) FROM fanned GROUP BY k ORDER BY k;
DROP TABLE fansrc;
DROP TABLE fanned;
DROP TABLE padrows;
-- A BEFORE INSERT trigger's assignment is part of the row the INSERT stores: a NOT NULL column
-- and a check constraint see the assigned value, later BEFORE triggers and AFTER triggers see
-- it, and a non-deterministic value is computed once per row.
CREATE TABLE keyed (id INT NOT NULL, k CHAR(13) FOR BIT DATA NOT NULL, qty INT DEFAULT 5, tag VARCHAR(10), CONSTRAINT qpos CHECK (qty > 0));
CREATE TABLE keyed_log (k CHAR(13) FOR BIT DATA, tag VARCHAR(10));
CREATE TRIGGER keyed_k NO CASCADE BEFORE INSERT ON keyed REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL SET n.k = generate_unique();
CREATE TRIGGER keyed_qty NO CASCADE BEFORE INSERT ON keyed REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL WHEN (n.qty < 0) SET n.qty = -n.qty, n.tag = 'flipped';
CREATE TRIGGER keyed_tag NO CASCADE BEFORE INSERT ON keyed REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL WHEN (n.tag IS NULL) SET n.tag = 'dflt';
CREATE TRIGGER keyed_neg NO CASCADE BEFORE INSERT ON keyed REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL WHEN (n.qty > 100) SIGNAL SQLSTATE '75003' ('too many');
CREATE TRIGGER keyed_after AFTER INSERT ON keyed REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL INSERT INTO keyed_log VALUES (n.k, n.tag);
INSERT INTO keyed (id) VALUES (1);
INSERT INTO keyed (id, qty) VALUES (2, -7), (3, 9);
INSERT INTO keyed (id, qty, tag) SELECT id + 10, qty, 'copied' FROM keyed WHERE id > 1;
INSERT INTO keyed VALUES (20, NULL, -3, NULL);
SELECT id, LENGTH(k), qty, tag FROM keyed ORDER BY id;
SELECT COUNT(*) FROM keyed a, keyed_log b WHERE a.k = b.k AND a.tag = b.tag;
SELECT COUNT(DISTINCT k) FROM keyed;
-- The SIGNAL trigger sees the assigned value (-200 became 200) and refuses the statement whole.
INSERT INTO keyed (id, qty) VALUES (4, 1), (5, -200);
SELECT COUNT(*) FROM keyed;
INSERT INTO keyed (id, qty) VALUES (6, 0);
-- An identity value and a default are computed once per row, however often the assignments
-- read them.
CREATE TABLE idt (n INT GENERATED ALWAYS AS IDENTITY, v INT, w INT NOT NULL, t TIMESTAMP DEFAULT CURRENT TIMESTAMP);
CREATE TRIGGER idt_w NO CASCADE BEFORE INSERT ON idt REFERENCING NEW AS x FOR EACH ROW MODE QUARNSQL WHEN (x.v IS NOT NULL AND x.t IS NOT NULL) SET x.w = x.v + x.n;
CREATE TRIGGER idt_v NO CASCADE BEFORE INSERT ON idt REFERENCING NEW AS x FOR EACH ROW MODE QUARNSQL SET x.v = x.w - x.n;
INSERT INTO idt (v) VALUES (10), (20);
INSERT INTO idt (v) SELECT v + 1 FROM idt;
SELECT n, v, w, t IS NOT NULL FROM idt ORDER BY n;
INSERT INTO idt (v) VALUES (NULL);
DROP TABLE idt;
-- A BEFORE trigger that assigns nothing and fires first sees the row as given.
CREATE TABLE early (id INT, v INT);
CREATE TRIGGER early_chk NO CASCADE BEFORE INSERT ON early REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL WHEN (n.v IS NULL) SIGNAL SQLSTATE '75004' ('v missing');
CREATE TRIGGER early_set NO CASCADE BEFORE INSERT ON early REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL SET n.v = 1;
INSERT INTO early (id) VALUES (1);
INSERT INTO early VALUES (2, 7);
SELECT id, v FROM early ORDER BY id;
-- Another table's trigger that inserts into keyed applies keyed's assignments, also those
-- created or dropped after that trigger.
CREATE TABLE feeder (id INT);
CREATE TABLE fed (id INT, v INT);
CREATE TRIGGER feeder_fwd AFTER INSERT ON feeder REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL INSERT INTO fed (id) VALUES (n.id);
INSERT INTO feeder VALUES (1);
CREATE TRIGGER fed_v NO CASCADE BEFORE INSERT ON fed REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL SET n.v = n.id * 10;
INSERT INTO feeder VALUES (2);
DROP TRIGGER fed_v;
INSERT INTO feeder VALUES (3);
SELECT id, v FROM fed ORDER BY id;
DROP TABLE feeder;
DROP TABLE fed;
DROP TABLE early;
DROP TABLE keyed;
DROP TABLE keyed_log;
-- A FROM item of a trigger exposed as NEW or OLD would capture the transition variables inside
-- its query (SQLite's NEW and OLD): refused with -696; under another name the table is read.
CREATE TABLE new (id INT);
INSERT INTO new VALUES (1), (5), (9);
CREATE TABLE tgt3 (id INT);
CREATE TABLE lg3 (id INT, c INT);
CREATE TRIGGER cap1 AFTER INSERT ON tgt3 REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL INSERT INTO lg3 VALUES (n.id, (SELECT COUNT(*) FROM new WHERE id > n.id));
CREATE TRIGGER cap2 AFTER INSERT ON tgt3 REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL INSERT INTO lg3 VALUES (n.id, (SELECT COUNT(*) FROM lg3 Old WHERE Old.id > n.id));
CREATE TRIGGER cap3 AFTER INSERT ON tgt3 REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL INSERT INTO lg3 VALUES (n.id, (SELECT COUNT(*) FROM new x WHERE x.id > n.id));
INSERT INTO tgt3 VALUES (4);
SELECT id, c FROM lg3;
DROP TABLE tgt3;
DROP TABLE lg3;
DROP TABLE new;
-- A table whose name holds characters of more than one byte keeps every trigger: the second
-- trigger found the first by a prefix counted in characters, missed it and collided with it.
CREATE TABLE "Ré日" (a INT);
CREATE TABLE relog (a INT, what CHAR(1));
CREATE TRIGGER re1 AFTER INSERT ON "Ré日" REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL INSERT INTO relog VALUES (n.a, 'I');
CREATE TRIGGER re2 AFTER DELETE ON "Ré日" REFERENCING OLD AS o FOR EACH ROW MODE QUARNSQL INSERT INTO relog VALUES (o.a, 'D');
CREATE TRIGGER re3 AFTER INSERT ON "Ré日" REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL INSERT INTO relog VALUES (n.a + 100, 'J');
INSERT INTO "Ré日" VALUES (7);
DELETE FROM "Ré日";
SELECT a, what FROM relog ORDER BY a;
DROP TABLE "Ré日";
DROP TABLE relog;
