-- enable
0: SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN
1: create distinct type quarnxml.XMLVarchar as varchar(3000) with comparisons
2: create distinct type quarnxml.XMLCLOB as clob(2G)
3: create distinct type quarnxml.XMLFile as varchar(512) with comparisons
4: create function quarnxml.XMLVarcharFromFile(varchar(512)) returns quarnxml.XMLVarchar cast from varchar(32672) specific kelVarChar external name 'quarnxmlfn!kelVarChar' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
5: create function quarnxml.XMLVarcharFromFile(varchar(512), varchar(100)) returns quarnxml.XMLVarchar cast from varchar(32672) specific kelXMLVarcharFile2 external name 'quarnxmlfn!kelXMLVarcharFromFile2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
6: create function quarnxml.XMLCLOBFromFile(varchar(512)) returns quarnxml.XMLCLOB as locator specific kelCLOB external name 'quarnxmlfn!kelCLOB' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
7: create function quarnxml.XMLCLOBFromFile(varchar(512), varchar(100)) returns quarnxml.XMLCLOB as locator specific kelXMLCLOBFile2 external name 'quarnxmlfn!kelXMLCLOBFromFile2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
8: create function quarnxml.XMLFileFromVarchar(varchar(32672), varchar(512)) returns quarnxml.XMLFile specific kelContentvar2file external name 'quarnxmlfn!kelContent_varchar2file' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
9: create function quarnxml.XMLFileFromVarchar(varchar(32672), varchar(512), varchar(100)) returns quarnxml.XMLFile specific kelXMLFileVarchar2 external name 'quarnxmlfn!kelXMLFileFromVarchar2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
10: create function quarnxml.XMLFileFromCLOB(clob(2G) as locator, varchar(512)) returns quarnxml.XMLFile specific kelFile external name 'quarnxmlfn!kelFile' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
11: create function quarnxml.XMLFileFromCLOB(clob(2G) as locator, varchar(512), varchar(100)) returns quarnxml.XMLFile specific kelXMLFileCLOB2 external name 'quarnxmlfn!kelXMLFileFromClob2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
12: create function quarnxml.Content(quarnxml.XMLVarchar, varchar(512)) returns varchar(512) specific quarnxmlcontentvf external name 'quarnxmlfn!kelContent_varchar2file' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
13: create function quarnxml.Content(quarnxml.XMLVarchar, varchar(512), varchar(100)) returns varchar(512) specific quarnxmlcontentvf2 external name 'quarnxmlfn!kelXMLFileFromVarchar2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
14: create function quarnxml.Content(quarnxml.XMLCLOB as locator, varchar(512)) returns varchar(512) specific quarnxmlcontentcf external name 'quarnxmlfn!kelFile' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
15: create function quarnxml.Content(quarnxml.XMLCLOB as locator, varchar(512), varchar(100)) returns varchar(512) specific quarnxmlcontentcf2 external name 'quarnxmlfn!kelXMLFileFromClob2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
16: create function quarnxml.Content(quarnxml.XMLFile) returns quarnxml.XMLCLOB as locator specific quarnxmlcontentfc external name 'quarnxmlfn!kelCLOB' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
17: create function quarnxml.extractVarchar(quarnxml.XMLFile, varchar(256)) returns varchar(4000) external name 'quarnxmlfn!kelExtractVarchar' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
18: create function quarnxml.extractVarchar(quarnxml.XMLCLOB as locator, varchar(256)) returns varchar(4000) external name 'quarnxmlfn!kelExtractVarcharFromClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
19: create function quarnxml.extractVarchar(quarnxml.XMLVarchar, varchar(256)) returns varchar(4000) external name 'quarnxmlfn!kelExtractVarcharFromVarchar' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
20: create function quarnxml.extractChar(quarnxml.XMLFile, varchar(256)) returns char(254) external name 'quarnxmlfn!kelExtractChar' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
21: create function quarnxml.extractChar(quarnxml.XMLCLOB as locator, varchar(256)) returns char(254) external name 'quarnxmlfn!kelExtractCharFromClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
22: create function quarnxml.extractChar(quarnxml.XMLVarchar, varchar(256)) returns char(254) external name 'quarnxmlfn!kelExtractCharFromVarchar' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
23: create function quarnxml.extractClob(quarnxml.XMLFile, varchar(256)) returns clob(2G) as locator external name 'quarnxmlfn!kelExtractClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
24: create function quarnxml.extractClob(quarnxml.XMLCLOB as locator, varchar(256)) returns clob(2G) as locator external name 'quarnxmlfn!kelExtractClobFromClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
25: create function quarnxml.extractClob(quarnxml.XMLVarchar, varchar(256)) returns clob(2G) as locator external name 'quarnxmlfn!kelExtractClobFromVarchar' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
26: create function quarnxml.extractDate(quarnxml.XMLFile, varchar(256)) returns date external name 'quarnxmlfn!kelExtractDate' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
27: create function quarnxml.extractDate(quarnxml.XMLCLOB as locator, varchar(256)) returns date external name 'quarnxmlfn!kelExtractDateFromClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
28: create function quarnxml.extractDate(quarnxml.XMLVarchar, varchar(256)) returns date external name 'quarnxmlfn!kelExtractDateFromVarchar' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
29: create function quarnxml.extractDouble(quarnxml.XMLFile, varchar(256)) returns double external name 'quarnxmlfn!kelExtractDouble' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
30: create function quarnxml.extractDouble(quarnxml.XMLCLOB as locator, varchar(256)) returns double external name 'quarnxmlfn!kelExtractDoubleFromClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
31: create function quarnxml.extractDouble(quarnxml.XMLVarchar, varchar(256)) returns double external name 'quarnxmlfn!kelExtractDoubleFromVarchar' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
32: create function quarnxml.extractReal(quarnxml.XMLFile, varchar(256)) returns real external name 'quarnxmlfn!kelExtractReal' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
33: create function quarnxml.extractReal(quarnxml.XMLCLOB as locator, varchar(256)) returns real external name 'quarnxmlfn!kelExtractRealFromClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
34: create function quarnxml.extractReal(quarnxml.XMLVarchar, varchar(256)) returns real external name 'quarnxmlfn!kelExtractRealFromVarchar' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
35: create function quarnxml.extractInteger(quarnxml.XMLFile, varchar(256)) returns integer external name 'quarnxmlfn!kelExtractInteger' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
36: create function quarnxml.extractInteger(quarnxml.XMLCLOB as locator, varchar(256)) returns integer external name 'quarnxmlfn!kelExtractIntegerFromClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
37: create function quarnxml.extractInteger(quarnxml.XMLVarchar, varchar(256)) returns integer external name 'quarnxmlfn!kelExtractIntegerFromVarchar' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
38: create function quarnxml.extractSmallint(quarnxml.XMLFile, varchar(256)) returns smallint external name 'quarnxmlfn!kelExtractSmallint' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
39: create function quarnxml.extractSmallint(quarnxml.XMLCLOB as locator, varchar(256)) returns smallint external name 'quarnxmlfn!kelExtractSmallintFromClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
40: create function quarnxml.extractSmallint(quarnxml.XMLVarchar, varchar(256)) returns smallint external name 'quarnxmlfn!kelExtractSmallintFromVarchar' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
41: create function quarnxml.extractTime(quarnxml.XMLFile, varchar(256)) returns time external name 'quarnxmlfn!kelExtractTime' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
42: create function quarnxml.extractTime(quarnxml.XMLCLOB as locator, varchar(256)) returns time external name 'quarnxmlfn!kelExtractTimeFromClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
43: create function quarnxml.extractTime(quarnxml.XMLVarchar, varchar(256)) returns time external name 'quarnxmlfn!kelExtractTimeFromVarchar' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
44: create function quarnxml.extractTimestamp(quarnxml.XMLFile, varchar(256)) returns timestamp external name 'quarnxmlfn!kelExtractTimestamp' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
45: create function quarnxml.extractTimestamp(quarnxml.XMLCLOB as locator, varchar(256)) returns timestamp external name 'quarnxmlfn!kelExtractTimestampFromClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
46: create function quarnxml.extractTimestamp(quarnxml.XMLVarchar, varchar(256)) returns timestamp external name 'quarnxmlfn!kelExtractTimestampFromVarchar' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
47: create function quarnxml.extractVarchars(quarnxml.XMLFile, varchar(256)) returns table(returnedVarchar varchar(4000)) external name 'quarnxmlfn!kelExtractVarchars' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
48: create function quarnxml.extractVarchars(quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedVarchar varchar(4000)) external name 'quarnxmlfn!kelExtractVarcharsFromClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
49: create function quarnxml.extractVarchars(quarnxml.XMLVarchar, varchar(256)) returns table(returnedVarchar varchar(4000)) external name 'quarnxmlfn!kelExtractVarcharsFromVarchar' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
50: create function quarnxml.extractChars(quarnxml.XMLFile, varchar(256)) returns table(returnedChar char(254)) external name 'quarnxmlfn!kelExtractChars' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
51: create function quarnxml.extractChars(quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedChar char(254)) external name 'quarnxmlfn!kelExtractCharsFromClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
52: create function quarnxml.extractChars(quarnxml.XMLVarchar, varchar(256)) returns table(returnedChar char(254)) external name 'quarnxmlfn!kelExtractCharsFromVarchar' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
53: create function quarnxml.extractClobs(quarnxml.XMLFile, varchar(256)) returns table(returnedClob clob(1G) as locator) external name 'quarnxmlfn!kelExtractClobs' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
54: create function quarnxml.extractClobs(quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedClob clob(1G) as locator) external name 'quarnxmlfn!kelExtractClobsFromClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
55: create function quarnxml.extractClobs(quarnxml.XMLVarchar, varchar(256)) returns table(returnedClob clob(1G) as locator) external name 'quarnxmlfn!kelExtractClobsFromVarchar' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
56: create function quarnxml.extractDates(quarnxml.XMLFile, varchar(256)) returns table(returnedDate date) external name 'quarnxmlfn!kelExtractDates' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
57: create function quarnxml.extractDates(quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedDate date) external name 'quarnxmlfn!kelExtractDatesFromClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
58: create function quarnxml.extractDates(quarnxml.XMLVarchar, varchar(256)) returns table(returnedDate date) external name 'quarnxmlfn!kelExtractDatesFromVarchar' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
59: create function quarnxml.extractDoubles(quarnxml.XMLFile, varchar(256)) returns table(returnedDouble double) external name 'quarnxmlfn!kelExtractDoubles' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
60: create function quarnxml.extractDoubles(quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedDouble double) external name 'quarnxmlfn!kelExtractDoublesFromClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
61: create function quarnxml.extractDoubles(quarnxml.XMLVarchar, varchar(256)) returns table(returnedDouble double) external name 'quarnxmlfn!kelExtractDoublesFromVarchar' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
62: create function quarnxml.extractReals(quarnxml.XMLFile, varchar(256)) returns table(returnedReal real) external name 'quarnxmlfn!kelExtractReals' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
63: create function quarnxml.extractReals(quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedReal real) external name 'quarnxmlfn!kelExtractRealsFromClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
64: create function quarnxml.extractReals(quarnxml.XMLVarchar, varchar(256)) returns table(returnedReal real) external name 'quarnxmlfn!kelExtractRealsFromVarchar' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
65: create function quarnxml.extractIntegers(quarnxml.XMLFile, varchar(256)) returns table(returnedInteger integer) external name 'quarnxmlfn!kelExtractIntegers' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
66: create function quarnxml.extractIntegers(quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedInteger integer) external name 'quarnxmlfn!kelExtractIntegersFromClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
67: create function quarnxml.extractIntegers(quarnxml.XMLVarchar, varchar(256)) returns table(returnedInteger integer) external name 'quarnxmlfn!kelExtractIntegersFromVarchar' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
68: create function quarnxml.extractSmallints(quarnxml.XMLFile, varchar(256)) returns table(returnedSmallint smallint) external name 'quarnxmlfn!kelExtractSmallints' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
69: create function quarnxml.extractSmallints(quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedSmallint smallint) external name 'quarnxmlfn!kelExtractSmallintsFromClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
70: create function quarnxml.extractSmallints(quarnxml.XMLVarchar, varchar(256)) returns table(returnedSmallint smallint) external name 'quarnxmlfn!kelExtractSmallintsFromVarchar' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
71: create function quarnxml.extractTimes(quarnxml.XMLFile, varchar(256)) returns table(returnedTime time) external name 'quarnxmlfn!kelExtractTimes' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
72: create function quarnxml.extractTimes(quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedTime time) external name 'quarnxmlfn!kelExtractTimesFromClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
73: create function quarnxml.extractTimes(quarnxml.XMLVarchar, varchar(256)) returns table(returnedTime time) external name 'quarnxmlfn!kelExtractTimesFromVarchar' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
74: create function quarnxml.extractTimestamps(quarnxml.XMLFile, varchar(256)) returns table(returnedTimestamp timestamp) external name 'quarnxmlfn!kelExtractTimestamps' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
75: create function quarnxml.extractTimestamps(quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedTimestamp timestamp) external name 'quarnxmlfn!kelExtractTimestampsFromClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
76: create function quarnxml.extractTimestamps(quarnxml.XMLVarchar, varchar(256)) returns table(returnedTimestamp timestamp) external name 'quarnxmlfn!kelExtractTimestampsFromVarchar' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
77: create table quarnxml.dtd_ref (dtdid varchar(128) not null, content quarnxml.xmlclob not null not logged, usage_count int not null, author varchar(128), creator varchar(128), updator varchar(128), constraint dtd_ref_pk primary key (dtdid))
78: grant select on table quarnxml.dtd_ref to public
79: grant insert on table quarnxml.dtd_ref to public
80: grant delete on table quarnxml.dtd_ref to public
81: grant update on table quarnxml.dtd_ref to public
82: create table quarnxml.xml_usage (table_schema char(31) not null, table_name char(129) not null, col_name char(31) not null, dtdid varchar(128), dad clob(100k), access_mode int not null, validation int not null, default_view char(128), trigger_suffix char(8) not null, version decimal(3,2) not null default 0, root_id varchar(128), side_tab_qual varchar(128), constraint xml_col_pk primary key (table_schema, table_name, col_name), constraint xml_col_fk foreign key (dtdid) references quarnxml.dtd_ref (dtdid))
83: grant select on table quarnxml.xml_usage to public
84: grant insert on table quarnxml.xml_usage to user quarnxml
85: grant delete on table quarnxml.xml_usage to user quarnxml
86: grant update on table quarnxml.xml_usage to user quarnxml
87: create trigger quarnxml.dtdref_delete no cascade before delete on quarnxml.dtd_ref referencing old as o for each row mode quarnsql when (o.usage_count > 0) signal sqlstate '70010' ('This DTD is used by others.')
88: create trigger quarnxml.dtdref_update no cascade before update on quarnxml.dtd_ref referencing new as n old as o for each row mode quarnsql when ((n.usage_count <> o.usage_count + 1 and n.usage_count <> o.usage_count - 1 and n.usage_count <> o.usage_count) or (n.usage_count = o.usage_count and o.usage_count > 0)) signal sqlstate '70010' ('Illegal update on DTD or its usage count.')
89: create trigger quarnxml.dtdref_insert no cascade before insert on quarnxml.dtd_ref referencing new as n for each row mode quarnsql when (n.usage_count <> 0) signal sqlstate '70010' ('The usage_count must be 0 when inserted.')
90: create function quarnxml.update(quarnxml.XMLVarchar, varchar(256), varchar(256)) returns quarnxml.XMLVarchar cast from varchar(32672) specific UpdateXMLVarchar external name 'quarnxmlfn!kelUpdateXMLVarchar' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
91: create function quarnxml.update(quarnxml.XMLCLOB as locator, varchar(256), varchar(256)) returns quarnxml.XMLCLOB as locator specific UpdateXMLClob external name 'quarnxmlfn!kelUpdateXMLClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
92: create function quarnxml.update(quarnxml.XMLFile, varchar(256), varchar(256)) returns quarnxml.XMLFile specific UpdateXMLFile external name 'quarnxmlfn!kelUpdateXMLFile' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
93: create function quarnxml.validate(quarnxml.XMLFile, varchar(512), varchar(128)) returns integer specific ValidateFile external name 'quarnxmlfn!kelValidateFile' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
94: create function quarnxml.validate(quarnxml.XMLVarchar, varchar(512), varchar(128)) returns integer specific ValidateVarchar external name 'quarnxmlfn!kelValidateVarchar' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
95: create function quarnxml.validate(quarnxml.XMLCLOB as locator, varchar(512), varchar(128)) returns integer specific ValidateClob external name 'quarnxmlfn!kelValidateClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
96: create function quarnxml.VARCHARTOVARCHAR(quarnxml.XMLVARCHAR) returns varchar(32672) source quarnxml.varchar(quarnxml.XMLVARCHAR)
97: create function quarnxml.seqno() returns integer specific seqno external name 'quarnxmlfn!kelSeqno' not deterministic no external action language C not fenced parameter style QUARNSQL no SQL scratchpad allow parallel DBINFO
98: create function quarnxml.extractVarcharWDTD(quarnxml.XMLFile, quarnxml.XMLCLOB as locator, varchar(256)) returns varchar(4000) external name 'quarnxmlfn!kelExtractVarchar2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
99: create function quarnxml.extractVarcharWDTD(quarnxml.XMLCLOB as locator, quarnxml.XMLCLOB as locator, varchar(256)) returns varchar(4000) external name 'quarnxmlfn!kelExtractVarcharFromClob2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
100: create function quarnxml.extractVarcharWDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB as locator, varchar(256)) returns varchar(4000) external name 'quarnxmlfn!kelExtractVarcharFromVarchar2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
101: create function quarnxml.extractClobWDTD(quarnxml.XMLFile, quarnxml.XMLCLOB as locator, varchar(256)) returns clob(2G) as locator external name 'quarnxmlfn!kelExtractClob2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
102: create function quarnxml.extractClobWDTD(quarnxml.XMLCLOB as locator, quarnxml.XMLCLOB as locator, varchar(256)) returns clob(2G) as locator external name 'quarnxmlfn!kelExtractClobFromClob2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
103: create function quarnxml.extractClobWDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB as locator, varchar(256)) returns clob(2G) as locator external name 'quarnxmlfn!kelExtractClobFromVarchar2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
104: create function quarnxml.extractDoubleWDTD(quarnxml.XMLFile, quarnxml.XMLCLOB as locator, varchar(256)) returns double external name 'quarnxmlfn!kelExtractDouble2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
105: create function quarnxml.extractDoubleWDTD(quarnxml.XMLCLOB as locator, quarnxml.XMLCLOB as locator, varchar(256)) returns double external name 'quarnxmlfn!kelExtractDoubleFromClob2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
106: create function quarnxml.extractDoubleWDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB as locator, varchar(256)) returns double external name 'quarnxmlfn!kelExtractDoubleFromVarchar2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
107: create function quarnxml.extractRealWDTD(quarnxml.XMLFile, quarnxml.XMLCLOB as locator, varchar(256)) returns real external name 'quarnxmlfn!kelExtractReal2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
108: create function quarnxml.extractRealWDTD(quarnxml.XMLCLOB as locator, quarnxml.XMLCLOB as locator, varchar(256)) returns real external name 'quarnxmlfn!kelExtractRealFromClob2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
109: create function quarnxml.extractRealWDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB as locator, varchar(256)) returns real external name 'quarnxmlfn!kelExtractRealFromVarchar2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
110: create function quarnxml.extractVarcharsDTD(quarnxml.XMLFile, quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedVarchar varchar(4000)) external name 'quarnxmlfn!kelExtractVarchars2' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
111: create function quarnxml.extractVarcharsDTD(quarnxml.XMLCLOB as locator, quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedVarchar varchar(4000)) external name 'quarnxmlfn!kelExtractVarcharsFromClob2' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
112: create function quarnxml.extractVarcharsDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedVarchar varchar(4000)) external name 'quarnxmlfn!kelExtractVarcharsFromVarchar2' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
113: create function quarnxml.extractClobsWDTD(quarnxml.XMLFile, quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedClob clob(1G) as locator) external name 'quarnxmlfn!kelExtractClobs2' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
114: create function quarnxml.extractClobsWDTD(quarnxml.XMLCLOB as locator, quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedClob clob(1G) as locator) external name 'quarnxmlfn!kelExtractClobsFromClob2' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
115: create function quarnxml.extractClobsWDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedClob clob(1G) as locator) external name 'quarnxmlfn!kelExtractClobsFromVarchar2' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
116: create function quarnxml.extractDoublesWDTD(quarnxml.XMLFile, quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedDouble double) external name 'quarnxmlfn!kelExtractDoubles2' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
117: create function quarnxml.extractDoublesWDTD(quarnxml.XMLCLOB as locator, quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedDouble double) external name 'quarnxmlfn!kelExtractDoublesFromClob2' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
118: create function quarnxml.extractDoublesWDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedDouble double) external name 'quarnxmlfn!kelExtractDoublesFromVarchar2' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
119: create function quarnxml.extractRealsWDTD(quarnxml.XMLFile, quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedReal real) external name 'quarnxmlfn!kelExtractReals2' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
120: create function quarnxml.extractRealsWDTD(quarnxml.XMLCLOB as locator, quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedReal real) external name 'quarnxmlfn!kelExtractRealsFromClob2' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
121: create function quarnxml.extractRealsWDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB as locator, varchar(256)) returns table(returnedReal real) external name 'quarnxmlfn!kelExtractRealsFromVarchar2' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
122: create function quarnxml.validate(quarnxml.XMLFile, quarnxml.XMLCLOB as locator, varchar(128)) returns integer specific ValidateFile2 external name 'quarnxmlfn!kelValidateFile2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
123: create function quarnxml.validate(quarnxml.XMLVarchar, quarnxml.XMLCLOB as locator, varchar(128)) returns integer specific ValidateVarchar2 external name 'quarnxmlfn!kelValidateVarchar2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
124: create function quarnxml.validate(quarnxml.XMLCLOB as locator, quarnxml.XMLCLOB as locator, varchar(128)) returns integer specific ValidateClob2 external name 'quarnxmlfn!kelValidateClob2' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
125: create procedure quarnxml.kelEnableColumn(in dbName varchar(18), in tableName varchar(128), in columnName varchar(128), in dadBuf clob(100K), in tableSpace varchar(128), in defaultView varchar(128), in rootID varchar(128), out returnCode integer, out returnMsg varchar(1024)) external name 'quarnxml!kelEnableColumn' language C parameter style QUARNDARI not deterministic fenced null call
126: create procedure quarnxml.kelDisableColumn(in dbName varchar(18), in tableName varchar(128), in columnName varchar(128), out returnCode integer, out returnMsg varchar(1024)) external name 'quarnxml!kelDisableColumn' language C parameter style QUARNDARI not deterministic fenced null call
127: create procedure quarnxml.kelEnableCollection(in dbName varchar(18), in collectionName varchar(128), in dadBuf clob(100K), in tableSpace varchar(128), out returnCode integer, out returnMsg varchar(1024)) external name 'quarnxml!kelEnableColl' language C parameter style QUARNDARI not deterministic fenced null call
128: create procedure quarnxml.kelDisableCollection(in dbName varchar(18), in collectionName varchar(128), out returnCode integer, out returnMsg varchar(1024)) external name 'quarnxml!kelDisableColl' language C parameter style QUARNDARI not deterministic fenced null call
129: create procedure quarnxml.kelDisableDB(in dbName varchar(18), out returnCode integer, out returnMsg varchar(1024)) external name 'quarnxml!kelDisableDB' language C parameter style QUARNDARI not deterministic fenced null call
130: create procedure quarnxml.kelGenXML(in dadBuf clob(100K), in resultTable varchar(128), in overrideType integer, in override varchar(32672), in maxRows integer, out numRows integer, out returnCode integer, out returnMsg varchar(1024)) specific quarnxml.KELGENXML1 external name 'quarnxml!kelGenXML' language C parameter style QUARNDARI not deterministic fenced null call
131: create procedure quarnxml.kelGenXML(in dadBuf clob(100K), in resultTable varchar(128), in resultColumn varchar(128), in validColumn varchar(128), in overrideType integer, in override varchar(32672), in maxRows integer, out numRows integer, out returnCode integer, out returnMsg varchar(1024)) specific quarnxml.KELGENXML2 external name 'quarnxml!kelGenXML2' language C parameter style QUARNDARI not deterministic fenced null call
132: create procedure quarnxml.kelGenXMLClob(in dadBuf clob(100K), in overrideType integer, in override varchar(32672), out resultDoc clob(1M), out valid integer, out numDocs integer, out returnCode integer, out returnMsg varchar(1024)) specific quarnxml.KELGENXMLCLOB external name 'quarnxml!kelGenXMLClob' language C parameter style QUARNDARI not deterministic fenced null call
133: create procedure quarnxml.kelRetrieveXMLClob(in collectionName varchar(128), in overrideType integer, in override varchar(32672), out resultDoc clob(1M), out valid integer, out numDocs integer, out returnCode integer, out returnMsg varchar(1024)) specific quarnxml.KELRETRIEVEXMLCLOB external name 'quarnxml!kelRetrieveXMLClob' language C parameter style QUARNDARI not deterministic fenced null call
134: create procedure quarnxml.kelShredXML(in dadBuf clob(100K), in XMLObj clob(1M), out returnCode integer, out returnMsg varchar(1024)) external name 'quarnxml!kelShredXML' language C parameter style QUARNDARI not deterministic fenced null call
135: create procedure quarnxml.kelShredXML50MB(in dadBuf clob(100K), in XMLObj clob(50M), out returnCode integer, out returnMsg varchar(1024)) external name 'quarnxml!kelShredXML' language C parameter style QUARNDARI not deterministic fenced null call
136: create procedure quarnxml.kelRetrieveXML(in collectionName varchar(128), in resultTable varchar(128), in overrideType integer, in override varchar(32672), in maxRows integer, out numRows integer, out returnCode integer, out returnMsg varchar(1024)) specific quarnxml.KELRETRIEVEXML1 external name 'quarnxml!kelRetrieveXML' language C parameter style QUARNDARI not deterministic fenced null call
137: create procedure quarnxml.kelRetrieveXML(in collectionName varchar(128), in resultTable varchar(128), in resultColumn varchar(128), in validColumn varchar(128), in overrideType integer, in override varchar(32672), in maxRows integer, out numRows integer, out returnCode integer, out returnMsg varchar(1024)) specific quarnxml.KELRETRIEVEXML2 external name 'quarnxml!kelRetrieveXML2' language C parameter style QUARNDARI not deterministic fenced null call
138: create procedure quarnxml.kelInsertXML(in collectionName varchar(128), in XMLObj clob(1M), out returnCode integer, out returnMsg varchar(1024)) external name 'quarnxml!kelInsertXML' language C parameter style QUARNDARI not deterministic fenced null call
139: create procedure quarnxml.kelInsertXML50MB(in collectionName varchar(128), in XMLObj clob(50M), out returnCode integer, out returnMsg varchar(1024)) external name 'quarnxml!kelInsertXML' language C parameter style QUARNDARI not deterministic fenced null call
140: create function quarnxml.validateschema(quarnxml.XMLFile, varchar(1000)) returns integer specific ValidateschFile external name 'quarnxmlfn!kelValidateschemaFile' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
141: create function quarnxml.validateschema(quarnxml.XMLVarchar, varchar(1000)) returns integer specific ValidateschVarchar external name 'quarnxmlfn!kelValidateschemaVarchar' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
142: create function quarnxml.validateschema(quarnxml.XMLCLOB as locator, varchar(1000)) returns integer specific ValidateschClob external name 'quarnxmlfn!kelValidateschemaClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
143: create function quarnxml.explainPath(quarnxml.XMLVarchar, varchar(256)) returns table(KIND varchar(20), LINE integer, COL integer, FOUND_PATH varchar(1024), DETAIL varchar(1024)) specific ExplainVarchar external name 'quarnxmlfn!kelExplainPathVarchar' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
144: create function quarnxml.explainPath(quarnxml.XMLCLOB as locator, varchar(256)) returns table(KIND varchar(20), LINE integer, COL integer, FOUND_PATH varchar(1024), DETAIL varchar(1024)) specific ExplainClob external name 'quarnxmlfn!kelExplainPathClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
145: create function quarnxml.explainPath(quarnxml.XMLFile, varchar(256)) returns table(KIND varchar(20), LINE integer, COL integer, FOUND_PATH varchar(1024), DETAIL varchar(1024)) specific ExplainFile external name 'quarnxmlfn!kelExplainPathFile' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
146: create function quarnxml.validateReport(quarnxml.XMLFile, varchar(512)) returns table(SEQ integer, LINE integer, COL integer, ELEMENT_PATH varchar(1024), MESSAGE varchar(1024)) specific VReportFile external name 'quarnxmlfn!kelValidateReportFile' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
147: create function quarnxml.validateReport(quarnxml.XMLVarchar, varchar(512)) returns table(SEQ integer, LINE integer, COL integer, ELEMENT_PATH varchar(1024), MESSAGE varchar(1024)) specific VReportVarchar external name 'quarnxmlfn!kelValidateReportVarchar' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
148: create function quarnxml.validateReport(quarnxml.XMLCLOB as locator, varchar(512)) returns table(SEQ integer, LINE integer, COL integer, ELEMENT_PATH varchar(1024), MESSAGE varchar(1024)) specific VReportClob external name 'quarnxmlfn!kelValidateReportClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
149: create function quarnxml.validateReport(quarnxml.XMLFile, quarnxml.XMLCLOB as locator) returns table(SEQ integer, LINE integer, COL integer, ELEMENT_PATH varchar(1024), MESSAGE varchar(1024)) specific VReportFile2 external name 'quarnxmlfn!kelValidateReportFile2' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
150: create function quarnxml.validateReport(quarnxml.XMLVarchar, quarnxml.XMLCLOB as locator) returns table(SEQ integer, LINE integer, COL integer, ELEMENT_PATH varchar(1024), MESSAGE varchar(1024)) specific VReportVarchar2 external name 'quarnxmlfn!kelValidateReportVarchar2' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
151: create function quarnxml.validateReport(quarnxml.XMLCLOB as locator, quarnxml.XMLCLOB as locator) returns table(SEQ integer, LINE integer, COL integer, ELEMENT_PATH varchar(1024), MESSAGE varchar(1024)) specific VReportClob2 external name 'quarnxmlfn!kelValidateReportClob2' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
152: create function quarnxml.validateReportSchema(quarnxml.XMLFile, varchar(1000)) returns table(SEQ integer, LINE integer, COL integer, ELEMENT_PATH varchar(1024), MESSAGE varchar(1024)) specific VReportSchFile external name 'quarnxmlfn!kelValidateReportSchemaFile' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
153: create function quarnxml.validateReportSchema(quarnxml.XMLVarchar, varchar(1000)) returns table(SEQ integer, LINE integer, COL integer, ELEMENT_PATH varchar(1024), MESSAGE varchar(1024)) specific VReportSchVarchar external name 'quarnxmlfn!kelValidateReportSchemaVarchar' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
154: create function quarnxml.validateReportSchema(quarnxml.XMLCLOB as locator, varchar(1000)) returns table(SEQ integer, LINE integer, COL integer, ELEMENT_PATH varchar(1024), MESSAGE varchar(1024)) specific VReportSchClob external name 'quarnxmlfn!kelValidateReportSchemaClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
155: create procedure quarnxml.kelVerifyColumn(in tableName varchar(159), in columnName varchar(30), in repair integer, out missingRoots integer, out extraRows integer, out differentRoots integer, out returnCode integer, out returnMsg varchar(1024)) external name 'quarnxml!kelVerifyColumn' language C parameter style QUARNDARI not deterministic fenced null call
-- enable, double-byte
0: create distinct type quarnxml.XMLDBCLOB as dbclob(10k)
1: create function quarnxml.XMLDBCLOBFromFile(varchar(512)) returns quarnxml.XMLDBCLOB external name 'quarnxmlfn!xmlDBCLOB' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
2: create function quarnxml.Content(quarnxml.XMLDBCLOB as locator, varchar(512)) returns varchar(512) specific quarnxmlcontentdf external name 'quarnxmlfn!kelContent_dbclob2file' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
3: create function quarnxml.extractVarchar(quarnxml.XMLDBCLOB as locator, varchar(256)) returns varchar(4000) external name 'quarnxmlfn!kelExtractVarcharFromDBClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
4: create function quarnxml.extractDBClob(quarnxml.XMLDBCLOB as locator, varchar(256)) returns dbclob(10k) external name 'quarnxmlfn!kelExtractClobFromDBClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
5: create function quarnxml.extractDate(quarnxml.XMLDBCLOB as locator, varchar(256)) returns date external name 'quarnxmlfn!kelExtractDateFromDBClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
6: create function quarnxml.extractDouble(quarnxml.XMLDBCLOB as locator, varchar(256)) returns double external name 'quarnxmlfn!kelExtractDoubleFromDBClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
7: create function quarnxml.extractInteger(quarnxml.XMLDBCLOB as locator, varchar(256)) returns integer external name 'quarnxmlfn!kelExtractIntegerFromDBClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
8: create function quarnxml.extractTime(quarnxml.XMLDBCLOB as locator, varchar(256)) returns time external name 'quarnxmlfn!kelExtractTimeFromDBClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
9: create function quarnxml.extractTimestamp(quarnxml.XMLDBCLOB as locator, varchar(256)) returns timestamp external name 'quarnxmlfn!kelExtractTimestampFromDBClob' language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL no external action allow parallel DBINFO
10: create function quarnxml.extractVarchars(quarnxml.XMLDBCLOB as locator, varchar(256)) returns table(returnedVarchar varchar(4000)) external name 'quarnxmlfn!kelExtractVarcharsFromDBClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
11: create function quarnxml.extractDBClobs(quarnxml.XMLDBCLOB as locator, varchar(256)) returns table(returnedDBClob dbclob(10k)) external name 'quarnxmlfn!kelExtractClobsFromDBClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
12: create function quarnxml.extractDates(quarnxml.XMLDBCLOB as locator, varchar(256)) returns table(returnedDate date) external name 'quarnxmlfn!kelExtractDatesFromDBClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
13: create function quarnxml.extractDoubles(quarnxml.XMLDBCLOB as locator, varchar(256)) returns table(returnedDouble double) external name 'quarnxmlfn!kelExtractDoublesFromDBClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
14: create function quarnxml.extractIntegers(quarnxml.XMLDBCLOB as locator, varchar(256)) returns table(returnedInteger integer) external name 'quarnxmlfn!kelExtractIntegersFromDBClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
15: create function quarnxml.extractTimes(quarnxml.XMLDBCLOB as locator, varchar(256)) returns table(returnedTime time) external name 'quarnxmlfn!kelExtractTimesFromDBClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
16: create function quarnxml.extractTimestamps(quarnxml.XMLDBCLOB as locator, varchar(256)) returns table(returnedTimestamp timestamp) external name 'quarnxmlfn!kelExtractTimestampsFromDBClob' language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL no external action scratchpad final call DBINFO
-- disable
0: drop specific function quarnxml.ValidateFile
1: drop specific function quarnxml.ValidateVarchar
2: drop specific function quarnxml.ValidateClob
3: drop specific function quarnxml.UpdateXMLVarchar
4: drop specific function quarnxml.UpdateXMLClob
5: drop specific function quarnxml.UpdateXMLFile
6: drop function quarnxml.extractVarchar(quarnxml.XMLFile, varchar(256))
7: drop function quarnxml.extractVarchar(quarnxml.XMLCLOB, varchar(256))
8: drop function quarnxml.extractVarchar(quarnxml.XMLVarchar, varchar(256))
9: drop function quarnxml.extractChar(quarnxml.XMLFile, varchar(256))
10: drop function quarnxml.extractChar(quarnxml.XMLCLOB, varchar(256))
11: drop function quarnxml.extractChar(quarnxml.XMLVarchar, varchar(256))
12: drop function quarnxml.extractClob(quarnxml.XMLFile, varchar(256))
13: drop function quarnxml.extractClob(quarnxml.XMLCLOB, varchar(256))
14: drop function quarnxml.extractClob(quarnxml.XMLVarchar, varchar(256))
15: drop function quarnxml.extractDate(quarnxml.XMLFile, varchar(256))
16: drop function quarnxml.extractDate(quarnxml.XMLCLOB, varchar(256))
17: drop function quarnxml.extractDate(quarnxml.XMLVarchar, varchar(256))
18: drop function quarnxml.extractDouble(quarnxml.XMLFile, varchar(256))
19: drop function quarnxml.extractDouble(quarnxml.XMLCLOB, varchar(256))
20: drop function quarnxml.extractDouble(quarnxml.XMLVarchar, varchar(256))
21: drop function quarnxml.extractReal(quarnxml.XMLFile, varchar(256))
22: drop function quarnxml.extractReal(quarnxml.XMLCLOB, varchar(256))
23: drop function quarnxml.extractReal(quarnxml.XMLVarchar, varchar(256))
24: drop function quarnxml.extractInteger(quarnxml.XMLFile, varchar(256))
25: drop function quarnxml.extractInteger(quarnxml.XMLCLOB, varchar(256))
26: drop function quarnxml.extractInteger(quarnxml.XMLVarchar, varchar(256))
27: drop function quarnxml.extractSmallint(quarnxml.XMLFile, varchar(256))
28: drop function quarnxml.extractSmallint(quarnxml.XMLCLOB, varchar(256))
29: drop function quarnxml.extractSmallint(quarnxml.XMLVarchar, varchar(256))
30: drop function quarnxml.extractTime(quarnxml.XMLFile, varchar(256))
31: drop function quarnxml.extractTime(quarnxml.XMLCLOB, varchar(256))
32: drop function quarnxml.extractTime(quarnxml.XMLVarchar, varchar(256))
33: drop function quarnxml.extractTimestamp(quarnxml.XMLFile, varchar(256))
34: drop function quarnxml.extractTimestamp(quarnxml.XMLCLOB, varchar(256))
35: drop function quarnxml.extractTimestamp(quarnxml.XMLVarchar, varchar(256))
36: drop function quarnxml.extractVarchars(quarnxml.XMLFile, varchar(256))
37: drop function quarnxml.extractVarchars(quarnxml.XMLCLOB, varchar(256))
38: drop function quarnxml.extractVarchars(quarnxml.XMLVarchar, varchar(256))
39: drop function quarnxml.extractChars(quarnxml.XMLFile, varchar(256))
40: drop function quarnxml.extractChars(quarnxml.XMLCLOB, varchar(256))
41: drop function quarnxml.extractChars(quarnxml.XMLVarchar, varchar(256))
42: drop function quarnxml.extractClobs(quarnxml.XMLFile, varchar(256))
43: drop function quarnxml.extractClobs(quarnxml.XMLCLOB, varchar(256))
44: drop function quarnxml.extractClobs(quarnxml.XMLVarchar, varchar(256))
45: drop function quarnxml.extractDates(quarnxml.XMLFile, varchar(256))
46: drop function quarnxml.extractDates(quarnxml.XMLCLOB, varchar(256))
47: drop function quarnxml.extractDates(quarnxml.XMLVarchar, varchar(256))
48: drop function quarnxml.extractDoubles(quarnxml.XMLFile, varchar(256))
49: drop function quarnxml.extractDoubles(quarnxml.XMLCLOB, varchar(256))
50: drop function quarnxml.extractDoubles(quarnxml.XMLVarchar, varchar(256))
51: drop function quarnxml.extractReals(quarnxml.XMLFile, varchar(256))
52: drop function quarnxml.extractReals(quarnxml.XMLCLOB, varchar(256))
53: drop function quarnxml.extractReals(quarnxml.XMLVarchar, varchar(256))
54: drop function quarnxml.extractIntegers(quarnxml.XMLFile, varchar(256))
55: drop function quarnxml.extractIntegers(quarnxml.XMLCLOB, varchar(256))
56: drop function quarnxml.extractIntegers(quarnxml.XMLVarchar, varchar(256))
57: drop function quarnxml.extractSmallints(quarnxml.XMLFile, varchar(256))
58: drop function quarnxml.extractSmallints(quarnxml.XMLCLOB, varchar(256))
59: drop function quarnxml.extractSmallints(quarnxml.XMLVarchar, varchar(256))
60: drop function quarnxml.extractTimes(quarnxml.XMLFile, varchar(256))
61: drop function quarnxml.extractTimes(quarnxml.XMLCLOB, varchar(256))
62: drop function quarnxml.extractTimes(quarnxml.XMLVarchar, varchar(256))
63: drop function quarnxml.extractTimestamps(quarnxml.XMLFile, varchar(256))
64: drop function quarnxml.extractTimestamps(quarnxml.XMLCLOB, varchar(256))
65: drop function quarnxml.extractTimestamps(quarnxml.XMLVarchar, varchar(256))
66: drop specific function quarnxml.kelVarChar
67: drop specific function quarnxml.kelXMLVarcharFile2
68: drop specific function quarnxml.kelCLOB
69: drop specific function quarnxml.kelXMLCLOBFile2
70: drop specific function quarnxml.kelContentvar2file
71: drop specific function quarnxml.kelXMLFileVarchar2
72: drop specific function quarnxml.kelFile
73: drop specific function quarnxml.kelXMLFileCLOB2
74: drop specific function quarnxml.quarnxmlcontentvf
75: drop specific function quarnxml.quarnxmlcontentvf2
76: drop specific function quarnxml.quarnxmlcontentcf
77: drop specific function quarnxml.quarnxmlcontentcf2
78: drop specific function quarnxml.quarnxmlcontentfc
79: drop specific function quarnxml.seqno
80: drop trigger quarnxml.dtdref_delete
81: drop trigger quarnxml.dtdref_update
82: drop trigger quarnxml.dtdref_insert
83: drop table quarnxml.dtd_ref
84: drop table quarnxml.xml_usage
85: drop procedure quarnxml.kelEnableColumn
86: drop procedure quarnxml.kelDisableColumn
87: drop procedure quarnxml.kelEnableCollection
88: drop procedure quarnxml.kelDisableCollection
89: drop procedure quarnxml.kelDisableDB
90: drop specific procedure quarnxml.KELGENXML1
91: drop specific procedure quarnxml.KELGENXML2
92: drop specific procedure quarnxml.KELGENXMLCLOB
93: drop specific procedure quarnxml.KELRETRIEVEXMLCLOB
94: drop procedure quarnxml.kelShredXML(clob(100K), clob(1M), integer, varchar(1024))
95: drop procedure quarnxml.kelShredXML50MB(clob(100K), clob(50M), integer, varchar(1024))
96: drop specific procedure quarnxml.KELRETRIEVEXML1
97: drop specific procedure quarnxml.KELRETRIEVEXML2
98: drop procedure quarnxml.kelInsertXML
99: drop procedure quarnxml.kelInsertXML50MB
100: drop procedure quarnxml.kelVerifyColumn
101: drop function quarnxml.extractVarcharWDTD(quarnxml.XMLFile, quarnxml.XMLCLOB, varchar(256))
102: drop function quarnxml.extractVarcharWDTD(quarnxml.XMLCLOB, quarnxml.XMLCLOB, varchar(256))
103: drop function quarnxml.extractVarcharWDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB, varchar(256))
104: drop function quarnxml.extractClobWDTD(quarnxml.XMLFile, quarnxml.XMLCLOB, varchar(256))
105: drop function quarnxml.extractClobWDTD(quarnxml.XMLCLOB, quarnxml.XMLCLOB, varchar(256))
106: drop function quarnxml.extractClobWDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB, varchar(256))
107: drop function quarnxml.extractDoubleWDTD(quarnxml.XMLFile, quarnxml.XMLCLOB, varchar(256))
108: drop function quarnxml.extractDoubleWDTD(quarnxml.XMLCLOB, quarnxml.XMLCLOB, varchar(256))
109: drop function quarnxml.extractDoubleWDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB, varchar(256))
110: drop function quarnxml.extractRealWDTD(quarnxml.XMLFile, quarnxml.XMLCLOB, varchar(256))
111: drop function quarnxml.extractRealWDTD(quarnxml.XMLCLOB, quarnxml.XMLCLOB, varchar(256))
112: drop function quarnxml.extractRealWDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB, varchar(256))
113: drop function quarnxml.extractVarcharsDTD(quarnxml.XMLFile, quarnxml.XMLCLOB, varchar(256))
114: drop function quarnxml.extractVarcharsDTD(quarnxml.XMLCLOB, quarnxml.XMLCLOB, varchar(256))
115: drop function quarnxml.extractVarcharsDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB, varchar(256))
116: drop function quarnxml.extractClobsWDTD(quarnxml.XMLFile, quarnxml.XMLCLOB, varchar(256))
117: drop function quarnxml.extractClobsWDTD(quarnxml.XMLCLOB, quarnxml.XMLCLOB, varchar(256))
118: drop function quarnxml.extractClobsWDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB, varchar(256))
119: drop function quarnxml.extractDoublesWDTD(quarnxml.XMLFile, quarnxml.XMLCLOB, varchar(256))
120: drop function quarnxml.extractDoublesWDTD(quarnxml.XMLCLOB, quarnxml.XMLCLOB, varchar(256))
121: drop function quarnxml.extractDoublesWDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB, varchar(256))
122: drop function quarnxml.extractRealsWDTD(quarnxml.XMLFile, quarnxml.XMLCLOB, varchar(256))
123: drop function quarnxml.extractRealsWDTD(quarnxml.XMLCLOB, quarnxml.XMLCLOB, varchar(256))
124: drop function quarnxml.extractRealsWDTD(quarnxml.XMLVarchar, quarnxml.XMLCLOB, varchar(256))
125: drop function quarnxml.VARCHARTOVARCHAR(quarnxml.XMLVARCHAR)
126: drop specific function quarnxml.ValidateFile2
127: drop specific function quarnxml.ValidateVarchar2
128: drop specific function quarnxml.ValidateClob2
129: drop specific function quarnxml.ValidateschFile
130: drop specific function quarnxml.ValidateschVarchar
131: drop specific function quarnxml.ValidateschClob
132: drop specific function quarnxml.ExplainVarchar
133: drop specific function quarnxml.ExplainClob
134: drop specific function quarnxml.ExplainFile
135: drop specific function quarnxml.VReportFile
136: drop specific function quarnxml.VReportVarchar
137: drop specific function quarnxml.VReportClob
138: drop specific function quarnxml.VReportFile2
139: drop specific function quarnxml.VReportVarchar2
140: drop specific function quarnxml.VReportClob2
141: drop specific function quarnxml.VReportSchFile
142: drop specific function quarnxml.VReportSchVarchar
143: drop specific function quarnxml.VReportSchClob
144: drop distinct type quarnxml.XMLFile
-- disable, double-byte
0: drop function quarnxml.extractVarchar(quarnxml.XMLDBCLOB, varchar(256))
1: drop function quarnxml.extractDBClob(quarnxml.XMLDBCLOB, varchar(256))
2: drop function quarnxml.extractDate(quarnxml.XMLDBCLOB, varchar(256))
3: drop function quarnxml.extractDouble(quarnxml.XMLDBCLOB, varchar(256))
4: drop function quarnxml.extractInteger(quarnxml.XMLDBCLOB, varchar(256))
5: drop function quarnxml.extractTime(quarnxml.XMLDBCLOB, varchar(256))
6: drop function quarnxml.extractTimestamp(quarnxml.XMLDBCLOB, varchar(256))
7: drop function quarnxml.extractVarchars(quarnxml.XMLDBCLOB, varchar(256))
8: drop function quarnxml.extractDBClobs(quarnxml.XMLDBCLOB, varchar(256))
9: drop function quarnxml.extractDates(quarnxml.XMLDBCLOB, varchar(256))
10: drop function quarnxml.extractDoubles(quarnxml.XMLDBCLOB, varchar(256))
11: drop function quarnxml.extractIntegers(quarnxml.XMLDBCLOB, varchar(256))
12: drop function quarnxml.extractTimes(quarnxml.XMLDBCLOB, varchar(256))
13: drop function quarnxml.extractTimestamps(quarnxml.XMLDBCLOB, varchar(256))
14: drop function quarnxml.XMLDBCLOBFromFile(varchar(512))
15: drop specific function quarnxml.quarnxmlcontentdf
16: drop distinct type quarnxml.XMLDBCLOB
