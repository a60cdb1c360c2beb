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

status=0
if [ -f "$info_file" ]; then
    stop_folder "$(cat "$info_file")" || status=1
    rm -f "$info_file"
fi
# Servers left behind: their folder's owner file names this info file.
for owner in "${TMPDIR:-/tmp}"/kestrava-cups.*/owner; do
    [ -f "$owner" ] || continue
    if [ "$(cat "$owner")" = "$info_file" ]; then
        echo "stop-server: stopping a server left behind in $(dirname "$owner")"
        stop_folder "$(dirname "$owner")" || status=1
    fi
done
exit $status
