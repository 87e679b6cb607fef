#!/usr/bin/env bash
# The table layer against the emulator's bench table of N records (default 100,000): requests
# and client CPU of a forward-only scan, readColumn on cached records, the requests per outer
# row of a join-like rescan pattern, and the imports of a run of inserts.
#
#   bench/qbtable_bench.sh [BUILD_DIR] [RECORDS] [OUTER_ROWS] [INSERTS]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
tree=$(dirname "$here")
build=${1:-$tree/build}
records=${2:-100000}
outer=${3:-200}
inserts=${4:-10000}

work=$(mktemp -d)
. "$here/emulator.sh"
start_emulator --bench-records "$records"
"$build/bench/bench_qbtable" "$server" "$outer" "$inserts"
