# Sourced by the benchmarks that run beside SQLite ODBC: sets $sqlite_driver and installs
# SQLite ODBC (Debian libsqliteodbc) when it is missing, with the further Debian packages named;
# it serves the benchmarks only.
sqlite_driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so

need_sqlite_odbc() {
  local missing=("$@")
  [ -e "$sqlite_driver" ] || missing+=(libsqliteodbc)
  [ ${#missing[@]} -gt 0 ] || return 0
  local sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
}
