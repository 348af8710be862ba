-- KELVAN claims table, Oracle: lets several kelvan-batch processes (on one host or many) share one
-- setup file and this destination, each server loaded once per run window. Optional: without
-- it, runs keep to the setup file's lock. Create it once, beside the other tables:
-- the database's SQL command tool, into the schema of the other tables
-- Lease times are written with the database's own clock (UTC where it offers one); the loaders
-- compare them only there, never with the hosts' clocks.

CREATE TABLE LOAD_CLAIMS (
  EXT_SERVER_NAME  VARCHAR(128) NOT NULL,
  RUN_WINDOW       VARCHAR(64)  NOT NULL,
  CLAIM_STATE      VARCHAR(8)   NOT NULL,
  HOLDER_HOST      VARCHAR(255),
  HOLDER_PID       INTEGER,
  CLAIM_TOKEN      VARCHAR(32),
  CLAIMED_AT       TIMESTAMP(0),
  LEASE_EXPIRY     TIMESTAMP(0),
  LEASE_RENEWALS   INTEGER,
  FINISHED_AT      TIMESTAMP(0),
  PRIMARY KEY (EXT_SERVER_NAME, RUN_WINDOW)
);
