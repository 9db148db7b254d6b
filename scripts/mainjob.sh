#!/usr/bin/env bash
# The product's main job, on an already built tree: in a temporary instance directory it creates
# a database, enables it for XML, stores the sample orders of samples/ in an XMLVarchar and an
# XMLCLOB column, and answers a few questions with the extract functions; then it validates the
# orders against their DTD kept in DTD_REF and against an XML schema, changes an order's
# status with update, and composes purchase-order documents from three relational tables
# with both kinds of DAD.  The instance
# directory is removed at the end; nothing else is left behind.
# Usage: scripts/mainjob.sh [build-dir | installed-prefix]
#   (scripts/demo.sh builds first, then runs this; the install test runs it on a prefix, whose
#   own copy of the samples it then uses)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}
quarn="$build/bin/quarn"
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
"$quarn" -d demo -v <<SQL || status=$?
CALL 'quarnxml!kelEnableDB'('DEMO', ?, ?);
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

"$quarn" "DROP DATABASE demo"
if [ "$status" -ne 0 ]; then
  echo "mainjob: the SQL session reported an error (status $status)"
  exit 1
fi
echo "== Done; the temporary instance directory is removed."
