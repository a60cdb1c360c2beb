#!/bin/sh
# Stops the private CUPS server that start-server.sh started and removes its folder; also
# every server of the same fixture that an earlier, killed test run left behind.
#
#   stop-server.sh INFO_FILE
set -u

info_file=$1

# Stops the server of one private folder and removes the folder.
stop_folder() {
    folder=$1
    case "$folder" in
    */kestrava-cups.*) ;;
    *) echo "stop-server: unexpected folder '$folder'" >&2; return 1 ;;
    esac
    if [ -f "$folder/cupsd.pid" ]; then
        pid=$(cat "$folder/cupsd.pid")
        # Only the cupsd of this folder: a process id may have been reused since.
        if grep -qF "$folder/conf/cupsd.conf" "/proc/$pid/cmdline" 2>/dev/null; then
            kill "$pid" 2>/dev/null
            tries=0
            while kill -0 "$pid" 2>/dev/null && [ "$tries" -lt 100 ]; do
                tries=$((tries + 1))
                sleep 0.1
            done
            kill -9 "$pid" 2>/dev/null
        fi
    fi
    rm -rf "$folder"
}

. "$(dirname "$0")/../support/stop-fixture.sh"
stop_fixture "$info_file" kestrava-cups "$(cat "$info_file" 2>/dev/null)"
