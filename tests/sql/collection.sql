-- [register]
-- Collections: enabling makes the tables of the DAD with their keys and foreign keys in the table
-- space given, finds tables that exist as the DAD wants them, refuses a mismatch, a name in use
-- or an unknown DTD with nothing made; disabling keeps the tables and their rows.
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
CREATE TABLESPACE orderspace MANAGED BY SYSTEM USING ('orderspace');
CALL quarnxml.kelEnableCollection('TESTDB', 'po', XMLCLOBFromFile('@DATA@/po.dad'), 'orderspace', ?, ?);
SELECT tabname, tbspace FROM syscat.tables WHERE tabschema = 'TESTER' ORDER BY tabname;
SELECT tabname, colname, typename, length, scale, nulls, keyseq FROM syscat.columns WHERE tabschema = 'TESTER' ORDER BY tabname, colno;
-- One foreign key per child table; the key column lno of ship is defined once.
SELECT tabname, reftabname, fk_colnames, pk_colnames FROM syscat.references WHERE tabschema = 'TESTER' ORDER BY tabname;
SELECT col_name, dtdid, access_mode, validation FROM quarnxml.xml_usage WHERE table_schema = 'KEL_COLL' AND table_name = 'KEL_COLLECTION';
-- The name of another database, a name of blanks: nothing is made (the first enabled this
-- database's collection and said so; the second stored a name the empty name then found).
CALL quarnxml.kelEnableCollection('OTHERDB', 'po_other', XMLCLOBFromFile('@DATA@/po.dad'), NULL, ?, ?);
CALL quarnxml.kelEnableCollection('TESTDB', '   ', XMLCLOBFromFile('@DATA@/po.dad'), NULL, ?, ?);
CALL quarnxml.kelDisableCollection('OTHERDB', 'po', ?, ?);
SELECT COUNT(*) AS collections FROM quarnxml.xml_usage WHERE table_schema = 'KEL_COLL';
-- A second collection over the same tables finds them as the DAD wants them.
CALL quarnxml.kelEnableCollection('TESTDB', 'po_again', XMLCLOBFromFile('@DATA@/po.dad'), NULL, ?, ?);
-- A name in use is refused before any table is made (pohead would be new).
CALL quarnxml.kelEnableCollection('TESTDB', 'po', XMLCLOBFromFile('@DATA@/mismatch_type.dad'), NULL, ?, ?);
SELECT COUNT(*) AS pohead_tables FROM syscat.tables WHERE tabname = 'POHEAD';
-- An existing table with a column of another type, without a column, with a shorter column:
-- refused after the new table pohead was made, which the failed call takes away again.
CALL quarnxml.kelEnableCollection('TESTDB', 'bad_type', XMLCLOBFromFile('@DATA@/mismatch_type.dad'), NULL, ?, ?);
CALL quarnxml.kelEnableCollection('TESTDB', 'bad_column', XMLCLOBFromFile('@DATA@/mismatch_column.dad'), NULL, ?, ?);
CALL quarnxml.kelEnableCollection('TESTDB', 'bad_length', XMLCLOBFromFile('@DATA@/mismatch_length.dad'), NULL, ?, ?);
SELECT COUNT(*) AS pohead_tables FROM syscat.tables WHERE tabname = 'POHEAD';
-- A DTD id that is not stored: refused, nothing made.
CALL quarnxml.kelEnableCollection('TESTDB', 'dtd', XMLCLOBFromFile('@DATA@/unknown_dtd.dad'), NULL, ?, ?);
SELECT COUNT(*) AS pohead_tables FROM syscat.tables WHERE tabname = 'POHEAD';
SELECT col_name FROM quarnxml.xml_usage WHERE table_schema = 'KEL_COLL' ORDER BY col_name;
-- A table space that is not one identifier; a collection name too long; a null DAD.
CALL quarnxml.kelEnableCollection('TESTDB', 'ts', XMLCLOBFromFile('@DATA@/mismatch_type.dad'), 'x) DROP TABLE po --', ?, ?);
CALL quarnxml.kelEnableCollection('TESTDB', 'c23456789012345678901234567890123456789012345678901234567890123456789012345678901234567890', XMLCLOBFromFile('@DATA@/po.dad'), NULL, ?, ?);
CALL quarnxml.kelEnableCollection('TESTDB', 'nodad', NULL, NULL, ?, ?);
-- Disabling keeps the tables and their rows; the collection is gone for the procedures.
CALL quarnxml.kelInsertXML('po', '<po id="1"><day>2026-03-04</day><time>10:30:00</time><line no="1"><price>2.50</price></line></po>', ?, ?);
CALL quarnxml.kelDisableCollection('TESTDB', 'po', ?, ?);
SELECT id, day FROM po;
SELECT lno, price, po FROM line;
CALL quarnxml.kelInsertXML('po', '<po id="2"><day>2026-03-05</day></po>', ?, ?);
CALL quarnxml.kelDisableCollection('TESTDB', 'po', ?, ?);
-- The collection po_again still stores into the same tables.
CALL quarnxml.kelInsertXML('po_again', '<po id="2"><day>2026-03-05</day></po>', ?, ?);
SELECT id, day FROM po ORDER BY id;
