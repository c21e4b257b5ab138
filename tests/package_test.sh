#!/usr/bin/env bash
# The Debian package as a user gets it: built by CPack from the build tree, the
# files where the screensaver daemon and man look for them, the dependencies a
# user needs, and the program working from an unpacked root.
# Usage: package_test.sh BUILD_DIR
build=${1:?}
source "$(dirname "$0")/lib.sh"

(cd "$build" && cpack -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/pkg/squarefield_*_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { finish_tests package; exit 1; }
dpkg-deb -c "$deb" | awk '{ print $6 }' >"$work/files"
for f in ./usr/bin/squarefield ./usr/libexec/xscreensaver/squarefield ./usr/share/xscreensaver/config/squarefield.xml \
         ./usr/share/man/man6/squarefield.6.gz ./usr/share/doc/squarefield/copyright \
         ./usr/share/doc/squarefield/changelog.gz ./usr/share/applications/screensavers/squarefield.desktop; do
  grep -qx -- "$f" "$work/files" || fail "the package has no $f"
done
# Dependencies with the versions the build needs; the hack is the program, once.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in "libsdl2-2.0-0" "libc6 (>= " "libstdc++6 (>= " "libcgif0 (>= "; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends has no $lib...: $depends"
done
dpkg-deb -c "$deb" | grep -q "^l.* ./usr/libexec/xscreensaver/squarefield -> ../../bin/squarefield$" ||
  fail "the hack is not a link to the program: $(dpkg-deb -c "$deb" | grep libexec/xscreensaver/)"

# Installed into a scratch root, it runs.
dpkg-deb -x "$deb" "$work/root"
"$work/root/usr/bin/squarefield" --version | grep -q "^squarefield " || fail "the packaged program does not run"
"$work/root/usr/libexec/xscreensaver/squarefield" --headless --frames 2 || fail "the packaged hack does not run"
# The settings file is well-formed, and maps its slider to --fps.
/usr/bin/python3 -c 'import sys, xml.etree.ElementTree as t; r = t.parse(sys.argv[1]).getroot(); assert r.get("name") == "squarefield"; assert any("--fps" in (e.get("arg") or "") for e in r.iter())' \
  "$work/root/usr/share/xscreensaver/config/squarefield.xml" || fail "squarefield.xml"
# The entry other screensaver daemons read: valid, and running the program in their window.
entry="$work/root/usr/share/applications/screensavers/squarefield.desktop"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || fail "squarefield.desktop: not a valid entry"
fi
grep -qx "Exec=squarefield --root" "$entry" && grep -qx "Categories=Screensaver;" "$entry" && grep -qx "TryExec=squarefield" "$entry" ||
  fail "squarefield.desktop: not the screensaver entry: $(cat "$entry")"
# The manual page tells of every option --help lists.
for opt in $("$work/root/usr/bin/squarefield" --help | grep -o -- '--[a-z-]*' | sort -u); do
  zcat "$work/root/usr/share/man/man6/squarefield.6.gz" | grep -q -- "${opt//-/\\\\-}" || fail "the manual page does not mention $opt"
done

# The license travels with it.
grep -q "Permission is hereby granted, free of charge" "$work/root/usr/share/doc/squarefield/copyright" ||
  fail "the copyright file has no MIT license text"
# Debian's own checker finds no error (and, today, no warning either).
if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1
  grep -E "^[EW]: " "$work/lintian.txt" && fail "lintian: $(grep -cE '^[EW]: ' "$work/lintian.txt") errors or warnings"
fi

finish_tests package
