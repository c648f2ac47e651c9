#!/usr/bin/env bash
# Set-up, build, run and test on Debian 12.
#   ./dev.sh run    build and start the program
#   ./dev.sh test   build and run every test
#   ./dev.sh bench  build and run the benchmarks
#   ./dev.sh package  build the Debian package (build/quilla_*.deb)
#   ./dev.sh windows  cross-build for Windows x64: build-win/Quilla-*-win64.zip and -setup.exe
#                     (the first run builds Qt for Windows: about 70 minutes on 2 busy cores)
#   ./dev.sh windows-test [--e2e-only|--suite-only]  run the Windows build under Wine and drive it
#                          through a draw, then build the test programs for Windows and run them under Wine
set -euo pipefail
cd "$(dirname "$0")"

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-private-dev qt6-multimedia-dev qt6-translations-l10n
    libsqlitecpp-dev libsqlite3-dev sqlite3
    libfreexl-dev libquazip1-qt6-dev
    qt6-httpserver-dev qt6-websockets-dev libqrencode-dev
    fonts-noto-cjk fonts-arphic-ukai fonts-hanazono fonts-symbola fonts-dejavu-core
    gstreamer1.0-plugins-good gstreamer1.0-plugins-base
    libbenchmark-dev
    xvfb xauth strace libxcb1-dev python3-openpyxl python3-xlrd poppler-utils
    desktop-file-utils appstream x11-xserver-utils xdotool imagemagick zbar-tools curl
)

# What the Windows build and its test under Wine need besides the above.
windows_packages=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n dpkg-dev tcl cmake ninja-build
    nsis zip unzip imagemagick pkg-config
    wine64 wine xvfb xauth xdotool sqlite3 python3-openpyxl fonts-noto-cjk fonts-arphic-ukai
    zbar-tools curl
)

install_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {
    install_packages "${packages[@]}"
    [ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build
}

case "${1:-}" in
run)
    build
    exec build/bin/quilla
    ;;
test)
    build
    cd build
    # Widget tests run offscreen and again on a real X server. -noreset: the server would
    # otherwise reset whenever the last test disconnects, refusing the next one meanwhile.
    xvfb-run -a -s "-screen 0 1600x1000x24 -nolisten tcp -noreset" \
        ctest --output-on-failure -j "$(nproc)" --timeout 300
    ;;
package)
    build
    cd build
    cpack
    ls -1 "$PWD"/quilla_*.deb
    ;;
bench)
    build
    for b in build/bin/bench_*; do
        echo "== ${b##*/}"
        "$b"
    done
    ;;
windows)
    install_packages "${windows_packages[@]}"
    packaging/windows/build-deps.sh all
    packaging/windows/build-win.sh
    ;;
windows-test)
    install_packages "${windows_packages[@]}"
    ls build-win/Quilla-*-win64.zip >/dev/null 2>&1 || "$0" windows
    # --suite-only or --e2e-only run one half.
    exec packaging/windows/wine-test.sh "${@:2}"
    ;;
*)
    echo "usage: $0 run|test|bench|package|windows|windows-test" >&2
    exit 2
    ;;
esac
