#!/usr/bin/env bash
# scripts/server-setup on this machine's server, with --listen 127.0.0.1 only: it refuses a
# bad --web port and --teacher-password with --check, --web or --data but no --listen before
# changing anything, it sets the server up, a second run changes
# nothing, --check passes, a database outside the data folder is refused, and the test
# server stays usable. Afterwards the original
# firebird.conf comes back (the restriction would also bind the embedded engine of the
# other tests) and the server restarts on it. Needs root; skipped (77) otherwise.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
conf=/etc/firebird/3.0/firebird.conf
data=/var/lib/firebird/3.0/data/quizgame-setup-test/

[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root"; exit 77; }

fail() { echo "FAILED: $*" >&2; exit 1; }

backup=$(mktemp)
cp -a "$conf" "$backup"
restore() {
  cp "$backup" "$conf"
  rm -f "$backup"
  rm -rf "$data"
  (HOST=127.0.0.1 LOG_NAME=server-setup-test SCRATCH_PARENT=/tmp
   . "$repo/scripts/firebird-server.sh"
   run_server 1)
}
trap restore EXIT

# --web: a port from 1 to 65535 but the Firebird server's, with --listen only; a refused one
# changes nothing. --teacher-password: alone or with --listen.
before=$(md5sum <"$conf")
web_conf_before=$(cat /etc/quizgame/web.conf 2>/dev/null || echo none)
teacher_before=$(cat /etc/quizgame/teacher.pass 2>/dev/null || echo none)
while read -r -a args; do
  rc=0
  bash "$repo/scripts/server-setup" "${args[@]}" </dev/null >/dev/null 2>&1 || rc=$?
  [ "$rc" -eq 2 ] || fail "server-setup ${args[*]}: exit $rc, not 2"
done <<EOF
--listen 127.0.0.1 --data $data --web
--listen 127.0.0.1 --data $data --web 0
--listen 127.0.0.1 --data $data --web 65536
--listen 127.0.0.1 --data $data --web 80a
--listen 127.0.0.1 --data $data --web 3050
--check --data $data --web 8080
--check --data $data --teacher-password
--teacher-password --web 8080
--teacher-password --data $data
EOF
[ "$(md5sum <"$conf")" = "$before" ] || fail "a refused --web changed $conf"
[ "$(cat /etc/quizgame/web.conf 2>/dev/null || echo none)" = "$web_conf_before" ] || fail "a refused --web changed web.conf"
[ "$(cat /etc/quizgame/teacher.pass 2>/dev/null || echo none)" = "$teacher_before" ] ||
  fail "a refused --teacher-password changed teacher.pass"

out=$(bash "$repo/scripts/server-setup" --listen 127.0.0.1 --data "$data" 2>/tmp/server-setup-test.err) ||
  { cat /tmp/server-setup-test.err >&2; fail "server-setup --listen 127.0.0.1"; }
[ "$out" = "$(printf 'server: 127.0.0.1:\ndata folder: %s' "$data")" ] || fail "printed: $out"
grep -q "ok: the server refuses databases outside" /tmp/server-setup-test.err || fail "restriction not checked"
[ "$(stat -c '%U %a' "$data")" = "firebird 770" ] || fail "data folder is $(stat -c '%U %a' "$data")"

# Safe to run twice: nothing changes and the server is not restarted.
before=$(md5sum <"$conf")
pid=$(pidof firebird)
bash "$repo/scripts/server-setup" --listen 127.0.0.1 --data "$data" 2>/tmp/server-setup-test.err >/dev/null ||
  { cat /tmp/server-setup-test.err >&2; fail "second run"; }
[ "$(md5sum <"$conf")" = "$before" ] || fail "the second run changed $conf"
[ "$(pidof firebird)" = "$pid" ] || fail "the second run restarted the server"
[ "$(grep -c '^RemoteBindAddress' "$conf")" -eq 1 ] || fail "RemoteBindAddress set more than once"

bash "$repo/scripts/server-setup" --check --data "$data" 2>/tmp/server-setup-test.err >/dev/null ||
  { cat /tmp/server-setup-test.err >&2; fail "--check"; }

# Refused: an address that is not this machine's, and a non-IP.
! bash "$repo/scripts/server-setup" --listen 192.0.2.1 --data "$data" 2>/dev/null || fail "accepted 192.0.2.1"
[ "$(md5sum <"$conf")" = "$before" ] || fail "a refused address changed $conf"

# The test server is still usable on the restricted server.
bash "$repo/scripts/firebird-test-server" >/dev/null 2>/tmp/server-setup-test.err ||
  { cat /tmp/server-setup-test.err >&2; fail "firebird-test-server after server-setup"; }
rm -f /tmp/server-setup-test.err
echo "server-setup: all checks passed"
