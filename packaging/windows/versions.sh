# Versions of the Windows build's libraries: Debian 12's source packages. Changing one of those named in
# QUILLA_WIN_CACHE starts a new cache.
QT_VERSION=6.4.2
QT_DEB_VERSION=6.4.2+dfsg-10
QTMM_DEB_VERSION=6.4.2-5
SQLITE_DEB_VERSION=3.40.1-2+deb12u2
SQLITECPP_DEB_VERSION=3.2.1-1
ZLIB_VERSION=1.2.13
ZLIB_DEB_VERSION=1.2.13.dfsg-1
QUAZIP_VERSION=1.4
# The Qt 5 package's source: the same QuaZip 1.4, built here against Qt 6.
QUAZIP_DEB_VERSION=1.4-1
# Check-in by phone. Added to the cache below without renaming it: their own stamps say
# whether they are built, and a new name would rebuild qtbase.
QTWEBSOCKETS_DEB_VERSION=6.4.2-1
QTHTTPSERVER_DEB_VERSION=6.4.2-1
QRENCODE_VERSION=4.1.1
QRENCODE_DEB_VERSION=4.1.1-1

QUILLA_WIN_CACHE_ROOT="${QUILLA_WIN_CACHE_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/quilla}"
QUILLA_WIN_CACHE="$QUILLA_WIN_CACHE_ROOT/win64-qt$QT_VERSION-sqlite3.40.1-sqlitecpp3.2.1-zlib$ZLIB_VERSION-quazip$QUAZIP_VERSION"
QUILLA_WIN_PREFIX="$QUILLA_WIN_CACHE/prefix"
