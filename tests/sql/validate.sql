-- [register]
-- The validate and validateschema functions through the engine: valid and invalid documents
-- over the three sources, DTDs as files, as text and from DTD_REF, schemas, NULLs, refused
-- files, and the triggers column enablement makes with them.
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
-- A DTD and a schema written as server files.
VALUES XMLFileFromVarchar('<!ELEMENT order (item+)><!ATTLIST order id CDATA #REQUIRED status (open|shipped) #REQUIRED><!ELEMENT item (#PCDATA)>', '@DATA@/order.dtd');
VALUES XMLFileFromVarchar('<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"><xs:element name="order"><xs:complexType><xs:sequence><xs:element name="item" type="xs:string" maxOccurs="unbounded"/></xs:sequence><xs:attribute name="id" type="xs:int" use="required"/></xs:complexType></xs:element></xs:schema>', '@DATA@/order.xsd');
VALUES XMLFileFromVarchar('<!DOCTYPE order SYSTEM "order.dtd"><order id="1" status="open"><item>x</item></order>', '@DATA@/order1.xml');
VALUES XMLFileFromVarchar('<!DOCTYPE order SYSTEM "order.dtd"><order id="2" status="lost"><item>y</item></order>', '@DATA@/order2.xml');
-- The DTD stored in DTD_REF, as column enablement reads it.
INSERT INTO quarnxml.dtd_ref VALUES ('order.dtd', XMLCLOBFromFile('@DATA@/order.dtd'), 0, 'tester', 'tester', 'tester');
CREATE TABLE docs (id INT NOT NULL PRIMARY KEY, v quarnxml.XMLVarchar, c quarnxml.XMLCLOB, f quarnxml.XMLFile);
INSERT INTO docs VALUES (1, XMLVarchar('<!DOCTYPE order SYSTEM "order.dtd"><order id="1" status="open"><item>x</item></order>'), XMLCLOB('<!DOCTYPE order SYSTEM "order.dtd"><order id="1" status="open"><item>x</item></order>'), XMLFile('@DATA@/order1.xml'));
INSERT INTO docs VALUES (2, XMLVarchar('<!DOCTYPE order SYSTEM "order.dtd"><order id="2" status="lost"><item>y</item></order>'), XMLCLOB('<!DOCTYPE order SYSTEM "order.dtd"><order id="2" status="lost"><item>y</item></order>'), XMLFile('@DATA@/order2.xml'));
-- Valid: 1 over each source, with the DTD as a file name and as text from DTD_REF.
SELECT d.id, validate(d.v, '@DATA@/order.dtd', 'order.dtd') AS v, validate(d.c, '@DATA@/order.dtd', 'order.dtd') AS c, validate(d.f, '@DATA@/order.dtd', 'order.dtd') AS f FROM docs AS d WHERE d.id = 1;
SELECT d.id, validate(d.v, r.content, r.dtdid) AS v, validate(d.c, r.content, r.dtdid) AS c, validate(d.f, r.content, r.dtdid) AS f FROM docs AS d, quarnxml.dtd_ref AS r WHERE d.id = 1 AND r.dtdid = 'order.dtd';
-- An empty DTD name: the DTD the DOCTYPE names, from the document's own directory.
SELECT id, validate(f, '', 'order.dtd') FROM docs WHERE id = 1;
-- Invalid: KELQ047E with SQLSTATE 38X13, over each source.
SELECT validate(v, '@DATA@/order.dtd', 'order.dtd') FROM docs WHERE id = 2;
SELECT validate(c, r.content, r.dtdid) FROM docs AS d, quarnxml.dtd_ref AS r WHERE d.id = 2;
SELECT validate(f, '', 'order.dtd') FROM docs WHERE id = 2;
VALUES validate(XMLVarchar('<order id="1" status="open"><item>x</item></order>'), '@DATA@/order.dtd', 'order.dtd');
VALUES validate(XMLVarchar('<!DOCTYPE order SYSTEM "order.dtd"><order id="1" status="open"><item>x</item>'), '@DATA@/order.dtd', 'order.dtd');
-- A DOCTYPE naming no external DTD never reads the DTD given: refused, whatever it declares.
VALUES validate(XMLVarchar('<!DOCTYPE order [<!ELEMENT order ANY>]><order/>'), '@DATA@/order.dtd', 'order.dtd');
-- A DTD that does not parse.
VALUES validate(XMLVarchar('<!DOCTYPE order SYSTEM "order.dtd"><order/>'), XMLCLOB('<!ELEMENT order (item+>'), 'bad');
-- NULL arguments: NULL, without an error.
VALUES validate(CAST(NULL AS quarnxml.XMLVarchar), '@DATA@/order.dtd', 'order.dtd');
VALUES validate(XMLVarchar('<order/>'), CAST(NULL AS VARCHAR(512)), 'order.dtd');
VALUES validateschema(CAST(NULL AS quarnxml.XMLVarchar), '@DATA@/order.xsd');
-- DTD files and documents outside the readable directories are refused; a missing DTD file
-- cannot be opened.
VALUES validate(XMLVarchar('<!DOCTYPE order SYSTEM "order.dtd"><order/>'), '/etc/hostname', 'x');
VALUES validate(XMLVarchar('<!DOCTYPE order SYSTEM "order.dtd"><order/>'), '@DATA@/../order.dtd', 'x');
VALUES validate(XMLVarchar('<!DOCTYPE order SYSTEM "order.dtd"><order/>'), '@DATA@/none.dtd', 'x');
VALUES validate(XMLFile('/etc/hostname'), '@DATA@/order.dtd', 'x');
VALUES validate(XMLVarchar('<!DOCTYPE order SYSTEM "/etc/hostname"><order/>'), '', 'x');
-- Schemas: valid, invalid, missing, outside the readable directories.
SELECT id, validateschema(XMLVarchar('<order id="' || CHAR(id) || '"><item>x</item></order>'), '@DATA@/order.xsd') FROM docs ORDER BY id;
VALUES validateschema(XMLCLOB('<order id="x"><item>x</item></order>'), '@DATA@/order.xsd');
VALUES validateschema(XMLVarchar('<order id="1"/>'), '@DATA@/none.xsd');
VALUES validateschema(XMLVarchar('<order id="1"/>'), '/etc/hostname');
-- The validation triggers column enablement creates: the DTD from DTD_REF, and a schema.
CREATE TABLE orders (id INT NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar);
CREATE TRIGGER tester.vorders NO CASCADE BEFORE INSERT ON orders REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL WHEN (0 = (SELECT quarnxml.validate(NEWROW.doc, QUARNXML.DTD_REF.CONTENT, 'order.dtd') FROM quarnxml.dtd_ref WHERE dtdid='order.dtd')) SIGNAL SQLSTATE '38X14' ('KELD000E  An invalid XML document is rejected.');
INSERT INTO orders VALUES (1, XMLVarchar('<!DOCTYPE order SYSTEM "order.dtd"><order id="1" status="open"><item>x</item></order>'));
INSERT INTO orders VALUES (2, XMLVarchar('<!DOCTYPE order SYSTEM "order.dtd"><order id="2" status="lost"><item>y</item></order>'));
CREATE TABLE sorders (id INT NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar);
CREATE TRIGGER tester.vsorders NO CASCADE BEFORE INSERT ON sorders REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL WHEN (0 = (VALUES quarnxml.validateschema(NEWROW.doc, '@DATA@/order.xsd') ))SIGNAL SQLSTATE '38X14' ('KELD000E  An invalid XML document is rejected.');
INSERT INTO sorders VALUES (1, XMLVarchar('<order id="1"><item>x</item></order>'));
INSERT INTO sorders VALUES (2, XMLVarchar('<order id="two"><item>x</item></order>'));
SELECT 'orders', id FROM orders UNION ALL SELECT 'sorders', id FROM sorders ORDER BY 1, 2;
-- Documents and DTDs above the memory threshold go through temporary files that are removed.
VALUES validate(XMLVarchar('<!DOCTYPE big SYSTEM "b.dtd"><big><item n="1">7</item></big>'), XMLCLOBFromFile('@DATA@/big.dtd'), 'big');
VALUES validate(XMLVarchar('<!DOCTYPE big SYSTEM "b.dtd"><big><item>7</item></big>'), XMLCLOBFromFile('@DATA@/big.dtd'), 'big');
VALUES XMLFileFromVarchar('<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"><xs:element name="big"><xs:complexType><xs:sequence><xs:element name="item" maxOccurs="unbounded"><xs:complexType><xs:simpleContent><xs:extension base="xs:int"><xs:attribute name="n" type="xs:int"/></xs:extension></xs:simpleContent></xs:complexType></xs:element></xs:sequence></xs:complexType></xs:element></xs:schema>', '@DATA@/big.xsd');
VALUES validateschema(XMLCLOBFromFile('@DATA@/big.xml'), '@DATA@/big.xsd');
