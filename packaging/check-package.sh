#!/usr/bin/env bash
# Checks a Carillon .deb as a Debian maintainer would: what it installs and
# where, the configuration file, the udev rule and the script that applies
# it, the manual pages, the hardening and stripping of the programs, that an
# installed program takes its setup from /etc and never from the current
# directory, and (when lintian is installed) that lintian finds nothing.
#   check-package.sh FILE.deb
set -euo pipefail
deb=$(readlink -f "$1")
scratch=$(mktemp -d /tmp/carillon-package-check.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
fail() { echo "check-package: $*" >&2; exit 1; }
dpkg-deb -x "$deb" "$root"
dpkg-deb -e "$deb" "$scratch/control"

doc=usr/share/doc/carillon
files="usr/bin/carillon-cli usr/bin/carillon-vprinter usr/bin/carillon-pkg usr/lib/udev/rules.d/60-carillon.rules
       etc/carillon/Setup.ini $doc/copyright $doc/changelog.gz $doc/README.md.gz $doc/manifest-format.md.gz
       usr/share/man/man1/carillon-cli.1.gz usr/share/man/man1/carillon-pkg.1.gz usr/share/man/man1/carillon-vprinter.1.gz"
wizard=0
if [ -e "$root/usr/bin/carillon" ]; then
  wizard=1
  files="$files usr/share/carillon/Setup.bmp usr/share/applications/carillon.desktop usr/share/man/man1/carillon.1.gz"
fi
for f in $files; do [ -e "$root/$f" ] || fail "$f is missing from $deb"; done
[ ! -e "$root/usr/lib/carillon" ] || fail "usr/lib/carillon is left over from the old layout"

# The setup file is a configuration file: a reinstall keeps what was set.
grep -qx /etc/carillon/Setup.ini "$scratch/control/conffiles" || fail "/etc/carillon/Setup.ini is not a conffile"
if [ $wizard -eq 1 ]; then
  grep -q fonts-dejavu-core <<< "$(dpkg-deb -f "$deb" Depends)" || fail "Depends lacks the wizard's font"
fi

# The udev rule leaves the group alone and gives the device to the seat's user.
rule=$root/usr/lib/udev/rules.d/60-carillon.rules
grep -q 'TAG+="uaccess"' "$rule" || fail "the udev rule does not tag the printers uaccess"
! grep -q 'GROUP=' "$rule" || fail "the udev rule changes the devices' group"
! grep -q 'idVendor}=="[^"]*[A-F]' "$rule" || fail "the udev rule has upper-case vendor ids"
# Without a running udev (a container) the installation still succeeds.
mkdir "$scratch/nodaemon"
printf '#!/bin/sh\necho "Failed to send reload request: No such file or directory" >&2\nexit 1\n' > "$scratch/nodaemon/udevadm"
chmod +x "$scratch/nodaemon/udevadm"
PATH=$scratch/nodaemon:$PATH sh "$scratch/control/postinst" configure || fail "postinst fails where udev is not running"

# Manual pages: a date, and a synopsis of the program's commands.
for page in "$root"/usr/share/man/man1/*.1.gz; do
  text=$(zcat "$page")
  grep -Eq '^\.TH [A-Z-]+ 1 "[0-9]{4}-[0-9]{2}-[0-9]{2}"' <<< "$text" || fail "$(basename "$page") has no date"
  grep -q '^\.B ' <<< "$(sed -n '/^\.SH SYNOPSIS/,/^\.SH/p' <<< "$text")" || fail "$(basename "$page") has no synopsis"
done
for command in info build; do
  zgrep -q "^\.BI $command " "$root/usr/share/man/man1/carillon-pkg.1.gz" || fail "carillon-pkg(1) does not document $command"
done

# Hardened and stripped programs (whole outputs first: grep -q would cut a pipe short).
for program in "$root"/usr/bin/*; do
  name=$(basename "$program")
  dynamic=$(readelf -dW "$program") segments=$(readelf -lW "$program")
  symbols=$(readelf --dyn-syms -W "$program") sections=$(readelf -SW "$program")
  grep -Eq 'BIND_NOW|FLAGS_1.*NOW' <<< "$dynamic" || fail "$name is not linked with -z now"
  grep -q GNU_RELRO <<< "$segments" || fail "$name has no read-only relocations"
  grep -q __stack_chk_fail <<< "$symbols" || fail "$name has no stack protector"
  grep -q '_chk@' <<< "$symbols" || fail "$name has no fortified calls"
  ! grep -Eq '\.symtab|\.debug_info' <<< "$sections" || fail "$name is not stripped"
done

# Installed, the setup is /etc's (here the scratch root's), not the current
# directory's, also when the program is found through PATH.
printf '[Serial ports]\nCOM9=/nonexistent/carillon-system-port\n' > "$root/etc/carillon/Setup.ini"
mkdir -p "$scratch/cwd/SetupData"
printf '[Serial ports]\nCOM8=/nonexistent/carillon-cwd-port\n' > "$scratch/cwd/SetupData/Setup.ini"
for cli in "$root/usr/bin/carillon-cli" carillon-cli; do
  report=$(cd "$scratch/cwd" && PATH=$root/usr/bin:$PATH HOME=$scratch "$cli" doctor 2>&1 || true)
  grep -q carillon-system-port <<< "$report" || fail "$cli does not read the installed setup file"
  ! grep -q carillon-cwd-port <<< "$report" || fail "$cli reads the setup file of the current directory"
done

grep -q "^usage: carillon-cli search" <<< "$("$root/usr/bin/carillon-cli" --help)" || fail "carillon-cli --help failed"
if [ $wizard -eq 1 ]; then
  grep -q "^carillon [0-9]" <<< "$("$root/usr/bin/carillon" --version)" || fail "carillon --version failed"
  status=0
  message=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/carillon" 2>&1) || status=$?
  [ $status -eq 1 ] && grep -q "^carillon: no display" <<< "$message" ||
    fail "the wizard without a display ended with $status: $message"
fi

if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" >&2 || fail "lintian reports errors or warnings"
else
  echo "check-package: lintian is not installed; scripts/setup installs it" >&2
fi
echo "check-package: $deb installs, is hardened and lintian-clean"
