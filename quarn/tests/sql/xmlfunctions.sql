-- The functions of the extension's function library, registered with the statements of enablement.
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
create distinct type quarnxml.XMLVarchar as varchar(3000) with comparisons;
create distinct type quarnxml.XMLCLOB as clob(2G);
create distinct type quarnxml.XMLFile as varchar(512) with comparisons;
create function quarnxml.XMLCLOBFromFile(varchar(512)) returns quarnxml.XMLCLOB as locator specific kelCLOB external name 'quarnxmlfn!kelCLOB' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO;
create function quarnxml.extractInteger(quarnxml.XMLFile, varchar(256)) returns integer external name 'quarnxmlfn!kelExtractInteger' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO;
create function quarnxml.extractInteger(quarnxml.XMLCLOB as locator, varchar(256)) returns integer external name 'quarnxmlfn!kelExtractIntegerFromClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO;
create function quarnxml.extractInteger(quarnxml.XMLVarchar, varchar(256)) returns integer external name 'quarnxmlfn!kelExtractIntegerFromVarchar' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO;
create function quarnxml.extractIntegers(quarnxml.XMLFile, varchar(256)) returns table(returnedInteger integer) external name 'quarnxmlfn!kelExtractIntegers' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO;
create function quarnxml.extractIntegers(quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedInteger integer) external name 'quarnxmlfn!kelExtractIntegersFromClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO;
create function quarnxml.extractIntegers(quarnxml.XMLVarchar, varchar(256)) returns table(returnedInteger integer) external name 'quarnxmlfn!kelExtractIntegersFromVarchar' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO;
create function quarnxml.seqno() returns integer specific seqno external name 'quarnxmlfn!kelSeqno' not deterministic no external action language C not fenced parameter style QUARNSQL no SQL scratchpad allow parallel DBINFO;
CREATE TABLE docs (id INT NOT NULL PRIMARY KEY, v quarnxml.XMLVarchar, c quarnxml.XMLCLOB);
INSERT INTO docs VALUES (1, quarnxml.XMLVarchar('<a><b>1</b><n>2</n><n>3</n></a>'), quarnxml.XMLCLOB('<a><b>4</b><n>5</n><n>6</n><n>7</n></a>'));
INSERT INTO docs VALUES (2, quarnxml.XMLVarchar('<a><b>8</b></a>'), quarnxml.XMLCLOB('<a><b>9</b></a>'));
-- An XMLVarchar column and an XMLCLOB column choose different overloads.
SELECT id, extractInteger(v, '/a/b'), extractInteger(c, '/a/b') FROM docs ORDER BY id;
SELECT d.id, x.returnedInteger FROM docs AS d, TABLE(extractIntegers(d.v, '/a/n')) AS x ORDER BY d.id, x.returnedInteger;
SELECT d.id, x.returnedInteger FROM docs AS d, TABLE(extractIntegers(d.c, '/a/n')) AS x ORDER BY d.id, x.returnedInteger;
SELECT seqno(), id FROM docs ORDER BY id;
VALUES extractInteger(XMLCLOBFromFile('@SQLDIR@/xmlfunctions.xml'), '/a/b');
VALUES extractInteger(XMLCLOBFromFile('/etc/passwd'), '/a/b');
SELECT extractInteger(id, '/a/b') FROM docs;
