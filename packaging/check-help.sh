#!/usr/bin/env bash
# Checks that a program's --help and its manual page name the same options and commands.
#   check-help.sh PROGRAM PAGE
# Options: in --help, the option column of the lines of the "Options:" block that start with an
# option (a description's continuation lines may hold hyphenated words); in the page, the tags
# of the OPTIONS section. Commands: in --help, the first word of the lines indented by two
# blanks in the block after the paragraph that starts with "Commands"; in the page, the first
# word of the tags of the COMMANDS section.
set -euo pipefail

program=$1 page=$2
help=$("$program" --help)

# Qt's parser adds --help-all to every help option; a page may leave it out.
options_of() { grep -oE -- '--?[A-Za-z0-9][A-Za-z0-9-]*' | grep -vx -- '--help-all' | sort -u; }

help_options=$(awk '/^Options:/ { on = 1; next } on && !/^ / { exit } on && /^ +-/' <<<"$help" |
  sed -E 's/^ +//; s/  .*//' | options_of)
help_commands=$(awk '
  /^Commands/ { found = 1; next }
  found && !on && /^  [a-z]/ { on = 1 }
  on && /^$/ { exit }
  on && /^  [a-z]/ { print $1 }' <<<"$help" | sort -u)

# The tag lines (after .TP or .TQ) of one section of the page, escapes removed.
tags_of() {
  sed -E 's/\\-/-/g; s/\\f[BIRP]//g; s/\\&//g' "$page" |
    awk -v section="$1" '
      /^\.SH/ { on = ($0 ~ "^\\.SH \"?" section "\"?$"); next }
      on && /^\.(TP|TQ)/ { tag = 1; next }
      on && tag { print; tag = 0 }'
}
page_options=$(tags_of OPTIONS | sed -E 's/^\.[A-Z]+ //' | options_of)
page_commands=$(tags_of COMMANDS | sed -E 's/^\.[A-Z]+ //; s/"//g' | awk '{ print $1 }' | sort -u)

status=0
compare() {
  local what=$1 from_help=$2 from_page=$3
  local only_help only_page
  only_help=$(comm -23 <(echo "$from_help") <(echo "$from_page") | xargs)
  only_page=$(comm -13 <(echo "$from_help") <(echo "$from_page") | xargs)
  if [ -n "$only_help" ]; then
    echo "FAIL: $what in --help but not in $(basename "$page"): $only_help" >&2
    status=1
  fi
  if [ -n "$only_page" ]; then
    echo "FAIL: $what in $(basename "$page") but not in --help: $only_page" >&2
    status=1
  fi
  echo "$what: $(echo $from_help)"
}
[ -n "$help_options" ] || { echo "FAIL: no options found in --help" >&2; exit 1; }
compare options "$help_options" "$page_options"
compare commands "$help_commands" "$page_commands"
exit $status
