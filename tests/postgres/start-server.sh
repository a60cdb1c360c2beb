#!/bin/sh
# Starts a throwaway PostgreSQL 15 server for the shared-database tests: a cluster made with
# initdb in a temporary folder, listening on a Unix socket in its own folder only, never on
# the network.
#
#   start-server.sh INFO_FILE
#
# INFO_FILE receives key=value lines: folder, socket (the socket folder), port, superuser,
# database, owner (a role that owns the database and may create tables), rig (a role that may
# only insert and select), password_role and password (a role that must give a password;
# every other role logs in without one).
#
# PostgreSQL refuses to run as root: as root the server runs as the system user
# kestrava-pgtest (created here when missing), otherwise as the calling user. A server that
# cannot be started fails the fixture, whoever runs it.
set -u

info_file=$1
bin=/usr/lib/postgresql/15/bin
port=55432
superuser=postgres
database=kestrava
owner_role=kestrava_owner
rig_role=kestrava_rig
password_role=kestrava_pw
server_user=kestrava-pgtest

# A server still running from an earlier start of this fixture (one that a killed test run
# left behind) is stopped first; stop-server.sh finds it by the owner file in its folder.
sh "$(dirname "$0")/stop-server.sh" "$info_file"

fail() {
    echo "start-server: $*" >&2
    if [ -n "${dir:-}" ]; then
        for log in "$dir/log/initdb.log" "$dir/log/server.log"; do
            [ -s "$log" ] || continue
            echo "--- $log" >&2
            tail -n 40 "$log" >&2
        done
        sh "$(dirname "$0")/stop-server.sh" "$info_file" >/dev/null
    fi
    exit 1
}

# Runs a server program as the user the server runs as, from the server's folder (the
# caller's working folder may be closed to that user).
as_server() {
    if [ "$(id -u)" -eq 0 ]; then
        (cd "$dir" && runuser -u "$server_user" -- "$@")
    else
        (cd "$dir" && "$@")
    fi
}

[ -x "$bin/initdb" ] && [ -x "$bin/pg_ctl" ] && [ -x "$bin/psql" ] ||
    fail "PostgreSQL 15 is not installed (Debian package postgresql-15)"

if [ "$(id -u)" -eq 0 ] && ! getent passwd "$server_user" >/dev/null; then
    # Another fixture may create the user at the same moment: only a user still missing after
    # useradd is a failure.
    useradd --system --user-group --no-create-home --home-dir /nonexistent \
        --shell /usr/sbin/nologin --comment "Kestrava test database server" "$server_user" ||
        getent passwd "$server_user" >/dev/null ||
        fail "cannot create the system user $server_user"
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/kestrava-pg.XXXXXX") || fail "no temporary folder"
# Which fixture the server belongs to: its info file, so the next start or stop of the same
# build folder finds it, while the servers of other build folders are left alone.
echo "$info_file" >"$dir/owner"
mkdir "$dir/socket" "$dir/log"
# The tests reach the socket through the folder; the data folder stays closed (initdb).
chmod 755 "$dir" "$dir/socket"
if [ "$(id -u)" -eq 0 ]; then
    chown -R "$server_user:" "$dir" || fail "cannot give $dir to $server_user"
    as_server test -w "$dir" ||
        fail "$server_user cannot enter $dir: set TMPDIR to a folder open to other users"
fi

as_server "$bin/initdb" --pgdata="$dir/data" --username="$superuser" --auth=trust \
    --encoding=UTF8 --no-locale --no-sync --no-instructions >"$dir/log/initdb.log" 2>&1 ||
    fail "initdb failed"

# Unix socket only, in the folder of its own; durability is not needed for tests.
cat >>"$dir/data/postgresql.conf" <<CONF
listen_addresses = ''
port = $port
unix_socket_directories = '$dir/socket'
fsync = off
synchronous_commit = off
full_page_writes = off
password_encryption = 'scram-sha-256'
shared_buffers = 16MB
max_connections = 40
CONF
# One role must give a password, the others are trusted: local connections only, no TCP.
cat >"$dir/data/pg_hba.conf" <<CONF
local all $password_role scram-sha-256
local all all trust
CONF

as_server "$bin/pg_ctl" --pgdata="$dir/data" --log="$dir/log/server.log" --wait --timeout=60 \
    --silent start || fail "the server did not start"

password=$(od -An -N12 -tx1 /dev/urandom | tr -d ' \n')
PGOPTIONS= PGPASSWORD= "$bin/psql" --no-psqlrc --quiet --set=ON_ERROR_STOP=1 \
    --host="$dir/socket" --port=$port --username="$superuser" --dbname=postgres \
    --set=password="$password" >"$dir/log/roles.log" 2>&1 <<SQL || fail "cannot create the roles: $(cat "$dir/log/roles.log")"
CREATE ROLE $owner_role LOGIN;
CREATE ROLE $rig_role LOGIN;
CREATE ROLE $password_role LOGIN PASSWORD :'password';
CREATE DATABASE $database OWNER $owner_role;
\connect $database
GRANT CONNECT ON DATABASE $database TO $rig_role, $password_role;
GRANT USAGE ON SCHEMA public TO $rig_role, $password_role;
ALTER DEFAULT PRIVILEGES FOR ROLE $owner_role IN SCHEMA public
    GRANT SELECT, INSERT ON TABLES TO $rig_role;
ALTER DEFAULT PRIVILEGES FOR ROLE $owner_role IN SCHEMA public
    GRANT USAGE, SELECT ON SEQUENCES TO $rig_role;
SQL

cat >"$info_file.new" <<INFO
folder=$dir
socket=$dir/socket
port=$port
superuser=$superuser
database=$database
owner=$owner_role
rig=$rig_role
password_role=$password_role
password=$password
INFO
mv "$info_file.new" "$info_file" || fail "cannot write $info_file"
echo "start-server: $("$bin/postgres" --version) on socket" \
    "$dir/socket, port $port, server user $(stat -c %U "$dir/data")"
