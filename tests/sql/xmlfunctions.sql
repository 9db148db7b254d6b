-- [register]
-- The functions of the extension's function library as enablement registers them: overloads
-- chosen by the column's type, table functions over each source, seqno, a file read through
-- an allowed directory and one outside it, and the catalogue tables' columns.
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
CREATE TABLE docs (id INT NOT NULL PRIMARY KEY, v quarnxml.XMLVarchar, c quarnxml.XMLCLOB);
INSERT INTO docs VALUES (1, quarnxml.XMLVarchar('<a><b>1</b><n>2</n><n>3</n></a>'), quarnxml.XMLCLOB('<a><b>4</b><n>5</n><n>6</n><n>7</n></a>'));
INSERT INTO docs VALUES (2, quarnxml.XMLVarchar('<a><b>8</b></a>'), quarnxml.XMLCLOB('<a><b>9</b></a>'));
-- An XMLVarchar column and an XMLCLOB column choose different overloads.
SELECT id, extractInteger(v, '/a/b'), extractInteger(c, '/a/b') FROM docs ORDER BY id;
SELECT d.id, x.returnedInteger FROM docs AS d, TABLE(extractIntegers(d.v, '/a/n')) AS x ORDER BY d.id, x.returnedInteger;
SELECT d.id, x.returnedInteger FROM docs AS d, TABLE(extractIntegers(d.c, '/a/n')) AS x ORDER BY d.id, x.returnedInteger;
SELECT seqno(), id FROM docs ORDER BY id;
VALUES extractInteger(XMLCLOBFromFile('@DATA@/order.xml'), '/order/@id');
VALUES extractInteger(XMLCLOBFromFile('/etc/passwd'), '/a/b');
SELECT extractInteger(id, '/a/b') FROM docs;
