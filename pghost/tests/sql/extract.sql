-- The extension's extract-function script (tests/sql/extract.sql) in PostgreSQL's dialect: the
-- extract and storage functions of the unchanged quarnxmlfn, grouped by source, type, scalar or
-- table, and DTD.  Where the statements differ from the engine's, the room's README says why.
CREATE EXTENSION quarnxml;
SET search_path = public, quarnxml;
CREATE TABLE docs (id INT NOT NULL PRIMARY KEY, f quarnxml.XMLFile, v quarnxml.XMLVarchar, c quarnxml.XMLCLOB);
INSERT INTO docs VALUES (1, quarnxml.XMLFile('@DATA@/order.xml'), quarnxml.XMLVarchar('<order id="7"><item><price>10</price></item><item><price>5</price></item></order>'), quarnxml.XMLCLOB('<order id="7"><item><price>10</price></item><item><price>5</price></item></order>'));
-- The same extraction over an XMLFile, an XMLVarchar and an XMLCLOB column.
SELECT extractInteger(f, '/order/@id') AS from_file, extractInteger(v, '/order/@id') AS from_varchar, extractInteger(c, '/order/@id') AS from_clob FROM docs;
SELECT 'file', x.returnedInteger FROM docs AS d, LATERAL extractIntegers(d.f, '//price') AS x;
SELECT 'varchar', x.returnedInteger FROM docs AS d, LATERAL extractIntegers(d.v, '//price') AS x;
SELECT 'clob', x.returnedInteger FROM docs AS d, LATERAL extractIntegers(d.c, '//price') AS x;
-- Scalar: one value; none (NULL, warning 01HX0); several (error 38X08).
VALUES (extractInteger(quarnxml.XMLVarchar('<a><b>12</b></a>'), '/a/b'));
VALUES (extractInteger(quarnxml.XMLVarchar('<a><b>12</b></a>'), '/a/c'));
VALUES (extractInteger(quarnxml.XMLVarchar('<a><b>12</b><b>13</b></a>'), '/a/b'));
-- Table: two rows; no row and no warning.
SELECT * FROM extractIntegers(quarnxml.XMLVarchar('<a><b>12</b><b>13</b></a>'), '/a/b') AS t;
SELECT * FROM extractIntegers(quarnxml.XMLVarchar('<a><b>12</b></a>'), '/a/c') AS t;
-- Numbers: a value, an exponent out of range, 31 characters, not a number (NULL without error).
VALUES (extractDouble(quarnxml.XMLVarchar('<a>1.5e3</a>'), '/a'));
VALUES (extractDouble(quarnxml.XMLVarchar('<a>1.5e99</a>'), '/a'));
VALUES (extractDouble(quarnxml.XMLVarchar('<a>1234567890123456789012345678901</a>'), '/a'));
VALUES (extractDouble(quarnxml.XMLVarchar('<a>12abc</a>'), '/a'));
VALUES (extractReal(quarnxml.XMLVarchar('<a>0.25</a>'), '/a'));
VALUES (extractSmallint(quarnxml.XMLVarchar('<a>70000</a>'), '/a'));
-- Dates, times, timestamps; a date text too long for the date limit (KELC013E).
VALUES (extractDate(quarnxml.XMLVarchar('<a>2005-06-05</a>'), '/a'));
VALUES (extractDate(quarnxml.XMLVarchar('<a>2005-06-05T10:00</a>'), '/a'));
VALUES (extractTime(quarnxml.XMLVarchar('<a>10.30.00</a>'), '/a'));
VALUES (extractTimestamp(quarnxml.XMLVarchar('<a>2005-06-05-10.30.00</a>'), '/a'));
-- Varchar: 3999 bytes pass, 4000 exceed the limit.
VALUES (LENGTH(extractVarchar(XMLCLOBFromFile('@DATA@/v3999.xml'), '/a')));
VALUES (LENGTH(extractVarchar(XMLCLOBFromFile('@DATA@/v4000.xml'), '/a')));
-- Clob: the selected element with its markup.
VALUES (extractClob(quarnxml.XMLVarchar('<a><b x="1">t</b></a>'), '/a/b'));
SELECT * FROM extractClobs(quarnxml.XMLVarchar('<a><b>1</b><b><c/></b></a>'), '/a/b') AS t;
-- With DTD: an entity only the DTD declares; every row is read with its own DTD.
CREATE TABLE dtds (id INT NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar, dtd quarnxml.XMLCLOB);
INSERT INTO dtds VALUES (1, quarnxml.XMLVarchar('<!DOCTYPE a SYSTEM "x.dtd"><a>&who;</a>'), XMLCLOBFromFile('@DATA@/entity.dtd'));
INSERT INTO dtds VALUES (2, quarnxml.XMLVarchar('<!DOCTYPE a SYSTEM "x.dtd"><a>&who; again</a>'), XMLCLOBFromFile('@DATA@/other.dtd'));
SELECT id, extractVarcharWDTD(doc, dtd, '/a') FROM dtds ORDER BY id;
SELECT id, extractVarchar(doc, '/a') FROM dtds ORDER BY id;
-- Storage functions and their NULL rules.
VALUES (XMLCLOBFromFile(CAST(NULL AS VARCHAR(512))));
VALUES (XMLVarcharFromFile(CAST(NULL AS VARCHAR(512))));
VALUES (XMLFileFromVarchar('<a/>', '@DATA@/out.xml', CAST(NULL AS VARCHAR(100))));
VALUES (XMLFileFromVarchar('<a>café</a>', '@DATA@/out.xml'));
VALUES (extractVarchar(quarnxml.XMLFile('@DATA@/out.xml'), '/a'));
VALUES (extractVarchar(XMLVarcharFromFile('@DATA@/out.xml'), '/a'));
-- XMLVarcharFromFile reads up to 32,672 bytes; a value longer than XMLVarchar's 3,000 is
-- refused (22001) instead of being stored or overrunning the result.
VALUES (XMLFileFromVarchar('<a>' || repeat('x', 2993) || '</a>', '@DATA@/fits.xml'));
VALUES (length(CAST(XMLVarcharFromFile('@DATA@/fits.xml') AS VARCHAR)));
VALUES (XMLFileFromVarchar('<a>' || repeat('x', 4993) || '</a>', '@DATA@/long.xml'));
VALUES (length(CAST(XMLVarcharFromFile('@DATA@/long.xml') AS VARCHAR)));
-- Files outside the allowed directories are refused.
VALUES (extractInteger(quarnxml.XMLFile('/etc/hostname'), '/a'));
VALUES (XMLVarcharFromFile('/etc/hostname'));
VALUES (XMLFileFromVarchar('<a/>', '@DATA@/../escaped.xml'));
-- seqno counts the rows of one statement.
CREATE TABLE three (n INT);
INSERT INTO three VALUES (1), (2), (3);
SELECT seqno(), n FROM three ORDER BY n;
-- A CLOB above the memory threshold goes through a temporary file that is removed.
VALUES (extractInteger(XMLCLOBFromFile('@DATA@/big.xml'), '/big/item[@n="1000"]'));
SELECT COUNT(*) FROM extractIntegers(XMLCLOBFromFile('@DATA@/big.xml'), '//item') AS t;
