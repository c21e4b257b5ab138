#!/usr/bin/env bash
# Animated GIF export, decoded again by independent tools (gifsicle, ImageMagick).
bin=$(realpath "${1:?usage: gif_test.sh path/to/squarefield}")
source "$(dirname "$0")/lib.sh"
cd "$work" || exit 1

"$bin" --headless --size 320x240 --frames 60 --seed 3 --gif a.gif --png a.png || fail "run"
info=$(gifsicle --info a.gif 2>&1)
grep -q "60 images" <<<"$info" || fail "frame count: $(head -1 <<<"$info")"
grep -q "loop forever" <<<"$info" || fail "not looping"
[ "$(grep -c "delay 0.02s" <<<"$info")" = 60 ] || fail "delay is not 2/100 s on every frame"
# The last frame, with every earlier frame under it, is the picture --png saved.
convert a.gif -coalesce "frame-%03d.png"
diff=$(compare -metric AE frame-059.png a.png null: 2>&1)
[ "$diff" = 0 ] || fail "last frame differs from the PNG in $diff pixels"
colours=$(identify -format '%k' frame-030.png)
[ "$colours" -le 2 ] || fail "frame 30 has $colours colours, not black and white"

# The decoded frames are those of every earlier version, however they are encoded.
"$bin" --headless --size 640x360 --frames 200 --seed 11 --gif g.gif || fail "golden run"
[ "$(convert g.gif -coalesce -depth 8 rgb:- | sha256sum | cut -c1-64)" = \
  86710e55917bed216607f105c46ccb882a3cb699780e48aceeff8b7c84878a65 ] || fail "the seeded animation's frames changed"

"$bin" --headless --size 64x48 --frames 3 --seed 3 --fps 25 --gif b.gif || fail "--fps run"
[ "$(gifsicle --info b.gif | grep -c "delay 0.04s")" = 3 ] || fail "--fps 25 is not 4/100 s"

# Refused before anything is written.
"$bin" --gif c.gif 2>err.txt
[ $? = 2 ] && grep -q -- --gif err.txt && [ ! -e c.gif ] || fail "--gif without --headless"
"$bin" --headless --frames 2 --gif /no/such/dir/c.gif 2>err.txt
[ $? = 2 ] && grep -q -- --gif err.txt || fail "unwritable --gif"

# Interrupted: what was recorded so far is a complete GIF.
for sig in INT TERM; do
  mkdir "$sig" && cd "$sig" || exit 1
  env --default-signal=INT "$bin" --headless --size 160x120 --gif s.gif &  # SIGINT at its default, as from a terminal
  pid=$!
  sleep 0.5
  kill -s "$sig" "$pid"
  wait "$pid" || fail "SIG$sig: exit $?"
  gifsicle --info s.gif >/dev/null 2>&1 || fail "SIG$sig: not a valid GIF"
  # The GIF and nothing else: no temporary of any name.
  [ "$(ls -A)" = s.gif ] || fail "SIG$sig: the folder holds $(ls -A | tr '\n' ' ')"
  cd "$work" || exit 1
done

finish_tests gif
