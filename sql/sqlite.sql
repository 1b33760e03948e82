-- The event tables of Corvid's embedded database (Corvid.db), one per event
-- log. corvid-install runs this file on a new or existing Corvid.db: it only
-- ever adds what is missing.
--
-- The tables are named without quotes because the program's statements name
-- them so ("INSERT INTO System ..."). Timestamps are stored by the SQLite
-- ODBC driver as text "YYYY-MM-DD HH:MM:SS.fff", which sorts and compares
-- correctly as text; rows written by other means must use the same form, or
-- the program's "newest stored row" query will not find them again.
--
-- Workstation and Computer compare without regard to case, as computer
-- names do on Windows: a list that names a computer in other letters than
-- its records still finds what was stored. Only ASCII letters fold (NOCASE).
-- A database made before that: sql/migrate-nocase-sqlite.sql.

PRAGMA journal_mode = WAL;

CREATE TABLE IF NOT EXISTS Application (
  Workstation varchar(50) COLLATE NOCASE,
  EventDate timestamp,
  RecordDate timestamp,
  Source varchar(255),
  Computer varchar(50) COLLATE NOCASE,
  UserName varchar(255),
  Type varchar(50),
  Category varchar(255),
  EventID integer,
  Description text,
  Data blob
);
CREATE INDEX IF NOT EXISTS Application_Computer_RecordDate ON Application (Computer, RecordDate);

CREATE TABLE IF NOT EXISTS Security (
  Workstation varchar(50) COLLATE NOCASE,
  EventDate timestamp,
  RecordDate timestamp,
  Source varchar(255),
  Computer varchar(50) COLLATE NOCASE,
  UserName varchar(255),
  Type varchar(50),
  Category varchar(255),
  EventID integer,
  Description text,
  Data blob
);
CREATE INDEX IF NOT EXISTS Security_Computer_RecordDate ON Security (Computer, RecordDate);

CREATE TABLE IF NOT EXISTS System (
  Workstation varchar(50) COLLATE NOCASE,
  EventDate timestamp,
  RecordDate timestamp,
  Source varchar(255),
  Computer varchar(50) COLLATE NOCASE,
  UserName varchar(255),
  Type varchar(50),
  Category varchar(255),
  EventID integer,
  Description text,
  Data blob
);
CREATE INDEX IF NOT EXISTS System_Computer_RecordDate ON System (Computer, RecordDate);

-- The horizon each clear of a log left behind: its newest stored RecordDate
-- and how many rows carry it. Records written in that same second after the
-- clear are new, and the program stores them instead of taking them for
-- stored rows. One row per computer and log, kept by the program.
CREATE TABLE IF NOT EXISTS CorvidClears (
  Computer varchar(50) COLLATE NOCASE,
  LogName varchar(20),
  RecordDate timestamp,
  StoredRows integer
);
