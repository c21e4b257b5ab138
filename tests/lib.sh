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

# Starts an X server of our own on a free display (Xvfb picks the number and
# writes it once it is ready), exports DISPLAY, and sets $xvfb to its pid.
# -noreset: a server that resets when its last client leaves refuses the next
# program that connects during the reset.
# Usage: start_xvfb WIDTHxHEIGHT [DEPTH]
start_xvfb() {
  rm -f "$work/display"
  Xvfb -displayfd 3 -noreset -screen 0 "$1x${2:-24}" -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || { echo "FAIL: Xvfb did not start"; return 1; }
  export DISPLAY=":$(head -1 "$work/display")"
}

# True when every quarter of the rectangle WxH+X+Y of the picture FILE shows a
# field: mostly black, with some white squares. Usage: field_in FILE W H [X Y]
field_in() {
  local file=$1 w=$2 h=$3 x=${4:-0} y=${5:-0} q m
  for q in "$((w / 2))x$((h / 2))+$x+$y" "$((w / 2))x$((h / 2))+$((x + w / 2))+$y" \
           "$((w / 2))x$((h / 2))+$x+$((y + h / 2))" "$((w / 2))x$((h / 2))+$((x + w / 2))+$((y + h / 2))"; do
    m=$(convert "$file" -crop "$q" +repage -colorspace gray -format '%[fx:mean]' info:)
    awk -v m="$m" 'BEGIN { exit !(m > 0.0005 && m < 0.2) }' || return 1
  done
}
