#!/usr/bin/env bash
# The product's main job, on an already built tree: in a temporary instance directory it creates
# a database, enables it for XML, stores the sample orders of samples/ in an XMLVarchar and an
# XMLCLOB column, and answers a few questions with the extract functions; then it validates the
# orders against their DTD kept in DTD_REF and against an XML schema, changes an order's
# status with update, shows a rejected order's validation report (every error with its line,
# column and element path), enables the XMLVarchar column with side tables and searches,
# updates and deletes through them, composes purchase-order documents from three relational
# tables with both kinds of DAD, and shreds the sample orders into the tables of a collection.
# The instance
# directory is removed at the end; nothing else is left behind.
# Usage: scripts/mainjob.sh [build-dir | installed-prefix]
#   (scripts/demo.sh builds first, then runs this; the install test runs it on a prefix, whose
#   own copy of the samples it then uses)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}
quarn="$build/bin/quarn"
keladm="$build/bin/keladm"
samples="$here/samples"
[ -d "$build/share/doc/quarnxml/samples" ] && samples="$build/share/doc/quarnxml/samples"

instance=$(mktemp -d "${TMPDIR:-/tmp}/quarndemo.XXXXXX")
trap 'rm -rf "$instance"' EXIT
export QUARNPATH="$instance"
unset QUARNINSTANCE QUARNKELPATH QUARNKELTEMP
# The functions may read server files only from directories the instance allows.
printf 'QUARN_XML_READ_DIRS=%s\n' "$samples" > "$instance/quarn.registry"

echo "== Instance directory (temporary): $instance"
"$quarn" "CREATE DATABASE demo"
status=0
# The administration command enables the database for XML (types, functions, procedures and
# catalogue tables).
"$keladm" enable_db DEMO || status=$?
"$quarn" -d demo -v <<SQL || status=$?
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
CREATE TABLE shop.orders (id INTEGER NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar, fulldoc quarnxml.XMLCLOB);
INSERT INTO shop.orders VALUES (1, XMLVarcharFromFile('$samples/order1.xml'), XMLCLOBFromFile('$samples/order1.xml'));
INSERT INTO shop.orders VALUES (2, XMLVarcharFromFile('$samples/order2.xml'), XMLCLOBFromFile('$samples/order2.xml'));
INSERT INTO shop.orders VALUES (3, XMLVarcharFromFile('$samples/order3.xml'), XMLCLOBFromFile('$samples/order3.xml'));
-- Who ordered, from where, when, and in which state is each order?
SELECT extractInteger(doc, '/order/@id') AS order_no, extractVarchar(doc, '/order/customer/name') AS customer, extractVarchar(doc, '/order/customer/city') AS city, extractVarchar(doc, '/order/@status') AS status, extractDate(doc, '/order/date') AS ordered FROM shop.orders ORDER BY 1;
-- Every book, one row per occurrence, read from the XMLCLOB column.
SELECT o.id, t.returnedVarchar AS book FROM shop.orders AS o, TABLE(extractVarchars(o.fulldoc, '//item[@kind="book"]/title')) AS t ORDER BY o.id, 2;
-- How many items and how much money per order?
SELECT o.id, COUNT(*) AS items, SUM(p.returnedDouble) AS price_sum FROM shop.orders AS o, TABLE(extractDoubles(o.doc, '/order/item/price')) AS p GROUP BY o.id ORDER BY o.id;
-- The second order's item with its markup.
VALUES extractClob(XMLCLOBFromFile('$samples/order2.xml'), '/order/item');
SQL
"$quarn" -d demo -v <<SQL || status=$?
-- ==== Validation and update ====
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
-- The orders' DTD kept in the catalogue table DTD_REF, as XML columns validated against it use it.
INSERT INTO quarnxml.dtd_ref VALUES ('order.dtd', XMLCLOBFromFile('$samples/order.dtd'), 0, USER, USER, USER);
-- Is every stored order valid against that DTD (1 = valid)?
SELECT o.id, validate(o.doc, r.content, r.dtdid) AS valid_by_dtd FROM shop.orders AS o, quarnxml.dtd_ref AS r WHERE r.dtdid = 'order.dtd' ORDER BY o.id;
-- And every sample file against the XML schema, which also checks dates, quantities and prices?
VALUES (1, validateschema(XMLFile('$samples/order1.xml'), '$samples/order.xsd')), (2, validateschema(XMLFile('$samples/order2.xml'), '$samples/order.xsd')), (3, validateschema(XMLFile('$samples/order3.xml'), '$samples/order.xsd'));
-- Order 1002 is shipped: its status changes in place, in both columns.
SELECT doc AS before FROM shop.orders WHERE id = 2;
UPDATE shop.orders SET doc = update(doc, '/order/@status', 'shipped'), fulldoc = update(fulldoc, '/order/@status', 'shipped') WHERE id = 2;
SELECT doc AS after FROM shop.orders WHERE id = 2;
SELECT id, extractVarchar(doc, '/order/@status') AS status, extractVarchar(fulldoc, '/order/@status') AS status_clob, validate(doc, (SELECT content FROM quarnxml.dtd_ref WHERE dtdid = 'order.dtd'), 'order.dtd') AS still_valid FROM shop.orders ORDER BY id;
SQL
"$quarn" -d demo -v <<SQL || status=$?
-- ==== A rejected order's validation report ====
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
-- A new order that validate rejects. Where is every error? One row each, with its line,
-- column and element path: the order has no status, the first book's title follows its
-- quantity, the second item is of an unknown kind and holds an undeclared element.
SELECT r.seq, r.line, r.col, r.element_path, r.message FROM quarnxml.dtd_ref AS d, TABLE(validateReport(XMLVarchar('<!DOCTYPE order SYSTEM "order.dtd">
<order id="1004"><customer><name>Dana Kim</name><city>Lyon</city></customer><date>2026-12-08</date>
<item sku="B-77" kind="book"><qty>1</qty><title>Rivers</title><price>12.00</price></item>
<item sku="V-12" kind="vinyl"><title>Blue</title><qty>1</qty><price>25.00</price><gift/></item>
</order>'), d.content)) AS r WHERE d.dtdid = 'order.dtd' ORDER BY r.seq;
SQL
echo "== XML column with side tables"
# Enable the orders' XMLVarchar column: customer, city and status go to one side table, every
# item's price to another (one row per item), kept current by triggers; the orders already
# stored are copied in.  The default view shop.order_search joins the orders with both.
cat > "$instance/order_side.dad" <<'DAD'
<?xml version="1.0"?><DAD><validation>NO</validation><Xcolumn><table name="shop.order_head"><column name="customer" type="varchar(40)" path="/order/customer/name" multi_occurrence="NO"/><column name="city" type="varchar(30)" path="/order/customer/city" multi_occurrence="NO"/><column name="status" type="varchar(10)" path="/order/@status" multi_occurrence="NO"/></table><table name="shop.order_price"><column name="price" type="double" path="/order/item/price" multi_occurrence="YES"/></table></Xcolumn></DAD>
DAD
"$keladm" enable_column DEMO shop.orders doc "$instance/order_side.dad" -v shop.order_search || status=$?
"$quarn" -d demo -v <<SQL || status=$?
-- ==== XML column with side tables ====
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
SELECT o.id, h.customer, h.city, h.status FROM shop.orders AS o, shop.order_head AS h WHERE o.kelroot_id = h.kelroot_id ORDER BY o.id;
-- A new order arrives: its rows appear in the side tables.
INSERT INTO shop.orders (id, doc) VALUES (4, XMLVarchar('<order id="1004" status="open"><customer><name>Dana Weiss</name><city>Wien</city></customer><date>2026-12-05</date><item sku="B-50" kind="book"><title>Old Maps</title><qty>1</qty><price>42.00</price></item><item sku="C-20" kind="cd"><title>Rain</title><qty>1</qty><price>12.00</price></item></order>'));
SELECT o.id, p.kel_seqno, p.price FROM shop.orders AS o, shop.order_price AS p WHERE o.kelroot_id = p.kelroot_id ORDER BY o.id, p.kel_seqno;
-- Plain SQL through the side tables, no document parsed: open orders with an item over 20.
SELECT DISTINCT o.id, h.customer FROM shop.orders AS o, shop.order_head AS h, shop.order_price AS p WHERE o.kelroot_id = h.kelroot_id AND o.kelroot_id = p.kelroot_id AND h.status = 'open' AND p.price > 20 ORDER BY o.id;
-- The same question through the default view.
SELECT DISTINCT id, customer, city FROM shop.order_search WHERE status = 'open' AND price > 20 ORDER BY id;
-- Order 1004 is shipped: the document changes, the side table follows.
UPDATE shop.orders SET doc = update(doc, '/order/@status', 'shipped') WHERE id = 4;
SELECT o.id, h.status FROM shop.orders AS o, shop.order_head AS h WHERE o.kelroot_id = h.kelroot_id ORDER BY o.id;
-- All orders are deleted: the side tables are empty.
DELETE FROM shop.orders;
SELECT COUNT(*) AS head_rows FROM shop.order_head;
SELECT COUNT(*) AS price_rows FROM shop.order_price;
-- Disabling the column removes the side tables, the triggers and the view.
CALL quarnxml.kelDisableColumn('DEMO', 'shop.orders', 'doc', ?, ?);
SQL

# ---- Composition: XML documents made from relational tables --------------------------------
# Three tables of purchase orders (sales.orders, sales.customers, sales.items, from
# samples/orders.sql) become one XML document per order: with the RDB_node DAD
# samples/orders_rdb.dad into a result table, and with the SQL-mapping DAD
# samples/orders_sql.dad as a CLOB (the first document) and into the same kind of table.
echo "== Composition: one XML document per order from the tables orders, customers and items"
"$quarn" -d demo -f "$samples/orders.sql" >/dev/null || status=$?
rdbDad=$(sed "s/'/''/g" "$samples/orders_rdb.dad")
sqlDad=$(sed "s/'/''/g" "$samples/orders_sql.dad")
composed=$("$quarn" -d demo <<SQL
CREATE TABLE sales.order_docs (doc VARCHAR(4000));
CALL quarnxml.kelGenXML('$rdbDad', 'sales.order_docs', 0, NULL, 0, ?, ?, ?);
SELECT doc FROM sales.order_docs;
CALL quarnxml.kelGenXMLClob('$sqlDad', 0, NULL, ?, ?, ?, ?, ?);
DELETE FROM sales.order_docs;
CALL quarnxml.kelGenXML('$sqlDad', 'sales.order_docs', 0, NULL, 0, ?, ?, ?);
SELECT COUNT(*) AS documents FROM sales.order_docs;
SQL
) || status=$?
echo "$composed"
# Each of the three calls must report KELQ020I (XML successfully generated).
if [ "$(grep -c 'KELQ020I' <<<"$composed")" -ne 3 ]; then
  echo "mainjob: composition did not succeed"
  status=1
fi
# ---- End of composition -------------------------------------------------------------------

# Collections: the same orders stored as rows of relational tables, cut from each document by
# the DAD samples/orders.dad (one CALL per document, all or nothing).
if [ "$status" -eq 0 ]; then
  echo "== Collection: the sample orders shredded into tables and composed back"
  "$keladm" enable_collection DEMO orders "$samples/orders.dad" || status=$?
  "$quarn" -d demo -v <<SQL || status=$?
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
CALL quarnxml.kelInsertXML('orders', XMLCLOBFromFile('$samples/order1.xml'), ?, ?);
CALL quarnxml.kelInsertXML('orders', XMLCLOBFromFile('$samples/order2.xml'), ?, ?);
CALL quarnxml.kelInsertXML('orders', XMLCLOBFromFile('$samples/order3.xml'), ?, ?);
SELECT order_id, status, customer, city, ordered FROM shop.order_head ORDER BY order_id;
SELECT order_id, sku, kind, title, qty, price FROM shop.order_item ORDER BY order_id, sku;
-- The same question as above, now asked of the tables: items and price sums per order.
SELECT order_id, COUNT(*) AS items, SUM(price) AS price_sum FROM shop.order_item GROUP BY order_id ORDER BY order_id;
-- The round trip: the collection composes the orders back from its tables (items in key order).
CREATE TABLE shop.order_docs (doc VARCHAR(4000));
CALL quarnxml.kelRetrieveXML('orders', 'shop.order_docs', 0, NULL, 0, ?, ?, ?);
SELECT doc FROM shop.order_docs;
SQL
fi
"$quarn" "DROP DATABASE demo"
if [ "$status" -ne 0 ]; then
  echo "mainjob: the SQL session reported an error (status $status)"
  exit 1
fi
echo "== Done; the temporary instance directory is removed."
