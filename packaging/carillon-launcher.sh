#!/bin/sh
# The wizard finds its SetupData folder beside its own program file, so it is
# started by its real path.
exec "$(dirname "$(readlink -f "$0")")/../lib/carillon/carillon" "$@"
