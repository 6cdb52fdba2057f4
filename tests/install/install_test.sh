#!/usr/bin/env bash
# Builds the .deb from the given build tree, installs it on this machine,
# runs the installed program on a scratch copy of the bundled example, looks
# up its manual pages, and purges it again, checking that nothing it
# installed is left.  The machine is changed only while this runs: it needs
# root, and it is skipped where any of the package's files exist already.
set -euo pipefail
build_dir=$1
top=$(cd "$(dirname "$0")/../.." && pwd)
skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"

# Build trees of other checkouts may run this at the same time.
exec 9</var/lib/dpkg
flock -w 900 9

work=$(mktemp -d)
installed=0
cleanup() {
  if [ $installed -eq 1 ]; then dpkg -P tandemix >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$top/scripts/package" --deb-only --build-dir "$build_dir" --out "$work/package" >/dev/null
deb=$(echo "$work"/package/tandemix_*.deb)
files=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|^\.\(/.*[^/]\)$|\1|p')
[ -n "$files" ] || fail "the package holds no files"
state=$(dpkg-query -W -f='${db:Status-Status}' tandemix 2>/dev/null || true)
[ -z "$state" ] || [ "$state" = not-installed ] || skip "tandemix is $state here"
for f in $files; do [ ! -e "$f" ] || skip "$f exists already"; done

installed=1
dpkg -i "$deb" >/dev/null
[ "$(command -v tandemix)" = /usr/bin/tandemix ] || fail "tandemix is not found on PATH"

mkdir "$work/example"
cp -a /usr/share/doc/tandemix/examples/Tandemix.ini /usr/share/doc/tandemix/examples/source "$work/example/"
status=0
(cd "$work/example" && tandemix) || status=$?
cd "$work/example"
[ $status -eq 0 ] || fail "the installed tandemix ended with exit status $status"
cmp source/documents/report.txt backup/documents/report.txt
cmp source/settings.conf backup/single/settings.conf
grep -q 'Tandemix start\.' backup.log || fail "no run log"
cd /

[ "$(man -w tandemix)" = /usr/share/man/man1/tandemix.1.gz ] || fail "man -w tandemix: $(man -w tandemix)"
[ "$(man -L ja -w tandemix)" = /usr/share/man/ja/man1/tandemix.1.gz ] || fail "no Japanese manual page"
man tandemix 2>/dev/null | grep -q 'EXIT STATUS' || fail "man tandemix shows no page"

dpkg -P tandemix >/dev/null
installed=0
state=$(dpkg-query -W -f='${db:Status-Status}' tandemix 2>/dev/null || true)
[ -z "$state" ] || [ "$state" = not-installed ] || fail "tandemix is $state after purging"
for f in $files /usr/share/doc/tandemix; do [ ! -e "$f" ] || fail "$f is left after purging"; done
echo "installed, ran, found the manual pages and purged tandemix"
