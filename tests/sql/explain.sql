-- [register]
-- explainPath: why a path selects what it selects, or nothing, over the three sources.
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
-- A namespace prefix in the document the path does not write.
SELECT t.KIND, t.LINE, t.COL, SUBSTR(t.FOUND_PATH, 1, 20) AS FOUND, SUBSTR(t.DETAIL, 1, 80) AS DETAIL FROM TABLE(explainPath(quarnxml.XMLVarchar('<o:order xmlns:o="u"><o:item/></o:order>'), '/order/item')) AS t;
-- A name in other letter case.
SELECT t.KIND, t.LINE, t.COL, SUBSTR(t.FOUND_PATH, 1, 20) AS FOUND, SUBSTR(t.DETAIL, 1, 80) AS DETAIL FROM TABLE(explainPath(quarnxml.XMLVarchar('<order><item/></order>'), '/Order/item')) AS t;
-- A predicate the element fails, with the value it has.
SELECT t.KIND, t.LINE, t.COL, SUBSTR(t.FOUND_PATH, 1, 20) AS FOUND, SUBSTR(t.DETAIL, 1, 80) AS DETAIL FROM TABLE(explainPath(quarnxml.XMLVarchar('<a><b k="y"/></a>'), '/a/b[@k="x"]')) AS t;
-- The step's name at another depth.
SELECT t.KIND, t.LINE, t.COL, SUBSTR(t.FOUND_PATH, 1, 20) AS FOUND, SUBSTR(t.DETAIL, 1, 100) AS DETAIL FROM TABLE(explainPath(quarnxml.XMLVarchar('<a><b><c/></b></a>'), '/a/c')) AS t;
-- A position the path language ignores: reported at its "[" (LINE is NULL), and the two matches
-- behind 38X08.
SELECT t.KIND, t.LINE, t.COL, SUBSTR(t.FOUND_PATH, 1, 20) AS FOUND, SUBSTR(t.DETAIL, 1, 100) AS DETAIL FROM TABLE(explainPath(quarnxml.XMLVarchar('<a><b>1</b><b>2</b></a>'), '/a/b[2]')) AS t;
VALUES extractVarchar(quarnxml.XMLVarchar('<a><b>1</b><b>2</b></a>'), '/a/b[2]');
-- A path that matches gives MATCH rows only; attributes show their values.
SELECT t.KIND, t.LINE, t.COL, SUBSTR(t.FOUND_PATH, 1, 20) AS FOUND, SUBSTR(t.DETAIL, 1, 20) AS DETAIL FROM TABLE(explainPath(quarnxml.XMLVarchar('<order><item/>
<item/><Item/></order>'), '/order/item')) AS t;
SELECT t.KIND, t.LINE, t.COL, SUBSTR(t.FOUND_PATH, 1, 20) AS FOUND, SUBSTR(t.DETAIL, 1, 20) AS DETAIL FROM TABLE(explainPath(quarnxml.XMLVarchar('<a><b k="1"/><b k="2"/></a>'), '/a/b/@k')) AS t;
-- The XMLCLOB and XMLFile sources.
SELECT t.KIND, t.LINE, t.COL, SUBSTR(t.FOUND_PATH, 1, 20) AS FOUND FROM TABLE(explainPath(quarnxml.XMLCLOB('<o:order xmlns:o="u"><o:item/></o:order>'), '/order/item')) AS t;
SELECT t.KIND, t.LINE, t.COL, SUBSTR(t.FOUND_PATH, 1, 30) AS FOUND FROM TABLE(explainPath(quarnxml.XMLFile('@DATA@/order.xml'), '/order/Item')) AS t;
-- Per row of a table.
CREATE TABLE docs (id INT NOT NULL PRIMARY KEY, v quarnxml.XMLVarchar);
INSERT INTO docs VALUES (1, quarnxml.XMLVarchar('<a><b/></a>')), (2, quarnxml.XMLVarchar('<A><b/></A>')), (3, NULL);
SELECT d.id, t.KIND, SUBSTR(t.FOUND_PATH, 1, 10) AS FOUND FROM docs AS d, TABLE(explainPath(d.v, '/a/b')) AS t ORDER BY d.id;
-- Failures are the extract functions' own: a bad path, a document that is not well-formed,
-- a file outside the allowed directories.
SELECT * FROM TABLE(explainPath(quarnxml.XMLVarchar('<a/>'), 'a/b')) AS t;
SELECT * FROM TABLE(explainPath(quarnxml.XMLVarchar('<a><b></a>'), '/a/b')) AS t;
SELECT * FROM TABLE(explainPath(quarnxml.XMLFile('/etc/passwd'), '/a')) AS t;
