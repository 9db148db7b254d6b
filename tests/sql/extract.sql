-- [register]
-- The extract and storage functions through the engine, grouped by source, type, scalar or
-- table, and DTD.
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
CREATE TABLE docs (id INT NOT NULL PRIMARY KEY, f quarnxml.XMLFile, v quarnxml.XMLVarchar, c quarnxml.XMLCLOB);
INSERT INTO docs VALUES (1, quarnxml.XMLFile('@DATA@/order.xml'), quarnxml.XMLVarchar('<order id="7"><item><price>10</price></item><item><price>5</price></item></order>'), quarnxml.XMLCLOB('<order id="7"><item><price>10</price></item><item><price>5</price></item></order>'));
-- The same extraction over an XMLFile, an XMLVarchar and an XMLCLOB column.
SELECT extractInteger(f, '/order/@id') AS from_file, extractInteger(v, '/order/@id') AS from_varchar, extractInteger(c, '/order/@id') AS from_clob FROM docs;
SELECT 'file', x.returnedInteger FROM docs AS d, TABLE(extractIntegers(d.f, '//price')) AS x;
SELECT 'varchar', x.returnedInteger FROM docs AS d, TABLE(extractIntegers(d.v, '//price')) AS x;
SELECT 'clob', x.returnedInteger FROM docs AS d, TABLE(extractIntegers(d.c, '//price')) AS x;
-- Scalar: one value; none (NULL, warning 01HX0); several (error 38X08).
VALUES extractInteger(quarnxml.XMLVarchar('<a><b>12</b></a>'), '/a/b');
VALUES extractInteger(quarnxml.XMLVarchar('<a><b>12</b></a>'), '/a/c');
VALUES extractInteger(quarnxml.XMLVarchar('<a><b>12</b><b>13</b></a>'), '/a/b');
-- Table: two rows; no row and no warning.
SELECT * FROM TABLE(extractIntegers(quarnxml.XMLVarchar('<a><b>12</b><b>13</b></a>'), '/a/b')) AS t;
SELECT * FROM TABLE(extractIntegers(quarnxml.XMLVarchar('<a><b>12</b></a>'), '/a/c')) AS t;
-- Numbers: a value, an exponent out of range, 31 characters, not a number (NULL without error).
VALUES extractDouble(quarnxml.XMLVarchar('<a>1.5e3</a>'), '/a');
VALUES extractDouble(quarnxml.XMLVarchar('<a>1.5e99</a>'), '/a');
VALUES extractDouble(quarnxml.XMLVarchar('<a>1234567890123456789012345678901</a>'), '/a');
VALUES extractDouble(quarnxml.XMLVarchar('<a>12abc</a>'), '/a');
VALUES extractReal(quarnxml.XMLVarchar('<a>0.25</a>'), '/a');
-- A number beyond the range of REAL has no REAL value: NULL, as for any number out of range.
VALUES extractReal(quarnxml.XMLVarchar('<a>1e39</a>'), '/a');
VALUES extractSmallint(quarnxml.XMLVarchar('<a>70000</a>'), '/a');
-- An indented number: the white space around it does not count towards the 30 bytes (12.5 as
-- extractInteger reads 12); a mantissa without a digit is no number (NULL, as for 'e').
VALUES (extractDouble(quarnxml.XMLVarchar('<a>
                        12.50
                    </a>'), '/a'), extractInteger(quarnxml.XMLVarchar('<a>
                        12.50
                    </a>'), '/a'));
SELECT t.returnedReal FROM TABLE(extractReals(quarnxml.XMLCLOB('<a><r>e5</r><r>-e5</r><r>.e1</r><r>E-3</r><r>e</r><r>0e5</r></a>'), '/a/r')) AS t;
-- A number has 4000 bytes of room in the scalar form over an XMLVarchar or a file and 254 in the
-- table forms and from an XMLCLOB: 300 zeros then 7 is 7 from the first, KELC013E from the others.
-- White space around a number does not use the room (a number indented by 300 blanks fits
-- 254).
CREATE TABLE zeros (id INT, v quarnxml.XMLVarchar, c quarnxml.XMLCLOB);
INSERT INTO zeros VALUES (1, quarnxml.XMLVarchar('<a>0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000007</a>'), quarnxml.XMLCLOB('<a>0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000007</a>'));
SELECT extractInteger(v, '/a'), extractDouble(v, '/a') FROM zeros;
SELECT extractInteger(c, '/a') FROM zeros;
SELECT 'varchar', t.returnedInteger FROM zeros AS z, TABLE(extractIntegers(z.v, '/a')) AS t;
SELECT 'clob', t.returnedSmallint FROM zeros AS z, TABLE(extractSmallints(z.c, '/a')) AS t;
SELECT t.returnedInteger FROM TABLE(extractIntegers(quarnxml.XMLCLOB('<a>
                                                                                                                                                                                                                                                                                                            42
</a>'), '/a')) AS t;
-- Dates, times, timestamps; a date text too long for the date limit (KELC013E).
VALUES extractDate(quarnxml.XMLVarchar('<a>2005-06-05</a>'), '/a');
VALUES extractDate(quarnxml.XMLVarchar('<a>2005-06-05T10:00</a>'), '/a');
VALUES extractTime(quarnxml.XMLVarchar('<a>10.30.00</a>'), '/a');
VALUES extractTimestamp(quarnxml.XMLVarchar('<a>2005-06-05-10.30.00</a>'), '/a');
-- A date, time or timestamp is read as the host reads one: text that is none is an error
-- (22007), a short form becomes the stored form and compares as a date.
VALUES extractDate(quarnxml.XMLVarchar('<a>hello</a>'), '/a');
VALUES extractTime(quarnxml.XMLVarchar('<a>25:99:99</a>'), '/a');
VALUES extractTimestamp(quarnxml.XMLVarchar('<a>2005-13-45-99.99.99</a>'), '/a');
VALUES extractDate(quarnxml.XMLVarchar('<a>2005-6-5</a>'), '/a');
VALUES CASE WHEN extractDate(quarnxml.XMLVarchar('<a>2005-6-5</a>'), '/a') < DATE('2005-06-10') THEN 'before' ELSE 'after' END;
-- XML white space around a date, time or timestamp is no part of it, in the size limit too
-- (a pretty-printed date gave KELC013E); other text around it still exceeds the limit.
VALUES (extractDate(quarnxml.XMLVarchar('<a> 2005-06-05</a>'), '/a'), extractTime(quarnxml.XMLCLOB('<a>	10.30.00 </a>'), '/a'), extractTimestamp(quarnxml.XMLVarchar('<a> 2005-06-05-10.30.00.000001 </a>'), '/a'));
SELECT * FROM TABLE(extractDates(quarnxml.XMLCLOB('<dates>
  <date>
    2005-06-05
  </date>
  <date>2005-6-7 </date>
</dates>'), '/dates/date')) AS t;
SELECT * FROM TABLE(extractTimestamps(quarnxml.XMLVarchar('<a><t>
 2005-06-05-10.30.00
</t></a>'), '/a/t')) AS t;
VALUES extractDate(quarnxml.XMLVarchar('<a> 2005-06-05 x</a>'), '/a');
SELECT * FROM TABLE(extractDates(quarnxml.XMLVarchar('<a><d> 2005-06-05 </d><d>2005-06-05 x</d></a>'), '/a/d')) AS t;
SELECT returnedDate FROM TABLE(extractDates(quarnxml.XMLVarchar('<a><d>2005-6-5</d><d>hello</d></a>'), '/a/d')) AS t;
-- Varchar: 3999 bytes pass, 4000 exceed the limit.
VALUES LENGTH(extractVarchar(XMLCLOBFromFile('@DATA@/v3999.xml'), '/a'));
VALUES LENGTH(extractVarchar(XMLCLOBFromFile('@DATA@/v4000.xml'), '/a'));
-- Clob: the selected element with its markup.
VALUES extractClob(quarnxml.XMLVarchar('<a><b x="1">t</b></a>'), '/a/b');
SELECT * FROM TABLE(extractClobs(quarnxml.XMLVarchar('<a><b>1</b><b><c/></b></a>'), '/a/b')) AS t;
-- The markup reads back as the element: TAB, LF and CR of an attribute and CR of text as references.
VALUES HEX(CAST(extractClob(quarnxml.XMLVarchar('<a><b k="x&#10;y&#9;z">p&#13;q</b></a>'), '/a/b') AS VARCHAR(100)));
VALUES HEX(extractVarchar(XMLVarchar(CAST(extractClob(quarnxml.XMLVarchar('<a><b k="x&#10;y&#9;z">p&#13;q</b></a>'), '/a/b') AS VARCHAR(100))), '/b/@k'));
-- With DTD: an entity only the DTD declares; every row is read with its own DTD, in the scalar
-- and the table form (the first row's DTD was used for all), a NULL DTD is none for its row.
CREATE TABLE dtds (id INT NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar, dtd quarnxml.XMLCLOB);
INSERT INTO dtds VALUES (1, quarnxml.XMLVarchar('<!DOCTYPE a SYSTEM "x.dtd"><a>&who;</a>'), XMLCLOBFromFile('@DATA@/entity.dtd'));
INSERT INTO dtds VALUES (2, quarnxml.XMLVarchar('<!DOCTYPE a SYSTEM "x.dtd"><a>&who; again</a>'), XMLCLOBFromFile('@DATA@/other.dtd'));
INSERT INTO dtds VALUES (3, quarnxml.XMLVarchar('<!DOCTYPE a SYSTEM "x.dtd"><a>&who; too</a>'), XMLCLOBFromFile('@DATA@/other.dtd'));
INSERT INTO dtds VALUES (4, quarnxml.XMLVarchar('<!DOCTYPE a SYSTEM "x.dtd"><a>last</a>'), quarnxml.XMLCLOB('<!ENTITY who "unused">'));
SELECT id, extractVarcharWDTD(doc, dtd, '/a') FROM dtds ORDER BY id;
SELECT d.id, t.* FROM dtds AS d, TABLE(extractVarcharsDTD(d.doc, d.dtd, '/a')) AS t ORDER BY d.id;
SELECT id, extractVarchar(doc, '/a') FROM dtds ORDER BY id;
CREATE TABLE dtdnull (id INT NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar, dtd quarnxml.XMLCLOB);
INSERT INTO dtdnull VALUES (1, quarnxml.XMLVarchar('<!DOCTYPE a SYSTEM "x.dtd"><a>plain</a>'), NULL);
INSERT INTO dtdnull VALUES (2, quarnxml.XMLVarchar('<!DOCTYPE a SYSTEM "x.dtd"><a>&who;</a>'), XMLCLOBFromFile('@DATA@/entity.dtd'));
SELECT id, extractVarcharWDTD(doc, dtd, '/a') FROM dtdnull ORDER BY id;
SELECT d.id, t.* FROM dtdnull AS d, TABLE(extractVarcharsDTD(d.doc, d.dtd, '/a')) AS t ORDER BY d.id;
-- A NULL DTD after one that declares the entity: the entity is not declared for that row.
INSERT INTO dtdnull VALUES (3, quarnxml.XMLVarchar('<!DOCTYPE a SYSTEM "x.dtd"><a>&who; left</a>'), NULL);
SELECT id, extractVarcharWDTD(doc, dtd, '/a') FROM dtdnull ORDER BY id;
-- Storage functions and their NULL rules.
VALUES XMLCLOBFromFile(CAST(NULL AS VARCHAR(512)));
VALUES XMLVarcharFromFile(CAST(NULL AS VARCHAR(512)));
VALUES XMLFileFromVarchar('<a/>', '@DATA@/out.xml', CAST(NULL AS VARCHAR(100)));
VALUES XMLFileFromVarchar('<a>café</a>', '@DATA@/out.xml');
VALUES extractVarchar(quarnxml.XMLFile('@DATA@/out.xml'), '/a');
VALUES extractVarchar(XMLVarcharFromFile('@DATA@/out.xml'), '/a');
-- A character the file's encoding cannot hold fails the conversion; no file is written.
VALUES XMLFileFromVarchar('<?xml version="1.0"?><a>☺ é</a>', '@DATA@/smile.xml', 'ISO-8859-1');
VALUES Content(XMLCLOB('<?xml version="1.0"?><a>☺ é</a>'), '@DATA@/smile.xml', 'ISO-8859-1');
VALUES extractVarchar(quarnxml.XMLFile('@DATA@/smile.xml'), '/a');
-- Files outside the allowed directories are refused.
VALUES extractInteger(quarnxml.XMLFile('/etc/hostname'), '/a');
VALUES XMLVarcharFromFile('/etc/hostname');
VALUES XMLFileFromVarchar('<a/>', '@DATA@/../escaped.xml');
-- seqno counts the rows of one statement.
CREATE TABLE three (n INT);
INSERT INTO three VALUES (1), (2), (3);
SELECT seqno(), n FROM three ORDER BY n;
-- A CLOB above the memory threshold goes through a temporary file that is removed.
VALUES extractInteger(XMLCLOBFromFile('@DATA@/big.xml'), '/big/item[@n="1000"]');
SELECT COUNT(*) FROM TABLE(extractIntegers(XMLCLOBFromFile('@DATA@/big.xml'), '//item')) AS t;
