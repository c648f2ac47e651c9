#!/usr/bin/env bash
# Runs the Windows build (build-win/) under Wine on a virtual X display, in a Wine
# prefix of its own, and drives it through a draw (wine_e2e.py); then builds the test
# programs for Windows (build-win-tests/) and runs them under Wine through CTest.
# Screenshots, logs, the prefix and the suite's results are kept in build-win/wine-test/.
#   wine-test.sh [--suite-only | --e2e-only]
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
source "$HERE/versions.sh"
ONLY="${1:-}"
WINE=/usr/lib/wine/wine64
ZIP="$(ls -t "$ROOT"/build-win/Quilla-*-win64.zip | head -1)"
SETUP="${ZIP%-win64.zip}-setup.exe"
WORK="$ROOT/build-win/wine-test"

rm -rf "$WORK"
mkdir -p "$WORK"
export WINEPREFIX="$WORK/prefix" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko download prompts: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

# The server picks a free display itself and writes its number, as xvfb-run -a does,
# so that runs beside other X servers never meet on one number.
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp -noreset 3>"$WORK/display" &>"$WORK/xvfb.log" &
xvfb=$!
cleanup() {
    "$(dirname "$WINE")/wineserver" -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do
    [ -s "$WORK/display" ] && break
    sleep 0.1
done
display="$(tr -dc 0-9 < "$WORK/display")"
[ -n "$display" ] || { echo "Xvfb did not start: see $WORK/xvfb.log" >&2; exit 1; }
export DISPLAY=":$display"

started=$SECONDS
"$WINE" wineboot -i &>"$WORK/wineboot.log"
# Chinese text: the Noto CJK faces in the prefix, under the names Windows gives its
# Chinese faces (Qt asks for Microsoft YaHei, the draw screen for KaiTi). Wine lists a
# replacement as a face of its own; a substitute only serves GDI.
fonts="$WINEPREFIX/drive_c/windows/Fonts"
for f in /usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc /usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc \
         /usr/share/fonts/opentype/noto/NotoSerifCJK-Regular.ttc /usr/share/fonts/truetype/arphic/ukai.ttc; do
    cp "$f" "$fonts/"
done
cat > "$WORK/fonts-utf8.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Microsoft YaHei"="Noto Sans CJK SC"
"SimSun"="Noto Serif CJK SC"
"宋体"="Noto Serif CJK SC"
"SimHei"="Noto Sans CJK SC"
"黑体"="Noto Sans CJK SC"
"KaiTi"="AR PL UKai CN"
"楷体"="AR PL UKai CN"
REG
# regedit reads Chinese names from UTF-16 only.
iconv -f UTF-8 -t UTF-16 "$WORK/fonts-utf8.reg" > "$WORK/fonts.reg"
"$WINE" regedit /S "$WORK/fonts.reg"
"$(dirname "$WINE")/wineserver" -w
echo "Wine prefix ready in $((SECONDS - started)) s"

failed=()
if [ "$ONLY" != --suite-only ]; then
    (cd "$WORK" && unzip -q "$ZIP")
    /usr/bin/python3 "$HERE/wine_e2e.py" "$WINE" "$WORK/Quilla" "$SETUP" "$ROOT/tests/files/data/sample_gbk.csv" \
        "$WORK" || failed+=(e2e)
fi

if [ "$ONLY" != --e2e-only ]; then
    "$HERE/build-win.sh" --tests
    # The test programs find Qt's and MinGW's DLLs where they were built. A Unix path is
    # a path on drive Z: under Wine.
    zpath() { printf 'Z:%s' "${1//\//\\}"; }
    runtime="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")"
    export WINEPATH="$(zpath "$QUILLA_WIN_PREFIX/bin");$(zpath "$runtime");$(zpath /usr/x86_64-w64-mingw32/lib)"
    # Qt's plugins from the cache, and its Chinese texts (确定, 取消 ...) from the build
    # machine, as the packaged program has them. (A QT_ variable would not do: Wine
    # hands none to a Windows program.)
    printf '[Paths]\nPrefix = %s\nTranslations = %s\n' "$(zpath "$QUILLA_WIN_PREFIX" | tr '\\' /)" \
        "$(zpath /usr/share/qt6/translations | tr '\\' /)" > "$ROOT/build-win-tests/bin/qt.conf"
    # The program runs its patterns without Qt's JIT on Windows (see src/app/main.cpp); so do the tests.
    export WINEQT_ENABLE_REGEXP_JIT=0
    find "$ROOT/build-win-tests" -name 'tst_*.txt' -delete
    started=$SECONDS
    (cd "$ROOT/build-win-tests" && ctest --timeout 600 -j1 2>&1) | tee "$WORK/suite.log" || failed+=(suite)
    # What each program said: the failures, and what was skipped under Wine and why.
    find "$ROOT/build-win-tests" -name 'tst_*.txt' -exec cat {} + > "$WORK/suite-results.txt"
    grep -E '^(FAIL!|SKIP|Totals)' "$WORK/suite-results.txt" > "$WORK/suite-summary.txt" || true
    echo "Suite under Wine in $((SECONDS - started)) s; summary in $WORK/suite-summary.txt"
    echo "skipped: $(grep -c '^SKIP' "$WORK/suite-summary.txt" || true)"
    grep '^FAIL!' "$WORK/suite-summary.txt" || true
fi

if [ ${#failed[@]} -gt 0 ]; then
    echo "Failed under Wine: ${failed[*]}" >&2
    exit 1
fi
