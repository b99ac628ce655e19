#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine, checks the installed desktop files and icon sizes,
# asks the installed zandel for its version without a display and runs the installed zandel-check, both as an
# ordinary user, zandel-check on the installed sample list through the test bed's proxies on loopback
# (127.0.0.1, ports 18080-18087).
#   scripts/test-package.sh BUILD_DIR   (a build folder of this tree with zandel-testbed, built with the
#                                        hardening flags: its programs are the ones packaged)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1

deb=$(scripts/package.sh "$build" | tail -n 1)
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "$deb" >/dev/null

echo "== installed files"
desktop-file-validate /usr/share/applications/org.zandel.Zandel.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.zandel.Zandel.metainfo.xml
icons=()
for png in res/desktop/icons/zandel-*.png; do
    size=${png##*-}
    size=${size%.png}
    icons+=("/usr/share/icons/hicolor/${size}x${size}/apps/zandel.png")
done
for f in /usr/share/zandel/index.html /usr/share/zandel/envchk.cgi /usr/share/zandel/zandel-judge.cgi \
    /usr/share/zandel/proxies.txt \
    /usr/share/icons/hicolor/scalable/apps/zandel.svg "${icons[@]}" \
    /usr/share/man/man1/zandel.1.gz /usr/share/man/man1/zandel-check.1.gz; do
    [ -f "$f" ] || { echo "missing: $f" >&2; exit 1; }
done

as_user=()
[ "$(id -u)" -ne 0 ] || as_user=(runuser -u nobody --)
echo "== installed zandel --version as an ordinary user, without a display"
version=$(sed -n 's/^project(Zandel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
answer=$(cd / && "${as_user[@]}" env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb /usr/bin/zandel --version)
[ "$answer" = "zandel $version" ] || { echo "the installed zandel --version said: $answer" >&2; exit 1; }

echo "== installed zandel-check as an ordinary user"
cmake --build "$build" --target zandel-testbed >/dev/null
work=$(mktemp -d)
chmod 0755 "$work"
. scripts/testbed.sh
trap 'kill ${testbed:-} 2>/dev/null || true; rm -rf "$work"' EXIT
start_testbed "$build/tests/zandel-testbed" "$work"
status=0
(cd "$work" && "${as_user[@]}" env HOME="$work" /usr/bin/zandel-check --url "$judge_url" --timeout 5 \
    /usr/share/zandel/proxies.txt >"$work/checked.txt" 2>"$work/transcript.txt") || status=$?
for grade in "Anonymous(A)" "Anonymous(B)" "Non-Anonymous" "NG" "NG(Tampered)"; do
    if ! grep -qF " $grade " "$work/checked.txt"; then
        echo "the installed zandel-check gave no $grade (exit $status):" >&2
        cat "$work/checked.txt" "$work/transcript.txt" >&2
        exit 1
    fi
done
[ "$status" -eq 0 ] || { echo "the installed zandel-check exited $status" >&2; exit 1; }
echo "package test passed: $deb"
