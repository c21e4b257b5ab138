#!/usr/bin/env bash
# The layers, as the build links them (runtime -> core -> hosts -> system ->
# shell -> command line, each a folder of src/), checked in the sources too: no file includes a layer above its
# own. A wrong include fails here, naming the file, the line and the rule.
# Usage: layers_test.sh SOURCE_DIR
src=${1:?usage: layers_test.sh SOURCE_DIR}/src
failures=0 checked=0
# What each layer may not include: a pattern over the included path.
forbidden() {
  case $1 in
    runtime/*) echo '^(app|hosts|system|shell|cli)/' ;;       # the runtime: nothing above it
    app/*) echo '^(hosts|system|shell|cli)/' ;;               # the core: the runtime only
    hosts/*) echo '^(system|shell|cli)/' ;;                   # a host: not the system, the shell or the command line
    system/*) echo '^(app|shell|cli)/' ;;                     # the system: over the hosts, under the shell
    shell/*) echo '^cli/' ;;
    *) echo '^$' ;;
  esac
}
while IFS= read -r file; do
  rel=${file#"$src"/}
  rule=$(forbidden "$rel")
  checked=$((checked + 1))
  while IFS=: read -r line include; do
    path=$(sed 's/.*#include "\([^"]*\)".*/\1/' <<<"$include")
    if grep -Eq "$rule" <<<"$path"; then
      echo "FAIL: src/$rel:$line includes \"$path\", above its layer (may not include ${rule//|/ or })"
      failures=$((failures + 1))
    fi
  done < <(grep -n '^#include "' "$file")
done < <(find "$src" -name '*.h' -o -name '*.cpp' | sort)
# The core, the shell and the command line are the same on every system: what differs is the system layer's.
while IFS= read -r file; do
  while IFS=: read -r line text; do
    echo "FAIL: ${file#"$src"/}:$line: a platform conditional ($text) above the system layer: it belongs in system/"
    failures=$((failures + 1))
  done < <(grep -nE '^\s*#\s*(if|ifdef|ifndef|elif)\b.*(_WIN32|__EMSCRIPTEN__|__unix__|__linux__|__APPLE__)' "$file")
done < <(find "$src/app" "$src/shell" "$src/cli" -name '*.h' -o -name '*.cpp' | sort)
echo "layers: $checked files checked, $failures failed"
[ "$checked" -gt 50 ] || { echo "FAIL: only $checked files found under $src"; exit 1; }
[ "$failures" = 0 ]
