#!/bin/sh
# Installs the build as a user would and uses it: proclab alone in bin,
# the demos and the tools in libexec/proclab, proclab finding them there
# (becometwin finding twinspeak) from any folder, and the demos' sources
# and help in share/proclab; then the uninstall target's script takes
# every file away again.
# Usage: install_test.sh BUILD-DIR SOURCE-DIR
set -eu
build=$1 source=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install_test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
[ "$(ls "$prefix/bin")" = proclab ] || fail "bin holds: $(ls "$prefix/bin")"
demos=$("$prefix/bin/proclab" list | cut -d ' ' -f 1)
for program in $demos orders trace; do
	[ -x "$prefix/libexec/proclab/$program" ] || fail "not installed: $program"
done
cd /
lines=$("$prefix/bin/proclab" becometwin | grep -c '^Soy el proceso')
[ "$lines" -eq 3 ] || fail "becometwin wrote $lines lines of 3"
"$prefix/bin/proclab" orders -n 2 tworoles | grep -q '^tworoles, 2 runs' ||
	fail "proclab orders did not run"
[ "$("$prefix/bin/proclab" --help | grep -c "$prefix/libexec/proclab")" -ge 1 ] ||
	fail "proclab --help does not name the demos' folder"
shown=$("$prefix/bin/proclab" source --path tworoles)
[ "$shown" = "$prefix/share/proclab/src/tworoles.cpp" ] ||
	fail "proclab source --path gave $shown"
cmp -s "$shown" "$source/split/tworoles.cpp" ||
	fail "the installed tworoles.cpp differs from the tree's"
"$prefix/bin/proclab" help tworoles | grep -q '^  Los DOS: Soy el proceso' ||
	fail "proclab help tworoles did not print its part"

cmake -DMANIFEST="$build/install_manifest.txt" \
	-P "$source/packaging/uninstall.cmake" >/dev/null
left=$(find "$prefix" -type f)
[ -z "$left" ] || fail "left behind: $left"
[ ! -e "$prefix/libexec/proclab" ] || fail "libexec/proclab left behind"
