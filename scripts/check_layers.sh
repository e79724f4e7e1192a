#!/usr/bin/env bash
# Prints every include between src/ folders that points upward (or from core code into a window folder), and
# every include from one front end into another, and exits non-zero when there is one.
# Folders from the bottom up: base sky image astrometry frameinfo satdb orbit session desktop app cli; a folder's ui/
# belongs to it. The front ends are the desktop program (desktop/ with app/) and the command line (cli/): both
# stand on session/, and no front end includes another.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../src"
order=(base sky image astrometry frameinfo satdb orbit session desktop app cli)
rank() { local i; for i in "${!order[@]}"; do [ "${order[$i]}" = "$1" ] && echo "$i" && return; done; echo 99; }
front_end() { case "$1" in desktop|app) echo desktop;; cli) echo cli;; *) echo "";; esac; }
bad=0
while IFS=: read -r file target; do
  from=${file%%/*}
  to=${target%%/*}
  if [ "$(rank "$to")" -gt "$(rank "$from")" ]; then echo "upward: $file -> $target"; bad=1; fi
  a=$(front_end "$from"); b=$(front_end "$to")
  if [ -n "$a" ] && [ -n "$b" ] && [ "$a" != "$b" ]; then echo "front end into another: $file -> $target"; bad=1; fi
  case "$file" in */ui/*|app/*|desktop/*) ;; *) case "$target" in */ui/*|desktop/*) echo "core into window code: $file -> $target"; bad=1;; esac;; esac
done < <(grep -rEo '#include "[a-z]+/[^"]+"' --include='*.h' --include='*.cpp' . | sed -E 's#^\./##; s#:\#include "#:#; s#"$##')
# Core code (outside ui/, desktop/ and app/, and the decoder) never includes Qt.
while IFS= read -r line; do echo "Qt in core: $line"; bad=1; done < <(grep -rlE '#include <Q' --include='*.h' --include='*.cpp' . | grep -vE '/ui/|^\./app/|^\./desktop/|^\./image/decode\.cpp$' || true)
exit $bad
