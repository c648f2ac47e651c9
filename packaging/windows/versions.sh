# Versions of the Windows build's libraries: Debian 12's source packages. Changing one starts a new cache.
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

QUILLA_WIN_CACHE_ROOT="${QUILLA_WIN_CACHE_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/quilla}"
QUILLA_WIN_CACHE="$QUILLA_WIN_CACHE_ROOT/win64-qt$QT_VERSION-sqlite3.40.1-sqlitecpp3.2.1-zlib$ZLIB_VERSION-quazip$QUAZIP_VERSION"
QUILLA_WIN_PREFIX="$QUILLA_WIN_CACHE/prefix"
