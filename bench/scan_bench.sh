#!/usr/bin/env bash
# The table layer's scans against the emulator's bench table of N records (default 100,000):
# requests and client CPU of a forward-only scan, readColumn on cached records, and the
# requests per outer row of a join-like rescan pattern.
#
#   bench/scan_bench.sh [BUILD_DIR] [RECORDS] [OUTER_ROWS]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
tree=$(dirname "$here")
build=${1:-$tree/build}
records=${2:-100000}
outer=${3:-200}

work=$(mktemp -d)
. "$here/emulator.sh"
start_emulator --bench-records "$records"
"$build/bench/bench_scan" "$server" "$outer"
