#!/usr/bin/env bash
# Installs what is missing, builds Orvia and starts it on the user's application directory, ORVIA_HOME or
# ~/Orvia (created on first start with the catalogue and the manual), so that a rebuild never touches it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
orvia_install
orvia_build
exec "$ORVIA_BUILD/orvia" --app-dir "${ORVIA_HOME:-$HOME/Orvia}" "$@"
