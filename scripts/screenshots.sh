#!/usr/bin/env bash
# Builds the release tree and writes PNG screenshots of the desktop program's
# main window, of the torrent list with rows of every age colour and the
# information tip of its first row open, of the Browse tab with a sample page
# and of the four pages of its options dialog, in English and in Chinese, into
# build/screenshots/. Each runs under a virtual X server on a scratch home
# with a few rows.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
out=build/screenshots
mkdir -p "$out"
scratch=$(mktemp -d)
# The Browse tab shows a sample listing from a page server on 127.0.0.1.
build/tests/fixture_page_server tests/browser/fixture_page.htm >"$scratch/pages" &
server=$!
trap 'kill $server; rm -rf "$scratch"' EXIT
until [ -s "$scratch/pages" ]; do
    kill -0 $server
    sleep 0.1
done
pages=$(cat "$scratch/pages")
# The embedded web engine refuses its sandbox when run as root.
if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi

for lang in en zh; do
    home="$scratch/$lang/"
    TESSARO_LANG=$lang build/dist/tessaro-cli --home "$home" init >/dev/null
    # A few rows in the second category's first leaf (the one shown at start),
    # six a day from today back to three days ago, so every age colour shows.
    table=$(sed -n '/^\[FILETYPE2\]/,/^\[/s/^sub_dbasename1=//p' "$home/kernel/global.ini")
    sqlite3 "$home/kernel/websdata.db" <<SQL
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 24)
INSERT INTO $table (AddDate, Name, Addr0, Type, Size, RefreshDate, Seeds, Peers, bCompleted, DllID)
SELECT julianday('now', 'localtime') - 2415018.5 - (i - 1) / 6.0, '[样例] Sample entry 样例条目 ' || i,
       'http://127.0.0.1/t/' || i, 1, '350.2MB', julianday('now', 'localtime') - 2415018.5,
       i, i * 2, 0, 0 FROM n;
SQL
    printf '[NoAskAgain]\nStartwhenAutoUpdateData=1\n' >>"$home/kernel/global.ini"
    TESSARO_LANG=$lang TESSARO_SCREENSHOT="$PWD/$out/main_$lang.png" \
        xvfb-run -a -s "-screen 0 1280x800x24" build/dist/tessaro --home "$home"
    echo "screenshots: $out/main_$lang.png"
    # The tip's web engine runs without its sandbox as root.
    TESSARO_LANG=$lang TESSARO_SCREENSHOT="$PWD/$out/list_tip_$lang.png" TESSARO_SCREENSHOT_TIP=1 \
        QTWEBENGINE_DISABLE_SANDBOX=1 \
        xvfb-run -a -s "-screen 0 1280x800x24" build/dist/tessaro --home "$home"
    echo "screenshots: $out/list_tip_$lang.png"
    TESSARO_LANG=$lang TESSARO_BROWSE_ADDRESS="${pages}fixture_page.htm" \
        TESSARO_SCREENSHOT="$PWD/$out/browse_$lang.png" \
        xvfb-run -a -s "-screen 0 1280x800x24" build/dist/tessaro --home "$home"
    echo "screenshots: $out/browse_$lang.png"
    for page in 0 1 2 3; do
        TESSARO_LANG=$lang TESSARO_OPTIONS_PAGE=$page TESSARO_SCREENSHOT="$PWD/$out/options${page}_$lang.png" \
            xvfb-run -a -s "-screen 0 1280x800x24" build/dist/tessaro --home "$home"
        echo "screenshots: $out/options${page}_$lang.png"
    done
done

# The download tasks and the search tab with rows, drawn by their test.
for lang in en zh; do
    TESSARO_LANG=$lang TESSARO_SCREENSHOT_DIR="$PWD/$out" QT_QPA_PLATFORM=offscreen \
        TZ=Asia/Shanghai build/tests/task_search_tests screenshots >/dev/null
    echo "screenshots: $out/tasks_$lang.png $out/search_$lang.png"
done
