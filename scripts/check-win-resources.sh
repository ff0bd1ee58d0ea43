#!/bin/sh
# Checks that a cross-built uninstaller.exe carries the dialogs and string tables of all
# eleven languages (lists each language of the close-programs dialog, 8900, and of the
# string block that holds the shortcut names) and its version resource (lists its
# fields); fails when one is missing.
# Usage: scripts/check-win-resources.sh [build-win/windows/uninstallerexe/uninstaller.exe]
set -eu
exe=${1:-build-win/windows/uninstallerexe/uninstaller.exe}
windres=${WINDRES:-x86_64-w64-mingw32-windres}
dump=$(mktemp)
trap 'rm -f "$dump"' EXIT
"$windres" -i "$exe" -J coff -O rc >"$dump"

# "LANGUAGE primary, sub" as windres prints them, with the language they stand for.
expected="7,0 German
10,0 Spanish
12,0 French
16,0 Italian
29,0 Swedish
4,1 Chinese-Traditional
9,1 English-US
17,1 Japanese
18,1 Korean
22,1 Portuguese-Brazil
4,2 Chinese-Simplified"

# The language statement before each dialog 8900 and before each string 1022.
found=$(awk '/^LANGUAGE/ { gsub(/ /, ""); lang = substr($0, 9) }
             /^8900 DIALOG/ { print "dialog " lang }
             /^  1022,/ { print "strings " lang }' "$dump")
status=0
echo "$expected" | while read -r id name; do
  dialog=$(echo "$found" | grep -c "^dialog $id\$" || true)
  strings=$(echo "$found" | grep -c "^strings $id\$" || true)
  printf '%-20s LANGUAGE %-5s dialog %s strings %s\n' "$name" "$id" "$dialog" "$strings"
  [ "$dialog" = 1 ] && [ "$strings" = 1 ] || exit 1
done || status=1
[ "$status" = 0 ] && echo "all eleven languages present" || echo "a language is missing" >&2

# The version block: the numbers, and each text Explorer's Properties shows.
version=$(awk '/^[0-9A-Za-z_]+ VERSIONINFO/ { on = 1 } on { print } on && /^END/ { exit }' "$dump")
echo "$version" | grep -E 'FILEVERSION|PRODUCTVERSION|VALUE' || true
for field in 'FILEVERSION 1, 8, 0, 31' 'PRODUCTVERSION 1, 8, 0, 31' '"CompanyName", "Vantor, Inc."' \
  '"ProductName", "Zuna Runtime Environment"' '"FileDescription", ' '"FileVersion", "1.8.0_31"' \
  '"ProductVersion", "1.8.0_31"' '"OriginalFilename", "uninstaller.exe"'; do
  echo "$version" | grep -q -F "$field" || {
    echo "the version resource lacks $field" >&2
    status=1
  }
done
[ "$status" = 0 ] && echo "version resource present"
exit $status
