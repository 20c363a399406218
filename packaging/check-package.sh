#!/usr/bin/env bash
# Unpacks a Carillon .deb into a scratch root and runs carillon-cli --help
# from there: what an installation gives a user.
#   check-package.sh FILE.deb
set -euo pipefail
deb=$1
root=$(mktemp -d /tmp/carillon-package-root.XXXXXX)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
files="usr/bin/carillon-cli usr/bin/carillon-vprinter usr/bin/carillon-pkg usr/lib/udev/rules.d/60-carillon.rules
       usr/share/man/man1/carillon-cli.1.gz"
# The wizard, when the package was built with it.
if [ -e "$root/usr/bin/carillon" ]; then
  files="$files usr/lib/carillon/carillon usr/lib/carillon/SetupData/Setup.bmp usr/lib/carillon/SetupData/Setup.ini
         usr/share/applications/carillon.desktop usr/share/man/man1/carillon.1.gz"
fi
for f in $files; do
  [ -e "$root/$f" ] || { echo "check-package: $f is missing from $deb" >&2; exit 1; }
done
"$root/usr/bin/carillon-cli" --help | grep -q "^usage: carillon-cli search" || { echo "check-package: carillon-cli --help failed" >&2; exit 1; }
echo "check-package: $deb installs and carillon-cli --help runs from it"
