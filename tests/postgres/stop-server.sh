#!/bin/sh
# Stops the throwaway PostgreSQL server that start-server.sh started and removes its folder;
# also every server of the same fixture that an earlier, killed test run left behind.
#
#   stop-server.sh INFO_FILE
set -u

info_file=$1

# The processes of one folder's server: the server and its children work in its data folder.
folder_processes() {
    for proc in /proc/[0-9]*; do
        [ "$(readlink "$proc/cwd" 2>/dev/null)" = "$1/data" ] && echo "${proc#/proc/}"
    done
}

# Stops the server of one folder and removes the folder.
stop_folder() {
    folder=$1
    case "$folder" in
    */kestrava-pg.*) ;;
    *) echo "stop-server: unexpected folder '$folder'" >&2; return 1 ;;
    esac
    # A test may have frozen the server (SIGSTOP): stopped processes would never end.
    for process in $(folder_processes "$folder"); do
        kill -s CONT "$process" 2>/dev/null
    done
    pid=$(head -n 1 "$folder/data/postmaster.pid" 2>/dev/null)
    # Only the server of this folder: a process id may have been reused since. The server
    # works in its data folder.
    if [ -n "$pid" ] && [ "$(readlink "/proc/$pid/cwd" 2>/dev/null)" = "$folder/data" ]; then
        # Fast shutdown (sessions are ended), then immediate, then the hard way.
        for signal in INT QUIT KILL; do
            kill -s "$signal" "$pid" 2>/dev/null
            tries=0
            while kill -0 "$pid" 2>/dev/null && [ "$tries" -lt 100 ]; do
                tries=$((tries + 1))
                sleep 0.1
            done
            kill -0 "$pid" 2>/dev/null || break
        done
    fi
    # Children that outlived a server killed the hard way.
    for process in $(folder_processes "$folder"); do
        kill -s KILL "$process" 2>/dev/null
    done
    rm -rf "$folder"
}

. "$(dirname "$0")/../support/stop-fixture.sh"
stop_fixture "$info_file" kestrava-pg "$(sed -n 's/^folder=//p' "$info_file" 2>/dev/null)"
