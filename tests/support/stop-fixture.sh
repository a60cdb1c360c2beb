# Shared end of the fixtures' stop-server.sh scripts: sourced after the script has defined
# stop_folder FOLDER (stop one folder's server, remove the folder).
#
#   stop_fixture INFO_FILE FOLDER_PREFIX FOLDER
#
# Stops the server of FOLDER (read by the caller from INFO_FILE, empty without one), removes
# INFO_FILE, then stops every server of the same fixture that an earlier, killed test run left
# behind: their folder's owner file names INFO_FILE. Exits with 1 if any stop failed.
stop_fixture() {
    info_file=$1
    prefix=$2
    status=0
    if [ -f "$info_file" ]; then
        stop_folder "$3" || status=1
        rm -f "$info_file"
    fi
    for owner in "${TMPDIR:-/tmp}/$prefix".*/owner; do
        [ -f "$owner" ] || continue
        if [ "$(cat "$owner")" = "$info_file" ]; then
            echo "stop-server: stopping a server left behind in $(dirname "$owner")"
            stop_folder "$(dirname "$owner")" || status=1
        fi
    done
    exit $status
}
