#!/usr/bin/env bash
# Installs into a staging folder, starts the installed program through its
# PATH link (offscreen) and checks from outside that it found the files that
# come with it; then validates the menu entry and the metainfo.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

DESTDIR="$stage" cmake --install "$build" --prefix /opt/tarnwell >/dev/null
app="$stage/opt/tarnwell"
for f in tarnwell tarnwell-workbook HAND-M.CUR x/o.cjs Samples/1 Samples/2; do
  [[ -e "$app/$f" ]] || { echo "missing in the install: $f"; exit 1; }
done
# The terminal's search runs from the PATH with no display at all.
find_cmd="$stage/usr/bin/tarnwell-find"
[[ -x "$find_cmd" && -f "$stage/usr/share/man/man1/tarnwell-find.1" ]] || { echo "tarnwell-find or its man page missing"; exit 1; }
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$find_cmd" --version | grep -q '^tarnwell-find ' || { echo "the installed tarnwell-find does not run"; exit 1; }
[[ $("$app/tarnwell-workbook" 2>&1 </dev/null) == usage:* ]] || { echo "the installed tarnwell-workbook does not run"; exit 1; }
link="$stage/usr/bin/tarnwell"
[[ -L "$link" ]] || { echo "no tarnwell link on the PATH"; exit 1; }

# Start it through the link for a few seconds; record which files it looks at.
log="$stage/trace"
QT_QPA_PLATFORM=offscreen PATH="$stage/usr/bin:$PATH" \
  strace -f -qq -e trace=%file -o "$log" timeout -k 2 4 tarnwell >/dev/null 2>&1 || true
grep -q "\"$app/HAND-M.CUR\"" "$log" || { echo "the installed program did not look for its cursor in $app"; exit 1; }
grep -q "\"$app/x/o.cjs\"" "$log" || { echo "the installed program did not look for its skin in $app"; exit 1; }

desktop-file-validate "$stage/usr/share/applications/org.example.tarnwell.desktop"
appstreamcli validate --no-net --pedantic "$stage/usr/share/metainfo/org.example.tarnwell.metainfo.xml" \
  || appstreamcli validate --no-net "$stage/usr/share/metainfo/org.example.tarnwell.metainfo.xml"
for s in 32 48 128 256; do
  [[ -f "$stage/usr/share/icons/hicolor/${s}x${s}/apps/org.example.tarnwell.png" ]] || { echo "icon $s missing"; exit 1; }
done
echo "install test: 1 passed, 0 failed"
