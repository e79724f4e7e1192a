#!/usr/bin/env bash
# Installs what is missing, builds Orvia and starts it on its ready application directory (build/).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
orvia_install
orvia_build
exec "$ORVIA_BUILD/orvia" "$@"
