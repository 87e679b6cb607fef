# Sourced by the benchmark scripts: starts the QuickBase emulator of this tree on a free
# loopback port with the given further options, sets $server (HOST:PORT) and CURL_CA_BUNDLE,
# and stops it when the script exits. Needs $tree and $work (a temporary directory).
emulator_pid=
stop_emulator() {
  [ -n "$emulator_pid" ] && kill "$emulator_pid" 2>/dev/null && wait "$emulator_pid" 2>/dev/null
  rm -rf "$work"
}
trap stop_emulator EXIT

start_emulator() {
  /usr/bin/python3 "$tree/tools/qbemu/qbemu.py" --data "$tree/tools/qbemu/demo.json" --port 0 \
    --ca-out "$work/ca.pem" "$@" > "$work/emu.out" &
  emulator_pid=$!
  for _ in $(seq 1 600); do
    grep -q listening "$work/emu.out" 2>/dev/null && break
    sleep 0.1
  done
  server=$(sed -n 's|qbemu listening on https://||p' "$work/emu.out")
  [ -n "$server" ] || { echo "the emulator did not start" >&2; exit 1; }
  export CURL_CA_BUNDLE="$work/ca.pem"
}
