#!/usr/bin/env bash
# Builds the .deb (in build/deb/), installs it, runs the installed program
# through the cron recipe, once where its folder is missing and once on a
# copy of the bundled example, looks up its manual pages and purges it,
# checking that nothing is left.  Needs root; skipped where any of the
# package's files exist, so the machine is changed only while this runs.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }
state() { dpkg-query -W -f='${db:Status-Status}' tandemix 2>/dev/null | grep -v '^not-installed$' || true; }
[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
exec 9</var/lib/dpkg   # build trees of other checkouts may run this at the same time
flock -w 900 9

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$top/scripts/package" --deb-only --out "$work/package" >/dev/null
files=$(dpkg-deb --fsys-tarfile "$work"/package/tandemix_*.deb | tar -t | sed -n 's|^\.\(/.*[^/]\)$|\1|p')
[ -n "$files" ] || fail "the package holds no files"
[ -z "$(state)" ] || skip "tandemix is $(state) here"
for f in $files; do [ ! -e "$f" ] || skip "$f exists already"; done

trap 'dpkg -P tandemix >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
dpkg -i "$work"/package/tandemix_*.deb >/dev/null
[ "$(command -v tandemix)" = /usr/bin/tandemix ] || fail "tandemix is not found on PATH"
examples=/usr/share/doc/tandemix/examples
readelf -d /usr/bin/tandemix | grep -q 'FLAGS.*BIND_NOW' || fail "the program is not linked with BIND_NOW"

# The cron line as cron runs it, with $HOME here: first without the folder it
# changes to (status 3, "could not start"), then with the example in it.
cron=$(grep -v '^#' "$examples/schedule/crontab" | sed 's/^\([^ ]* *\)\{5\}//')
said=$(cd "$work" && HOME=$work sh -c "$cron" 2>/dev/null)
[ "$said" = "Tandemix in $work/backup ended with exit status 3" ] || fail "cron line without its folder: $said"
mkdir "$work/backup"
cp -a "$examples/Tandemix.ini" "$examples/source" "$work/backup/"
said=$(cd "$work" && HOME=$work sh -c "$cron" 2>&1)
[ -z "$said" ] || fail "the cron line's run said: $said"
cd "$work/backup"
cmp source/documents/report.txt backup/documents/report.txt
cmp source/settings.conf backup/single/settings.conf
grep -q 'Tandemix start\.' backup.log || fail "no run log"
cd /

[ "$(man -w tandemix)" = /usr/share/man/man1/tandemix.1.gz ] || fail "man -w tandemix: $(man -w tandemix)"
[ "$(man -L ja -w tandemix)" = /usr/share/man/ja/man1/tandemix.1.gz ] || fail "no Japanese manual page"
man tandemix 2>/dev/null | grep -q 'EXIT STATUS' || fail "man tandemix shows no page"

dpkg -P tandemix >/dev/null
[ -z "$(state)" ] || fail "tandemix is $(state) after purging"
for f in $files /usr/share/doc/tandemix; do [ ! -e "$f" ] || fail "$f is left after purging"; done
echo "installed, ran through the cron line, found the manual pages and purged tandemix"
