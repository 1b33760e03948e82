-- The event tables of Corvid for a PostgreSQL database, one per event log:
--   psql -d <database> -f postgresql.sql
-- Safe to run again: it only ever adds what is missing.
--
-- The names are unquoted on purpose. The program's statements name the
-- tables unquoted ("INSERT INTO System ..."), which PostgreSQL folds to
-- lower case, so the tables must be created the same way (as application,
-- security and system). Date-times are local times without a zone, kept to
-- the microsecond by psqlODBC, so a stored RecordDate read back and bound
-- again compares equal.
--
-- Workstation and Computer compare without regard to case, as computer
-- names do on Windows, through a non-deterministic ICU collation: a list
-- that names a computer in other letters than its records still finds what
-- was stored. Such columns do not take LIKE before PostgreSQL 18; use ILIKE,
-- or compare "Computer COLLATE "C" LIKE ...". A database made before that:
-- sql/migrate-nocase-postgresql.sql.

CREATE COLLATION IF NOT EXISTS corvid_nocase (provider = icu, locale = 'und-u-ks-level2', deterministic = false);

CREATE TABLE IF NOT EXISTS Application (
  Workstation varchar(50) COLLATE corvid_nocase,
  EventDate timestamp without time zone,
  RecordDate timestamp without time zone,
  Source varchar(255),
  Computer varchar(50) COLLATE corvid_nocase,
  UserName varchar(255),
  Type varchar(50),
  Category varchar(255),
  EventID integer,
  Description text,
  Data bytea
);
CREATE INDEX IF NOT EXISTS Application_Computer_RecordDate ON Application (Computer, RecordDate);

CREATE TABLE IF NOT EXISTS Security (
  Workstation varchar(50) COLLATE corvid_nocase,
  EventDate timestamp without time zone,
  RecordDate timestamp without time zone,
  Source varchar(255),
  Computer varchar(50) COLLATE corvid_nocase,
  UserName varchar(255),
  Type varchar(50),
  Category varchar(255),
  EventID integer,
  Description text,
  Data bytea
);
CREATE INDEX IF NOT EXISTS Security_Computer_RecordDate ON Security (Computer, RecordDate);

CREATE TABLE IF NOT EXISTS System (
  Workstation varchar(50) COLLATE corvid_nocase,
  EventDate timestamp without time zone,
  RecordDate timestamp without time zone,
  Source varchar(255),
  Computer varchar(50) COLLATE corvid_nocase,
  UserName varchar(255),
  Type varchar(50),
  Category varchar(255),
  EventID integer,
  Description text,
  Data bytea
);
CREATE INDEX IF NOT EXISTS System_Computer_RecordDate ON System (Computer, RecordDate);

-- The horizon each clear of a log left behind: its newest stored RecordDate
-- and how many rows carry it. Records written in that same second after the
-- clear are new, and the program stores them instead of taking them for
-- stored rows. One row per computer and log, kept by the program.
CREATE TABLE IF NOT EXISTS CorvidClears (
  Computer varchar(50) COLLATE corvid_nocase,
  LogName varchar(20),
  RecordDate timestamp without time zone,
  StoredRows integer
);
