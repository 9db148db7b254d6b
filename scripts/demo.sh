#!/usr/bin/env bash
# Builds the project (installing what is missing) and runs the product's main job on the
# embedded engine: in a temporary instance directory it creates a database and runs a short
# SQL session in the console `quarn`.  It leaves behind only the build tree in build/; the
# instance directory is removed at the end.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" "$here/build"

instance=$(mktemp -d "${TMPDIR:-/tmp}/quarndemo.XXXXXX")
trap 'rm -rf "$instance"' EXIT
export QUARNPATH="$instance"
quarn="$here/build/bin/quarn"

echo "== Instance directory (temporary): $instance"
"$quarn" "CREATE DATABASE demo"
# The session shows one refused statement (a duplicate key), so its exit status is 4.
status=0
"$quarn" -d demo -v <<'SQL' || status=$?
CREATE TABLE shop.orders (id INTEGER NOT NULL PRIMARY KEY, customer VARCHAR(20) NOT NULL, amount DECIMAL(7,2));
INSERT INTO shop.orders VALUES (1, 'Ann', 12.50), (2, 'Bob', 100.25), (3, 'Ann', 7);
SELECT customer, COUNT(*) AS orders, SUM(amount) AS total FROM shop.orders GROUP BY customer ORDER BY customer;
INSERT INTO shop.orders VALUES (1, 'Cy', 1);
SELECT colname, typename, length, scale, keyseq FROM syscat.columns WHERE tabschema = 'SHOP' AND tabname = 'ORDERS' ORDER BY colno;
LIST TABLES FOR SCHEMA shop;
SQL
[ "$status" -le 4 ] || { echo "demo: the SQL session failed (status $status)"; exit 1; }
"$quarn" "DROP DATABASE demo"
echo "== Done; the temporary instance directory is removed."
