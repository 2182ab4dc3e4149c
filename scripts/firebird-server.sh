# shellcheck shell=bash
# Shared by scripts/server-setup and scripts/firebird-test-server (sourced, not run):
# Debian's Firebird 3 server, its configuration file, its process and the SYSDBA
# password that every copy of the game uses. The caller sets HOST (the address the
# server answers on), SCRATCH_PARENT (a folder the server may create databases in)
# and LOG_NAME, runs as root, and keeps stdout for its own result lines.

readonly FB_ETC=/etc/firebird/3.0
readonly FB_CONF=$FB_ETC/firebird.conf
readonly PASSWORD_FILE=$FB_ETC/SYSDBA.password
readonly SECURITY_DB=/var/lib/firebird/3.0/system/security3.fdb
readonly INIT_SCRIPT=/etc/init.d/firebird3.0
readonly FBGUARD=/usr/sbin/fbguard
readonly FBSERVER=/usr/sbin/firebird
readonly RUN_DIR=/run/firebird3.0
readonly SYSDBA_PASSWORD=lanternox
readonly PORT=3050
readonly START_TIMEOUT=30
# The folder where the game's test suite keeps its databases.
# shellcheck disable=SC2034 # used by the scripts that source this file
readonly TEST_DATA_DIR=/var/lib/firebird/3.0/data/quizgame-tests/

log() { printf '%s: %s\n' "$LOG_NAME" "$*" >&2; }
die() { log "ERROR: $*"; exit 1; }

# isql-fb would take the user and password from these instead of what we pass.
unset ISC_USER ISC_PASSWORD

# Value of the last active "Name = value" line of firebird.conf (empty when the
# setting is only present as a comment, i.e. the built-in default applies).
conf_value() {
  sed -n "s/^[[:space:]]*$1[[:space:]]*=[[:space:]]*//Ip" "$FB_CONF" |
    sed 's/[[:space:]]*#.*$//; s/[[:space:]]*$//' | tail -n 1
}

# Comments out every active line of the setting and appends "Name = value" with a
# comment line saying why. True when the file changed.
set_conf() {
  local name=$1 value=$2 why=$3
  [ "$(conf_value "$name")" = "$value" ] && return 1
  sed -i "s/^\([[:space:]]*${name}[[:space:]]*=\)/#\1/I" "$FB_CONF"
  printf '\n# %s\n%s = %s\n' "$why" "$name" "$value" >>"$FB_CONF"
  [ "$(conf_value "$name")" = "$value" ] || die "could not set $name in $FB_CONF"
}

sql_string() { printf "'%s'" "${1//\'/\'\'}"; }

answering() { timeout 2 bash -c "exec 9<>/dev/tcp/$HOST/$PORT" 2>/dev/null; }

stop_server() {
  if [ -x "$INIT_SCRIPT" ]; then
    "$INIT_SCRIPT" stop || true
  fi
  # Fallback for a server started without the init script.
  start-stop-daemon --stop --quiet --oknodo --retry 10 --exec "$FBGUARD" || true
  start-stop-daemon --stop --quiet --oknodo --retry 15 --exec "$FBSERVER" || true
}

start_server() {
  if [ -x "$INIT_SCRIPT" ]; then
    "$INIT_SCRIPT" start || log "warning: $INIT_SCRIPT start failed"
  fi
  if ! pidof "$FBGUARD" >/dev/null; then
    # Same as the init script does, for systems where it is missing or refuses.
    log "starting $FBGUARD directly"
    install -d -o firebird -g firebird -m 0770 "$RUN_DIR"
    rm -f "$RUN_DIR/firebird.pid"
    runuser -u firebird -- "$FBGUARD" -daemon -forever -pidfile "$RUN_DIR/firebird.pid"
  fi
}

wait_for_port() {
  local deadline=$((SECONDS + START_TIMEOUT))
  until answering; do
    if [ "$SECONDS" -ge "$deadline" ]; then
      log "last lines of the Firebird log:"
      tail -n 20 /var/log/firebird/firebird3.0.log >&2 2>/dev/null || true
      die "the server does not answer on $HOST:$PORT after ${START_TIMEOUT}s"
    fi
    sleep 0.5
  done
}

# (Re)starts the server when asked to or when it does not answer, and waits for it.
run_server() {
  local restart=$1
  if answering && [ "$restart" -eq 0 ]; then
    log "server already answering on $HOST:$PORT"
    return
  fi
  if [ "$restart" -eq 1 ] && pidof "$FBGUARD" "$FBSERVER" >/dev/null; then
    log "restarting the server to apply the configuration change"
    stop_server
  fi
  start_server
  wait_for_port
  log "server answering on $HOST:$PORT"
}

# The addresses (hex, as in /proc/net/tcp*) on which something listens on the port.
port_listeners() {
  local tables=() t
  for t in /proc/net/tcp /proc/net/tcp6; do [ -r "$t" ] && tables+=("$t"); done
  [ ${#tables[@]} -gt 0 ] || die "cannot read /proc/net/tcp to check where the server listens"
  awk -v port="$(printf ':%04X' "$PORT")" 'FNR > 1 && $4 == "0A" && toupper($2) ~ port "$" { print toupper($2) }' "${tables[@]}"
}

# An IPv4 address in the byte order of /proc/net/tcp, e.g. 127.0.0.1 -> 0100007F.
hex_ipv4() {
  local a b c d
  IFS=. read -r a b c d <<<"$1"
  printf '%02X%02X%02X%02X' "$d" "$c" "$b" "$a"
}

# ---------------------------------------------------------------------------
# SYSDBA password. The security database refuses remote attachments, so every
# check and change goes through a scratch database created over $HOST, which is
# also what the game's own client does (user name and password in the DPB, Srp).

scratch=
isql_out=
make_scratch() {
  scratch=$(mktemp -d "${SCRATCH_PARENT%/}/.fbcheck.XXXXXX")
  trap 'rm -rf "$scratch"' EXIT
  chown firebird:firebird "$scratch" # the server runs as firebird and creates the file
  chmod 0700 "$scratch"
  isql_out=$scratch/isql.out
}

# Runs isql-fb on the SQL given on stdin, stopping at the first error; its output
# ends up in $isql_out for the error message.
isql() { isql-fb -q -bail "$@" >"$isql_out" 2>&1; }

# True when SYSDBA/password can create a database in the folder given (the scratch
# folder by default), attach to it with only user name and password, see itself as
# SYSDBA, and drop it again.
password_works() {
  local folder=${2:-$scratch} db
  db="$HOST:$folder/check.fdb"
  rm -f "$folder/check.fdb"
  isql <<SQL || return 1
create database $(sql_string "$db") user 'SYSDBA' password $(sql_string "$1");
SQL
  isql -user SYSDBA -password "$1" "$db" <<'SQL' || return 1
select 'whoami=' || current_user from rdb$database;
drop database;
SQL
  grep -q 'whoami=SYSDBA' "$isql_out"
}

# The password Debian generated at install time (ISC_PASSWORD=... or ="...").
debian_password() {
  [ -f "$PASSWORD_FILE" ] || return 0
  sed -n 's/^[[:space:]]*ISC_PASSWORD=//p' "$PASSWORD_FILE" | tail -n 1 |
    sed 's/^"\(.*\)"$/\1/; s/^'"'"'\(.*\)'"'"'$/\1/'
}

set_password_remote() {
  local db="$HOST:$scratch/change.fdb"
  rm -f "$scratch/change.fdb"
  isql <<SQL
create database $(sql_string "$db") user 'SYSDBA' password $(sql_string "$1");
alter user SYSDBA password $(sql_string "$SYSDBA_PASSWORD");
commit;
drop database;
SQL
}

# Last resort when no known password works (e.g. the package could not set one
# because service starts were blocked during installation): do what Debian's
# own postinst does, with the server stopped, through the embedded engine.
set_password_embedded() {
  log "setting the SYSDBA password directly in $SECURITY_DB (server stopped)"
  stop_server
  isql -user SYSDBA "$SECURITY_DB" <<SQL || { start_server; return 1; }
create or alter user SYSDBA password $(sql_string "$SYSDBA_PASSWORD");
commit;
SQL
  chown firebird:firebird "$SECURITY_DB"
  chmod 0660 "$SECURITY_DB"
  start_server
  wait_for_port
}

# Makes SYSDBA's password the game's, and keeps Debian's password file in step so
# that maintenance tools (and the next run) use the right one.
ensure_password() {
  make_scratch
  if password_works "$SYSDBA_PASSWORD"; then
    log "SYSDBA password is already $SYSDBA_PASSWORD"
  else
    local first_error old changed=0
    first_error=$(cat "$isql_out")
    old=$(debian_password)
    if [ -n "$old" ] && [ "$old" != "$SYSDBA_PASSWORD" ]; then
      log "changing the SYSDBA password from the one in $PASSWORD_FILE"
      if set_password_remote "$old"; then
        changed=1
      else
        log "the password in $PASSWORD_FILE did not work either: $(cat "$isql_out")"
      fi
    fi
    if [ "$changed" -eq 0 ]; then
      set_password_embedded || die "could not set the SYSDBA password: $(cat "$isql_out")"
    fi
    password_works "$SYSDBA_PASSWORD" ||
      die "SYSDBA/$SYSDBA_PASSWORD still fails after the change: $(cat "$isql_out") (first attempt: $first_error)"
    log "SYSDBA password set to $SYSDBA_PASSWORD"
  fi

  if [ "$(debian_password)" != "$SYSDBA_PASSWORD" ]; then
    log "updating $PASSWORD_FILE"
    if [ -f "$PASSWORD_FILE" ] && grep -q '^[[:space:]]*ISC_PASSWORD=' "$PASSWORD_FILE"; then
      cp -a "$PASSWORD_FILE" "$PASSWORD_FILE.tmp"
      sed "s/^[[:space:]]*ISC_PASSWORD=.*/ISC_PASSWORD=\"$SYSDBA_PASSWORD\"/" "$PASSWORD_FILE" >"$PASSWORD_FILE.tmp"
      mv -f "$PASSWORD_FILE.tmp" "$PASSWORD_FILE"
    else
      [ -f "$PASSWORD_FILE" ] || install -m 0600 /dev/null "$PASSWORD_FILE"
      printf 'ISC_USER=sysdba\nISC_PASSWORD="%s"\n' "$SYSDBA_PASSWORD" >>"$PASSWORD_FILE"
    fi
  fi
}
