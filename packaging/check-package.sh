#!/usr/bin/env bash
# Unpacks a Carillon .deb into a scratch root and runs carillon-cli --help
# from there: what an installation gives a user.
#   check-package.sh FILE.deb
set -euo pipefail
deb=$1
root=$(mktemp -d /tmp/carillon-package-root.XXXXXX)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
for f in usr/bin/carillon-cli usr/bin/carillon-vprinter usr/bin/carillon-pkg usr/lib/udev/rules.d/60-carillon.rules \
         usr/share/man/man1/carillon-cli.1.gz; do
  [ -e "$root/$f" ] || { echo "check-package: $f is missing from $deb" >&2; exit 1; }
done
"$root/usr/bin/carillon-cli" --help | grep -q "^usage: carillon-cli search" || { echo "check-package: carillon-cli --help failed" >&2; exit 1; }
echo "check-package: $deb installs and carillon-cli --help runs from it"
