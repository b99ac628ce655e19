#!/usr/bin/env bash
# Builds the Debian package out/zandel_<version>_<arch>.deb from this tree and checks it with lintian.
#   scripts/package.sh [BUILD_DIR]   (default build/pkg)
# Install it with: sudo apt-get install ./out/zandel_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
build=${1:-build/pkg}

ZANDEL_SETUP_PACKAGE=1 scripts/setup.sh

version=$(sed -n 's/^project(Zandel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
maintainer="Zandel developers <developers@zandel.example>"
date=$(git log -1 --format=%cD 2>/dev/null || date -R)

echo "== package zandel $version ($arch)"
. scripts/hardening.sh
# A build folder made elsewhere with these flags (the test script's) is packaged as it is.
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZANDEL_WERROR=OFF "${hardening_args[@]}" >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target zandel zandel-check

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
DESTDIR=$root cmake --install "$build" --prefix /usr --strip >/dev/null
gzip -9n "$root"/usr/share/man/man1/*.1

doc=$root/usr/share/doc/zandel
mkdir -p "$doc"
cat >"$doc/copyright" <<COPYRIGHT
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Zandel
Source: the Zandel source tree

Files: *
Copyright: 2026 The Zandel developers
License: proprietary
 All rights reserved by the Zandel developers.
COPYRIGHT
printf 'zandel (%s) unstable; urgency=medium\n\n  * Zandel %s.\n\n -- %s  %s\n' \
    "$version" "$version" "$maintainer" "$date" | gzip -9n >"$doc/changelog.gz"

# The libraries the programs link against give the package's dependencies.
mkdir -p "$work/src/debian"
printf 'Source: zandel\n\nPackage: zandel\nArchitecture: any\n' >"$work/src/debian/control"
shlibs=$(cd "$work/src" && dpkg-shlibdeps -O "$root/usr/bin/zandel" "$root/usr/bin/zandel-check" 2>/dev/null |
    sed -n 's/^shlibs:Depends=//p')
# OpenSSL, SQLite, libcurl and libmaxminddb are loaded on first use, not linked: name the packages that hold them here.
for lib in libssl.so.3 libsqlite3.so.0 libcurl.so.4 libmaxminddb.so.0; do
    lib_package=$(dpkg -S "$(readlink -f "$(c++ -print-file-name=$lib)")" | cut -d: -f1 | head -n1)
    [ -n "$lib_package" ] || { echo "package: no package holds $lib" >&2; exit 1; }
    shlibs="$shlibs, $lib_package"
done

mkdir -p "$root/DEBIAN"
size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
cat >"$root/DEBIAN/control" <<CONTROL
Package: zandel
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $size
Depends: $shlibs, xdg-utils
Recommends: fonts-ipafont-gothic, gsettings-desktop-schemas, qt6-translations-l10n
Section: net
Priority: optional
Description: checker for public HTTP proxies, with a switch for the desktop's proxy
 Zandel keeps a list of HTTP proxy addresses, checks each proxy by fetching a
 test page through it and marks it with what the check showed: NG when it does
 not answer, the response time, and, against a judge script that echoes the
 request, whether the proxy hides the client or passes its address on.
 .
 From the list the user switches the desktop's proxy (GNOME or KDE Plasma) on
 and off or to another proxy, starts the browser, keeps favourite proxies and
 opens a page through a chain of up to three proxies. The interface is in
 Japanese. zandel-check runs the same checks in a terminal.
CONTROL
(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
find "$root" -type d -exec chmod 0755 {} +

mkdir -p out
deb=out/zandel_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "built $deb"

echo "== lintian"
# Nothing suppressed: a warning, such as a program without its manual page, stops the package.
lintian --fail-on error,warning "$deb"
echo "$top/$deb"
