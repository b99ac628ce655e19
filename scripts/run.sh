#!/usr/bin/env bash
# Sets everything up, builds Zandel and runs it on a sample list of proxies that it starts on this machine
# (an echo judge and six fake proxies on 127.0.0.1), so that a first check shows every kind of grade.
#   scripts/run.sh            the desktop program
#   scripts/run.sh --console  zandel-check on the same list, in the terminal
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

ZANDEL_SETUP_DESKTOP=1 scripts/setup.sh
cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(zandel-check zandel-testbed)
[ "${1:-}" = "--console" ] || targets+=(zandel)
cmake --build build/run -j "$(nproc)" --target "${targets[@]}"

demo="$root/build/run/demo"
mkdir -p "$demo"
cp res/sample/proxies.txt "$demo/proxies.txt"

. scripts/testbed.sh
trap 'kill ${testbed:-} 2>/dev/null || true' EXIT
start_testbed build/run/tests/zandel-testbed "$demo"

if [ "${1:-}" = "--console" ]; then
    build/run/src/cli/zandel-check --url "$judge_url" --timeout 5 "$demo/proxies.txt"
    exit $?
fi

# The settings of a first start: the judge as access URL, the sample list as the list to reopen.
if [ ! -f "$demo/PrxSet.ini" ]; then
    printf '[ProxyTimeOut]\r\nTimeOut=5\r\n[ProxyFile]\r\nFile=%s\r\n[WebPage-Url]\r\nWebPage=%s\r\nWebPageNo0=%s\r\n' \
        "$demo/proxies.txt" "$judge_url" "$judge_url" >"$demo/PrxSet.ini"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: starting Zandel on a virtual one (Xvfb :99)." >&2
    Xvfb :99 -screen 0 1280x800x24 >/dev/null 2>&1 &
    xvfb=$!
    trap 'kill $testbed $xvfb 2>/dev/null || true' EXIT
    export DISPLAY=:99
    sleep 1
fi
cd "$demo"
"$root/build/run/src/ui/zandel"
