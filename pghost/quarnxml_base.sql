-- The fixed part of the install script of the extension quarnxml (qsinstallgen puts the
-- registrations of the function table after it): the language quarnsql, the record of distinct
-- types and the function that makes one.
\echo Use "CREATE EXTENSION quarnxml" to load this file. \quit

-- The routines of the language run only in a UTF8 database and refuse every call elsewhere: the
-- extension is refused there at once rather than installed to fail at each call.
DO $$
BEGIN
  IF pg_catalog.getdatabaseencoding() OPERATOR(pg_catalog.<>) 'UTF8' THEN
    RAISE EXCEPTION 'the extension quarnxml needs a database of encoding UTF8, not %',
      pg_catalog.getdatabaseencoding() USING ERRCODE = 'feature_not_supported';
  END IF;
END
$$;

CREATE SCHEMA quarnsql;
CREATE SCHEMA quarnxml;
GRANT USAGE ON SCHEMA quarnsql, quarnxml TO PUBLIC;

CREATE FUNCTION quarnsql.call_handler() RETURNS language_handler
  AS 'MODULE_PATHNAME', 'quarnsql_call_handler' LANGUAGE C;
CREATE FUNCTION quarnsql.validator(oid) RETURNS void
  AS 'MODULE_PATHNAME', 'quarnsql_validator' LANGUAGE C STRICT;
CREATE LANGUAGE quarnsql HANDLER quarnsql.call_handler VALIDATOR quarnsql.validator;
COMMENT ON LANGUAGE quarnsql IS 'external routines in the QUARNSQL convention: AS ''library!entry clauses''';

-- One row per distinct type: what the handler passes it as, and the length its input and casts
-- check.  Rows the extension itself makes are not dumped (CREATE EXTENSION makes them again).
CREATE TABLE quarnsql.distinct_types (
  type regtype PRIMARY KEY,
  source regtype NOT NULL,
  base text NOT NULL,
  length bigint NOT NULL DEFAULT 0,
  comparisons boolean NOT NULL,
  by_extension boolean NOT NULL DEFAULT false);
SELECT pg_catalog.pg_extension_config_dump('quarnsql.distinct_types', 'WHERE NOT by_extension');
GRANT SELECT ON quarnsql.distinct_types TO PUBLIC;

-- CREATE DISTINCT TYPE schema.name AS base(length) [WITH COMPARISONS]: a base type of its own
-- with the source type's representation and I/O (a character source's input, receive and cast
-- check the length: 22001), a function named like the type and an assignment cast from the
-- source, explicit casts back to it, and with comparisons the operators = <> < <= > >= and a
-- default btree operator class over the source's own comparison functions.  base is the source
-- as the platform names it: varchar, char, clob, dbclob, blob, smallint, integer, bigint, real,
-- double, decimal, date, time or timestamp.  The length a character type checks is also written
-- into the definitions of its input, receive and cast functions (SET quarnsql.distinct_length),
-- which only a superuser can change and which a restore makes before any row: the record's row
-- may come later (pg_dump restores quarnsql's data after the tables of other schemas).  The
-- function and everything it runs resolve names in pg_catalog only (its search_path, and calls
-- written qualified), never through a schema of the caller's path where another role may create.
CREATE FUNCTION quarnsql.create_distinct_type(schema name, name name, base text, length bigint,
                                              comparisons boolean) RETURNS regtype
LANGUAGE plpgsql SET client_min_messages = warning SET search_path = pg_catalog, pg_temp AS $body$
DECLARE
  t text := pg_catalog.format('%I.%I', schema, name);
  src regtype;
  cmptype regtype;
  character boolean := base IN ('varchar', 'char', 'clob', 'dbclob');
  lib text;
  srct record;
  fam oid;
  opr record;
  strategies text[] := ARRAY['lt', 'le', 'eq', 'ge', 'gt'];
  commutators text[] := ARRAY['>', '>=', '=', '<=', '<'];
  negators text[] := ARRAY['>=', '>', '<>', '<', '<='];
  names text[] := ARRAY[]::text[];
  cmpsrc text;
  negsrc text;
  negrest regproc;
  negjoin regproc;
BEGIN
  src := CASE base WHEN 'varchar' THEN 'varchar' WHEN 'char' THEN 'bpchar' WHEN 'clob' THEN 'text'
                   WHEN 'dbclob' THEN 'text' WHEN 'blob' THEN 'bytea' WHEN 'smallint' THEN 'int2'
                   WHEN 'integer' THEN 'int4' WHEN 'bigint' THEN 'int8' WHEN 'real' THEN 'float4'
                   WHEN 'double' THEN 'float8' WHEN 'decimal' THEN 'numeric' WHEN 'date' THEN 'date'
                   WHEN 'time' THEN 'time' WHEN 'timestamp' THEN 'timestamp' END::regtype;
  IF src IS NULL THEN
    RAISE EXCEPTION USING ERRCODE = '42704', MESSAGE = pg_catalog.format('%s cannot be the source of a distinct type', base);
  END IF;
  SELECT p.probin INTO lib FROM pg_catalog.pg_proc p WHERE p.oid = 'quarnsql.call_handler()'::regprocedure;
  SELECT ti.prosrc AS input, ti.pronargs AS input_nargs, tto.prosrc AS output, tr.prosrc AS receive,
         tr.pronargs AS receive_nargs, ts.prosrc AS send,
         CASE WHEN ty.typcollation <> 0 THEN 'true' ELSE 'false' END AS collatable
    INTO srct
    FROM pg_catalog.pg_type ty
    JOIN pg_catalog.pg_proc ti ON ti.oid = ty.typinput
    JOIN pg_catalog.pg_proc tto ON tto.oid = ty.typoutput
    JOIN pg_catalog.pg_proc tr ON tr.oid = ty.typreceive
    JOIN pg_catalog.pg_proc ts ON ts.oid = ty.typsend
   WHERE ty.oid = src;

  EXECUTE pg_catalog.format('CREATE TYPE %s', t);
  IF character THEN
    EXECUTE pg_catalog.format('CREATE FUNCTION %I.%I(cstring, oid, integer) RETURNS %s LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE '
                              'SET quarnsql.distinct_length = %L AS %L, %L',
                   schema, name || '_in', t, coalesce(length, 0), lib, 'quarnsql_distinct_in');
    EXECUTE pg_catalog.format('CREATE FUNCTION %I.%I(internal, oid, integer) RETURNS %s LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE '
                              'SET quarnsql.distinct_length = %L AS %L, %L',
                   schema, name || '_recv', t, coalesce(length, 0), lib, 'quarnsql_distinct_recv');
  ELSE
    EXECUTE pg_catalog.format('CREATE FUNCTION %I.%I(%s) RETURNS %s LANGUAGE internal IMMUTABLE STRICT PARALLEL SAFE AS %L',
                   schema, name || '_in', CASE WHEN srct.input_nargs = 3 THEN 'cstring, oid, integer' ELSE 'cstring' END,
                   t, srct.input);
    EXECUTE pg_catalog.format('CREATE FUNCTION %I.%I(%s) RETURNS %s LANGUAGE internal IMMUTABLE STRICT PARALLEL SAFE AS %L',
                   schema, name || '_recv', CASE WHEN srct.receive_nargs = 3 THEN 'internal, oid, integer' ELSE 'internal' END,
                   t, srct.receive);
  END IF;
  EXECUTE pg_catalog.format('CREATE FUNCTION %I.%I(%s) RETURNS cstring LANGUAGE internal IMMUTABLE STRICT PARALLEL SAFE AS %L',
                 schema, name || '_out', t, srct.output);
  EXECUTE pg_catalog.format('CREATE FUNCTION %I.%I(%s) RETURNS bytea LANGUAGE internal IMMUTABLE STRICT PARALLEL SAFE AS %L',
                 schema, name || '_send', t, srct.send);
  EXECUTE pg_catalog.format('CREATE TYPE %s (INPUT = %I.%I, OUTPUT = %I.%I, RECEIVE = %I.%I, SEND = %I.%I, LIKE = %s, COLLATABLE = %s)',
                 t, schema, name || '_in', schema, name || '_out', schema, name || '_recv', schema, name || '_send',
                 src, srct.collatable);

  -- From the source: a function named like the type and an assignment cast; back: explicit casts.
  IF character THEN
    EXECUTE pg_catalog.format('CREATE FUNCTION %s(%s) RETURNS %s LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE '
                              'SET quarnsql.distinct_length = %L AS %L, %L',
                   t, src, t, coalesce(length, 0), lib, 'quarnsql_distinct_cast');
    EXECUTE pg_catalog.format('CREATE CAST (%s AS %s) WITH FUNCTION %s(%s) AS ASSIGNMENT', src, t, t, src);
    IF src <> 'text'::regtype AND src <> 'bpchar'::regtype THEN
      EXECUTE pg_catalog.format('CREATE CAST (text AS %s) WITH FUNCTION %s(%s) AS ASSIGNMENT', t, t, src);
      EXECUTE pg_catalog.format('CREATE CAST (%s AS text) WITHOUT FUNCTION', t);
    ELSIF src = 'text'::regtype THEN
      EXECUTE pg_catalog.format('CREATE CAST (varchar AS %s) WITH FUNCTION %s(%s) AS ASSIGNMENT', t, t, src);
      EXECUTE pg_catalog.format('CREATE CAST (%s AS varchar) WITHOUT FUNCTION', t);
    END IF;
  ELSE
    EXECUTE pg_catalog.format('CREATE CAST (%s AS %s) WITHOUT FUNCTION AS ASSIGNMENT', src, t);
    EXECUTE pg_catalog.format('CREATE FUNCTION %s(%s) RETURNS %s LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS %L',
                   t, src, t, pg_catalog.format('SELECT $1::%s', t));
  END IF;
  EXECUTE pg_catalog.format('CREATE CAST (%s AS %s) WITHOUT FUNCTION', t, src);

  IF comparisons THEN
    cmptype := CASE WHEN src IN ('varchar'::regtype, 'text'::regtype) THEN 'text'::regtype ELSE src END;
    SELECT c.opcfamily INTO fam
      FROM pg_catalog.pg_opclass c JOIN pg_catalog.pg_am a ON a.oid = c.opcmethod
     WHERE a.amname = 'btree' AND c.opcintype = cmptype AND c.opcdefault;
    IF fam IS NULL THEN
      RAISE EXCEPTION USING ERRCODE = '42704', MESSAGE = pg_catalog.format('%s has no comparisons to reuse', src);
    END IF;
    FOR opr IN
      SELECT o.amopstrategy AS strategy, op.oprname, pr.prosrc, op.oprrest, op.oprjoin, op.oprnegate
        FROM pg_catalog.pg_amop o
        JOIN pg_catalog.pg_operator op ON op.oid = o.amopopr
        JOIN pg_catalog.pg_proc pr ON pr.oid = op.oprcode
       WHERE o.amopfamily = fam AND o.amoplefttype = cmptype AND o.amoprighttype = cmptype
       ORDER BY o.amopstrategy
    LOOP
      EXECUTE pg_catalog.format('CREATE FUNCTION %I.%I(%s, %s) RETURNS boolean LANGUAGE internal IMMUTABLE STRICT PARALLEL SAFE AS %L',
                     schema, name || '_' || strategies[opr.strategy], t, t, opr.prosrc);
      EXECUTE pg_catalog.format('CREATE OPERATOR %I.%s (LEFTARG = %s, RIGHTARG = %s, FUNCTION = %I.%I, RESTRICT = %s, JOIN = %s, '
                     'COMMUTATOR = OPERATOR(%I.%s), NEGATOR = OPERATOR(%I.%s))',
                     schema, opr.oprname, t, t, schema, name || '_' || strategies[opr.strategy], opr.oprrest, opr.oprjoin,
                     schema, commutators[opr.strategy], schema, negators[opr.strategy]);
      names := names || pg_catalog.format('OPERATOR %s %I.%s', opr.strategy, schema, opr.oprname);
      IF opr.strategy = 3 THEN
        SELECT pr.prosrc, op.oprrest, op.oprjoin INTO negsrc, negrest, negjoin
          FROM pg_catalog.pg_operator op JOIN pg_catalog.pg_proc pr ON pr.oid = op.oprcode
         WHERE op.oid = opr.oprnegate;
      END IF;
    END LOOP;
    EXECUTE pg_catalog.format('CREATE FUNCTION %I.%I(%s, %s) RETURNS boolean LANGUAGE internal IMMUTABLE STRICT PARALLEL SAFE AS %L',
                   schema, name || '_ne', t, t, negsrc);
    EXECUTE pg_catalog.format('CREATE OPERATOR %I.<> (LEFTARG = %s, RIGHTARG = %s, FUNCTION = %I.%I, RESTRICT = %s, JOIN = %s, '
                   'COMMUTATOR = OPERATOR(%I.<>), NEGATOR = OPERATOR(%I.=))',
                   schema, t, t, schema, name || '_ne', negrest, negjoin, schema, schema);
    SELECT pr.prosrc INTO cmpsrc
      FROM pg_catalog.pg_amproc p JOIN pg_catalog.pg_proc pr ON pr.oid = p.amproc
     WHERE p.amprocfamily = fam AND p.amproclefttype = cmptype AND p.amprocrighttype = cmptype AND p.amprocnum = 1;
    EXECUTE pg_catalog.format('CREATE FUNCTION %I.%I(%s, %s) RETURNS integer LANGUAGE internal IMMUTABLE STRICT PARALLEL SAFE AS %L',
                   schema, name || '_cmp', t, t, cmpsrc);
    EXECUTE pg_catalog.format('CREATE OPERATOR CLASS %I.%I DEFAULT FOR TYPE %s USING btree AS %s, FUNCTION 1 %I.%I(%s, %s)',
                   schema, name || '_ops', t, pg_catalog.array_to_string(names, ', '), schema, name || '_cmp', t, t);
  END IF;

  INSERT INTO quarnsql.distinct_types (type, source, base, length, comparisons)
    VALUES (t::regtype, src, base, coalesce(length, 0), comparisons);
  RETURN t::regtype;
END
$body$;
REVOKE ALL ON FUNCTION quarnsql.create_distinct_type(name, name, text, bigint, boolean) FROM PUBLIC;
