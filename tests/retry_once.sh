#!/usr/bin/env bash
# Runs a test that drives an outside server (an X server, Wine) once more when
# it fails, and says so: a second failure is a real one. A pass on the second
# try is never silent: it is printed here and appended to LOG (name and the
# first try's last lines), which .ci/run shows in its summary.
# Usage: retry_once.sh LOG NAME COMMAND...
log=${1:?usage: retry_once.sh LOG NAME COMMAND...} name=${2:?}
shift 2
first=$(mktemp)
trap 'rm -f "$first"' EXIT
"$@" 2>&1 | tee "$first"
status=${PIPESTATUS[0]}
[ "$status" = 0 ] || [ "$status" = 77 ] && exit "$status"  # 77: skipped
echo "== $name failed once; running it again: $*"
"$@"
status=$?
{
  if [ "$status" = 0 ]; then echo "== $name: passed only on its second try; the first try ended:"
  else echo "== $name: failed twice; the first try ended:"; fi
  tail -5 "$first" | sed 's/^/   | /'
} | tee -a "$log"
exit "$status"
