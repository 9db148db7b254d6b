-- [register]
-- Decomposition through the procedures: a document of an enabled collection (kelInsertXML) or
-- of a DAD passed with the call (kelShredXML) becomes rows with their keys and foreign keys;
-- a document that fails anywhere leaves none of its rows.
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
CALL quarnxml.kelEnableCollection('TESTDB', 'po', XMLCLOBFromFile('@DATA@/po.dad'), NULL, ?, ?);
CALL quarnxml.kelEnableCollection('TESTDB', 'orders', XMLCLOBFromFile('@DATA@/orders.dad'), NULL, ?, ?);
-- Every kind of value: dates, times, timestamps, decimals, reals, large objects; text made of
-- several pieces (entity, CDATA) is one value.
CALL quarnxml.kelInsertXML('po', '<po id="1"><day>2026-03-04</day><time>10:30:00</time><line no="11"><price>12.25</price><weight>0.5</weight><note>fish &amp; <![CDATA[<chips>]]> to go</note><ship><at>2026-03-05-08.00.00.000000</at><by>AIR</by></ship><ship><at>2026-03-06-09.15.00.000000</at><by>TRUCK</by></ship></line><line no="12"><price>3.00</price><weight>1.5</weight></line></po>', ?, ?);
SELECT id, day, tm FROM po ORDER BY id;
SELECT lno, price, weight, note, po FROM line ORDER BY lno;
SELECT lno, at, by FROM ship ORDER BY lno, at;
-- The same through kelShredXML with the DAD passed; the 50 MB variants on the same entries.
CALL quarnxml.kelShredXML(XMLCLOBFromFile('@DATA@/po.dad'), '<po id="2"><day>2026-04-01</day><line no="21"><price>1.00</price></line></po>', ?, ?);
CALL quarnxml.kelInsertXML50MB('po', '<po id="3"><day>2026-04-02</day></po>', ?, ?);
CALL quarnxml.kelShredXML50MB(XMLCLOBFromFile('@DATA@/po.dad'), '<po id="4"><day>2026-04-03</day></po>', ?, ?);
SELECT id, day FROM po ORDER BY id;
-- Failing documents leave no rows: a value that does not convert (its element and column named),
-- a duplicate key of a later table (-803), a missing key, a value too long for its column, a key
-- twice in one document, a document cut short.
CALL quarnxml.kelInsertXML('po', '<po id="5"><day>2026-05-01</day><line no="51"><price>1.00</price></line><line no="52"><price>abc</price></line></po>', ?, ?);
CALL quarnxml.kelInsertXML('po', '<po id="5"><day>2026-05-01</day><line no="51"><price>1.00</price></line><line no="11"><price>2.00</price></line></po>', ?, ?);
CALL quarnxml.kelInsertXML('po', '<po><day>2026-05-01</day><line no="51"/></po>', ?, ?);
CALL quarnxml.kelInsertXML('po', '<po id="5"><day>2026-05-01</day><line no="51"><ship><at>2026-05-02-08.00.00.000000</at><by>HOT AIR BALLOON</by></ship></line></po>', ?, ?);
CALL quarnxml.kelInsertXML('po', '<po id="5"><day>2026-05-01</day><line no="51"/><line no="51"/></po>', ?, ?);
CALL quarnxml.kelInsertXML('po', '<po id="5"><day>2026-05-01</day><line no="51"><price>1.00</price>', ?, ?);
CALL quarnxml.kelInsertXML('po', '<po id="5"><day>2026-13-01</day></po>', ?, ?);
SELECT COUNT(*) AS orders_5 FROM po WHERE id = 5;
SELECT COUNT(*) AS lines_51 FROM line WHERE lno = 51;
-- The document element is taken whatever its name: its children are matched below it.
CALL quarnxml.kelInsertXML('po', '<order id="55"><day>2026-05-05</day></order>', ?, ?);
SELECT id, day FROM po WHERE id = 55;
-- A foreign key taken from an element's text: pieces joined, a comment first, an empty key.
CALL quarnxml.kelInsertXML('orders', '<Order key="1"><OrderDate>2026-01-02</OrderDate><Part color="red"><key>1<![CDATA[2]]></key><Shipment><ShipDate>2026-01-03</ShipDate><ShipMode>AIR</ShipMode></Shipment></Part><Part color="blue"><key><!-- first --> 13</key><Shipment><ShipDate>2026-01-04</ShipDate></Shipment></Part></Order>', ?, ?);
SELECT part_key, color, order_key FROM parts ORDER BY part_key;
SELECT part_key, ship_date, ship_mode FROM shipments ORDER BY part_key;
CALL quarnxml.kelInsertXML('orders', '<Order key="2"><Part color="red"><key/><Shipment><ShipDate>2026-01-05</ShipDate></Shipment></Part></Order>', ?, ?);
SELECT COUNT(*) AS order_2 FROM orders WHERE order_key = 2;
-- Two tables whose rows come from the same element each get theirs; an element named like the
-- start of its sibling's name is told apart.
CALL quarnxml.kelEnableCollection('TESTDB', 'memo', XMLCLOBFromFile('@DATA@/memo.dad'), NULL, ?, ?);
CALL quarnxml.kelInsertXML('memo', '<po id="1"><lines>2</lines><line no="1"><price>1.50</price><mno>101</mno><memo>first</memo></line><line no="2"><price>2.50</price><mno>102</mno><memo>second</memo></line></po>', ?, ?);
SELECT id, lines FROM mpo;
SELECT lno, price, po FROM mline ORDER BY lno;
SELECT mno, text, po FROM memo ORDER BY mno;
-- A document's own attributes named like a join column do not change the foreign keys.
CALL quarnxml.kelInsertXML('memo', '<po id="2" po="99"><line no="3" po="98" id="97"><price>3.50</price><mno>103</mno><memo>third</memo></line></po>', ?, ?);
SELECT lno, po FROM mline WHERE lno = 3;
SELECT mno, po FROM memo WHERE mno = 103;
-- Validation against the stored DTD the DOCTYPE is answered with: an invalid document and one
-- without a DOCTYPE are refused with no rows, a valid one is stored.
INSERT INTO quarnxml.dtd_ref VALUES ('po.dtd', XMLCLOBFromFile('@DATA@/po.dtd'), 0, 'tester', 'tester', 'tester');
CALL quarnxml.kelEnableCollection('TESTDB', 'po_valid', XMLCLOBFromFile('@DATA@/po_valid.dad'), NULL, ?, ?);
CALL quarnxml.kelInsertXML('po_valid', '<!DOCTYPE po SYSTEM "po.dtd"><po id="6"><line no="61"/></po>', ?, ?);
CALL quarnxml.kelInsertXML('po_valid', '<po id="6"><day>2026-06-01</day><line no="61"/></po>', ?, ?);
CALL quarnxml.kelInsertXML('po_valid', '<!DOCTYPE po SYSTEM "po.dtd"><po id="6"><day>2026-06-01</day><line no="61"/></po>', ?, ?);
SELECT id, day FROM po WHERE id = 6;
-- Validation against an XML schema named by the DAD (kelShredXML): a day that is no date is
-- refused with no rows before anything is stored, a valid document is stored.
CALL quarnxml.kelShredXML('<DAD><schemabindings><nonamespacelocation location="@DATA@/po.xsd"/></schemabindings><validation>YES</validation><Xcollection><root_node><element_node name="po"><RDB_node><table name="po" key="id"/></RDB_node><attribute_node name="id"><RDB_node><table name="po"/><column name="id" type="integer"/></RDB_node></attribute_node><element_node name="day"><text_node><RDB_node><table name="po"/><column name="day" type="date"/></RDB_node></text_node></element_node></element_node></root_node></Xcollection></DAD>', '<po id="60"><day>soon</day></po>', ?, ?);
CALL quarnxml.kelShredXML('<DAD><schemabindings><nonamespacelocation location="@DATA@/po.xsd"/></schemabindings><validation>YES</validation><Xcollection><root_node><element_node name="po"><RDB_node><table name="po" key="id"/></RDB_node><attribute_node name="id"><RDB_node><table name="po"/><column name="id" type="integer"/></RDB_node></attribute_node><element_node name="day"><text_node><RDB_node><table name="po"/><column name="day" type="date"/></RDB_node></text_node></element_node></element_node></root_node></Xcollection></DAD>', '<po id="61"><day>2026-06-02</day></po>', ?, ?);
SELECT id, day FROM po WHERE id >= 60 AND id < 70 ORDER BY id;
-- A schema outside the allowed directories is not read.
CALL quarnxml.kelShredXML('<DAD><schemabindings><nonamespacelocation location="/etc/hostname"/></schemabindings><validation>YES</validation><Xcollection><root_node><element_node name="po"><RDB_node><table name="po" key="id"/></RDB_node><attribute_node name="id"><RDB_node><table name="po"/><column name="id" type="integer"/></RDB_node></attribute_node></element_node></root_node></Xcollection></DAD>', '<po id="62"/>', ?, ?);
-- A server file outside the allowed directories is never read: an entity naming one is refused;
-- a DOCTYPE naming one is not loaded (without validation) or answered with the stored DTD.
CALL quarnxml.kelInsertXML('po', '<!DOCTYPE po SYSTEM "/etc/hostname"><po id="7"><day>2026-07-01</day></po>', ?, ?);
CALL quarnxml.kelInsertXML('po_valid', '<!DOCTYPE po SYSTEM "/etc/hostname"><po id="7"><line no="71"/></po>', ?, ?);
CALL quarnxml.kelInsertXML('po', '<!DOCTYPE po [<!ENTITY h SYSTEM "/etc/hostname">]><po id="7"><day>2026-07-01</day><line no="71"><note>&h;</note></line></po>', ?, ?);
SELECT COUNT(*) AS orders_7 FROM po WHERE id = 7;
-- The collection's DAD comes only from a collection row: a column of the same name does not
-- supply one; a collection row without a DAD is reported as such.
INSERT INTO quarnxml.xml_usage (table_schema, table_name, col_name, dad, access_mode, validation, trigger_suffix) VALUES ('TESTER', 'DOCS', 'colname', XMLCLOBFromFile('@DATA@/po.dad'), 0, 0, 'x');
INSERT INTO quarnxml.xml_usage (table_schema, table_name, col_name, dad, access_mode, validation, trigger_suffix) VALUES ('KEL_COLL', 'KEL_COLLECTION', 'nodad', NULL, 1, 0, '0');
CALL quarnxml.kelInsertXML('colname', '<po id="8"><day>2026-08-01</day></po>', ?, ?);
CALL quarnxml.kelInsertXML('nodad', '<po id="8"><day>2026-08-01</day></po>', ?, ?);
CALL quarnxml.kelInsertXML(NULL, '<po id="8"/>', ?, ?);
CALL quarnxml.kelInsertXML('nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn', '<po id="8"/>', ?, ?);
CALL quarnxml.kelShredXML(NULL, '<po id="8"/>', ?, ?);
-- The 100 MB variants, registered by the user on the SQL-convention entries.
CREATE PROCEDURE quarnxml.kelInsertXML100MB (IN collectionName VARCHAR(128), IN XMLObj CLOB(100M), OUT returnCode INTEGER, OUT returnMsg VARCHAR(1024)) LANGUAGE C PARAMETER STYLE SQL MODIFIES SQL DATA FENCED EXTERNAL NAME 'quarnxml!kelInsertXML_STP';
CREATE PROCEDURE quarnxml.kelShredXML100MB (IN dadBuf CLOB(100K), IN XMLObj CLOB(100M), OUT returnCode INTEGER, OUT returnMsg VARCHAR(1024)) LANGUAGE C PARAMETER STYLE SQL MODIFIES SQL DATA FENCED EXTERNAL NAME 'quarnxml!kelShredXML_STP';
CALL quarnxml.kelInsertXML100MB('po', '<po id="9"><day>2026-09-01</day></po>', ?, ?);
CALL quarnxml.kelShredXML100MB(XMLCLOBFromFile('@DATA@/po.dad'), '<po id="10"><day>2026-10-01</day><line no="101"><price>x</price></line></po>', ?, ?);
SELECT id, day FROM po WHERE id >= 9 ORDER BY id;
