-- [register]
-- What a document, a file name or a DTD may make the server do: read only files in the
-- readable directories, never a URL, never block, never expand entities without bound, never
-- cut a document silently.
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
-- External entities: a file outside the readable directory is refused, one inside is read.
VALUES extractVarchar(XMLVarchar('<!DOCTYPE a [<!ENTITY x SYSTEM "/etc/hostname">]><a>&x;</a>'), '/a');
VALUES extractVarchar(XMLVarchar('<!DOCTYPE a [<!ENTITY x SYSTEM "@DATA@/inner.ent">]><a>&x;</a>'), '/a');
VALUES extractVarchar(XMLVarchar('<!DOCTYPE a [<!ENTITY % p SYSTEM "file:///etc/hostname"> %p;]><a>t</a>'), '/a');
VALUES extractVarchar(XMLCLOB('<!DOCTYPE a [<!ENTITY x SYSTEM "@DATA@/../../../etc/hostname">]><a>&x;</a>'), '/a');
VALUES extractVarchar(quarnxml.XMLFile('@DATA@/outer.xml'), '/a');
VALUES extractVarcharWDTD(XMLVarchar('<!DOCTYPE a SYSTEM "x.dtd"><a>t</a>'), XMLCLOB('<!ENTITY % p SYSTEM "/etc/hostname"> %p;'), '/a');
-- URLs are never opened.
VALUES extractVarchar(XMLVarchar('<!DOCTYPE a [<!ENTITY x SYSTEM "http://127.0.0.1:9/x">]><a>&x;</a>'), '/a');
-- Entity expansion is bounded: a billion expansions end at once with a parse error.
VALUES extractVarchar(XMLVarchar('<!DOCTYPE a [<!ENTITY l0 "lol"><!ENTITY l1 "&l0;&l0;&l0;&l0;&l0;&l0;&l0;&l0;&l0;&l0;"><!ENTITY l2 "&l1;&l1;&l1;&l1;&l1;&l1;&l1;&l1;&l1;&l1;"><!ENTITY l3 "&l2;&l2;&l2;&l2;&l2;&l2;&l2;&l2;&l2;&l2;"><!ENTITY l4 "&l3;&l3;&l3;&l3;&l3;&l3;&l3;&l3;&l3;&l3;"><!ENTITY l5 "&l4;&l4;&l4;&l4;&l4;&l4;&l4;&l4;&l4;&l4;"><!ENTITY l6 "&l5;&l5;&l5;&l5;&l5;&l5;&l5;&l5;&l5;&l5;"><!ENTITY l7 "&l6;&l6;&l6;&l6;&l6;&l6;&l6;&l6;&l6;&l6;"><!ENTITY l8 "&l7;&l7;&l7;&l7;&l7;&l7;&l7;&l7;&l7;&l7;"><!ENTITY l9 "&l8;&l8;&l8;&l8;&l8;&l8;&l8;&l8;&l8;&l8;">]><a>&l9;</a>'), '/a');
-- So is expansion declared in a DTD: an attribute's default, parameter entities between the
-- declarations of the internal subset, parameter entities inside the entity values of a DTD.
VALUES extractVarchar(XMLVarchar('<!DOCTYPE a [<!ENTITY l0 "lol"><!ENTITY l1 "&l0;&l0;&l0;&l0;&l0;&l0;&l0;&l0;&l0;&l0;"><!ENTITY l2 "&l1;&l1;&l1;&l1;&l1;&l1;&l1;&l1;&l1;&l1;"><!ENTITY l3 "&l2;&l2;&l2;&l2;&l2;&l2;&l2;&l2;&l2;&l2;"><!ENTITY l4 "&l3;&l3;&l3;&l3;&l3;&l3;&l3;&l3;&l3;&l3;"><!ENTITY l5 "&l4;&l4;&l4;&l4;&l4;&l4;&l4;&l4;&l4;&l4;"><!ENTITY l6 "&l5;&l5;&l5;&l5;&l5;&l5;&l5;&l5;&l5;&l5;"><!ENTITY l7 "&l6;&l6;&l6;&l6;&l6;&l6;&l6;&l6;&l6;&l6;"><!ENTITY l8 "&l7;&l7;&l7;&l7;&l7;&l7;&l7;&l7;&l7;&l7;"><!ENTITY l9 "&l8;&l8;&l8;&l8;&l8;&l8;&l8;&l8;&l8;&l8;"><!ATTLIST a x CDATA "&l9;">]><a/>'), '/a/@x');
VALUES extractVarchar(XMLVarchar('<!DOCTYPE a [<!ENTITY % p0 "<!-- x -->"><!ENTITY % p1 "&#37;p0;&#37;p0;&#37;p0;&#37;p0;&#37;p0;&#37;p0;&#37;p0;&#37;p0;&#37;p0;&#37;p0;"><!ENTITY % p2 "&#37;p1;&#37;p1;&#37;p1;&#37;p1;&#37;p1;&#37;p1;&#37;p1;&#37;p1;&#37;p1;&#37;p1;"><!ENTITY % p3 "&#37;p2;&#37;p2;&#37;p2;&#37;p2;&#37;p2;&#37;p2;&#37;p2;&#37;p2;&#37;p2;&#37;p2;"><!ENTITY % p4 "&#37;p3;&#37;p3;&#37;p3;&#37;p3;&#37;p3;&#37;p3;&#37;p3;&#37;p3;&#37;p3;&#37;p3;"><!ENTITY % p5 "&#37;p4;&#37;p4;&#37;p4;&#37;p4;&#37;p4;&#37;p4;&#37;p4;&#37;p4;&#37;p4;&#37;p4;"><!ENTITY % p6 "&#37;p5;&#37;p5;&#37;p5;&#37;p5;&#37;p5;&#37;p5;&#37;p5;&#37;p5;&#37;p5;&#37;p5;"><!ENTITY % p7 "&#37;p6;&#37;p6;&#37;p6;&#37;p6;&#37;p6;&#37;p6;&#37;p6;&#37;p6;&#37;p6;&#37;p6;"><!ENTITY % p8 "&#37;p7;&#37;p7;&#37;p7;&#37;p7;&#37;p7;&#37;p7;&#37;p7;&#37;p7;&#37;p7;&#37;p7;"><!ENTITY % p9 "&#37;p8;&#37;p8;&#37;p8;&#37;p8;&#37;p8;&#37;p8;&#37;p8;&#37;p8;&#37;p8;&#37;p8;">%p9;]><a/>'), '/a');
VALUES extractVarcharWDTD(XMLVarchar('<!DOCTYPE a SYSTEM "x.dtd"><a>t</a>'), XMLCLOB('<!ENTITY % p0 "lol"><!ENTITY % p1 "%p0;%p0;%p0;%p0;%p0;%p0;%p0;%p0;%p0;%p0;"><!ENTITY % p2 "%p1;%p1;%p1;%p1;%p1;%p1;%p1;%p1;%p1;%p1;"><!ENTITY % p3 "%p2;%p2;%p2;%p2;%p2;%p2;%p2;%p2;%p2;%p2;"><!ENTITY % p4 "%p3;%p3;%p3;%p3;%p3;%p3;%p3;%p3;%p3;%p3;"><!ENTITY % p5 "%p4;%p4;%p4;%p4;%p4;%p4;%p4;%p4;%p4;%p4;"><!ENTITY % p6 "%p5;%p5;%p5;%p5;%p5;%p5;%p5;%p5;%p5;%p5;"><!ENTITY % p7 "%p6;%p6;%p6;%p6;%p6;%p6;%p6;%p6;%p6;%p6;"><!ENTITY % p8 "%p7;%p7;%p7;%p7;%p7;%p7;%p7;%p7;%p7;%p7;"><!ENTITY % p9 "%p8;%p8;%p8;%p8;%p8;%p8;%p8;%p8;%p8;%p8;">'), '/a');
-- A FIFO never blocks a statement: as a document, a file to load or an entity.
VALUES XMLVarcharFromFile('@DATA@/fifo');
VALUES XMLCLOBFromFile('@DATA@/fifo');
VALUES extractVarchar(quarnxml.XMLFile('@DATA@/fifo'), '/a');
VALUES extractVarchar(XMLVarchar('<!DOCTYPE a [<!ENTITY x SYSTEM "@DATA@/fifo">]><a>&x;</a>'), '/a');
-- A zero byte is refused or a parse error, never the end of a shorter document.
VALUES XMLVarcharFromFile('@DATA@/nul.xml');
VALUES extractVarchar(XMLCLOBFromFile('@DATA@/nul.xml'), '/a');
-- A file larger than any large object is refused before it is read.
VALUES LENGTH(XMLCLOBFromFile('@DATA@/huge.xml'));
-- Missing files: not found inside the readable directory, refused outside it; a missing
-- directory for a write cannot be opened.
VALUES XMLVarcharFromFile('@DATA@/missing.xml');
VALUES XMLVarcharFromFile('/nonexistent/missing.xml');
VALUES XMLFileFromVarchar('<a/>', '@DATA@/nodir/out.xml');
