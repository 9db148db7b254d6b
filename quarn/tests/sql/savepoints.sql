-- [+c]
-- Savepoints of a unit of work: set, roll back to, release; reuse and UNIQUE; definitions
-- undone; and a procedure's savepoints at a level of their own inside its CALL.
CREATE TABLE t (k INT NOT NULL PRIMARY KEY);
CREATE PROCEDURE tsp (IN script VARCHAR(400), OUT log VARCHAR(400)) EXTERNAL NAME 'quarntestroutines!tsavepoints' LANGUAGE C PARAMETER STYLE SQL;
COMMIT;
-- Rolling back to a savepoint undoes what followed it and ends the savepoints set after it;
-- the savepoint itself stays until it is released.
INSERT INTO t VALUES (1);
SAVEPOINT a ON ROLLBACK RETAIN CURSORS;
INSERT INTO t VALUES (2);
SAVEPOINT b ON ROLLBACK RETAIN CURSORS ON ROLLBACK RETAIN LOCKS;
INSERT INTO t VALUES (3);
ROLLBACK TO SAVEPOINT a;
SELECT k FROM t ORDER BY k;
ROLLBACK WORK TO SAVEPOINT b;
INSERT INTO t VALUES (2);
ROLLBACK TO SAVEPOINT a;
INSERT INTO t VALUES (4);
RELEASE SAVEPOINT a;
ROLLBACK TO SAVEPOINT a;
ROLLBACK TO SAVEPOINT;
RELEASE TO SAVEPOINT nosuch;
COMMIT;
SELECT k FROM t ORDER BY k;
-- Without a name: the newest.  A failing statement inside a savepoint undoes only itself.
SAVEPOINT c ON ROLLBACK RETAIN CURSORS;
INSERT INTO t VALUES (5);
SAVEPOINT d ON ROLLBACK RETAIN CURSORS;
INSERT INTO t VALUES (6), (1);
INSERT INTO t VALUES (7);
ROLLBACK TO SAVEPOINT;
SELECT k FROM t ORDER BY k;
-- A name set again replaces the savepoint (what was done stays); UNIQUE refuses that.
SAVEPOINT c ON ROLLBACK RETAIN CURSORS;
INSERT INTO t VALUES (8);
ROLLBACK TO SAVEPOINT c;
SELECT k FROM t ORDER BY k;
SAVEPOINT u UNIQUE ON ROLLBACK RETAIN CURSORS;
SAVEPOINT u ON ROLLBACK RETAIN CURSORS;
SAVEPOINT c UNIQUE ON ROLLBACK RETAIN CURSORS;
SAVEPOINT sysp ON ROLLBACK RETAIN CURSORS;
SAVEPOINT x;
SAVEPOINT "x" ON ROLLBACK RETAIN CURSORS;
ROLLBACK TO SAVEPOINT X;
ROLLBACK TO SAVEPOINT "x";
-- COMMIT and ROLLBACK end every savepoint.
COMMIT;
ROLLBACK TO SAVEPOINT u;
SELECT k FROM t ORDER BY k;
-- Definitions are undone with the data; the name is free again.
SAVEPOINT ddl ON ROLLBACK RETAIN CURSORS;
CREATE TABLE gone (x INT);
INSERT INTO gone VALUES (1);
SELECT x FROM gone;
ROLLBACK TO SAVEPOINT ddl;
SELECT x FROM gone;
CREATE TABLE gone (y VARCHAR(3));
INSERT INTO gone VALUES ('abc');
SELECT y FROM gone;
ROLLBACK;
-- A procedure sets, rolls back to and releases its own savepoints in the caller's unit of work,
-- by the runtime's calls and by statements.  It does not see the caller's savepoint OUTER
-- (-880), may reuse a name the caller set UNIQUE, and what it leaves set ends with the call.
SAVEPOINT outer UNIQUE ON ROLLBACK RETAIN CURSORS;
INSERT INTO t VALUES (10);
CALL tsp('+P|INSERT INTO t VALUES (11)|^P|INSERT INTO t VALUES (12)|^OUTER|-OUTER|*OUTER|+Q|INSERT INTO t VALUES (13)', ?);
ROLLBACK TO SAVEPOINT q;
SELECT k FROM t ORDER BY k;
CALL tsp('SAVEPOINT p ON ROLLBACK RETAIN CURSORS|INSERT INTO t VALUES (14)|ROLLBACK TO SAVEPOINT p|RELEASE SAVEPOINT p|ROLLBACK TO SAVEPOINT|INSERT INTO t VALUES (15)', ?);
SELECT k FROM t ORDER BY k;
-- A procedure that fails after setting savepoints: its whole work is undone, the caller's
-- savepoint and unit of work stay.
CALL tsp('+P|INSERT INTO t VALUES (16)|+R|INSERT INTO t VALUES (17)|!', ?);
SELECT k FROM t ORDER BY k;
-- A procedure calling a procedure: each call is its own level.
CALL tsp('*P|INSERT INTO t VALUES (20)|CALL tsp(''+P|INSERT INTO t VALUES (21)|+Q|^P|INSERT INTO t VALUES (22)'', ?)|INSERT INTO t VALUES (23)|^Q', ?);
SELECT k FROM t ORDER BY k;
ROLLBACK TO SAVEPOINT outer;
SELECT k FROM t ORDER BY k;
COMMIT;
SELECT k FROM t ORDER BY k;
