-- [register]
-- XML columns through CALL: enabling a column creates its side tables, triggers, default view
-- and XML_USAGE row; the triggers keep the side tables equal to what the documents hold; a
-- refused or failed enablement leaves nothing; disable removes what enable made; soft-disable
-- and re-enable regenerate the triggers.  Trigger suffixes are random: they are shown as #######.
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
CREATE TABLE shop.orders (id INTEGER NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar, note VARCHAR(20));
-- Documents stored before enablement, and a row without a document.
INSERT INTO shop.orders VALUES (1, XMLVarchar('<order id="1" status="open"><customer><name>Ann</name><city>Oslo</city></customer><item><price>95.5</price></item><item><price>10</price></item></order>'), 'old');
INSERT INTO shop.orders VALUES (2, NULL, 'empty');
-- ==== Enable: side tables of single and several values, the default view ====
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.orders', 'doc', '<?xml version="1.0"?><!DOCTYPE DAD SYSTEM "dad.dtd"><DAD><validation>NO</validation><Xcolumn><table name="shop.order_head"><column name="customer" type="varchar(40)" path="/order/customer/name" multi_occurrence="NO"/><column name="city" type="varchar(20)" path="/order/customer/city" multi_occurrence="NO"/><column name="status" type="varchar(10)" path="/order/@status" multi_occurrence="NO"/></table><table name="shop.order_price"><column name="price" type="double" path="/order/item/price" multi_occurrence="YES"/></table></Xcolumn></DAD>', NULL, 'shop.orders_v', NULL, ?, ?);
-- The triggers, exactly.
SELECT SUBSTR(trigname, 1, 1) AS kind, REPLACE(text, (SELECT RTRIM(trigger_suffix) FROM quarnxml.xml_usage WHERE col_name = 'DOC'), '#######') AS text FROM syscat.triggers WHERE trigschema = 'SHOP' ORDER BY create_time, 1;
-- The side tables, the view and the user table's new KELROOT_ID column.
SELECT tabname, colno, colname, typename, length, nulls FROM syscat.columns WHERE tabschema = 'SHOP' ORDER BY tabname, colno;
-- The XML_USAGE row.
SELECT table_schema, table_name, col_name, dtdid, access_mode, validation, default_view, LENGTH(RTRIM(trigger_suffix)) AS suffix_len, version, root_id, side_tab_qual FROM quarnxml.xml_usage;
SELECT dad FROM quarnxml.xml_usage;
-- The document stored before enablement is in the side tables, its values numbered from 1.
SELECT o.id, h.customer, h.city, h.status FROM shop.orders o, shop.order_head h WHERE o.kelroot_id = h.kelroot_id ORDER BY 1;
SELECT o.id, p.kel_seqno, p.price FROM shop.orders o, shop.order_price p WHERE o.kelroot_id = p.kelroot_id ORDER BY 1, 2;
-- ==== Insert, update, set NULL, delete: the side tables follow the documents ====
INSERT INTO shop.orders (id, doc, note) VALUES (3, XMLVarchar('<order id="3" status="shipped"><customer><name>Bo</name><city>Rome</city></customer><item><price>1</price></item><item><price>2</price></item><item><price>3</price></item></order>'), 'new');
INSERT INTO shop.orders (id, doc, note) VALUES (4, XMLVarchar('<order id="4" status="open"><customer><name>Cy</name></customer><item><price>120</price></item></order>'), 'new');
INSERT INTO shop.orders (id, doc, note) VALUES (5, NULL, 'none');
UPDATE shop.orders SET doc = XMLVarchar('<order id="3" status="open"><customer><name>Bo</name><city>Rome</city></customer><item><price>99</price></item></order>') WHERE id = 3;
UPDATE shop.orders SET doc = XMLVarchar('<order id="2" status="open"><customer><name>Di</name><city>Bern</city></customer></order>') WHERE id = 2;
UPDATE shop.orders SET doc = NULL WHERE id = 1;
UPDATE shop.orders SET note = 'touched' WHERE id = 4;
DELETE FROM shop.orders WHERE id = 5;
-- Side tables against extracting from the documents: every row agrees, none is missing or left over.
SELECT o.id, h.customer, extractVarchar(o.doc, '/order/customer/name') AS doc_customer, h.city, extractVarchar(o.doc, '/order/customer/city') AS doc_city, h.status, extractVarchar(o.doc, '/order/@status') AS doc_status FROM shop.orders o LEFT JOIN shop.order_head h ON o.kelroot_id = h.kelroot_id ORDER BY 1;
SELECT COUNT(*) AS head_rows_without_document FROM shop.order_head h WHERE NOT EXISTS (SELECT 1 FROM shop.orders o WHERE o.kelroot_id = h.kelroot_id AND o.doc IS NOT NULL);
SELECT o.id, p.kel_seqno, p.price FROM shop.orders o, shop.order_price p WHERE o.kelroot_id = p.kelroot_id ORDER BY 1, 2;
SELECT o.id, x.returnedDouble AS doc_price FROM shop.orders o, TABLE(extractDoubles(o.doc, '/order/item/price')) AS x ORDER BY 1, 2;
SELECT COUNT(*) AS price_rows FROM shop.order_price;
-- Searching through the side tables and the default view.
SELECT DISTINCT o.id FROM shop.orders o, shop.order_head h, shop.order_price p WHERE o.kelroot_id = h.kelroot_id AND o.kelroot_id = p.kelroot_id AND h.status = 'open' AND p.price > 90 ORDER BY 1;
SELECT id, note, customer, city, status, price FROM shop.orders_v ORDER BY id, price;
-- ==== Soft-disable and re-enable ====
CALL 'quarnxml!kelSoftDisableColumn'('shop.orders', 'doc', ?, ?);
SELECT COUNT(*) AS triggers_left FROM syscat.triggers WHERE trigschema = 'SHOP';
SELECT root_id, side_tab_qual FROM quarnxml.xml_usage;
-- Without triggers, changes do not reach the side tables ...
INSERT INTO shop.orders (id, doc, note) VALUES (6, XMLVarchar('<order id="6" status="open"><customer><name>Ed</name><city>Graz</city></customer><item><price>91</price></item></order>'), 'quiet');
UPDATE shop.orders SET doc = XMLVarchar('<order id="4" status="cancelled"><customer><name>Cy</name></customer></order>') WHERE id = 4;
SELECT COUNT(*) AS head_rows FROM shop.order_head;
-- ... re-enable refills them from the documents and creates the triggers again.
CALL 'quarnxml!kelReEnableColumn'('shop.orders', 'doc', ?, ?);
SELECT SUBSTR(trigname, 1, 1) AS kind FROM syscat.triggers WHERE trigschema = 'SHOP' ORDER BY 1;
SELECT o.id, h.customer, h.city, h.status FROM shop.orders o, shop.order_head h WHERE o.kelroot_id = h.kelroot_id ORDER BY 1;
SELECT o.id, p.kel_seqno, p.price FROM shop.orders o, shop.order_price p WHERE o.kelroot_id = p.kelroot_id ORDER BY 1, 2;
-- An active column cannot be re-enabled; a soft-disabled one can be soft-disabled again.
CALL 'quarnxml!kelReEnableColumn'('shop.orders', 'doc', ?, ?);
INSERT INTO shop.orders (id, doc, note) VALUES (7, XMLVarchar('<order id="7" status="open"><customer><name>Flo</name></customer><item><price>93</price></item></order>'), 'after');
SELECT o.id, h.customer FROM shop.orders o, shop.order_head h WHERE o.kelroot_id = h.kelroot_id AND o.id = 7;
-- ==== Refusals: nothing changes ====
-- Already enabled; a column that is not an XML type; a missing table or column; a null DAD or
-- database name.
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.orders', 'doc', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.orders', 'note', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.nothere', 'doc', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.orders', 'nocol', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.orders', 'doc', CAST(NULL AS CLOB(1K)), NULL, NULL, NULL, ?, ?);
CALL quarnxml.kelEnableColumn(CAST(NULL AS VARCHAR(8)), 'shop.orders', 'doc', '<DAD/>', NULL, NULL, NULL, ?, ?);
CALL quarnxml.kelDisableColumn(CAST(NULL AS VARCHAR(8)), 'shop.orders', 'doc', ?, ?);
-- The name of another database: the call changed this one's column and said it was done.
CALL quarnxml.kelEnableColumn('OTHERDB', 'shop.orders', 'note', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
CALL quarnxml.kelDisableColumn('OTHERDB', 'shop.orders', 'doc', ?, ?);
SELECT COUNT(*) FROM quarnxml.xml_usage WHERE table_name = 'ORDERS' AND col_name = 'DOC';
CREATE TABLE shop.more (k INTEGER NOT NULL, j INTEGER NOT NULL, d quarnxml.XMLCLOB, PRIMARY KEY (k, j));
-- A table name that does not parse; a column name of 31 characters.
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.more x', 'd', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.more', 'ABCDEFGHIJABCDEFGHIJABCDEFGHIJA', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
-- A root id that is only part of the primary key.
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.more', 'd', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, 'k', ?, ?);
-- A location path that does not compile is refused now, not at every later insert.
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.more', 'd', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="a/b" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
-- So is one with a part the extraction accepts and does not apply: the side table held every b.
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.more', 'd', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="/a/b[2]" multi_occurrence="YES"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
-- A table of several values with two columns could never be filled.
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.more', 'd', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="/a/b" multi_occurrence="YES"/><column name="c" type="varchar(9)" path="/a/c" multi_occurrence="YES"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
-- multi_occurrence other than YES or NO; a graphic side column; a type that is no type.
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.more', 'd', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="/a" multi_occurrence="MAYBE"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.more', 'd', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="vargraphic(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.more', 'd', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="int) ; DROP TABLE shop.orders; --" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
-- An unknown DTD id; a table space name of 19 characters (refused, never cut); a view name that
-- does not parse.
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.more', 'd', '<DAD><dtdid>no.dtd</dtdid><validation>YES</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.more', 'd', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', 'ABCDEFGHIJKLMNOPQRS', NULL, NULL, ?, ?);
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.more', 'd', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, 'shop.v x', NULL, ?, ?);
-- Failures after work began are undone whole: a side table that exists already, a view name in
-- use.  No side table, trigger, KELROOT_ID column or XML_USAGE row is left.
CREATE TABLE shop.taken (a INTEGER);
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.more', 'd', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table><table name="shop.taken"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.more', 'd', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, 'shop.taken', NULL, ?, ?);
SELECT tabname FROM syscat.tables WHERE tabschema = 'SHOP' ORDER BY 1;
SELECT colname FROM syscat.columns WHERE tabschema = 'SHOP' AND tabname = 'MORE' ORDER BY colno;
SELECT COUNT(*) AS usage_rows FROM quarnxml.xml_usage;
SELECT COUNT(*) AS triggers FROM syscat.triggers WHERE trigschema = 'SHOP';
-- Stored documents that the extraction refuses make enablement fail whole.
INSERT INTO shop.more VALUES (1, 1, XMLCLOB('<a>1</a>'));
INSERT INTO shop.more VALUES (1, 2, XMLCLOB('<a>x</a>'));
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.more', 'd', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="integer" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
SELECT colname FROM syscat.columns WHERE tabschema = 'SHOP' AND tabname = 'MORE' ORDER BY colno;
SELECT COUNT(*) AS usage_rows FROM quarnxml.xml_usage;
-- A document that does not parse: the message carries the function's whole diagnostic text
-- (it was cut to what the routine's names left of the communication area's 70 bytes).
UPDATE shop.more SET d = XMLCLOB('<a>2<a>') WHERE j = 2;
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.more', 'd', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="integer" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
SELECT COUNT(*) AS usage_rows FROM quarnxml.xml_usage;
-- ==== Validation triggers, a caller's root id, a DTD id with a quote ====
INSERT INTO quarnxml.dtd_ref VALUES ('o''rder.dtd', XMLCLOB('<!ELEMENT order (customer, item*)><!ATTLIST order id CDATA #REQUIRED status CDATA #REQUIRED><!ELEMENT customer (name, city?)><!ELEMENT name (#PCDATA)><!ELEMENT city (#PCDATA)><!ELEMENT item (price)><!ELEMENT price (#PCDATA)>'), 0, USER, USER, USER);
CREATE TABLE shop.checked (no INTEGER NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar);
-- A stored document the DTD refuses: a validated column cannot hold it, so enabling fails whole
-- (it kept the document, which every later update of its row then failed on).
INSERT INTO shop.checked VALUES (99, XMLVarchar('<!DOCTYPE order SYSTEM "o.dtd"><order id="9" status="x"><zzz/></order>'));
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.checked', 'doc', '<DAD><dtdid>o''rder.dtd</dtdid><validation>YES</validation><Xcolumn><table name="shop.checked_side"><column name="customer" type="varchar(40)" path="/order/customer/name" multi_occurrence="NO"/></table><table name="shop.checked_price"><column name="price" type="varchar(12)" path="/order/item/price" multi_occurrence="YES"/></table></Xcolumn></DAD>', NULL, NULL, 'no', ?, ?);
SELECT COUNT(*) AS usage_rows FROM quarnxml.xml_usage WHERE table_name = 'CHECKED';
DELETE FROM shop.checked;
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.checked', 'doc', '<DAD><dtdid>o''rder.dtd</dtdid><validation>YES</validation><Xcolumn><table name="shop.checked_side"><column name="customer" type="varchar(40)" path="/order/customer/name" multi_occurrence="NO"/></table><table name="shop.checked_price"><column name="price" type="varchar(12)" path="/order/item/price" multi_occurrence="YES"/></table></Xcolumn></DAD>', NULL, NULL, 'no', ?, ?);
SELECT SUBSTR(trigname, 1, 1) AS kind, REPLACE(text, (SELECT RTRIM(trigger_suffix) FROM quarnxml.xml_usage WHERE table_name = 'CHECKED'), '#######') AS text FROM syscat.triggers WHERE trigschema = 'SHOP' AND tabname = 'CHECKED' ORDER BY create_time, 1;
SELECT tabname, colno, colname, typename, length, nulls FROM syscat.columns WHERE tabschema = 'SHOP' AND tabname LIKE 'CHECKED%' ORDER BY tabname, colno;
SELECT dtdid, validation, default_view, root_id FROM quarnxml.xml_usage WHERE table_name = 'CHECKED';
SELECT usage_count FROM quarnxml.dtd_ref;
-- A valid document is stored; an invalid one is refused (the statement fails, nothing is
-- stored); a NULL document passes.
INSERT INTO shop.checked VALUES (1, XMLVarchar('<!DOCTYPE order SYSTEM "o''rder.dtd"><order id="1" status="open"><customer><name>Gus</name></customer><item><price>5</price></item><item><price>6</price></item></order>'));
INSERT INTO shop.checked VALUES (2, XMLVarchar('<!DOCTYPE order SYSTEM "o''rder.dtd"><order id="2" status="open"><item><price>5</price></item></order>'));
INSERT INTO shop.checked VALUES (3, NULL);
-- A DOCTYPE naming no external DTD would be checked against its own declarations only: refused.
INSERT INTO shop.checked VALUES (4, XMLVarchar('<!DOCTYPE order [<!ELEMENT order ANY><!ATTLIST order id CDATA #IMPLIED>]><order id="4"/>'));
UPDATE shop.checked SET doc = XMLVarchar('<!DOCTYPE order SYSTEM "o''rder.dtd"><order id="1"/>') WHERE no = 1;
SELECT c.no, s.customer FROM shop.checked c LEFT JOIN shop.checked_side s ON c.no = s.no ORDER BY 1;
SELECT no, kel_seqno, price FROM shop.checked_price ORDER BY 1, 2;
UPDATE shop.checked SET doc = XMLVarchar('<!DOCTYPE order SYSTEM "o''rder.dtd"><order id="3" status="new"><customer><name>Hal</name></customer></order>') WHERE no = 3;
SELECT no, customer FROM shop.checked_side ORDER BY 1;
-- A row of an older enablement without ROOT_ID and SIDE_TAB_QUAL: soft-disable works them out
-- (the primary key, the schema the triggers depend on) before it drops a trigger.  The side
-- tables of this DAD all carry their schema, so no schema is recorded for unqualified ones.
UPDATE quarnxml.xml_usage SET root_id = NULL, side_tab_qual = NULL WHERE table_name = 'CHECKED';
CALL 'quarnxml!kelReEnableColumn'('shop.checked', 'doc', ?, ?);
CALL 'quarnxml!kelSoftDisableColumn'('shop.checked', 'doc', ?, ?);
SELECT root_id, side_tab_qual FROM quarnxml.xml_usage WHERE table_name = 'CHECKED';
CALL 'quarnxml!kelReEnableColumn'('shop.checked', 'doc', ?, ?);
SELECT SUBSTR(trigname, 1, 1) AS kind FROM syscat.triggers WHERE trigschema = 'SHOP' AND tabname = 'CHECKED' ORDER BY 1;
SELECT no, kel_seqno, price FROM shop.checked_price ORDER BY 1, 2;
-- A path longer than the extract functions take (256 bytes) is refused, never cut.
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.more', 'd', '<DAD><validation>NO</validation><Xcolumn><table name="shop.x1"><column name="a" type="varchar(9)" path="/aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
-- ==== Hostile names: quotes in schema, table, column, side tables and paths ====
CREATE TABLE "we'ird"."t""x" ("d""oc" quarnxml.XMLVarchar);
CALL quarnxml.kelEnableColumn('TESTDB', '"we''ird"."t""x"', '"d""oc"', '<DAD><validation>NO</validation><Xcolumn><table name="&quot;we''ird&quot;.&quot;s&quot;&quot;1&quot;"><column name="&quot;v''a&quot;&quot;l&quot;" type="varchar(20)" path="/a/b[@k=&quot;x''y&quot;]" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, '"we''ird"."v''w"', NULL, ?, ?);
INSERT INTO "we'ird"."t""x" ("d""oc") VALUES (XMLVarchar('<a><b k="y">no</b><b k="x''y">yes</b></a>'));
SELECT "v'a""l" FROM "we'ird"."s""1";
SELECT "d""oc", "v'a""l" FROM "we'ird"."v'w";
SELECT tabschema, tabname, colname FROM syscat.columns WHERE tabschema = 'we''ird' ORDER BY tabname, colno;
CALL quarnxml.kelDisableColumn('TESTDB', '"we''ird"."t""x"', '"d""oc"', ?, ?);
SELECT tabname FROM syscat.tables WHERE tabschema = 'we''ird';
-- ==== Disable ====
-- Two enabled columns of one table share KELROOT_ID: disabling one keeps the values the other
-- still links by.
ALTER TABLE shop.orders ADD doc2 quarnxml.XMLCLOB;
UPDATE shop.orders SET doc2 = XMLCLOB('<x><y>1</y></x>') WHERE id = 3;
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.orders', 'doc2', '<DAD><validation>NO</validation><Xcolumn><table name="shop.order_y"><column name="y" type="integer" path="/x/y" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
SELECT o.id, y.y FROM shop.orders o, shop.order_y y WHERE o.kelroot_id = y.kelroot_id;
CALL quarnxml.kelDisableColumn('TESTDB', 'shop.orders', 'doc2', ?, ?);
SELECT COUNT(kelroot_id) AS root_ids_kept FROM shop.orders;
-- A disable that fails at its last step (a trigger keeps the XML_USAGE row) leaves the column
-- enabled as it was: triggers, side tables, view and row.
CREATE TRIGGER shop.keep NO CASCADE BEFORE DELETE ON quarnxml.xml_usage REFERENCING OLD AS o FOR EACH ROW MODE QUARNSQL WHEN (o.table_name = 'ORDERS') SIGNAL SQLSTATE '70001' ('kept');
CALL quarnxml.kelDisableColumn('TESTDB', 'shop.orders', 'doc', ?, ?);
SELECT SUBSTR(trigname, 1, 1) AS kind FROM syscat.triggers WHERE trigschema = 'SHOP' AND tabname = 'ORDERS' ORDER BY 1;
SELECT tabname FROM syscat.tables WHERE tabschema = 'SHOP' AND tabname LIKE 'ORDER%' ORDER BY 1;
SELECT COUNT(kelroot_id) AS root_ids, (SELECT COUNT(*) FROM quarnxml.xml_usage WHERE table_name = 'ORDERS') AS usage_rows FROM shop.orders;
DROP TRIGGER shop.keep;
-- Objects already gone (a side table dropped, the triggers of a soft-disabled column) are
-- passed over: disable completes.
CALL 'quarnxml!kelSoftDisableColumn'('shop.orders', 'doc', ?, ?);
DROP TABLE shop.order_price;
CALL quarnxml.kelDisableColumn('TESTDB', 'shop.orders', 'doc', ?, ?);
-- Everything enable made is gone; KELROOT_ID stays, all NULL; the documents are untouched.
SELECT tabname FROM syscat.tables WHERE tabschema = 'SHOP' ORDER BY 1;
SELECT COUNT(*) AS triggers FROM syscat.triggers WHERE trigschema = 'SHOP' AND tabname = 'ORDERS';
SELECT COUNT(kelroot_id) AS root_ids, COUNT(doc) AS documents FROM shop.orders;
SELECT table_name, col_name FROM quarnxml.xml_usage ORDER BY 1;
-- Disabling again: the column is not enabled.
CALL quarnxml.kelDisableColumn('TESTDB', 'shop.orders', 'doc', ?, ?);
CALL 'quarnxml!kelSoftDisableColumn'('shop.orders', 'doc', ?, ?);
CALL 'quarnxml!kelReEnableColumn'('shop.orders', 'doc', ?, ?);
-- The DTD's usage count goes back when its column is disabled.
CALL quarnxml.kelDisableColumn('TESTDB', 'shop.checked', 'doc', ?, ?);
SELECT usage_count FROM quarnxml.dtd_ref;
SELECT tabname FROM syscat.tables WHERE tabschema = 'SHOP' ORDER BY 1;
SELECT COUNT(*) AS usage_rows FROM quarnxml.xml_usage;
-- ==== Schema validation: the schema location is checked by the V and W triggers ====
VALUES XMLFileFromVarchar('<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"><xs:element name="order"><xs:complexType><xs:sequence><xs:element name="item" type="xs:int" maxOccurs="unbounded"/></xs:sequence></xs:complexType></xs:element></xs:schema>', '@DATA@/o.xsd');
CREATE TABLE shop.typed (doc quarnxml.XMLCLOB);
CALL quarnxml.kelEnableColumn('TESTDB', 'shop.typed', 'doc', '<DAD><schemabindings><nonamespacelocation location="@DATA@/o.xsd"/></schemabindings><validation>YES</validation><Xcolumn><table name="shop.typed_item"><column name="item" type="integer" path="/order/item" multi_occurrence="YES"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
SELECT SUBSTR(trigname, 1, 1) AS kind, REPLACE(text, (SELECT RTRIM(trigger_suffix) FROM quarnxml.xml_usage WHERE table_name = 'TYPED'), '#######') AS text FROM syscat.triggers WHERE trigschema = 'SHOP' AND tabname = 'TYPED' AND trigname LIKE 'V%' OR trigschema = 'SHOP' AND tabname = 'TYPED' AND trigname LIKE 'W%' ORDER BY 1;
INSERT INTO shop.typed (doc) VALUES (XMLCLOB('<order><item>4</item><item>5</item></order>'));
INSERT INTO shop.typed (doc) VALUES (XMLCLOB('<order><item>four</item></order>'));
SELECT kel_seqno, item FROM shop.typed_item ORDER BY 1;
CALL quarnxml.kelDisableColumn('TESTDB', 'shop.typed', 'doc', ?, ?);
SELECT COUNT(*) AS usage_rows FROM quarnxml.xml_usage;
-- ==== The SQL-convention entries, registered here under names of their own ====
-- Soft-disable and re-enable leave the message empty on success.
CREATE PROCEDURE tester.softdis(in tableName varchar(159), in columnName varchar(30), out returnCode integer, out returnMsg varchar(1024)) EXTERNAL NAME 'quarnxml!kelSoftDisableColumn_STP' LANGUAGE C PARAMETER STYLE SQL NOT DETERMINISTIC FENCED NULL CALL;
CREATE PROCEDURE tester.reen(in tableName varchar(159), in columnName varchar(30), out returnCode integer, out returnMsg varchar(1024)) EXTERNAL NAME 'quarnxml!kelReEnableColumn_STP' LANGUAGE C PARAMETER STYLE SQL NOT DETERMINISTIC FENCED NULL CALL;
CREATE PROCEDURE tester.dis(in tableName varchar(159), in columnName varchar(30), out returnCode integer, out returnMsg varchar(1024)) EXTERNAL NAME 'quarnxml!kelDisableColumn_STP' LANGUAGE C PARAMETER STYLE SQL NOT DETERMINISTIC FENCED NULL CALL;
CREATE PROCEDURE tester.en(in tableName varchar(128), in columnName varchar(128), in dadBuf clob(100K), in tableSpace varchar(128), in defaultView varchar(128), in rootID varchar(128), out returnCode integer, out returnMsg varchar(1024)) EXTERNAL NAME 'quarnxml!kelEnableColumn_STP' LANGUAGE C PARAMETER STYLE SQL NOT DETERMINISTIC FENCED NULL CALL;
CREATE TABLE conv.d (doc quarnxml.XMLVarchar);
CALL tester.en('conv.d', 'doc', '<DAD><validation>NO</validation><Xcolumn><table name="conv.s"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, NULL, NULL, ?, ?);
CALL tester.softdis('conv.d', 'doc', ?, ?);
CALL tester.reen('conv.d', 'doc', ?, ?);
CALL tester.dis('conv.d', 'doc', ?, ?);
CALL tester.dis('conv.d', 'doc', ?, ?);
SELECT COUNT(*) AS usage_rows FROM quarnxml.xml_usage;
-- ==== A table space for the side tables (one that does not exist: nothing is left); a default
-- view dropped by its user before disable ====
CREATE TABLE ts.d (doc quarnxml.XMLVarchar);
CALL quarnxml.kelEnableColumn('TESTDB', 'ts.d', 'doc', '<DAD><validation>NO</validation><Xcolumn><table name="ts.s"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', 'sidespace', 'ts.v', NULL, ?, ?);
CALL quarnxml.kelEnableColumn('TESTDB', 'ts.d', 'doc', '<DAD><validation>NO</validation><Xcolumn><table name="ts.s"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', 'userspace1', 'ts.v', NULL, ?, ?);
SELECT tabname, tbspace FROM syscat.tables WHERE tabschema = 'TS' ORDER BY 1;
DROP VIEW ts.v;
CALL quarnxml.kelDisableColumn('TESTDB', 'ts.d', 'doc', ?, ?);
SELECT tabname FROM syscat.tables WHERE tabschema = 'TS' ORDER BY 1;
-- ==== A caller's root id of type CHARACTER ====
CREATE TABLE ck.d (code CHAR(10) NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar);
CALL quarnxml.kelEnableColumn('TESTDB', 'ck.d', 'doc', '<DAD><validation>NO</validation><Xcolumn><table name="ck.s"><column name="a" type="varchar(9)" path="/a" multi_occurrence="NO"/></table></Xcolumn></DAD>', NULL, 'ck.v', 'code', ?, ?);
INSERT INTO ck.d VALUES ('ab', XMLVarchar('<a>1</a>'));
INSERT INTO ck.d VALUES ('cd', XMLVarchar('<a>3</a>'));
UPDATE ck.d SET doc = XMLVarchar('<a>2</a>') WHERE code = 'ab';
DELETE FROM ck.d WHERE code = 'cd';
SELECT colname, typename, length, nulls FROM syscat.columns WHERE tabschema = 'CK' AND tabname = 'S' ORDER BY colno;
SELECT RTRIM(code) AS code, a FROM ck.v ORDER BY 1;
SELECT COUNT(*) AS side_rows FROM ck.s;
CALL quarnxml.kelDisableColumn('TESTDB', 'ck.d', 'doc', ?, ?);
-- ==== Typed side columns of an indented document: the XML white space around a date, a number
-- or a decimal is no part of it (the insert was -180 or -420), as for the extract functions ====
CREATE TABLE ws.d (id INTEGER NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar);
CALL quarnxml.kelEnableColumn('TESTDB', 'ws.d', 'doc', '<DAD><validation>NO</validation><Xcolumn><table name="ws.s"><column name="d" type="date" path="/o/d" multi_occurrence="NO"/><column name="i" type="integer" path="/o/i" multi_occurrence="NO"/><column name="p" type="decimal(9,2)" path="/o/p" multi_occurrence="NO"/></table><table name="ws.m"><column name="t" type="timestamp" path="/o/t" multi_occurrence="YES"/></table></Xcolumn></DAD>', NULL, NULL, 'id', ?, ?);
INSERT INTO ws.d VALUES (1, XMLVarchar('<o>&#10;  <d>&#10;    2024-01-05&#10;  </d>&#10;  <i>&#9;7&#13;&#10;</i><p> 12.50&#10;</p><t>&#10;2024-01-05-10.00.00&#10;</t><t>2024-01-06-11.30.00</t></o>'));
SELECT s.d, s.i, s.p, extractDate(doc, '/o/d') AS xd, extractInteger(doc, '/o/i') AS xi FROM ws.s s, ws.d d WHERE s.id = d.id;
SELECT kel_seqno, t FROM ws.m ORDER BY 1;
INSERT INTO ws.d VALUES (2, XMLVarchar('<o><d>2024-01 -05</d></o>'));
CALL quarnxml.kelDisableColumn('TESTDB', 'ws.d', 'doc', ?, ?);
