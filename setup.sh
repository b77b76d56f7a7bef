#!/bin/bash
# Installs what is missing (Debian 12, as root), builds, then starts the program or runs every test.
#   ./setup.sh run    build and start the program
#   ./setup.sh test   build and run every test
set -euo pipefail
cd "$(dirname "$0")"
mode=${1:-}
if [ "$mode" != run ] && [ "$mode" != test ]; then
    echo "usage: $0 run|test" >&2
    exit 2
fi

packages="cmake make g++ qtbase5-dev qtbase5-dev-tools libqwt-qt5-dev libqt5svg5 xvfb xauth python3-pyftpdlib fonts-wqy-microhei qttranslations5-l10n iproute2 util-linux openbox xdotool libfftw3-dev clang-14 libclang-rt-14-dev"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends $missing
fi

# Nothing here may go through a proxy: tests talk to 127.0.0.1 only.
unset http_proxy https_proxy ftp_proxy all_proxy no_proxy HTTP_PROXY HTTPS_PROXY FTP_PROXY ALL_PROXY NO_PROXY

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j8

if [ "$mode" = test ]; then
    cd build
    exec ctest -j8 --output-on-failure
fi

cd build/app
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec ./Varn28
fi
echo "No display: starting the program in a virtual X server (xvfb-run)."
exec xvfb-run -a ./Varn28
