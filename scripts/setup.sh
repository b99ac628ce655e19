#!/usr/bin/env bash
# Installs the Debian packages Zandel needs to build, run and test. Only what is missing is installed.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config ccache
    qt6-base-dev qt6-base-dev-tools libgl-dev libglib2.0-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libssl-dev # the HTTPS step (TLS and certificate checks)
    libsqlite3-dev # the history of checks
    libcurl4-openssl-dev # lists fetched from a URL
    libmaxminddb-dev # the offline country and network (ASN) databases
    libmaxmind-db-writer-perl # writes the tests' small databases
    jq python3 # read the JSON and CSV exports back in the tests
    squid-openssl # a second real proxy for the HTTPS tests; its OpenSSL build also intercepts TLS (ssl-bump)
    privoxy mitmproxy # an honest and an intercepting proxy for the HTTPS tests
    lighttpd # serves the signed judge script to the end-to-end tests (CGI)
    dante-server microsocks # real SOCKS4/5 proxies for the SOCKS tests
    curl # the client of zandel-check --serve in its end-to-end tests
    fonts-ipafont-gothic xdg-utils
    qt6-translations-l10n tinyproxy clang-format clang-tidy gsettings-desktop-schemas
    dbus-daemon libkf5config-bin
    xvfb openbox xdotool # the window test on an X server with a window manager
    clang libclang-rt-14-dev # the fuzzers (libFuzzer comes with the compiler runtime)
)
if [ "${ZANDEL_SETUP_PACKAGE:-0}" = 1 ]; then
    packages+=(dpkg-dev lintian desktop-file-utils appstream)
fi
# Screenshots of the program under Xvfb.
if [ "${ZANDEL_SETUP_DESKTOP:-0}" = 1 ]; then
    packages+=(xauth imagemagick)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
"${sudo_cmd[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
