#!/usr/bin/env bash
# Cross-builds the program for Windows x64 against the cached libraries (build-deps.sh)
# and packs build-win/Quilla-<version>-win64.zip and build-win/Quilla-<version>-setup.exe.
#   build-win.sh [--compile-only | --if-cached | --tests]
# --if-cached compiles only, and only when the libraries are cached (for CI, which has no
# time to build Qt). --tests builds the test programs into build-win-tests/, for CTest to
# run under Wine (wine-test.sh).
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
source "$HERE/versions.sh"

BUILD="$ROOT/build-win"
PREFIX="$QUILLA_WIN_PREFIX"
JOBS="${QUILLA_WIN_JOBS:-2}"
LOW=(nice -n 19)
command -v ionice >/dev/null && LOW+=(ionice -c3)
STRIP=x86_64-w64-mingw32-strip
OBJDUMP=x86_64-w64-mingw32-objdump
GCC_RUNTIME="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")"
export QUILLA_WIN_PREFIX="$PREFIX"

MODE="${1:-}"
# Seconds to build, and added after the rest: made here for a cache that predates it
# (CI's --if-cached included).
if [ -e "$PREFIX/.done-qtbase" ] && [ ! -e "$PREFIX/.done-qrencode" ]; then
    "$HERE/build-deps.sh" qrencode
fi
for lib in qtbase qtmultimedia zlib sqlite sqlitecpp quazip qrencode; do
    if [ ! -e "$PREFIX/.done-$lib" ]; then
        if [ "$MODE" = --if-cached ]; then
            echo "Windows libraries not cached ($PREFIX): cross-build skipped"
            exit 0
        fi
        echo "$lib for Windows is missing from $PREFIX: run packaging/windows/build-deps.sh" >&2
        exit 1
    fi
done

# A build folder configured before check-in by phone came to Windows kept it off; it is made
# anew (configured again in place, the sources it adds were left out of Qt's generated code).
configureNeeded() {
    if [ -f "$1/CMakeCache.txt" ] && grep -q '^QUILLA_WITH_PHONE:BOOL=OFF' "$1/CMakeCache.txt"; then
        rm -rf "$1"
    fi
    [ ! -f "$1/build.ninja" ]
}

HOST_CMAKE="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake"
# Through ccache where there is one: a second build dir or a fresh clone reuses the objects.
LAUNCHER=()
command -v ccache >/dev/null && LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
if [ "$MODE" = --tests ]; then
    TESTS="$ROOT/build-win-tests"
    # CTest starts each test program through Wine; the Qt and MinGW DLLs are found
    # through WINEPATH, which wine-test.sh sets.
    if configureNeeded "$TESTS"; then
        cmake -S "$ROOT" -B "$TESTS" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$HERE/mingw-w64-x86_64.cmake" -DCMAKE_PREFIX_PATH="$PREFIX" \
            -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$HOST_CMAKE" -DQUILLA_WITH_PHONE=ON \
            -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/lib/wine/wine64 -DQUILLA_TESTS=ON "${LAUNCHER[@]}"
    fi
    "${LOW[@]}" ninja -C "$TESTS" -j"$JOBS"
    exit 0
fi

# Configure once; later runs only rebuild what changed.
if configureNeeded "$BUILD"; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$HERE/mingw-w64-x86_64.cmake" -DCMAKE_PREFIX_PATH="$PREFIX" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$HOST_CMAKE" -DQUILLA_WITH_PHONE=ON \
        -DQUILLA_TESTS=OFF "${LAUNCHER[@]}"
fi
"${LOW[@]}" ninja -C "$BUILD" -j"$JOBS" quilla
[ -n "$MODE" ] && exit 0

VERSION="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")"
NAME="Quilla-$VERSION"
STAGE="$BUILD/stage/Quilla"
rm -rf "$BUILD/stage"
mkdir -p "$STAGE"

# The plugins Qt loads: the window system, the look, the sound, the JPEG background.
install -m755 "$BUILD/bin/quilla.exe" "$STAGE/"
for plugin in platforms/qwindows styles/qwindowsvistastyle multimedia/windowsmediaplugin \
              imageformats/qjpeg imageformats/qico imageformats/qgif; do
    mkdir -p "$STAGE/$(dirname "$plugin")"
    install -m755 "$PREFIX/plugins/$plugin.dll" "$STAGE/$plugin.dll"
done

# Every DLL the program and its plugins name, found among ours and MinGW's; Windows' own stay out.
findDll() {
    local dir
    for dir in "$PREFIX/bin" "$GCC_RUNTIME" /usr/x86_64-w64-mingw32/lib; do
        [ -f "$dir/$1" ] && { echo "$dir/$1"; return; }
    done
    return 0
}
pending=("$STAGE"/quilla.exe "$STAGE"/*/*.dll)
while [ ${#pending[@]} -gt 0 ]; do
    file="${pending[0]}"
    pending=("${pending[@]:1}")
    for dll in $("$OBJDUMP" -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
        [ -e "$STAGE/$dll" ] && continue
        source_dll="$(findDll "$dll")"
        [ -n "$source_dll" ] || continue
        install -m755 "$source_dll" "$STAGE/$dll"
        pending+=("$STAGE/$dll")
    done
done
# What is left must be Windows' own: a DLL mingw-w64 has an import library for, or one of
# Windows 10's API sets. Anything else would be missing on the user's machine.
missing=()
for dll in $(for f in "$STAGE"/*.exe "$STAGE"/*.dll "$STAGE"/*/*.dll; do
                 "$OBJDUMP" -p "$f" | sed -n 's/^\s*DLL Name: //p'
             done | sort -u); do
    [ -e "$STAGE/$dll" ] && continue
    lower="$(echo "${dll%.*}" | tr '[:upper:]' '[:lower:]')"
    [ -f "/usr/x86_64-w64-mingw32/lib/lib$lower.a" ] || [[ "$lower" == api-ms-win-* ]] || missing+=("$dll")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Imported but neither shipped nor part of Windows: ${missing[*]}" >&2
    exit 1
fi
"$STRIP" --strip-unneeded "$STAGE"/*.exe "$STAGE"/*.dll "$STAGE"/*/*.dll

# Qt's Chinese texts (确定, 取消 ...) are the same files on every system.
mkdir -p "$STAGE/translations"
for qm in qtbase_zh_CN qtmultimedia_zh_CN; do
    install -m644 "/usr/share/qt6/translations/$qm.qm" "$STAGE/translations/"
done
# Qt looks for its plugins and translations beside the program, not where it was built.
printf '[Paths]\nPrefix = .\nPlugins = .\nTranslations = translations\n' > "$STAGE/qt.conf"

rm -f "$BUILD/$NAME-win64.zip" "$BUILD/$NAME-setup.exe"
(cd "$BUILD/stage" && zip -qr9 "$BUILD/$NAME-win64.zip" Quilla)
makensis -V2 -DVERSION="$VERSION" -DSTAGE="$STAGE" -DOUTFILE="$BUILD/$NAME-setup.exe" \
    -DICON="$ROOT/packaging/icons/quilla.ico" "$HERE/quilla.nsi"
ls -l "$BUILD/$NAME-win64.zip" "$BUILD/$NAME-setup.exe"
