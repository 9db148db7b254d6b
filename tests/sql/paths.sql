-- [register]
-- Location paths from SQL: what "//" collects, quoted predicate values, and elements selected
-- inside selected ones.
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
-- An element selected through "//" collects the text an absolute path collects: "xz".
VALUES extractVarchar(XMLVarchar('<a><b>x<c>y</c>z</b></a>'), '/a/b');
VALUES extractVarchar(XMLVarchar('<a><b>x<c>y</c>z</b></a>'), '//b');
VALUES extractVarchar(XMLCLOB('<a><b>x<c>y</c>z</b></a>'), '/a//b');
SELECT * FROM TABLE(extractVarchars(XMLVarchar('<r><s><b>1<c>2</c>3</b></s><s><b>4<c/>5</b></s></r>'), '//b')) AS t;
-- "/", "//" and "@" inside a quoted predicate value belong to the value.
CREATE TABLE links (id INT NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar);
INSERT INTO links VALUES (1, XMLVarchar('<a><b u="http://x" k="x@y">first</b><b u="y" k="x">second</b></a>'));
SELECT extractVarchar(doc, '/a/b[@u="http://x"]') FROM links;
SELECT extractVarchar(doc, '/a/b[@k="x@y"]') FROM links;
SELECT extractVarchar(doc, '//b[@u="http://x"]/@k') FROM links;
SELECT x.returnedVarchar FROM links AS l, TABLE(extractVarchars(l.doc, '/a/b[@u="y"]/@u')) AS x;
-- Paths that compiled before keep their meaning; paths with a fault elsewhere still fail.
SELECT extractVarchar(doc, '/a/b[@u="y"]/@k') FROM links;
SELECT extractVarchar(doc, '/a/b@k') FROM links;
SELECT extractVarchar(doc, '/a/b[@u="http://x"]/1c') FROM links;
-- A selected element inside a selected one belongs to the outer item, in text and in tagged
-- mode, wherever it lies below it.
VALUES extractVarchar(XMLVarchar('<a><b>1<b>2</b></b></a>'), '//b');
VALUES extractClob(XMLVarchar('<a><b>1<b>2</b></b></a>'), '//b');
SELECT * FROM TABLE(extractVarchars(XMLVarchar('<a><b>1<c>x<b>2</b>y</c>3</b><b>4</b></a>'), '//b')) AS t;
SELECT * FROM TABLE(extractClobs(XMLVarchar('<a><b>1<c>x<b>2</b>y</c>3</b><b>4</b></a>'), '//b')) AS t;
