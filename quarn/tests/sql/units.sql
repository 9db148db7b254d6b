-- [+c]
-- Units of work without autocommit: COMMIT, ROLLBACK and statement atomicity.
CREATE TABLE acct (id INT NOT NULL PRIMARY KEY, bal INT);
INSERT INTO acct VALUES (1, 100), (2, 50);
COMMIT;
INSERT INTO acct VALUES (3, 10);
ROLLBACK;
SELECT * FROM acct ORDER BY id;
INSERT INTO acct VALUES (3, 10);
INSERT INTO acct VALUES (4, 1), (1, 1);
SELECT * FROM acct ORDER BY id;
UPDATE acct SET bal = bal * 30000000;
UPDATE acct SET bal = bal - 10;
SELECT * FROM acct ORDER BY id;
CREATE TABLE gone (x INT);
ALTER TABLE acct ADD COLUMN note VARCHAR(5) ADD CONSTRAINT dup PRIMARY KEY (bal);
SELECT colname FROM syscat.columns WHERE tabname = 'ACCT' ORDER BY colno;
ROLLBACK;
SELECT * FROM acct ORDER BY id;
SELECT COUNT(*) FROM syscat.tables WHERE tabname = 'GONE';
