CREATE TABLE sales.customers (cust_id VARCHAR(8) NOT NULL PRIMARY KEY, name VARCHAR(40), city VARCHAR(30));
CREATE TABLE sales.orders (order_id VARCHAR(8) NOT NULL PRIMARY KEY, cust_id VARCHAR(8) NOT NULL, ordered DATE, status VARCHAR(10));
CREATE TABLE sales.items (order_id VARCHAR(8) NOT NULL, item_no INTEGER NOT NULL, product VARCHAR(40), qty INTEGER, price DECIMAL(8,2), PRIMARY KEY (order_id, item_no));
INSERT INTO sales.customers VALUES ('C1', 'Ann Lee', 'Oslo'), ('C2', 'Bo Chen', 'Lima');
INSERT INTO sales.orders VALUES ('O1', 'C1', '2024-03-01', 'shipped'), ('O2', 'C2', '2024-03-04', 'open'), ('O3', 'C1', '2024-03-09', 'open');
INSERT INTO sales.items VALUES ('O1', 1, 'Green tea', 2, 4.25), ('O1', 2, 'Cups & saucers', 1, 12.75), ('O2', 1, 'Kettle <steel>', 1, 39.95), ('O3', 1, 'Green tea', 5, 4.25), ('O3', 2, 'Honey', 1, 6.35), ('O3', 3, 'Lemons', 6, 0.45);
