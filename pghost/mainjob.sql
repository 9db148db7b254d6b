-- The product's main job on PostgreSQL (pghost/mainjob.sh runs it with psql in a throwaway
-- cluster): the extension installed, the sample orders stored in an XMLVarchar and an XMLCLOB
-- column with XMLVarcharFromFile/XMLCLOBFromFile, and the main job's questions answered with the
-- extract functions.  The files' directory comes from quarnpg (QUARNPG_FILES), which also allows
-- the functions to read it.
\set ON_ERROR_STOP on
\getenv files QUARNPG_FILES
CREATE EXTENSION quarnxml;
CREATE SCHEMA shop;
-- The extension's schema first and public not at all: a role that may create in public could
-- plant a function there that matches these calls better, which the superuser would then run.
SET search_path = quarnxml, shop;
CREATE TABLE shop.orders (id INTEGER NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar, fulldoc quarnxml.XMLCLOB);
INSERT INTO shop.orders VALUES (1, XMLVarcharFromFile(:'files' || '/order1.xml'), XMLCLOBFromFile(:'files' || '/order1.xml'));
INSERT INTO shop.orders VALUES (2, XMLVarcharFromFile(:'files' || '/order2.xml'), XMLCLOBFromFile(:'files' || '/order2.xml'));
INSERT INTO shop.orders VALUES (3, XMLVarcharFromFile(:'files' || '/order3.xml'), XMLCLOBFromFile(:'files' || '/order3.xml'));
-- Who ordered, from where, when, and in which state is each order?
SELECT extractInteger(doc, '/order/@id') AS order_no, extractVarchar(doc, '/order/customer/name') AS customer,
       extractVarchar(doc, '/order/customer/city') AS city, extractVarchar(doc, '/order/@status') AS status,
       extractDate(doc, '/order/date') AS ordered
  FROM shop.orders ORDER BY 1;
-- Every book, one row per occurrence, read from the XMLCLOB column.
SELECT o.id, t.returnedVarchar AS book
  FROM shop.orders AS o, LATERAL extractVarchars(o.fulldoc, '//item[@kind="book"]/title') AS t ORDER BY o.id, 2;
-- How many items and how much money per order?
SELECT o.id, COUNT(*) AS items, SUM(p.returnedDouble) AS price_sum
  FROM shop.orders AS o, LATERAL extractDoubles(o.doc, '/order/item/price') AS p GROUP BY o.id ORDER BY o.id;
-- The second order's item with its markup.
SELECT extractClob(XMLCLOBFromFile(:'files' || '/order2.xml'), '/order/item');
