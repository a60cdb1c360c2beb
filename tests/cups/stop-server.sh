#!/bin/sh
# Stops the private CUPS server that start-server.sh started and removes its folder.
#
#   stop-server.sh INFO_FILE
set -u

info_file=$1
[ -f "$info_file" ] || exit 0
dir=$(cat "$info_file")
rm -f "$info_file"
case "$dir" in
*/kestrava-cups.*) ;;
*) echo "stop-server: unexpected folder '$dir'" >&2; exit 1 ;;
esac
if [ -f "$dir/cupsd.pid" ]; then
    pid=$(cat "$dir/cupsd.pid")
    kill "$pid" 2>/dev/null
    tries=0
    while kill -0 "$pid" 2>/dev/null && [ "$tries" -lt 100 ]; do
        tries=$((tries + 1))
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null
fi
rm -rf "$dir"
