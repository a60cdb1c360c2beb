#!/bin/sh
# Starts a private CUPS server for the printing test: configuration, spool, state and socket
# live in a temporary folder, nothing under /etc is touched. Two queues print through the
# generic PDF printer driver into files in that folder.
#
#   start-server.sh INFO_FILE
#
# INFO_FILE receives the folder's path; CUPS_SERVER for clients is that folder's cups.sock,
# the queues' output files are out/<queue>.prn. Exits 77 (skip) when the server cannot be
# started by a user other than root; as root that is a failure.
set -u

info_file=$1
# A server still running from an earlier start is stopped first, so none is left behind: one
# that ctest --repeat starts again without stopping it, and one that a test run killed
# half-way left running, even when its info file is gone (stop-server.sh finds it by the
# owner file in its folder).
sh "$(dirname "$0")/stop-server.sh" "$info_file"

fail() {
    echo "start-server: $*" >&2
    if [ -n "${dir:-}" ] && [ -f "$dir/log/error_log" ]; then
        echo "--- error_log" >&2
        tail -n 40 "$dir/log/error_log" >&2
    fi
    if [ -n "${pid:-}" ]; then
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
    [ -n "${dir:-}" ] && rm -rf "$dir"
    if [ "$(id -u)" -eq 0 ]; then
        exit 1
    fi
    echo "start-server: not root, so the printing test is skipped" >&2
    exit 77
}

cupsd=$(command -v cupsd || echo /usr/sbin/cupsd)
[ -x "$cupsd" ] || fail "cupsd is not installed (Debian package cups-daemon)"
command -v lpadmin >/dev/null || fail "lpadmin is not installed (Debian package cups-client)"

ppd=/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd
if [ ! -f "$ppd" ]; then
    ppd=$(find /usr/share/ppd -name 'Generic-PDF_Printer-PDF.ppd*' 2>/dev/null | head -n 1)
fi
[ -n "$ppd" ] && [ -f "$ppd" ] || fail "the generic PDF printer PPD of cups-filters is missing"

dir=$(mktemp -d "${TMPDIR:-/tmp}/kestrava-cups.XXXXXX") || fail "no temporary folder"
# Which fixture the server belongs to: its info file, so the next start or stop of the same
# build folder finds it, while the servers of other build folders are left alone.
echo "$info_file" > "$dir/owner"
# Filters run as the unprivileged user of the server (lp when started as root): the folder
# must be traversable and the spool, temporary and output folders writable for that user.
chmod 755 "$dir"
mkdir -p "$dir/conf/ppd" "$dir/spool/tmp" "$dir/cache" "$dir/state/certs" "$dir/log" "$dir/out"
chmod 1777 "$dir/spool/tmp" "$dir/out"
if [ "$(id -u)" -eq 0 ]; then
    user=lp
    group=lp
    chgrp lp "$dir/spool" "$dir/cache" "$dir/state" 2>/dev/null
    chmod 0770 "$dir/spool" "$dir/cache"
    chmod 0755 "$dir/state"
else
    user=$(id -un)
    group=$(id -gn)
fi

cat > "$dir/conf/cups-files.conf" <<CONF
ServerRoot $dir/conf
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
ServerBin /usr/lib/cups
DataDir /usr/share/cups
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
FileDevice Yes
User $user
Group $group
SystemGroup root
CONF

cat > "$dir/conf/cupsd.conf" <<CONF
Listen $dir/cups.sock
LogLevel info
Browsing No
BrowseLocalProtocols none
DefaultShared No
WebInterface No
JobRetryLimit 0
PreserveJobHistory Yes
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF

"$cupsd" -f -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" \
    </dev/null >"$dir/log/cupsd.out" 2>&1 &
pid=$!
echo "$pid" > "$dir/cupsd.pid"

export CUPS_SERVER="$dir/cups.sock"
tries=0
until lpstat -r 2>/dev/null | grep -q "is running"; do
    tries=$((tries + 1))
    kill -0 "$pid" 2>/dev/null || fail "cupsd ended at start: $(cat "$dir/log/cupsd.out")"
    [ "$tries" -lt 300 ] || fail "cupsd did not answer within 30 s"
    sleep 0.1
done

for queue in kestrava_pdf_1 kestrava_pdf_2; do
    lpadmin -p "$queue" -E -v "file://$dir/out/$queue.prn" -P "$ppd" 2>"$dir/log/lpadmin.err" ||
        fail "lpadmin could not add $queue: $(cat "$dir/log/lpadmin.err")"
done
lpstat -v >/dev/null 2>&1 || fail "the queues cannot be listed"

echo "$dir" > "$info_file"
echo "start-server: CUPS_SERVER=$dir/cups.sock, queues kestrava_pdf_1 and kestrava_pdf_2"
