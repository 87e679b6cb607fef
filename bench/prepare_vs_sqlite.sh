#!/usr/bin/env bash
# Warm SQLPrepare of a three-table join of the demo account (Projects, Tasks, Team Members)
# against the emulator, next to SQLite ODBC preparing the same statement on a local file with
# tables of the same names and columns, in one run. Installs SQLite ODBC (Debian libsqliteodbc)
# when it is missing: it serves this benchmark only.
#
#   bench/prepare_vs_sqlite.sh [BUILD_DIR] [CALLS]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
tree=$(dirname "$here")
build=${1:-$tree/build}
calls=${2:-1000}
. "$here/sqlite_odbc.sh"
need_sqlite_odbc

work=$(mktemp -d)
. "$here/emulator.sh"
start_emulator

# The built-in columns of every QuickBase table, then each table's own.
common='"Record ID_" INTEGER PRIMARY KEY, "Date Created" TIMESTAMP, "Date Modified" TIMESTAMP,
  "Record Owner" VARCHAR(255), "Last Modified By" VARCHAR(255)'
schema="CREATE TABLE bq8kx2mea ($common, Name VARCHAR(255), Status VARCHAR(255),
  \"Start Date\" DATE, Budget NUMERIC(19,2), Manager VARCHAR(255), Description VARCHAR(4000),
  Active BIT, Client VARCHAR(80), Completion DOUBLE, Website VARCHAR(255),
  \"Contact Email\" VARCHAR(255), Phone VARCHAR(255), \"Budget per Task\" DOUBLE,
  Charter VARCHAR(255), \"Kickoff At\" TIMESTAMP);
CREATE TABLE bq8kx2mfb ($common, Title VARCHAR(255), \"Related Project\" DOUBLE,
  \"Project Name\" VARCHAR(255), \"Due Date\" DATE, \"Assigned To\" VARCHAR(255), Estimate DOUBLE,
  Done BIT, \"Start Time\" TIME, \"Last Check-in\" TIMESTAMP, Notes VARCHAR(255),
  Attachment VARCHAR(255), \"Hours Logged\" DOUBLE, Priority DOUBLE, Tags VARCHAR(255),
  Reviewers VARCHAR(255));
CREATE TABLE bq8kx2mgc ($common, Member VARCHAR(255), Role VARCHAR(255),
  \"Hourly Rate\" NUMERIC(19,2), Joined DATE, Office VARCHAR(255))"
join='SELECT p.Name, t.Title, t.[Due Date], m.Role FROM [bq8kx2mea] p
  JOIN [bq8kx2mfb] t ON t.[Related Project] = p.[Record ID_]
  JOIN [bq8kx2mgc] m ON m.Member = t.[Assigned To] WHERE p.Active = 1 AND t.Done = 0'

"$build/bench/bench_columns" --prepare --calls "$calls" \
  "DRIVER=$build/libkelodbc.so;QUICKBASESERVER=$server;UID=pat.doe@example.com;PWD=kelvra-demo" \
  "$join" \
  "DRIVER=$sqlite_driver;Database=$work/bench.db" "$join" "$schema"
