#!/usr/bin/env bash
# The Windows build, here: cross-built with MinGW-w64, its unit tests under
# Wine, its headless output against the Linux build's, and the real program in
# a Wine virtual desktop on an Xvfb screen of its own, as a user would see it.
set -u
cd "$(dirname "$0")/.."
source tests/lib.sh
export WINEDEBUG=-all
# No prompts to fetch .NET or HTML engines: the tests need neither.
export WINEDLLOVERRIDES="mscoree=;mshtml="
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX="$work/prefix"

cmake --preset windows >/dev/null && cmake --build --preset windows && cmake --build --preset windows --target installer || exit 1
[ -f build/default/build.ninja ] || cmake --preset default >/dev/null
cmake --build --preset default >/dev/null || exit 1
exe=build/windows/squarefield.exe

# Unit tests under Wine.
ctest --test-dir build/windows --output-on-failure || fail "unit tests under Wine"

# The same seeded headless run gives the same bytes on both builds.
"$wine" "$exe" --headless --size 1024x768 --frames 300 --seed 7 --trace "$work/win.txt" --png "$work/win.png" ||
  fail "headless run under Wine"
build/default/squarefield --headless --size 1024x768 --frames 300 --seed 7 --trace "$work/linux.txt" --png "$work/linux.png"
cmp "$work/win.txt" "$work/linux.txt" || fail "traces differ between the Windows and Linux builds"
cmp "$work/win.png" "$work/linux.png" || fail "images differ between the Windows and Linux builds"
"$wine" "$exe" --headless --frames 3 --trace NUL --png "$work/with-nul.png" || fail "--trace NUL under Wine"
# A name too long for any folder: refused at the check, saying so.
"$wine" "$exe" --headless --frames 1 --png "$work/$(printf 'x%.0s' $(seq 300)).png" 2>"$work/long.err"
status=$?
[ "$status" = 2 ] && grep -q "File name too long" "$work/long.err" || fail "a 304-character name: status $status, said: $(cat "$work/long.err")"
# Two outputs whose names differ only in case are one file here: refused at the check.
(cd "$work" && "$wine" "$(realpath "$OLDPWD/$exe")" --headless --frames 2 --png x.png --trace X.PNG 2>case.err)
status=$?
[ "$status" = 2 ] && grep -q "is also the --trace output" "$work/case.err" && [ ! -e "$work/X.PNG" ] ||
  fail "--png x.png --trace X.PNG: status $status, said: $(cat "$work/case.err")"
# Names outside ASCII are the files they name, and nothing is left beside them.
mkdir "$work/names" "$WINEPREFIX/drive_c/adv test"
exe_abs=$(realpath "$exe")
(cd "$work/names" && "$wine" "$exe_abs" --headless --size 64x48 --frames 2 --png 'Ωmega.png' --trace '日本.txt' &&
   "$wine" "$exe_abs" --headless --size 64x48 --frames 2 --png '✓.png') ||
  fail "non-ASCII names: a run failed"
[ "$(ls -A "$work/names" | LC_ALL=C sort | tr '\n' ' ')" = "Ωmega.png ✓.png 日本.txt " ] ||
  fail "non-ASCII names: the folder holds $(ls -A "$work/names" | tr '\n' ' ')"
"$wine" "$exe" --headless --size 64x48 --frames 2 --png 'C:\adv test\café.png' || fail "C:\adv test\café.png: a failed run"
[ "$(ls -A "$WINEPREFIX/drive_c/adv test" | tr '\n' ' ')" = "café.png " ] ||
  fail "C:\adv test\café.png: the folder holds $(ls -A "$WINEPREFIX/drive_c/adv test" | tr '\n' ' ')"

# Names Windows keeps for devices are refused before the run, not after it.
reserved=0
for name in CON PRN LPT1 con.png 'C:\\aux.txt' COM9.trace; do
  "$wine" "$exe" --headless --frames 1 --png "$name" >/dev/null 2>"$work/err"
  [ $? = 2 ] && grep -q "a name Windows keeps for a device" "$work/err" || fail "--png $name: $(tr -d '\r' <"$work/err")"
  reserved=$((reserved + 1))
done
[ "$reserved" = 6 ] || fail "reserved names: $reserved of 6 tried"
"$wine" "$exe" --frames 0 >/dev/null 2>"$work/err"
[ $? = 2 ] && grep -q -- --frames "$work/err" || fail "option error under Wine: $(cat "$work/err")"

# The desktop: every program in this prefix runs in one 1024x768 virtual desktop.
start_xvfb 1024x768 || exit 1
on_exit() { "$wineserver" -k 2>/dev/null; }
"$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
# Start Wine afresh on this display: a Wine server left from the runs above
# has a desktop of its own without one.
"$wineserver" -k 2>/dev/null
"$wineserver" -w 2>/dev/null
# Something on the desktop that a stray square would show on, kept open throughout.
"$wine" notepad >/dev/null 2>&1 &
shot() { xwd -root -silent | convert xwd:- "$1"; }
mean() { convert "$1" -crop "$2" -colorspace gray -format '%[fx:mean]' info:; }
# Wait for the desktop (blue) and the editor (white) to be drawn.
for _ in $(seq 60); do
  shot "$work/before.png"
  awk -v m="$(mean "$work/before.png" 1024x768+0+0)" 'BEGIN { exit !(m > 0.2) }' && break
  sleep 0.5
done
sleep 1
shot "$work/before.png"

# Waits up to $1 s for $pid to end; sets $status to its exit status, or "timeout".
await_exit() {
  status=timeout
  for _ in $(seq $(($1 * 10))); do
    if ! kill -0 "$pid" 2>/dev/null; then wait "$pid"; status=$?; return; fi
    sleep 0.1
  done
}
# Waits up to 15 s for a field on the screen (Wine may take a while to start); keeps the shot in $1.
await_field() {
  for _ in $(seq 30); do
    sleep 0.5
    shot "$1"
    field_in "$1" 1024 768 && return 0
  done
  return 1
}
# The trace ends with the unload, the cursor shown again, and the brushes deleted.
clean_shutdown() { tail -4 "$1" | head -2 | tr '\n' ' ' | grep -q "Unload ShowCursor 1 -> "; }

# An Escape pressed long before the start is not a press of this run's.
xdotool key Escape
sleep 2
"$wine" "$exe" --trace "$work/gui.txt" &
pid=$!
await_field "$work/during.png" || fail "while running: no field of squares on the screen"
kill -0 "$pid" 2>/dev/null || fail "an Escape pressed before the start ended the run"
xdotool key Escape
await_exit 4
[ "$status" = 0 ] || fail "Escape: status $status, not 0 within 4 s"
sleep 1
shot "$work/after.png"
# The whole screen was repainted: the desktop and the editor's page look as
# they did before (the editor's title bar may have changed with the focus).
differ() {
  convert "$1" -crop "$3" +repage "$work/a.png"
  convert "$2" -crop "$3" +repage "$work/b.png"
  compare -metric AE -fuzz 5% "$work/a.png" "$work/b.png" null: 2>&1
}
for region in 1024x200+0+568 280x568+744+0 600x400+20+80; do
  during=$(differ "$work/before.png" "$work/during.png" "$region")
  [ "${during%%.*}" -gt 20 ] 2>/dev/null || fail "the effect did not show in $region ($during pixels changed)"
  after=$(differ "$work/before.png" "$work/after.png" "$region")
  [ "${after%%.*}" -le 2 ] 2>/dev/null || fail "after exit, $after pixels in $region differ: squares left behind"
done
clean_shutdown "$work/gui.txt" || fail "no clean shut-down in the trace"

# Closing the window (WM_CLOSE, as Alt+F4) ends it as Escape does.
"$wine" "$exe" --trace "$work/close.txt" &
pid=$!
"$wine" build/windows/tests/win_close.exe squarefield || fail "win_close"
await_exit 6
[ "$status" = 0 ] || fail "WM_CLOSE: status $status, not 0 within 6 s"
clean_shutdown "$work/close.txt" || fail "WM_CLOSE: no clean shut-down"

# Nothing seen, nothing spent: with the session locked it draws no frames, and
# goes on once it is unlocked (the session change posted as Windows sends it).
"$wine" "$exe" --fps 30 --trace "$work/locked.txt" &
pid=$!
sleep 3
"$wine" build/windows/tests/win_message.exe squarefield lock || fail "win_message lock"
sleep 4
"$wine" build/windows/tests/win_message.exe squarefield unlock || fail "win_message unlock"
sleep 2
"$wine" build/windows/tests/win_close.exe squarefield || fail "win_close"
await_exit 6
polls=$(tr -d '\r' <"$work/locked.txt" | grep -c "^GetAsyncKeyState 27 -> 0$")
echo "session locked for 4 s of about 9 at --fps 30: $polls frames"
[ "$status" = 0 ] && [ "$polls" -ge 60 ] && [ "$polls" -le 200 ] ||
  fail "session locked: status $status, $polls frames in about 9 s at --fps 30 (about 150: it drew while locked, or did not go on)"

# Frames per second in the virtual desktop at 1024x768: two run lengths, so start-up cancels out.
timed() { local t0 t1; t0=$(date +%s.%N); "$wine" "$exe" --frames "$1" || fail "timed run"; t1=$(date +%s.%N); awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }'; }
t1=$(timed 2000)
t2=$(timed 4000)
awk -v a="$t1" -v b="$t2" 'BEGIN { printf "under Wine at 1024x768: 2000 more frames in %.2f s, %.0f frames/s (start-up %.2f s, not counted)\n", b - a, 2000 / (b - a), 2 * a - b }'

# The screensaver, as Windows runs it.
scr=build/windows/squarefield.scr
# /s: the field over the whole screen; a key press ends it, status 0, the desktop as before.
"$wine" "$scr" /s &
pid=$!
await_field "$work/saver.png" || fail "/s: no field of squares on the screen"
# A second saver started meanwhile leaves at once.
"$wine" "$scr" /s
[ $? = 0 ] && kill -0 "$pid" 2>/dev/null || fail "/s: a second instance did not leave at once, or ended the first"
xdotool key a
await_exit 4
[ "$status" = 0 ] || fail "/s: a key press did not end it with status 0 within 4 s ($status)"
sleep 1
shot "$work/after-saver.png"
for region in 1024x200+0+568 280x568+744+0 600x400+20+80; do
  after=$(differ "$work/before.png" "$work/after-saver.png" "$region")
  [ "${after%%.*}" -le 2 ] 2>/dev/null || fail "/s: after exit, $after pixels in $region differ: squares left behind"
done
# The wheel (both axes) and the extra buttons end it; so does another window taking the screen.
saver_ends_on() {
  "$wine" "$scr" /s &
  pid=$!
  await_field "$work/saver-$1.png" || fail "/s ($1): no field of squares on the screen"
  case $1 in
    notepad) "$wine" notepad >/dev/null 2>&1 &
             other=$! ;;
    *) xdotool click "$1" ;;
  esac
  await_exit 4
  [ "$status" = 0 ] || { fail "/s: $1 did not end it with status 0 within 4 s ($status)"; kill "$pid" 2>/dev/null; }
  # That second editor goes again, so the keys typed below reach their dialogs.
  [ "$1" = notepad ] && { kill "$other" 2>/dev/null; wait "$other" 2>/dev/null; sleep 1; }
}
run_cases saver_ends_on 5 <<'CASES'
4
6
8
9
notepad
CASES

# A move of the mouse ends it too; a few pixels' jitter does not.
xdotool mousemove 500 400
"$wine" "$scr" /s &
pid=$!
sleep 3
xdotool mousemove 502 401
sleep 1
kill -0 "$pid" 2>/dev/null || fail "/s: a jitter of two pixels ended it"
xdotool mousemove 700 600
await_exit 4
[ "$status" = 0 ] || fail "/s: a mouse move did not end it with status 0 within 4 s ($status)"

# /c: the settings dialog; a changed frame rate is saved, Cancel changes nothing.
fps_setting() { "$wine" reg query 'HKCU\Software\squarefield' /v FramesPerSecond 2>/dev/null | tr -d '\r' | awk '/FramesPerSecond/ { print $3 }'; }
"$wine" "$scr" /c &
pid=$!
for _ in $(seq 40); do xdotool search --name '^squarefield settings$' >/dev/null 2>&1 && break; sleep 0.25; done
sleep 0.5
shot "$work/settings.png"
xdotool search --name '^squarefield settings$' >/dev/null 2>&1 || fail "/c: no settings dialog"
xdotool type 30
xdotool key Return
await_exit 4
[ "$status" = 0 ] || fail "/c: OK did not close the dialog with status 0"
[ "$(fps_setting)" = 0x1e ] || fail "/c: 30 frames a second were not saved: '$(fps_setting)'"
"$wine" "$scr" /c &
pid=$!
for _ in $(seq 40); do xdotool search --name '^squarefield settings$' >/dev/null 2>&1 && break; sleep 0.25; done
sleep 0.5
xdotool type 99
xdotool key Escape
await_exit 4
[ "$(fps_setting)" = 0x1e ] || fail "/c: Cancel changed the setting to '$(fps_setting)'"
# A rate that is not a whole number is refused with a message, never read as another.
"$wine" "$scr" /c &
pid=$!
for _ in $(seq 40); do xdotool search --name '^squarefield settings$' >/dev/null 2>&1 && break; sleep 0.25; done
sleep 0.5
xdotool key ctrl+a
xdotool type 0.5
xdotool key Return
sleep 1
refused=$(xdotool search --name '^squarefield$' 2>/dev/null | wc -l)
xdotool key Return
sleep 0.5
xdotool key Escape
await_exit 4
[ "$refused" -ge 1 ] && [ "$(fps_setting)" = 0x1e ] ||
  fail "/c: 0.5 was not refused with a message ($refused message windows), the setting is '$(fps_setting)'"

# An .scr deep in folders (a path past 260 characters) with no arguments is
# still a screensaver asked for its settings, not the field.
deep="$work/$(printf 'folder%03d/' $(seq 40))"
mkdir -p "$deep" && cp "$scr" "$deep/squarefield.scr"
[ ${#deep} -gt 260 ] || fail "the deep folder is only ${#deep} characters"
"$wine" "$deep/squarefield.scr" &
pid=$!
for _ in $(seq 40); do xdotool search --name '^squarefield settings$' >/dev/null 2>&1 && break; sleep 0.25; done
xdotool search --name '^squarefield settings$' >/dev/null 2>&1 || fail "an .scr in a long path did not show its settings"
xdotool key Escape
await_exit 4
# A loaded machine: the dialog may have had no keyboard focus yet when the key came.
if [ "$status" = timeout ]; then
  xdotool key Escape
  await_exit 8
fi
[ "$status" = 0 ] || { fail "an .scr in a long path: status $status"; kill "$pid" 2>/dev/null; }

# /p: the preview inside the settings' window (a harness plays the settings).
"$wine" build/windows/tests/saver_preview.exe "Z:$(realpath "$scr" | tr / '\\')" || fail "/p: preview"
"$wine" "$scr" /p 12345 2>/dev/null
[ $? = 2 ] || fail "/p with a handle that is not a window: not status 2"
desktop=$("$wine" build/windows/tests/saver_preview.exe --desktop | tr -d '\r')
timeout 20 "$wine" "$scr" /p "$desktop" 2>/dev/null
[ $? = 2 ] || fail "/p with the desktop's handle ($desktop): not status 2"
# Another program's main window (with windows of its own) is no preview's frame either.
"$wine" notepad &
notepad=$!
keep_pid "$notepad"
main_window=0
for _ in $(seq 40); do
  main_window=$("$wine" build/windows/tests/saver_preview.exe --notepad | tr -d '\r')
  [ "$main_window" != 0 ] && break
  sleep 0.25
done
[ "$main_window" != 0 ] || fail "/p: notepad's window did not appear"
timeout 20 "$wine" "$scr" /p "$main_window" 2>"$work/err"
status=$?
[ $status = 2 ] && grep -q "another program's window" "$work/err" && ! grep -q -- "--help" "$work/err" ||
  fail "/p with notepad's window: status $status, $(tr -d '\r' <"$work/err")"
"$wine" taskkill /f /im notepad.exe >/dev/null 2>&1
wait "$notepad" 2>/dev/null
# Nor is a console's window (one the helper makes in a console of its own).
rm -f "$work/console.txt"
"$wine" wineconsole cmd /c "build\\windows\\tests\\saver_preview.exe --console > Z:$(tr / '\\' <<<"$work")\\console.txt" &
console=$!
keep_pid "$console"
for _ in $(seq 50); do [ -s "$work/console.txt" ] && break; sleep 0.2; done
console_window=$(tr -d '\r' <"$work/console.txt" 2>/dev/null | head -1)
[ -n "$console_window" ] && [ "$console_window" != 0 ] || fail "/p: no console window to try (${console_window:-none})"
timeout 20 "$wine" "$scr" /p "$console_window" 2>"$work/err"
status=$?
[ $status = 2 ] && grep -q "a console's window" "$work/err" || fail "/p with a console's window: status $status, $(tr -d '\r' <"$work/err")"
# The settings' process ending without closing its window ends the preview too.
# (Into a file, not a pipe: a preview left running would hold a pipe open.)
timeout 30 "$wine" build/windows/tests/saver_preview.exe --orphan "Z:$(realpath "$scr" | tr / '\\')" >"$work/orphan.txt"
grep -q "leaving the preview behind" "$work/orphan.txt" || fail "/p orphaned: the harness did not get that far"
gone=0
for _ in $(seq 50); do pgrep -f 'squarefield\.scr.* /p' >/dev/null || { gone=1; break; }; sleep 0.1; done
[ "$gone" = 1 ] || { fail "/p orphaned: the preview still runs 5 s after its parent's process ended"; pkill -f 'squarefield\.scr.* /p'; }

# What a Windows user downloads. The version is project(VERSION)'s everywhere.
version=$(sed -n 's/^project(squarefield VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
rm -rf "$work/zip" && (cd build/windows && cpack -G ZIP -B "$work/zip" >/dev/null) || fail "cpack ZIP"
zip="$work/zip/squarefield-$version-windows-x86_64.zip"
[ "$(unzip -Z1 "$zip" | sort | tr '\n' ' ')" = "LICENSE.txt README.txt squarefield.exe squarefield.scr " ] ||
  fail "the zip holds $(unzip -Z1 "$zip" | tr '\n' ' ')"
mkdir "$work/unzipped" && unzip -q "$zip" -d "$work/unzipped"
[ "$("$wine" "$work/unzipped/squarefield.exe" --version | tr -d '\r')" = "squarefield $version" ] ||
  fail "the zip's squarefield.exe --version is not $version"
# Its help lists what this build can do: no other program's window, no --saver, no Unix signals.
help=$("$wine" "$work/unzipped/squarefield.exe" --help | tr -d '\r')
grep -q -- "--headless" <<<"$help" && grep -q "Ctrl+C" <<<"$help" && grep -q "start /wait" <<<"$help" &&
  ! grep -qE -- "--window-id|--root|--saver|--wallpaper|SIGHUP|X11" <<<"$help" && [ -z "$(awk 'length > 79' <<<"$help")" ] ||
  fail "the Windows --help lists what does not work there: $help"
"$wine" "$work/unzipped/squarefield.exe" --root 2>"$work/err"
[ $? = 2 ] && grep -q "on Linux only" "$work/err" || fail "--root on Windows: $(cat "$work/err")"
for f in squarefield.exe squarefield.scr; do
  info=$(wrestool -x --raw -t 16 "$work/unzipped/$f" | strings -el | tr '\n' '|')
  grep -q "|ProductVersion|$version|" <<<"|$info" && grep -q "|ProductName|squarefield|" <<<"|$info" ||
    fail "$f: its version resource does not say squarefield $version: $info"
  wrestool -l -t 14 "$work/unzipped/$f" | grep -q group_icon || fail "$f: no icon"
done
grep -q "Permission is hereby granted" "$work/unzipped/LICENSE.txt" || fail "the zip's LICENSE.txt is not the MIT text"
scripts/make-icon --check || fail "the icon is not the program's own picture as it is drawn now"

# A release twice in a row: the same bytes, every file listed in SHA256SUMS.
if scripts/release >"$work/release1.log" 2>&1; then
  cp dist/SHA256SUMS "$work/sums1"
  scripts/release >"$work/release2.log" 2>&1 || fail "scripts/release, second time: $(tail -3 "$work/release2.log")"
  cmp -s "$work/sums1" dist/SHA256SUMS || fail "two releases of one commit differ: $(diff "$work/sums1" dist/SHA256SUMS | tr '\n' ' ')"
  [ "$(cut -c67- dist/SHA256SUMS | sort | tr '\n' ' ')" = "squarefield-$version-setup.exe squarefield-$version-web.zip squarefield-$version-windows-x86_64.zip squarefield_${version}_amd64.deb " ] ||
    fail "SHA256SUMS lists $(cut -c67- dist/SHA256SUMS | tr '\n' ' ')"
  (cd dist && sha256sum --quiet -c SHA256SUMS) || fail "dist/ does not match its SHA256SUMS"
else
  fail "scripts/release: $(tail -3 "$work/release1.log")"
fi

# The installer, silently, as administrators deploy it, in a prefix of its own:
# files where it says, Start menu entries, an uninstall entry, and with
# /SETSAVER the current screensaver; the installed saver runs; the silent
# uninstall leaves every file and registry value as it found them.
"$wineserver" -k 2>/dev/null
"$wineserver" -w 2>/dev/null
export WINEPREFIX="$work/prefix-install"
"$wine" wineboot -i >/dev/null 2>&1
# A virtual desktop here too, so the keys reach the saver's window.
"$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
"$wineserver" -k 2>/dev/null
"$wineserver" -w
c="$WINEPREFIX/drive_c"
snapshot() {
  (cd "$c" && find . -path ./users/*/Temp -prune -o -path ./windows/temp -prune -o -print | sort) >"$work/$1.files"
  for key in 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' 'HKCU\Control Panel\Desktop' 'HKCU\Software'; do
    "$wine" reg export "$key" "C:\\snap.reg" /y >/dev/null 2>&1
    iconv -f UTF-16 -t UTF-8 "$c/snap.reg" 2>/dev/null | tr -d '\r'
    rm -f "$c/snap.reg"
  done >"$work/$1.reg"
}
snapshot before
setup=build/windows/squarefield-$version-setup.exe
"$wine" "$setup" /S /SETSAVER
"$wineserver" -w
for f in "Program Files/squarefield/squarefield.exe" "Program Files/squarefield/uninstall.exe" \
         "Program Files/squarefield/LICENSE.txt" "Program Files/squarefield/README.txt" "windows/system32/squarefield.scr" \
         "ProgramData/Microsoft/Windows/Start Menu/Programs/squarefield/squarefield.lnk" \
         "ProgramData/Microsoft/Windows/Start Menu/Programs/squarefield/squarefield screensaver settings.lnk"; do
  [ -s "$c/$f" ] || fail "installer: no $f"
done
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\squarefield'
"$wine" reg query "$uninstall_key" /v DisplayVersion 2>/dev/null | tr -d '\r' | grep -q "REG_SZ *$version$" ||
  fail "installer: no uninstall entry for $version"
"$wine" reg query 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE 2>/dev/null | tr -d '\r' |
  grep -qi 'REG_SZ *C:\\windows\\system32\\squarefield.scr$' || fail "installer /SETSAVER: SCRNSAVE.EXE is not the saver"
"$wine" 'C:\windows\system32\squarefield.scr' /s &
pid=$!
await_field "$work/installed.png" || fail "installed saver: no field of squares on the screen"
xdotool key a
await_exit 4
[ "$status" = 0 ] || fail "installed saver: a key did not end it with status 0 ($status)"
# (Still running: end it, so the uninstall below can still be checked.)
[ "$status" = timeout ] && { kill "$pid"; "$wineserver" -k; "$wineserver" -w; }
"$wine" 'C:\Program Files\squarefield\uninstall.exe' /S
"$wineserver" -w
snapshot after
diff "$work/before.files" "$work/after.files" >"$work/files.diff" || fail "uninstall: files differ: $(head -5 "$work/files.diff" | tr '\n' ' ')"
diff "$work/before.reg" "$work/after.reg" >"$work/reg.diff" || fail "uninstall: registry differs: $(head -8 "$work/reg.diff" | tr '\n' ' ')"
"$wineserver" -k 2>/dev/null

# The installer's harder cases. saver_is prints SCRNSAVE.EXE, or "(absent)".
saver_is() { "$wine" reg query 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE 2>/dev/null | tr -d '\r' | awk '/SCRNSAVE/ { print $3 }' | grep . || echo "(absent)"; }
install() { "$wine" "$setup" /S "$@"; local s=$?; "$wineserver" -w; return $s; }
uninstall() { "$wine" "$1\\uninstall.exe" /S "${@:2}"; local s=$?; "$wineserver" -w; return $s; }
# The user's own screensaver survives two installs that made us the screensaver, and the uninstall.
"$wine" reg add 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE /d 'C:\windows\system32\mine.scr' /f >/dev/null 2>&1
install /SETSAVER && install /SETSAVER && uninstall 'C:\Program Files\squarefield'
[ "$(saver_is)" = 'C:\windows\system32\mine.scr' ] || fail "installer: two installs and an uninstall lost the user's screensaver: $(saver_is)"
# Chosen by hand, then uninstalled: no screensaver, not an empty name.
install && "$wine" reg add 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE /d 'C:\windows\system32\squarefield.scr' /f >/dev/null 2>&1
uninstall 'C:\Program Files\squarefield'
[ "$(saver_is)" = "(absent)" ] || fail "installer: chosen by hand, uninstalled: SCRNSAVE.EXE is '$(saver_is)'"
# /D= into a folder of the user's: a folder of its own inside, and the user's files kept;
# a copy of the uninstaller elsewhere removes nothing there.
mkdir -p "$c/mine" "$c/other" && echo mine >"$c/mine/README.txt" && echo other >"$c/other/README.txt"
install '/D=C:\mine' && [ -s "$c/mine/squarefield/squarefield.exe" ] && [ "$(cat "$c/mine/README.txt")" = mine ] ||
  fail "installer /D= into a folder with files: $(ls "$c/mine" | tr '\n' ' ')"
cp "$c/mine/squarefield/uninstall.exe" "$c/other/" && uninstall 'C:\other'
[ "$(cat "$c/other/README.txt" 2>/dev/null)" = other ] || fail "a copy of the uninstaller removed another folder's README.txt"
uninstall 'C:\mine\squarefield'
[ "$(ls -A "$c/mine")" = README.txt ] && [ "$(cat "$c/mine/README.txt")" = mine ] ||
  fail "uninstall from /D=: the folder holds $(ls -A "$c/mine" | tr '\n' ' ')"
# /D= naming another program's folder, its own uninstall.exe in it: ours goes
# into a folder of its own there, and neither install nor uninstall touches theirs.
mkdir -p "$c/Tools/OtherApp"
echo "OtherApp's own uninstaller" >"$c/Tools/OtherApp/uninstall.exe"
echo "OtherApp readme" >"$c/Tools/OtherApp/README.txt"
install '/D=C:\Tools\OtherApp' && uninstall 'C:\Tools\OtherApp\squarefield'
[ "$(cat "$c/Tools/OtherApp/uninstall.exe")" = "OtherApp's own uninstaller" ] &&
  [ "$(cat "$c/Tools/OtherApp/README.txt")" = "OtherApp readme" ] && [ "$(ls -A "$c/Tools/OtherApp" | wc -l)" = 2 ] ||
  fail "installer /D= over another program's uninstall.exe: its folder holds $(ls -A "$c/Tools/OtherApp" | tr '\n' ' ')"
# Installed again elsewhere: the installation moves, no copy is left behind without its entry.
install && install '/D=C:\Elsewhere'
[ ! -e "$c/Program Files/squarefield" ] && [ -s "$c/Elsewhere/squarefield.exe" ] ||
  fail "installer: installed again in C:\Elsewhere, the first copy is left: $(ls -A "$c/Program Files/squarefield" 2>&1 | tr '\n' ' ')"
"$wine" reg query "$uninstall_key" /v InstallLocation 2>/dev/null | tr -d '\r' | grep -qi 'REG_SZ *C:\\Elsewhere$' ||
  fail "installer: installed again in C:\Elsewhere, the entry does not say so"
uninstall 'C:\Elsewhere'
[ ! -e "$c/Elsewhere" ] || fail "uninstall from C:\Elsewhere: left $(ls -A "$c/Elsewhere" | tr '\n' ' ')"
# While the installed saver runs, an upgrade and an uninstall refuse (status 2) and change nothing.
# (The uninstaller's own status comes back when it runs in place: _?= with a path it reads unquoted.)
install '/D=C:\sqf'
"$wine" 'C:\windows\system32\squarefield.scr' /s &
pid=$!
sleep 4
# (Not waiting for the prefix's processes to end here: the saver is one of them.)
timeout 60 "$wine" "$setup" /S '/D=C:\sqf'; status=$?
[ "$status" = 2 ] || fail "installer: an upgrade while the saver runs: status $status, not 2"
timeout 60 "$wine" 'C:\sqf\uninstall.exe' /S '_?=C:\sqf'; status=$?
[ "$status" = 2 ] && [ -s "$c/windows/system32/squarefield.scr" ] && [ -s "$c/sqf/squarefield.exe" ] ||
  fail "uninstall while the saver runs: status $status, or files removed"
kill "$pid" 2>/dev/null; "$wineserver" -k; "$wineserver" -w
uninstall 'C:\sqf'
[ ! -e "$c/windows/system32/squarefield.scr" ] && [ ! -e "$c/sqf" ] || fail "uninstall once the saver ended: left $(ls "$c/sqf" 2>&1)"
"$wineserver" -k 2>/dev/null

# Two monitors side by side (Xinerama on a nested X server, Wine without a
# virtual desktop): one field across both, and a mouse move ends it.
if command -v Xephyr >/dev/null; then
  # Everything of its own: the Wine processes above (their desktop, their idea of
  # the monitors) end first, and a fresh prefix on the nested display keeps no
  # monitor list from the desktop runs.
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w 2>/dev/null
  export WINEPREFIX="$work/prefix-two"
  start_xvfb 2048x768 || exit 1
  outer=$DISPLAY
  start_x_server Xephyr -screen 1024x768 -screen 1024x768 -origin 1024,0 +xinerama -extension RANDR || exit 1
  inner=$display
  for _ in $(seq 50); do DISPLAY=$inner xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  # Side by side in the outer screen, where the screenshot is taken.
  for _ in $(seq 50); do
    # (Its title names screen .1 but, started with -displayfd, not always the right display.)
    w=$(xwininfo -root -children | grep -o "0x[0-9a-f]* \"Xephyr on :[0-9]*\.1" | cut -d" " -f1)
    [ -n "$w" ] && break
    sleep 0.1
  done
  [ -n "$w" ] && xdotool windowmove "$w" 1024 0 || fail "two monitors: no second Xephyr window"
  export DISPLAY=$inner
  "$wine" wineboot -i >/dev/null 2>&1
  "$wineserver" -w 2>/dev/null
  # Wait for what is needed: Windows seeing both monitors (the prefix's first
  # start publishes them a little after the server is up).
  monitors=""
  for _ in $(seq 30); do
    monitors=$("$wine" build/windows/tests/saver_preview.exe --monitors | tr -d '\r')
    [ "$monitors" = 2 ] && break
    sleep 0.5
  done
  [ "$monitors" = 2 ] || fail "two monitors: Windows sees $monitors"
  xdotool mousemove 1000 400
  "$wine" "$scr" /s &
  pid=$!
  ok=0
  for _ in $(seq 40); do
    sleep 0.5
    DISPLAY=$outer xwd -root -silent | convert xwd:- "$work/two.png"
    field_in "$work/two.png" 1024 768 0 0 && field_in "$work/two.png" 1024 768 1024 0 && ok=1 && break
  done
  [ "$ok" = 1 ] || fail "two monitors: not a field of squares on both"
  xdotool mousemove 1500 300
  await_exit 4
  [ "$status" = 0 ] || fail "two monitors: a mouse move did not end it with status 0 ($status)"
  "$wineserver" -k 2>/dev/null
elif [ "${CI:-}" = true ]; then
  fail "two monitors: no Xephyr (package xserver-xephyr), which CI installs"
else
  echo "two monitors: Xephyr is not installed; skipped"
fi

finish_tests windows
