-- Installing the extension and making a distinct type with it, as a superuser, in a database
-- where another role may create objects in public: that role plants a format(text, text) and an
-- array_to_string(text[], text), which an unqualified call would prefer over pg_catalog's, and
-- which make their role a superuser when a superuser runs them.  The extension's functions
-- resolve names in pg_catalog only, so the role stays what it was.
CREATE ROLE planter;
GRANT CREATE ON SCHEMA public TO planter;
SET ROLE planter;
CREATE FUNCTION public.format(text, text) RETURNS text LANGUAGE plpgsql AS $$
BEGIN
  IF (SELECT rolsuper FROM pg_roles WHERE rolname = current_user) THEN EXECUTE 'ALTER ROLE planter SUPERUSER'; END IF;
  RETURN pg_catalog.format($1, $2);
END $$;
CREATE FUNCTION public.array_to_string(text[], text) RETURNS text LANGUAGE plpgsql AS $$
BEGIN
  IF (SELECT rolsuper FROM pg_roles WHERE rolname = current_user) THEN EXECUTE 'ALTER ROLE planter SUPERUSER'; END IF;
  RETURN pg_catalog.array_to_string($1, $2);
END $$;
RESET ROLE;
CREATE EXTENSION quarnxml;
SELECT rolsuper FROM pg_roles WHERE rolname = 'planter';
SELECT quarnsql.create_distinct_type('public', 'code', 'varchar', 4, true);
SELECT quarnsql.create_distinct_type('public', 'nosuch', 'widget', 4, false);
SELECT rolsuper FROM pg_roles WHERE rolname = 'planter';
-- The type works: length-checked, compared by its own operators.
SELECT 'ab'::code = 'ab'::code AS same, 'ab'::code < 'b'::code AS less;
SELECT 'abcde'::code;
-- Every function the extension's scripts define in a language that runs SQL has its path fixed.
SELECT p.oid::regprocedure, p.proconfig
  FROM pg_proc p JOIN pg_depend d ON d.classid = 'pg_proc'::regclass AND d.objid = p.oid AND d.deptype = 'e'
  JOIN pg_extension e ON e.oid = d.refobjid AND e.extname = 'quarnxml'
  JOIN pg_language l ON l.oid = p.prolang
 WHERE l.lanname NOT IN ('c', 'internal', 'quarnsql')
 ORDER BY 1;
DROP OWNED BY planter;
DROP ROLE planter;
