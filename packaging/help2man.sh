#!/usr/bin/env bash
# Writes a manual page for a program from the text of its --help: the lines
# up to the first blank one are the synopsis, the rest the description.
#   help2man.sh PROGRAM|TEXT NAME SECTION "one-line summary" VERSION > NAME.SECTION
# (a program without --help gives its text in a .help file instead)
set -euo pipefail
program=$1 name=$2 section=$3 summary=$4 version=$5
if [ "${program%.help}" != "$program" ]; then help=$(cat "$program"); else help=$("$program" --help); fi
escape() { sed -e 's/\\/\\e/g' -e 's/^\./\\\&./' -e "s/^'/\\\\\&'/"; }
synopsis=$(echo "$help" | sed '/^$/q' | sed '/^$/d')
description=$(echo "$help" | sed '1,/^$/d')
[ -n "$description" ] || description="$summary."
echo ".TH $(echo "$name" | tr '[:lower:]' '[:upper:]') $section \"\" \"Carillon $version\" \"Carillon\""
echo ".SH NAME"
echo "$name \\- $summary"
echo ".SH SYNOPSIS"
echo ".nf"
echo "$synopsis" | escape
echo ".fi"
echo ".SH DESCRIPTION"
echo ".nf"
echo "$description" | escape
echo ".fi"
