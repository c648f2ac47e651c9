#!/usr/bin/env bash
# Builds the Windows x64 libraries the program links against, from Debian's source packages, into a cache
# outside the work tree. Each library is built once; a stamp file marks it done.
#   build-deps.sh [qtbase|qtmultimedia|zlib|sqlite|sqlitecpp|quazip|qtwebsockets|qthttpserver|qrencode|all]
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$HERE/versions.sh"

TOOLCHAIN="$HERE/mingw-w64-x86_64.cmake"
SRC="$QUILLA_WIN_CACHE_ROOT/src"
WORK="$QUILLA_WIN_CACHE/work"
PREFIX="$QUILLA_WIN_PREFIX"
LOGS="$QUILLA_WIN_CACHE/logs"
JOBS="${QUILLA_WIN_JOBS:-2}"
# The machines share their cores with other builds: stay out of their way.
LOW=(nice -n 19)
command -v ionice >/dev/null && LOW+=(ionice -c3)

mkdir -p "$SRC" "$WORK" "$PREFIX" "$LOGS"
export QUILLA_WIN_PREFIX="$PREFIX"

# apt-get with a private deb-src list for the machine's own archive, so the system's sources stay as they are.
aptSource() {
    local apt="$QUILLA_WIN_CACHE_ROOT/apt"
    mkdir -p "$apt/lists/partial"
    if [ ! -s "$apt/src.sources" ]; then
        local f
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -f "$f" ] && sed -e 's/^Types:.*deb\b.*/Types: deb-src/' "$f"
            echo
        done > "$apt/src.sources"
        grep -h '^deb ' /etc/apt/sources.list 2>/dev/null | sed 's/^deb /deb-src /' > "$apt/src.list" || true
    fi
    local opts=(-o "Dir::Etc::SourceList=$apt/src.list" -o "Dir::Etc::SourceParts=$apt/parts"
                -o "Dir::State::Lists=$apt/lists" -o "APT::Sandbox::User=root")
    mkdir -p "$apt/parts"
    cp "$apt/src.sources" "$apt/parts/src.sources"
    touch "$apt/src.list"
    if [ ! -e "$apt/lists/.updated" ]; then
        apt-get "${opts[@]}" update >/dev/null && touch "$apt/lists/.updated"
    fi
    (cd "$SRC" && apt-get "${opts[@]}" source --download-only "$@" >/dev/null)
}

# Unpacks a Debian source package (with Debian's patches applied) into $WORK/<dir>.
unpack() {
    local dsc="$1" dir="$2"
    rm -rf "${WORK:?}/$dir"
    (cd "$WORK" && dpkg-source --no-check -x "$SRC/$dsc" "$dir")
    # dpkg-source leaves links to the tarballs beside the tree.
    rm -f "$WORK"/*.orig*.tar.*
}

stage() {
    local name="$1"
    [ -e "$PREFIX/.done-$name" ] && return 0
    echo "== $name: building (log: $LOGS/$name.log)"
    local t0=$SECONDS
    # A process of its own, so that `set -e` holds inside the build: in a subshell it stays off
    # whenever the stage is called inside an `if` or a `&&` list.
    if "${BASH_SOURCE[0]}" build-one "$name" >"$LOGS/$name.log" 2>&1; then
        touch "$PREFIX/.done-$name"
        echo "== $name: done in $(( (SECONDS - t0) / 60 )) min $(( (SECONDS - t0) % 60 )) s" | tee -a "$LOGS/times.txt"
    else
        echo "== $name: FAILED, see $LOGS/$name.log" >&2
        tail -30 "$LOGS/$name.log" >&2
        return 1
    fi
}

# Through ccache where there is one: a build stopped half-way (qtbase takes an hour)
# starts again from its unpacked sources, but its compiled files come from the cache.
LAUNCHER=()
command -v ccache >/dev/null && LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmakeCross() {
    "${LOW[@]}" cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_PREFIX_PATH="$PREFIX" "${LAUNCHER[@]}" "$@"
}
ninjaLow() { "${LOW[@]}" ninja -j"$JOBS" "$@"; }

build_qtbase() {
    aptSource "qt6-base=$QT_DEB_VERSION"
    unpack "qt6-base_$QT_DEB_VERSION.dsc" qtbase
    # Bundled third-party code throughout: the mingw sysroot has none of these libraries.
    cmakeCross -S "$WORK/qtbase" -B "$WORK/qtbase-build" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake" \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
        -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
        -DFEATURE_system_doubleconversion=OFF -DFEATURE_zstd=OFF -DFEATURE_icu=OFF \
        -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_vulkan=OFF -DFEATURE_openssl=OFF \
        -DFEATURE_tabletevent=OFF
    ninjaLow -C "$WORK/qtbase-build"
    ninjaLow -C "$WORK/qtbase-build" install
    rm -rf "$WORK/qtbase-build" "$WORK/qtbase"
}

# Qt modules beyond qtbase are built as qtbase was, against the cross-built qtbase.
qtModuleCross() {
    cmakeCross -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake" \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF "$@"
}

# Windows' file names ignore case, and Qt's sources name some headers as Microsoft's SDK
# spells them (Mferror.h), or Qt's own in capitals (QUrl.h); the files are lower case.
fixIncludeCase() {
    local dirs=(/usr/x86_64-w64-mingw32/include "$PREFIX"/include/Qt*) header real
    for header in $(grep -rhoE '#include [<"][A-Za-z0-9_]+\.h[>"]' "$@" | sed -E 's/#include .(.*)./\1/' | sort -u); do
        [ -n "$(find "${dirs[@]}" -maxdepth 1 -name "$header" -print -quit)" ] && continue
        real="$(find "${dirs[@]}" -maxdepth 1 -iname "$header" -printf '%f\n' -quit)"
        [ -n "$real" ] && grep -rlE "#include [<\"]$header[>\"]" "$@" |
            xargs sed -i -E "s/#include ([<\"])$header([>\"])/#include \\1$real\\2/"
    done
    return 0
}

build_qtmultimedia() {
    aptSource "qt6-multimedia=$QTMM_DEB_VERSION"
    unpack "qt6-multimedia_$QTMM_DEB_VERSION.dsc" qtmultimedia
    local src="$WORK/qtmultimedia"
    # The library names Windows spells with capitals are lower case in mingw-w64, and
    # Linux file names are case-sensitive.
    sed -i -E 's/ (Mf|Mfuuid|Mfplat|Mfcore|Propsys) HINTS/ \L\1\E HINTS/' "$src/cmake/FindWMF.cmake"
    fixIncludeCase "$src/src"
    # The video shaders need Qt Shader Tools, which we do not build (see no-shaders.cmake).
    sed -i "s|^find_package(Qt6 COMPONENTS ShaderTools)\$|find_package(Qt6 QUIET OPTIONAL_COMPONENTS ShaderTools)\ninclude($HERE/no-shaders.cmake)|" \
        "$src/src/multimedia/CMakeLists.txt"
    qtModuleCross -S "$src" -B "$WORK/qtmultimedia-build" -DFEATURE_spatialaudio=OFF -DFEATURE_ffmpeg=OFF
    grep -q 'Windows Media Foundation .* yes' "$WORK/qtmultimedia-build/config.summary"
    ninjaLow -C "$WORK/qtmultimedia-build"
    ninjaLow -C "$WORK/qtmultimedia-build" install
    rm -rf "$WORK/qtmultimedia-build" "$src"
}

build_zlib() {
    aptSource "zlib=1:$ZLIB_DEB_VERSION"
    unpack "zlib_$ZLIB_DEB_VERSION.dsc" zlib
    # Debian's tarball drops win32/, whose resource script the MinGW build names: a
    # bare version block stands in.
    mkdir -p "$WORK/zlib/win32"
    printf '1 VERSIONINFO\nFILEVERSION 1,2,13,0\nPRODUCTVERSION 1,2,13,0\nBEGIN\nEND\n' > "$WORK/zlib/win32/zlib1.rc"
    cmakeCross -S "$WORK/zlib" -B "$WORK/zlib-build"
    ninjaLow -C "$WORK/zlib-build" install
    rm -rf "$WORK/zlib-build" "$WORK/zlib"
}

# Debian's tree holds SQLite's sources, not the single-file build: the build machine's
# tclsh makes that, and it is compiled into a DLL with Debian's own options that matter.
build_sqlite() {
    aptSource "sqlite3=$SQLITE_DEB_VERSION"
    unpack "sqlite3_$SQLITE_DEB_VERSION.dsc" sqlite
    local build="$WORK/sqlite-build"
    mkdir -p "$build" "$PREFIX/bin" "$PREFIX/lib" "$PREFIX/include"
    (cd "$build" && "${LOW[@]}" "$WORK/sqlite/configure" --disable-tcl >/dev/null && "${LOW[@]}" make sqlite3.c)
    local cc=(x86_64-w64-mingw32-gcc-posix -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_COLUMN_METADATA
              -DSQLITE_SECURE_DELETE -DSQLITE_ENABLE_UNLOCK_NOTIFY -DSQLITE_ENABLE_DBSTAT_VTAB
              -DSQLITE_ENABLE_FTS3 -DSQLITE_ENABLE_FTS4 -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_RTREE
              -DSQLITE_MAX_VARIABLE_NUMBER=250000 -DSQLITE_API='__declspec(dllexport)')
    "${LOW[@]}" "${cc[@]}" -shared "$build/sqlite3.c" -o "$PREFIX/bin/sqlite3.dll" \
        -Wl,--out-implib,"$PREFIX/lib/libsqlite3.dll.a"
    install -m644 "$build/sqlite3.h" "$build/sqlite3ext.h" "$PREFIX/include/"
    rm -rf "$build" "$WORK/sqlite"
}

build_sqlitecpp() {
    aptSource "sqlitecpp=$SQLITECPP_DEB_VERSION"
    unpack "sqlitecpp_$SQLITECPP_DEB_VERSION.dsc" sqlitecpp
    cmakeCross -S "$WORK/sqlitecpp" -B "$WORK/sqlitecpp-build" -DSQLITECPP_INTERNAL_SQLITE=OFF \
        -DSQLITECPP_RUN_CPPLINT=OFF -DSQLITECPP_RUN_CPPCHECK=OFF -DSQLITECPP_BUILD_TESTS=OFF \
        -DSQLITECPP_BUILD_EXAMPLES=OFF -DSQLITECPP_USE_STACK_PROTECTION=OFF
    ninjaLow -C "$WORK/sqlitecpp-build" install
    rm -rf "$WORK/sqlitecpp-build" "$WORK/sqlitecpp"
}

# QuaZip asks Qt 6 for Core5Compat, only for QTextCodec; a header of ours stands in.
build_quazip() {
    aptSource "libquazip1-qt5=$QUAZIP_DEB_VERSION"
    unpack "libquazip1-qt5_$QUAZIP_DEB_VERSION.dsc" quazip
    local src="$WORK/quazip"
    sed -i -e 's/COMPONENTS Core Core5Compat/COMPONENTS Core/' -e 's/ Qt6::Core5Compat//' \
        "$src/CMakeLists.txt" "$src/quazip/QuaZipConfig.cmake.in"
    mkdir -p "$PREFIX/include/QtCore5Compat"
    install -m644 "$HERE/compat/QtCore5Compat/QTextCodec" "$PREFIX/include/QtCore5Compat/"
    qtModuleCross -S "$src" -B "$WORK/quazip-build" -DQUAZIP_QT_MAJOR_VERSION=6 -DQUAZIP_BZIP2=OFF \
        -DQUAZIP_FETCH_LIBS=OFF -DQUAZIP_ENABLE_TESTS=OFF -DCMAKE_CXX_FLAGS="-I$PREFIX/include"
    ninjaLow -C "$WORK/quazip-build" install
    rm -rf "$WORK/quazip-build" "$src"
}

# Qt HTTP Server and Qt WebSockets, which it needs, for check-in by phone: built as qtmultimedia was.
build_qtwebsockets() {
    aptSource "qt6-websockets=$QTWEBSOCKETS_DEB_VERSION"
    unpack "qt6-websockets_$QTWEBSOCKETS_DEB_VERSION.dsc" qtwebsockets
    qtModuleCross -S "$WORK/qtwebsockets" -B "$WORK/qtwebsockets-build" -DFEATURE_ssl=OFF
    ninjaLow -C "$WORK/qtwebsockets-build"
    ninjaLow -C "$WORK/qtwebsockets-build" install
    rm -rf "$WORK/qtwebsockets-build" "$WORK/qtwebsockets"
}

build_qthttpserver() {
    aptSource "qt6-httpserver=$QTHTTPSERVER_DEB_VERSION"
    unpack "qt6-httpserver_$QTHTTPSERVER_DEB_VERSION.dsc" qthttpserver
    qtModuleCross -S "$WORK/qthttpserver" -B "$WORK/qthttpserver-build"
    ninjaLow -C "$WORK/qthttpserver-build"
    ninjaLow -C "$WORK/qthttpserver-build" install
    rm -rf "$WORK/qthttpserver-build" "$WORK/qthttpserver"
}

# libqrencode as a DLL, as Qt's libraries are: under the LGPL a user may put in their own
# build. The library alone: no PNG, no command-line tool. Where the archive serves the
# upstream tarball but not Debian's packaging (which patches nothing in the library), the
# tarball is built as it is; apt-get has checked it against the archive's index all the same.
build_qrencode() {
    aptSource "qrencode=$QRENCODE_DEB_VERSION" ||
        [ -f "$SRC/qrencode_$QRENCODE_VERSION.orig.tar.bz2" ]
    if [ -f "$SRC/qrencode_$QRENCODE_DEB_VERSION.debian.tar.xz" ]; then
        unpack "qrencode_$QRENCODE_DEB_VERSION.dsc" qrencode
    else
        echo "qrencode: Debian's packaging not served; building the upstream tarball"
        rm -rf "$WORK/qrencode"
        mkdir -p "$WORK/qrencode"
        tar -xjf "$SRC/qrencode_$QRENCODE_VERSION.orig.tar.bz2" -C "$WORK/qrencode" --strip-components=1
    fi
    cmakeCross -S "$WORK/qrencode" -B "$WORK/qrencode-build" -DBUILD_SHARED_LIBS=ON -DWITH_TOOLS=OFF \
        -DWITH_TESTS=OFF -DWITHOUT_PNG=ON -DCMAKE_DISABLE_FIND_PACKAGE_PNG=ON -DCMAKE_DISABLE_FIND_PACKAGE_Iconv=ON
    ninjaLow -C "$WORK/qrencode-build" install
    # Its CMake puts the DLL beside the import library; the program's DLLs are found in bin/.
    mv "$PREFIX"/lib/libqrencode*.dll "$PREFIX/bin/"
    rm -rf "$WORK/qrencode-build" "$WORK/qrencode"
}

case "${1:-all}" in
    all)
        for s in qtbase qtmultimedia zlib sqlite sqlitecpp quazip qrencode; do stage "$s"; done
        # Without these the program is built with its own small HTTP reader (see compat/QtHttpServer):
        # the archive some machines reach lacks their tarballs.
        stage qtwebsockets && stage qthttpserver ||
            echo "== Qt HTTP Server not built: the program reads HTTP itself (packaging/windows/compat/QtHttpServer)" ;;
    build-one) "build_$2" ;;
    *) stage "$1" ;;
esac
