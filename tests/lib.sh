# Shared by the end-to-end test scripts: a scratch folder, and a failure count
# that `finish_tests NAME` reports and turns into the exit status.
set -u
work=$(mktemp -d)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish_tests() {
  echo "$1: $failures failed"
  [ "$failures" = 0 ]
}
