-- Halvern's lab archive: run this once as a superuser (or the database's
-- owner) in the lab's database, e.g. `psql -d lab -f halvern-archive.sql`.
-- It makes the schema halvern, its tables, the group role halvern_writer and
-- the trigger that keeps every stored row as it arrived. Running it again
-- changes nothing that is there.
BEGIN;

CREATE SCHEMA IF NOT EXISTS halvern;

DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'halvern_writer') THEN
        CREATE ROLE halvern_writer NOLOGIN;
    END IF;
END
$$;

-- A run, named by the computer it ran on and its journal's base name
-- (yyyy-MM-dd_HH-mm-ss_COMn). Its first piece makes the row.
CREATE TABLE IF NOT EXISTS halvern.runs (
    host        text        NOT NULL,
    name        text        NOT NULL,
    started     timestamptz,
    received_at timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (host, name)
);

-- The journal in append-only pieces: stream 'raw' (the bytes as received),
-- 'times' (their arrival times) or 'manifest' (the run's chained manifest,
-- which only ever grows); each piece's bytes must hash to the SHA-256 sent
-- with them. A piece sent twice is stored once.
CREATE TABLE IF NOT EXISTS halvern.pieces (
    host        text        NOT NULL,
    name        text        NOT NULL,
    stream      text        NOT NULL CHECK (stream IN ('raw', 'times', 'manifest')),
    byte_offset bigint      NOT NULL CHECK (byte_offset >= 0),
    bytes       bytea       NOT NULL CHECK (length(bytes) > 0),
    sha256      bytea       NOT NULL CHECK (sha256 = sha256(bytes)),
    received_at timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (host, name, stream, byte_offset),
    FOREIGN KEY (host, name) REFERENCES halvern.runs (host, name)
);

-- The run's record at Stop: its summary as written, and the columns a
-- query wants.
CREATE TABLE IF NOT EXISTS halvern.records (
    host            text        NOT NULL,
    name            text        NOT NULL,
    login           text        NOT NULL,
    full_name       text,
    port            text,
    adapter         text,
    halvern_version text,
    office_version  text,
    started         timestamptz,
    stopped         timestamptz,
    raw_bytes       bigint,
    raw_sha256      text,
    times_sha256    text,
    macro           text,
    start_workbook  bytea,
    record          text        NOT NULL,
    record_sha256   bytea       NOT NULL CHECK (record_sha256 = sha256(convert_to(record, 'UTF8'))),
    received_at     timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (host, name),
    FOREIGN KEY (host, name) REFERENCES halvern.runs (host, name)
);

-- Each workbook file of a run as stored: the save at Stop ('saved') and
-- every later rebuild from the journal ('rebuilt'), each a row of its own.
CREATE TABLE IF NOT EXISTS halvern.workbooks (
    id          bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    host        text        NOT NULL,
    name        text        NOT NULL,
    kind        text        NOT NULL CHECK (kind IN ('saved', 'rebuilt')),
    file_name   text        NOT NULL,
    bytes       bytea       NOT NULL,
    sha256      bytea       NOT NULL CHECK (sha256 = sha256(bytes)),
    received_at timestamptz NOT NULL DEFAULT now(),
    UNIQUE (host, name, file_name, sha256),
    FOREIGN KEY (host, name) REFERENCES halvern.runs (host, name)
);

-- The workbooks runs started from, once each by content.
CREATE TABLE IF NOT EXISTS halvern.start_workbooks (
    sha256      bytea       PRIMARY KEY CHECK (sha256 = sha256(bytes)),
    bytes       bytea       NOT NULL,
    received_at timestamptz NOT NULL DEFAULT now()
);

-- Every row is stamped by the server's clock, whatever the client sent.
CREATE OR REPLACE FUNCTION halvern.stamp() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    NEW.received_at := now();
    RETURN NEW;
END
$$;

-- A stored row is never changed or removed, not even by the tables' owner;
-- only a superuser who drops the trigger on purpose can.
CREATE OR REPLACE FUNCTION halvern.refuse_change() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    RAISE EXCEPTION 'the halvern archive keeps its rows as they arrived: % on %.% refused',
        TG_OP, TG_TABLE_SCHEMA, TG_TABLE_NAME
        USING ERRCODE = 'insufficient_privilege';
END
$$;

DO $$
DECLARE
    t text;
BEGIN
    FOREACH t IN ARRAY ARRAY['runs', 'pieces', 'records', 'workbooks', 'start_workbooks'] LOOP
        EXECUTE format('DROP TRIGGER IF EXISTS stamp ON halvern.%I', t);
        EXECUTE format('CREATE TRIGGER stamp BEFORE INSERT ON halvern.%I '
                       'FOR EACH ROW EXECUTE FUNCTION halvern.stamp()', t);
        EXECUTE format('DROP TRIGGER IF EXISTS keep_rows ON halvern.%I', t);
        EXECUTE format('CREATE TRIGGER keep_rows BEFORE UPDATE OR DELETE ON halvern.%I '
                       'FOR EACH ROW EXECUTE FUNCTION halvern.refuse_change()', t);
        EXECUTE format('DROP TRIGGER IF EXISTS keep_table ON halvern.%I', t);
        EXECUTE format('CREATE TRIGGER keep_table BEFORE TRUNCATE ON halvern.%I '
                       'FOR EACH STATEMENT EXECUTE FUNCTION halvern.refuse_change()', t);
    END LOOP;
END
$$;

REVOKE ALL ON ALL TABLES IN SCHEMA halvern FROM PUBLIC;
GRANT USAGE ON SCHEMA halvern TO halvern_writer;
GRANT SELECT, INSERT ON ALL TABLES IN SCHEMA halvern TO halvern_writer;
REVOKE UPDATE, DELETE, TRUNCATE, REFERENCES, TRIGGER ON ALL TABLES IN SCHEMA halvern FROM halvern_writer;

COMMIT;
