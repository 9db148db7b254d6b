-- Dialect: names, types, constraints, views, aliases, distinct types, queries.
SET SCHEMA = shop;
VALUES CURRENT SCHEMA;
CREATE TABLE customer (id INTEGER NOT NULL, name VARCHAR(20) NOT NULL, city CHAR(10) WITH DEFAULT 'Bern', CONSTRAINT cust_pk PRIMARY KEY (id)) IN USERSPACE1;
CREATE TABLE "Orders" (ono BIGINT NOT NULL PRIMARY KEY, cust INT, amount DECIMAL(7,2), note CLOB(1K) NOT LOGGED, made DATE, CONSTRAINT ord_fk FOREIGN KEY (cust) REFERENCES customer ON DELETE CASCADE);
INSERT INTO customer (id, name) VALUES (1, 'Ann'), (2, 'Bob');
INSERT INTO customer VALUES (3, 'Cy', DEFAULT);
INSERT INTO "Orders" VALUES (10, 1, 12.5, 'first', '2024-01-31'), (11, 1, 3, NULL, NULL), (12, 2, 100.25, 'big', '2024-02-29');
SELECT c.name, o.ono, o.amount FROM shop.customer c JOIN shop."Orders" o ON o.cust = c.id ORDER BY o.ono;
SELECT name, city, RTRIM(city) || '!' FROM customer ORDER BY id FETCH FIRST 2 ROWS ONLY;
SELECT customer.name FROM customer WHERE id IN (SELECT cust FROM "Orders" WHERE amount > 10) ORDER BY 1;
SELECT x.n, x.total FROM (SELECT cust, COUNT(*), SUM(amount) FROM "Orders" GROUP BY cust) AS x(c, n, total) ORDER BY x.c;
SELECT * FROM TABLE(VALUES (1, 'a'), (2, 'b')) AS T(num, txt) WHERE num > 1;
SELECT LENGTH(name), SUBSTR(name, 1, 2), UPPER(name), COALESCE(NULL, name) FROM customer WHERE id = 1;
SELECT LENGTH(GENERATE_UNIQUE()) FROM customer WHERE id = 1;
VALUES (CAST('42' AS INTEGER), CAST(3.999 AS DECIMAL(5,2)), CAST('abc' AS VARCHAR(2)));
SELECT name FROM customer WHERE name LIKE 'A%' OR city IS NULL;
SELECT id, CASE WHEN id = 1 THEN 'one' ELSE 'more' END FROM customer ORDER BY id DESC;
UPDATE customer SET city = 'Basel' WHERE id = 2;
UPDATE customer SET (name, city) = ('Bobby', DEFAULT) WHERE id = 2;
SELECT * FROM customer ORDER BY id;
DELETE FROM customer WHERE id = 1;
SELECT COUNT(*) FROM "Orders";
UPDATE customer SET city = 'Nowhere' WHERE id = 99;
CREATE VIEW bigorders (ono, amount) AS SELECT ono, amount FROM "Orders" WHERE amount > 50;
SELECT * FROM bigorders;
CREATE ALIAS cust FOR shop.customer;
SELECT id FROM cust ORDER BY id;
CREATE DISTINCT TYPE money AS DECIMAL(9,2) WITH COMPARISONS;
CREATE TABLE price (item VARCHAR(10) NOT NULL, cost money);
INSERT INTO price VALUES ('pen', money(1.5));
SELECT item, DECIMAL(cost) FROM price;
ALTER TABLE price ADD COLUMN qty SMALLINT NOT NULL WITH DEFAULT 1 ADD CONSTRAINT price_pk PRIMARY KEY (item);
SELECT * FROM price;
ALTER TABLE price DROP PRIMARY KEY;
CREATE TABLESPACE ts1 MANAGED BY SYSTEM USING ('ts1');
CREATE TABLE logt (msg VARCHAR(100), at TIMESTAMP) IN ts1;
SELECT tbspace, tbspaceid FROM syscat.tablespaces ORDER BY tbspaceid;
SELECT tabname, tbspace FROM syscat.tables WHERE tabschema = 'SHOP' ORDER BY tabname;
DESCRIBE TABLE logt;
LIST TABLES;
VALUES SUBSTR('Jabcdefg', 2, 8) || '|', POSSTR('abc', 'c');
GRANT SELECT, INSERT ON TABLE logt TO USER joe;
GRANT ALL ON logt TO PUBLIC;
REVOKE INSERT ON logt FROM USER joe;
SELECT grantee, selectauth, insertauth FROM syscat.tabauth WHERE tabname = 'LOGT' ORDER BY grantee;
LOCK TABLE logt IN EXCLUSIVE MODE;
DROP VIEW bigorders;
DROP ALIAS cust;
DROP TABLE price;
DROP DISTINCT TYPE money;
DROP TABLE logt;
DROP TABLESPACE ts1;
-- Correlation names that differ only in case are two names, though SQLite matches them without
-- regard to case: the inner "t" took the outer T's reference (all rows came back), t.id over an
-- item exposed as "t" was accepted, and T beside "t" was -203 naming SQLite's "main.T.ID".
SELECT T.id FROM customer AS T WHERE EXISTS (SELECT 1 FROM customer AS "t" WHERE T.id = 3);
SELECT "t".id FROM customer AS "t" WHERE EXISTS (SELECT 1 FROM customer AS T WHERE "t".id = 3);
SELECT t.id FROM customer AS "t";
SELECT * FROM customer AS t, customer AS "t" WHERE t.id = 2 AND "t".id = 3;
SELECT "t".*, T.name FROM customer AS t, customer AS "t" WHERE t.id = 2 AND "t".id = 3;
SELECT "t".n FROM customer AS t, (SELECT id, name FROM customer) AS "t"(i, n) WHERE t.id = 2 AND "t".i = 3;
WITH "t"(i) AS (VALUES 3) SELECT T.name, "t".i FROM customer AS T, "t" WHERE T.id = "t".i;
-- A qualified name whose nearest FROM item of that exposed name lacks the column is -206: it
-- took the column of an enclosing query's item of the same name.
SELECT customer.id FROM customer WHERE EXISTS (SELECT 1 FROM "Orders" AS customer WHERE customer.name = 'Cy');
SELECT customer.id FROM customer WHERE EXISTS (SELECT 1 FROM "Orders" AS customer WHERE customer.cust = 2) ORDER BY 1;
