-- [register]
-- Shredding and composing back: the sample orders' collection (samples/orders.dad) stores each
-- order into its tables, and the collection composes the same documents from them again.
SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN;
CALL quarnxml.kelEnableCollection('TESTDB', 'orders', XMLCLOBFromFile('@DATA@/sample_orders.dad'), NULL, ?, ?);
CREATE TABLE originals (id INT NOT NULL PRIMARY KEY, doc VARCHAR(4000));
INSERT INTO originals VALUES (1, '<?xml version="1.0"?>
<!DOCTYPE order SYSTEM "order.dtd">
<order id="1001" status="shipped">
  <customer>
    <name>Ann Berg</name>
    <city>Oslo</city>
  </customer>
  <date>2026-11-02</date>
  <item sku="B-17" kind="book">
    <title>Tides of the North Sea</title>
    <qty>2</qty>
    <price>18.50</price>
  </item>
  <item sku="C-03" kind="cd">
    <title>Night Trains &amp; Days</title>
    <qty>1</qty>
    <price>12.00</price>
  </item>
</order>');
INSERT INTO originals VALUES (2, '<?xml version="1.0"?>
<!DOCTYPE order SYSTEM "order.dtd">
<order id="1002" status="open">
  <customer>
    <name>Björn Lind</name>
    <city>Malmö</city>
  </customer>
  <date>2026-11-15</date>
  <item sku="B-02" kind="book">
    <title>Small Gardens</title>
    <qty>1</qty>
    <price>24.90</price>
  </item>
</order>');
CALL quarnxml.kelInsertXML('orders', (SELECT doc FROM originals WHERE id = 1), ?, ?);
CALL quarnxml.kelInsertXML('orders', (SELECT doc FROM originals WHERE id = 2), ?, ?);
SELECT order_id, status, customer, city, ordered FROM shop.order_head ORDER BY order_id;
SELECT order_id, sku, kind, title, qty, price FROM shop.order_item ORDER BY order_id, sku;
-- Composed back into a table: each document equals its original, character for character.
CREATE TABLE composed (doc VARCHAR(4000));
CALL quarnxml.kelRetrieveXML('orders', 'composed', 0, NULL, 0, ?, ?, ?);
SELECT o.id, CASE WHEN EXISTS (SELECT 1 FROM composed AS c WHERE c.doc = o.doc) THEN 'same' ELSE 'differs' END AS round_trip FROM originals AS o ORDER BY o.id;
SELECT COUNT(*) AS composed_documents FROM composed;
