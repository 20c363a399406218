#!/usr/bin/env bash
# Writes a manual page for a program from the text of its --help: the lines
# up to the first blank one are the synopsis (one form of the command a
# line, "usage:" before the first, deeper-indented lines continuing the one
# above), the rest the description. An optional roff file adds sections.
#   help2man.sh PROGRAM NAME SECTION "one-line summary" VERSION DATE [EXTRA.roff] > NAME.SECTION
set -euo pipefail
program=$1 name=$2 section=$3 summary=$4 version=$5 date=$6 extra=${7:-}
help=$("$program" --help)
escape() { sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e 's/^\./\\\&./' -e "s/^'/\\\\\&'/"; }
# Placeholders (FILE, DIR, N) in italics.
placeholders() { sed -E 's/\b([A-Z][A-Z_]*)\b/\\fI\1\\fR/g'; }

synopsis=$(echo "$help" | sed '/^$/q' | sed '/^$/d' | sed -E 's/^[Uu]sage: *//; s/^ +//' |
           awk -v name="$name" '$1 == name && NR > 1 { print line; line = "" }
                                { line = line == "" ? $0 : line " " $0 } END { print line }')
description=$(echo "$help" | sed '1,/^$/d')
[ -n "$description" ] || description="$summary."

echo ".TH $(echo "$name" | tr '[:lower:]' '[:upper:]') $section \"$date\" \"Carillon $version\" \"Carillon\""
echo ".SH NAME"
echo "$name \\- $summary"
echo ".SH SYNOPSIS"
first=1
while IFS= read -r form; do
  [ $first -eq 1 ] || echo ".br"
  first=0
  echo ".B $name"
  echo "${form#"$name"}" | sed 's/^ *//' | escape | placeholders
done <<< "$synopsis"
echo ".SH DESCRIPTION"
echo ".nf"
echo "$description" | escape
echo ".fi"
if [ -n "$extra" ]; then cat "$extra"; fi
