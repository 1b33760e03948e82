-- Brings a Corvid.db made before names compared without regard to case up
-- to date, in one transaction (stop gathering first; it rewrites every row):
--   sqlite3 Corvid.db < migrate-nocase-sqlite.sql
-- SQLite cannot change a column's collation in place, so each event table is
-- made anew and its rows copied. Run it once only.

BEGIN;

ALTER TABLE Application RENAME TO Application_before_nocase;
DROP INDEX IF EXISTS Application_Computer_RecordDate;
CREATE TABLE Application (
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
INSERT INTO Application (Workstation, EventDate, RecordDate, Source, Computer, UserName, Type, Category, EventID, Description, Data) SELECT Workstation, EventDate, RecordDate, Source, Computer, UserName, Type, Category, EventID, Description, Data FROM Application_before_nocase;
DROP TABLE Application_before_nocase;
CREATE INDEX Application_Computer_RecordDate ON Application (Computer, RecordDate);

ALTER TABLE Security RENAME TO Security_before_nocase;
DROP INDEX IF EXISTS Security_Computer_RecordDate;
CREATE TABLE Security (
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
INSERT INTO Security (Workstation, EventDate, RecordDate, Source, Computer, UserName, Type, Category, EventID, Description, Data) SELECT Workstation, EventDate, RecordDate, Source, Computer, UserName, Type, Category, EventID, Description, Data FROM Security_before_nocase;
DROP TABLE Security_before_nocase;
CREATE INDEX Security_Computer_RecordDate ON Security (Computer, RecordDate);

ALTER TABLE System RENAME TO System_before_nocase;
DROP INDEX IF EXISTS System_Computer_RecordDate;
CREATE TABLE System (
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
INSERT INTO System (Workstation, EventDate, RecordDate, Source, Computer, UserName, Type, Category, EventID, Description, Data) SELECT Workstation, EventDate, RecordDate, Source, Computer, UserName, Type, Category, EventID, Description, Data FROM System_before_nocase;
DROP TABLE System_before_nocase;
CREATE INDEX System_Computer_RecordDate ON System (Computer, RecordDate);

CREATE TABLE IF NOT EXISTS CorvidClears (
  Computer varchar(50) COLLATE NOCASE,
  LogName varchar(20),
  RecordDate timestamp,
  StoredRows integer
);
COMMIT;
