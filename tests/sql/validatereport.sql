-- [register]
-- The validation report table functions: every error of a document with its line, column and
-- element path, over the three document sources and the three DTD forms (a file name, the DTD
-- text from DTD_REF, the document's own DOCTYPE), against a schema, for valid and malformed
-- documents, NULL arguments, refused files and the cut after 1,000 rows.
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
-- The order DTD and schema as server files, and the DTD in DTD_REF.
VALUES XMLFileFromVarchar('<!ELEMENT order (customer, date, item+)><!ATTLIST order id CDATA #REQUIRED status (open|shipped|delivered|cancelled) #REQUIRED><!ELEMENT customer (name, city)><!ELEMENT name (#PCDATA)><!ELEMENT city (#PCDATA)><!ELEMENT date (#PCDATA)><!ELEMENT item (title, qty, price)><!ATTLIST item sku CDATA #REQUIRED kind (book|cd) #REQUIRED><!ELEMENT title (#PCDATA)><!ELEMENT qty (#PCDATA)><!ELEMENT price (#PCDATA)>', '@DATA@/rorder.dtd');
VALUES XMLFileFromVarchar('<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"><xs:element name="order"><xs:complexType><xs:sequence><xs:element name="customer" type="xs:string"/><xs:element name="item" maxOccurs="unbounded"><xs:complexType><xs:sequence><xs:element name="title" type="xs:string"/><xs:element name="qty" type="xs:positiveInteger"/></xs:sequence><xs:attribute name="sku" type="xs:string" use="required"/></xs:complexType></xs:element></xs:sequence><xs:attribute name="id" type="xs:int" use="required"/></xs:complexType></xs:element></xs:schema>', '@DATA@/rorder.xsd');
INSERT INTO quarnxml.dtd_ref VALUES ('rorder.dtd', XMLCLOBFromFile('@DATA@/rorder.dtd'), 0, 'tester', 'tester', 'tester');
-- Document 1 is valid; document 2 has three violations: the first item lacks its required
-- attribute kind (line 3), the second item holds an undeclared element note (line 4) and has
-- its qty before its title (reported at its end tag, line 5).
VALUES XMLFileFromVarchar('<!DOCTYPE order SYSTEM "rorder.dtd">
<order id="1" status="open"><customer><name>Ann</name><city>Oslo</city></customer><date>2026-12-08</date>
<item sku="b1" kind="book"><title>T</title><qty>1</qty><price>9.5</price></item>
</order>', '@DATA@/good.xml');
VALUES XMLFileFromVarchar('<!DOCTYPE order SYSTEM "rorder.dtd">
<order id="2" status="open"><customer><name>Bo</name><city>Rome</city></customer><date>2026-12-08</date>
<item sku="b1"><title>T</title><qty>1</qty><price>9.5</price></item>
<item sku="c2" kind="cd"><note>gift</note>
<qty>2</qty><title>U</title><price>3</price></item>
</order>', '@DATA@/bad.xml');
CREATE TABLE docs (id INT NOT NULL PRIMARY KEY, v quarnxml.XMLVarchar, c quarnxml.XMLCLOB, f quarnxml.XMLFile);
INSERT INTO docs VALUES (1, XMLVarcharFromFile('@DATA@/good.xml'), XMLCLOBFromFile('@DATA@/good.xml'), XMLFile('@DATA@/good.xml'));
INSERT INTO docs VALUES (2, XMLVarcharFromFile('@DATA@/bad.xml'), XMLCLOBFromFile('@DATA@/bad.xml'), XMLFile('@DATA@/bad.xml'));
-- The three rows of document 2 over each source, with the DTD as a file name.
SELECT 'varchar', r.* FROM docs AS d, TABLE(validateReport(d.v, '@DATA@/rorder.dtd')) AS r WHERE d.id = 2 ORDER BY r.seq;
SELECT 'clob', r.* FROM docs AS d, TABLE(validateReport(d.c, '@DATA@/rorder.dtd')) AS r WHERE d.id = 2 ORDER BY r.seq;
SELECT 'file', r.* FROM docs AS d, TABLE(validateReport(d.f, '@DATA@/rorder.dtd')) AS r WHERE d.id = 2 ORDER BY r.seq;
-- The DTD text from DTD_REF and the file's own DOCTYPE give the same rows (seq, line, col, path).
SELECT 'varchar', r.seq, r.line, r.col, r.element_path FROM docs AS d, quarnxml.dtd_ref AS x, TABLE(validateReport(d.v, x.content)) AS r WHERE d.id = 2 AND x.dtdid = 'rorder.dtd' ORDER BY r.seq;
SELECT 'clob', r.seq, r.line, r.col, r.element_path FROM docs AS d, quarnxml.dtd_ref AS x, TABLE(validateReport(d.c, x.content)) AS r WHERE d.id = 2 AND x.dtdid = 'rorder.dtd' ORDER BY r.seq;
SELECT 'file', r.seq, r.line, r.col, r.element_path FROM docs AS d, quarnxml.dtd_ref AS x, TABLE(validateReport(d.f, x.content)) AS r WHERE d.id = 2 AND x.dtdid = 'rorder.dtd' ORDER BY r.seq;
SELECT 'file', r.seq, r.line, r.col, r.element_path FROM docs AS d, TABLE(validateReport(d.f, '')) AS r WHERE d.id = 2 ORDER BY r.seq;
-- Text documents name their DTD against the current directory: with '' the DOCTYPE names the
-- DTD where it is (document 3 is document 2 with that DOCTYPE; the same lines and columns).
VALUES XMLFileFromVarchar('<!DOCTYPE order SYSTEM "@DATA@/rorder.dtd">
<order id="2" status="open"><customer><name>Bo</name><city>Rome</city></customer><date>2026-12-08</date>
<item sku="b1"><title>T</title><qty>1</qty><price>9.5</price></item>
<item sku="c2" kind="cd"><note>gift</note>
<qty>2</qty><title>U</title><price>3</price></item>
</order>', '@DATA@/bad3.xml');
INSERT INTO docs VALUES (3, XMLVarcharFromFile('@DATA@/bad3.xml'), XMLCLOBFromFile('@DATA@/bad3.xml'), XMLFile('@DATA@/bad3.xml'));
SELECT 'varchar', r.seq, r.line, r.col, r.element_path FROM docs AS d, TABLE(validateReport(d.v, '')) AS r WHERE d.id = 3 ORDER BY r.seq;
SELECT 'clob', r.seq, r.line, r.col, r.element_path FROM docs AS d, TABLE(validateReport(d.c, '')) AS r WHERE d.id = 3 ORDER BY r.seq;
-- A valid document gives no rows, whatever the source and DTD form.
SELECT COUNT(*) FROM docs AS d, TABLE(validateReport(d.v, '@DATA@/rorder.dtd')) AS r WHERE d.id = 1;
SELECT COUNT(*) FROM docs AS d, quarnxml.dtd_ref AS x, TABLE(validateReport(d.c, x.content)) AS r WHERE d.id = 1;
SELECT COUNT(*) FROM docs AS d, TABLE(validateReport(d.f, '')) AS r WHERE d.id = 1;
-- One report per document of a statement.
SELECT d.id, COUNT(r.seq) FROM docs AS d, TABLE(validateReport(d.v, '@DATA@/rorder.dtd')) AS r GROUP BY d.id ORDER BY d.id;
SELECT d.id, r.seq, r.element_path FROM docs AS d, TABLE(validateReport(d.f, '@DATA@/rorder.dtd')) AS r ORDER BY d.id, r.seq;
-- A document that is not well formed: the validity errors before the fatal error, which is last.
SELECT r.* FROM TABLE(validateReport(XMLVarchar('<!DOCTYPE order SYSTEM "x"><order id="4"><customer><name>n</name></customer><date>d</dat></order>'), '@DATA@/rorder.dtd')) AS r;
-- Against a schema: a missing required attribute, an undeclared element, a value of the wrong type.
SELECT 'varchar', r.* FROM TABLE(validateReportSchema(XMLVarchar('<order><customer>c</customer><item sku="1"><title>t</title><qty>0</qty></item><item><title>u</title><qty>2</qty><note/></item></order>'), '@DATA@/rorder.xsd')) AS r;
SELECT 'clob', r.seq, r.line, r.col, r.element_path FROM TABLE(validateReportSchema(XMLCLOB('<order><customer>c</customer><item sku="1"><title>t</title><qty>0</qty></item><item><title>u</title><qty>2</qty><note/></item></order>'), '@DATA@/rorder.xsd')) AS r;
VALUES XMLFileFromVarchar('<order id="5"><customer>c</customer><item sku="1"><title>t</title><qty>0</qty></item></order>', '@DATA@/s.xml');
SELECT 'file', r.seq, r.line, r.col, r.element_path FROM TABLE(validateReportSchema(XMLFile('@DATA@/s.xml'), '@DATA@/rorder.xsd')) AS r;
SELECT COUNT(*) FROM TABLE(validateReportSchema(XMLVarchar('<order id="6"><customer>c</customer><item sku="1"><title>t</title><qty>3</qty></item></order>'), '@DATA@/rorder.xsd')) AS r;
-- The cut: 1,200 items each lacking two attributes give 1,000 rows and the row that says so.
SELECT COUNT(*), MAX(r.seq) FROM TABLE(validateReport(XMLFile('@DATA@/manyerrors.xml'), '@DATA@/rorder.dtd')) AS r;
SELECT r.* FROM TABLE(validateReport(XMLFile('@DATA@/manyerrors.xml'), '@DATA@/rorder.dtd')) AS r WHERE r.seq >= 999;
-- NULL arguments give an empty table.
SELECT COUNT(*) FROM TABLE(validateReport(CAST(NULL AS quarnxml.XMLVarchar), '@DATA@/rorder.dtd')) AS r;
SELECT COUNT(*) FROM TABLE(validateReport(XMLVarchar('<order/>'), CAST(NULL AS VARCHAR(512)))) AS r;
SELECT COUNT(*) FROM TABLE(validateReport(XMLVarchar('<order/>'), CAST(NULL AS quarnxml.XMLCLOB))) AS r;
SELECT COUNT(*) FROM TABLE(validateReportSchema(XMLVarchar('<order/>'), CAST(NULL AS VARCHAR(1000)))) AS r;
-- Files outside the readable directories: a DTD file or document fails the statement as
-- validate does; a DTD the DOCTYPE names is the report's last row; so is a refused schema.
SELECT * FROM TABLE(validateReport(XMLVarchar('<order/>'), '/etc/hostname')) AS r;
SELECT * FROM TABLE(validateReport(XMLVarchar('<order/>'), '@DATA@/none.dtd')) AS r;
SELECT * FROM TABLE(validateReport(XMLFile('/etc/hostname'), '@DATA@/rorder.dtd')) AS r;
SELECT * FROM TABLE(validateReport(XMLVarchar('<!DOCTYPE order SYSTEM "/etc/hostname"><order/>'), '')) AS r;
SELECT * FROM TABLE(validateReportSchema(XMLVarchar('<order id="1"/>'), '/etc/hostname')) AS r;
-- Entity expansion is bounded: the report ends with the parser's refusal.
SELECT r.* FROM TABLE(validateReport(XMLVarchar('<!DOCTYPE a [<!ENTITY e0 "x"><!ENTITY e1 "&e0;&e0;&e0;&e0;&e0;&e0;&e0;&e0;&e0;&e0;"><!ENTITY e2 "&e1;&e1;&e1;&e1;&e1;&e1;&e1;&e1;&e1;&e1;"><!ENTITY e3 "&e2;&e2;&e2;&e2;&e2;&e2;&e2;&e2;&e2;&e2;"><!ENTITY e4 "&e3;&e3;&e3;&e3;&e3;&e3;&e3;&e3;&e3;&e3;"><!ELEMENT a (#PCDATA)>]><a>&e4;&e4;</a>'), '')) AS r;
-- An error in text names the element around the text, not the element that starts after it.
SELECT r.seq, r.line, r.col, r.element_path, r.message FROM TABLE(validateReport(XMLVarchar('<!DOCTYPE r [<!ELEMENT r (a,m)><!ELEMENT a (#PCDATA)><!ELEMENT m EMPTY>]><r><a>x</a> stray <m/></r>'), '')) AS r;
