#!/usr/bin/env bash
# Builds the Debian package and checks what it holds.
#   check-package.sh build CPACK CONFIG DIR     build the package into DIR (emptied first)
#   check-package.sh lintian DIR                lintian reports no error and no warning
#   check-package.sh contents DIR PROGRAM...    the files a user relies on are in it, with the
#                                               dependencies that dpkg-shlibdeps computed
#   check-package.sh desktop DIR                the desktop entry is valid and names a program
#                                               and an icon of the package
set -euo pipefail

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The one package in DIR.
package_in() {
  local found=("$1"/kestrava_*.deb)
  [ ${#found[@]} -eq 1 ] && [ -f "${found[0]}" ] || fail "expected one kestrava_*.deb in $1"
  echo "${found[0]}"
}

mode=${1:?mode}
shift
case "$mode" in
build)
  cpack=$1 config=$2 dir=$3
  rm -rf "$dir"
  mkdir -p "$dir"
  "$cpack" -G DEB --config "$config" -B "$dir"
  deb=$(package_in "$dir")
  echo "built $deb ($(stat -c %s "$deb") bytes)"
  ;;

lintian)
  deb=$(package_in "$1")
  # Informational tags are printed but do not fail the check.
  lintian --display-info --fail-on error,warning "$deb"
  echo "lintian: no error, no warning"
  ;;

contents)
  deb=$(package_in "$1")
  shift
  listing=$(dpkg-deb --contents "$deb")
  echo "$listing"
  # One line of the listing: its mode, owner and path.
  expect() {
    local mode=$1 path=$2
    grep -Eq "^$mode root/root +[0-9]+ [0-9-]+ [0-9:]+ \\./${path//./\\.}\$" <<<"$listing" ||
      fail "$deb lacks $path with mode $mode, owned by root"
  }
  for program in "$@"; do
    expect -rwxr-xr-x "usr/bin/$program"
    expect -rw-r--r-- "usr/share/man/man1/$program.1.gz"
  done
  expect -rw-r--r-- usr/share/applications/kestrava.desktop
  expect -rw-r--r-- usr/share/icons/hicolor/scalable/apps/kestrava.svg
  expect -rw-r--r-- usr/share/doc/kestrava/copyright
  expect -rw-r--r-- usr/share/doc/kestrava/changelog.gz
  # Every program installed is one the list names: nothing left out of the manual pages.
  installed=$(sed -nE 's|.* \./usr/bin/([^/]+)$|\1|p' <<<"$listing" | sort)
  named=$(printf '%s\n' "$@" | sort)
  [ "$installed" = "$named" ] || fail "usr/bin holds: $(echo $installed); expected: $(echo $named)"

  depends=$(dpkg-deb --field "$deb" Depends)
  echo "Depends: $depends"
  # dpkg-shlibdeps writes each library the programs link with the lowest version they need.
  for library in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6; do
    grep -Eq "(^|, )$library \(>= [^)]+\)(,|$)" <<<"$depends" ||
      fail "Depends lacks a versioned $library: $depends"
  done
  grep -Eq "(^|, )libqt6sql6-sqlite(,|$)" <<<"$depends" ||
    fail "Depends lacks the Qt SQLite driver libqt6sql6-sqlite: $depends"
  # The shared database's driver is recommended, not required: a rig runs without it.
  recommends=$(dpkg-deb --field "$deb" Recommends)
  echo "Recommends: $recommends"
  grep -Eq "(^|, )libqt6sql6-psql(,|$)" <<<"$recommends" ||
    fail "Recommends lacks the Qt PostgreSQL driver libqt6sql6-psql: $recommends"
  ! grep -Eq "(^|, )libqt6sql6-psql" <<<"$depends" ||
    fail "Depends names libqt6sql6-psql, which is only recommended: $depends"
  ;;

desktop)
  deb=$(package_in "$1")
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  dpkg-deb --extract "$deb" "$scratch"
  entry=$scratch/usr/share/applications/kestrava.desktop
  desktop-file-validate "$entry" || fail "desktop-file-validate rejects kestrava.desktop"
  # The first word of Exec is a program of the package, Icon the name of its icon.
  exec_line=$(sed -n 's/^Exec=//p' "$entry")
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ -x "$scratch/usr/bin/${exec_line%% *}" ] || fail "Exec=$exec_line is not a program of the package"
  [ -f "$scratch/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
    fail "Icon=$icon has no scalable icon in the package"
  grep -q '^Categories=.*Science;' "$entry" || fail "the desktop entry is not in Science"
  echo "kestrava.desktop: valid; Exec=$exec_line, Icon=$icon"
  ;;

*)
  fail "unknown mode $mode"
  ;;
esac
