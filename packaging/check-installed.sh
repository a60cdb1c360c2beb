#!/usr/bin/env bash
# Runs the install rules into a scratch folder (DESTDIR, prefix /usr), checks the installed files,
# then starts the installed kestrava in an empty working folder against the installed
# kestrava-sim, headless: it must poll the instrument, and close in order on SIGTERM, writing its
# configuration in the working folder. The installed kestrava-records must read a database.
#   check-installed.sh CMAKE BUILD_DIR PROGRAM...
set -euo pipefail

cmake=$1 build=$2
shift 2
programs=("$@")

scratch=$(mktemp -d)
sim_pid= kestrava_pid=
cleanup() {
  for pid in $kestrava_pid $sim_pid; do
    kill -KILL "$pid" 2>/dev/null || true
  done
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for log in "$scratch"/*.log; do
    [ -s "$log" ] && { echo "--- $(basename "$log")" >&2; cat "$log" >&2; }
  done
  exit 1
}

root=$scratch/root
DESTDIR=$root "$cmake" --install "$build" --prefix /usr >"$scratch/install.out"
bin=$root/usr/bin
for program in "${programs[@]}"; do
  [ -x "$bin/$program" ] || fail "$program is not installed in usr/bin"
  gzip -t "$root/usr/share/man/man1/$program.1.gz" || fail "no manual page for $program"
done
for file in applications/kestrava.desktop icons/hicolor/scalable/apps/kestrava.svg \
  doc/kestrava/copyright doc/kestrava/changelog.gz; do
  [ -f "$root/usr/share/$file" ] || fail "usr/share/$file is not installed"
done

# The simulator stands behind port 1, the port kestrava opens without a configuration file.
ports=$scratch/ports work=$scratch/work
mkdir -p "$ports" "$work"
mkfifo "$scratch/sim-in"
exec 3<>"$scratch/sim-in"
"$bin/kestrava-sim" --link "$ports/COM1" <&3 >"$scratch/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^ready ' "$scratch/sim.log" && break
  sleep 0.1
done
grep -qx "ready $ports/COM1" "$scratch/sim.log" || fail "kestrava-sim did not start"

# Started from the working folder by its installed path, as a user would from a shell.
(cd "$work" && exec env KESTRAVA_PORT_DIR="$ports" QT_QPA_PLATFORM=offscreen "$bin/kestrava") \
  >"$scratch/kestrava.log" 2>&1 &
kestrava_pid=$!

# The simulator counts the polls it has answered; the splash shows for a second first.
polls=0
for _ in $(seq 40); do
  sleep 0.5
  kill -0 "$kestrava_pid" 2>/dev/null || fail "kestrava ended by itself"
  echo status >&3
  sleep 0.1
  polls=$(sed -nE 's/^ok temp .* polls ([0-9]+) plugged$/\1/p' "$scratch/sim.log" | tail -n 1)
  [ "${polls:-0}" -gt 0 ] && break
done
[ "${polls:-0}" -gt 0 ] || fail "kestrava did not poll the instrument within 24 s"
echo "kestrava polled the instrument: $(grep '^ok temp' "$scratch/sim.log" | tail -n 1)"

kill -TERM "$kestrava_pid"
for _ in $(seq 100); do
  kill -0 "$kestrava_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$kestrava_pid" 2>/dev/null && fail "kestrava did not close within 10 s of SIGTERM"
status=0
wait "$kestrava_pid" || status=$?
kestrava_pid=
[ "$status" -eq 0 ] || fail "kestrava exited with status $status after SIGTERM"

# The configuration: 16 lines, each ended by CR LF, in the working folder and nowhere else.
config=$work/twdaq.cfg
[ -f "$config" ] || fail "no twdaq.cfg in the working folder"
[ ! -e "$bin/twdaq.cfg" ] || fail "twdaq.cfg was written beside the program"
lines=$(wc -l <"$config")
crlf=$(grep -c $'\r$' "$config" || true)
[ "$lines" -eq 16 ] && [ "$crlf" -eq 16 ] && [ "$(tail -c 2 "$config" | od -An -tx1 | xargs)" = '0d 0a' ] ||
  fail "twdaq.cfg has $lines lines, $crlf ended by CR LF; expected 16 and 16"
[ "$(sed -n 1p "$config")" = $'Tarnwell DAQ Config. File Ver.1.0\r' ] ||
  fail "twdaq.cfg line 1 is '$(sed -n 1p "$config" | tr -d '\r')'"
[ "$(sed -n 2p "$config")" = $' 1 \r' ] ||
  fail "twdaq.cfg line 2 is '$(sed -n 2p "$config" | tr -d '\r')', expected ' 1 '"
echo "kestrava closed on SIGTERM with status 0 and wrote twdaq.cfg (16 lines, port 1)"

# The installed kestrava-records: it loads the Qt SQLite driver to read a database (a version-1
# one, which it reads and refuses without migrating it), reads the database kestrava left in its
# working folder, if it left one, and never creates one.
records=$bin/kestrava-records
if [ -x "$records" ]; then
  version=$("$records" --version)
  [[ $version =~ ^kestrava-records\ [0-9.]+$ ]] || fail "kestrava-records --version: $version"
  mkdir "$scratch/old"
  cp "$(dirname "$0")/../tests/data/records-v1.sqlite" "$scratch/old/kestrava-records.sqlite"
  status=0
  (cd "$scratch/old" && "$records" list) >"$scratch/records.log" 2>&1 || status=$?
  [ "$status" -eq 1 ] && grep -q 'has schema version 1' "$scratch/records.log" ||
    fail "kestrava-records did not read a version-1 database (status $status)"
  status=0
  (cd "$work" && "$records" list) >"$scratch/records.log" 2>&1 || status=$?
  if [ -f "$work/kestrava-records.sqlite" ]; then
    [ "$status" -eq 0 ] && head -n 1 "$scratch/records.log" | grep -q '^ID  Station' ||
      fail "kestrava-records could not list the records kestrava wrote (status $status)"
    echo "kestrava-records listed the records kestrava wrote"
  else
    [ "$status" -eq 1 ] && grep -q 'There is no records database' "$scratch/records.log" &&
      [ ! -e "$work/kestrava-records.sqlite" ] ||
      fail "kestrava-records without a database: status $status"
    echo "kestrava-records read a database and, where there is none, created none"
  fi
fi

echo quit >&3
wait "$sim_pid" || fail "kestrava-sim did not end cleanly"
sim_pid=
[ ! -e "$ports/COM1" ] || fail "kestrava-sim left its link behind"
