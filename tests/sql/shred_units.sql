-- [register]
-- [manual commit]
-- The unit of work is the caller's: a failing document takes back only its own rows, a stored
-- one stays until the caller commits or rolls back.
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
CALL quarnxml.kelEnableCollection('TESTDB', 'po', XMLCLOBFromFile('@DATA@/po.dad'), NULL, ?, ?);
COMMIT;
-- The caller's own row, then a document failing in its second line, then one that is stored.
INSERT INTO po (id, day) VALUES (100, '2026-01-01');
CALL quarnxml.kelInsertXML('po', '<po id="101"><day>2026-01-02</day><line no="1011"><price>1.00</price></line><line no="1012"><price>one</price></line></po>', ?, ?);
CALL quarnxml.kelInsertXML('po', '<po id="102"><day>2026-01-03</day><line no="1021"><price>2.00</price></line></po>', ?, ?);
SELECT id, day FROM po ORDER BY id;
SELECT lno, po FROM line ORDER BY lno;
-- The caller rolls back: nothing of the unit stays, the collection (committed) does.
ROLLBACK;
SELECT COUNT(*) AS orders FROM po;
CALL quarnxml.kelInsertXML('po', '<po id="103"><day>2026-01-04</day></po>', ?, ?);
COMMIT;
SELECT id, day FROM po ORDER BY id;
-- A failed enablement inside the caller's unit leaves the caller's table and takes only its own.
CREATE TABLE mine (n INT);
CALL quarnxml.kelEnableCollection('TESTDB', 'bad', XMLCLOBFromFile('@DATA@/mismatch_type.dad'), NULL, ?, ?);
COMMIT;
SELECT tabname FROM syscat.tables WHERE tabschema = 'TESTER' ORDER BY tabname;
