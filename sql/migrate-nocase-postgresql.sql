-- Brings a Corvid database made before names compared without regard to
-- case up to date; safe to run again:
--   psql -d corvid -f migrate-nocase-postgresql.sql
-- It adds what postgresql.sql adds (the collation, CorvidClears) and moves
-- the name columns of the event tables to the collation; their indexes are
-- rebuilt with them.
CREATE COLLATION IF NOT EXISTS corvid_nocase (provider = icu, locale = 'und-u-ks-level2', deterministic = false);
ALTER TABLE Application ALTER COLUMN Workstation TYPE varchar(50) COLLATE corvid_nocase,
  ALTER COLUMN Computer TYPE varchar(50) COLLATE corvid_nocase;
ALTER TABLE Security ALTER COLUMN Workstation TYPE varchar(50) COLLATE corvid_nocase,
  ALTER COLUMN Computer TYPE varchar(50) COLLATE corvid_nocase;
ALTER TABLE System ALTER COLUMN Workstation TYPE varchar(50) COLLATE corvid_nocase,
  ALTER COLUMN Computer TYPE varchar(50) COLLATE corvid_nocase;
CREATE TABLE IF NOT EXISTS CorvidClears (
  Computer varchar(50) COLLATE corvid_nocase,
  LogName varchar(20),
  RecordDate timestamp without time zone,
  StoredRows integer
);
