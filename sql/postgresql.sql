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

CREATE TABLE IF NOT EXISTS Application (
  Workstation varchar(50),
  EventDate timestamp without time zone,
  RecordDate timestamp without time zone,
  Source varchar(255),
  Computer varchar(50),
  UserName varchar(255),
  Type varchar(50),
  Category varchar(255),
  EventID integer,
  Description text,
  Data bytea
);
CREATE INDEX IF NOT EXISTS Application_Computer_RecordDate ON Application (Computer, RecordDate);

CREATE TABLE IF NOT EXISTS Security (
  Workstation varchar(50),
  EventDate timestamp without time zone,
  RecordDate timestamp without time zone,
  Source varchar(255),
  Computer varchar(50),
  UserName varchar(255),
  Type varchar(50),
  Category varchar(255),
  EventID integer,
  Description text,
  Data bytea
);
CREATE INDEX IF NOT EXISTS Security_Computer_RecordDate ON Security (Computer, RecordDate);

CREATE TABLE IF NOT EXISTS System (
  Workstation varchar(50),
  EventDate timestamp without time zone,
  RecordDate timestamp without time zone,
  Source varchar(255),
  Computer varchar(50),
  UserName varchar(255),
  Type varchar(50),
  Category varchar(255),
  EventID integer,
  Description text,
  Data bytea
);
CREATE INDEX IF NOT EXISTS System_Computer_RecordDate ON System (Computer, RecordDate);
