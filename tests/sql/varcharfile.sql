-- [register]
-- XMLVarcharFromFile reads up to 32,672 bytes into a buffer of that size and the engine casts
-- the value to XMLVarchar: a file that does not fit 3,000 bytes is refused with 22001 in both
-- forms, nothing is stored, and nothing is written past the buffer.
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
CREATE TABLE docs (id INT NOT NULL PRIMARY KEY, v quarnxml.XMLVarchar);
VALUES LENGTH(quarnxml.varchar(XMLVarcharFromFile('@DATA@/f3000.xml')));
VALUES LENGTH(quarnxml.varchar(XMLVarcharFromFile('@DATA@/f3000.xml', 'UTF-8')));
VALUES LENGTH(quarnxml.varchar(XMLVarcharFromFile('@DATA@/f3001.xml')));
VALUES LENGTH(quarnxml.varchar(XMLVarcharFromFile('@DATA@/f5000.xml')));
VALUES LENGTH(quarnxml.varchar(XMLVarcharFromFile('@DATA@/f32672.xml')));
VALUES LENGTH(quarnxml.varchar(XMLVarcharFromFile('@DATA@/f3001.xml', 'UTF-8')));
VALUES LENGTH(quarnxml.varchar(XMLVarcharFromFile('@DATA@/f5000.xml', 'UTF-8')));
VALUES LENGTH(quarnxml.varchar(XMLVarcharFromFile('@DATA@/f32672.xml', 'UTF-8')));
INSERT INTO docs VALUES (1, XMLVarcharFromFile('@DATA@/f3000.xml'));
INSERT INTO docs VALUES (2, XMLVarcharFromFile('@DATA@/f5000.xml'));
INSERT INTO docs VALUES (3, XMLVarcharFromFile('@DATA@/f32672.xml', 'UTF-8'));
SELECT id, LENGTH(quarnxml.varchar(v)) FROM docs ORDER BY id;
