#!/usr/bin/python3
"""The Windows build under Wine, driven as tests/e2e/draw_e2e.py drives the Linux one
(whose helpers it uses): keys and clicks through the X server in, the database, the
exported workbook and screenshots out.

The unpacked zip: start (creating Data.mdb beside quilla.exe), a draw with a prize,
participants imported from a GB18030 CSV file and from an .xlsx workbook, two rounds,
the results exported to .xlsx, one person checked in by phone (文件 → 现场签到…, the
QR code read off the screen, the page posted to with curl), a restart that finds
everything. Then the installer:
installed silently, started (its database goes to AppData), uninstalled (the database
stays).

usage: wine_e2e.py WINE FOLDER_WITH_QUILLA_EXE SETUP_EXE PARTICIPANTS_CSV WORK_FOLDER
"""

import os
import shutil
import sqlite3
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing left in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "e2e"))
import draw_e2e as e2e  # noqa: E402
import openpyxl  # noqa: E402

# One prize drawn one winner at a time: two rounds.
e2e.PRIZES = [("First prize", 2, 1)]
e2e.WINNERS = 2
e2e.TIMEOUT = 60.0  # Wine starts slowly on a busy machine
# Participants of the workbook, after those of the CSV file.
WORKBOOK_PEOPLE = [("B001", "孙七"), ("B002", "周八"), ("B003", "吴九")]

step = e2e.step
fail = e2e.fail


def windows_path(path):
    """Wine shows the Linux file system as drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def query(db, sql, *params):
    """Wine's file locks are its own, not the ones Linux's SQLite sees: a read may meet
    a change half written. It is tried again until it reads a whole state."""
    for attempt in range(50):
        try:
            connection = sqlite3.connect(f"file:{db}?mode=ro", uri=True, timeout=10)
            try:
                return connection.execute(sql, params).fetchall()
            finally:
                connection.close()
        except sqlite3.DatabaseError:
            time.sleep(0.1)
    fail(f"{db} could not be read")


e2e.query = query


def draw_round(db, draw, screen, start_by, stop_by, prize_id, expected_total):
    """One round as draw_e2e draws it, the stop coming after Windows' double-click time
    (500 ms): a second click sooner is the second half of a double click, which the draw
    screen rightly ignores. A start within half a second of a stop is ignored as a double
    press too."""
    before = e2e.results(db, draw)
    time.sleep(0.6)
    e2e.draw_action(screen, start_by)
    time.sleep(0.8)
    e2e.draw_action(screen, stop_by)
    stored = e2e.wait_rows(f"{expected_total} stored winners", lambda: e2e.results(db, draw), expected_total)
    if stored[:len(before)] != before or any(row[0] != prize_id for row in stored[len(before):]):
        fail(f"the round changed earlier results or stored winners of another prize: {before} -> {stored}")
    return stored


def all_windows():
    """Every visible window, titled or not, with its width."""
    found = {}
    for w in e2e.xdotool("search", "--onlyvisible", "--name", "").split():
        found[int(w)] = e2e.geometry(int(w))[2]
    return found


def shot(work, name):
    path = os.path.join(work, name)
    subprocess.run(["import", "-silent", "-window", "root", path], timeout=60)
    return path


class WineProgram(e2e.Program):
    """quilla.exe started by Wine; its database is beside it unless it was installed."""

    def __init__(self, wine, exe, env):
        self.folder = os.path.dirname(exe)
        with open(os.path.join(os.environ["QUILLA_WINE_WORK"], "quilla.log"), "ab") as log:
            self.process = subprocess.Popen([wine, exe], cwd=self.folder, env=env,
                                            stdout=log, stderr=subprocess.STDOUT)
        e2e._program = self.process


def choose_file(main, keys_to_button, path, last_type=False):
    """Presses the button, and gives the file dialog that comes up the path. On Windows Qt
    shows the system's file dialog: Wine's, whose window has no title under X. Wine's
    adds the chosen type's extension to any name, even one that has it: with last_type,
    the name goes without its extension and the last type of the list (.xlsx when
    saving) is chosen."""
    before = set(all_windows())
    e2e.keys(main, *keys_to_button, "space")
    dialog = e2e.wait_for("the file dialog", lambda: next(
        (w for w, width in all_windows().items() if w not in before and width > 300), None))
    e2e.type_text(dialog, windows_path(os.path.splitext(path)[0] if last_type else path))
    if last_type:
        e2e.keys(dialog, "Tab", "End", "shift+Tab")
    e2e.keys(dialog, "Return")
    e2e.wait_for("the file dialog to close", lambda: dialog not in all_windows())


def import_file(main, db, draw, path, rows, keys_to_button, people):
    """Imports rows 2..rows+1 of the file, number from column A and name from B."""
    step(f"importing {os.path.basename(path)}")
    choose_file(main, keys_to_button, path)
    if path.endswith(".xlsx"):
        sheets = e2e.wait_window("选择要导入数据所在的工作表")
        e2e.keys(sheets, "Return")  # the first sheet is marked
    mapping = e2e.wait_window(e2e.MAPPING)
    e2e.keys(mapping, "Tab")
    e2e.type_text(mapping, "2")
    e2e.keys(mapping, "Tab")
    e2e.type_text(mapping, str(rows + 1))
    e2e.keys(mapping, "Tab")
    e2e.type_text(mapping, "A")
    e2e.keys(mapping, "Return", "Down")
    e2e.type_text(mapping, "B")
    e2e.keys(mapping, "Return", "Tab", "space")
    done = e2e.wait_window(e2e.MAIN, besides={main})  # "已导入 N 条"
    e2e.keys(done, "Return")
    e2e.wait_closed(done, e2e.MAIN)
    e2e.wait_closed(mapping, e2e.MAPPING)
    imported = e2e.wait_rows("the participants in the database", lambda: query(
        db, "SELECT 号码, 姓名 FROM 号码表 WHERE CID=? ORDER BY ID", draw), len(people))
    if imported != people:
        fail(f"imported {imported}, the files hold {people}")


def write_workbook(path):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "名单"
    sheet.append(["编号", "姓名"])
    for row in WORKBOOK_PEOPLE:
        sheet.append(list(row))
    book.save(path)


def portable_run(wine, folder, sample, work, env):
    exe = os.path.join(folder, "quilla.exe")
    db = os.path.join(folder, "Data.mdb")
    people = e2e.participants_of(sample)
    workbook = os.path.join(work, "名单.xlsx")
    write_workbook(workbook)

    # 自动备份 to a "USB stick": the copying thread runs, and the program must still end
    # when its window closes (a copy that hung in its exit would go on holding its files).
    usb = os.path.join(work, "usb")
    os.makedirs(usb, exist_ok=True)
    subprocess.run([wine, "reg", "add", r"HKCU\Software\Vantolo\OrganizationDefaults\AutoBackup", "/v", "Folder",
                    "/d", windows_path(usb).replace("\\", "/"), "/f"], env=env, timeout=120, check=True,
                   stdout=subprocess.DEVNULL)

    step("starting the unpacked zip")
    program = WineProgram(wine, exe, env)
    try:
        main = program.main_window()
        e2e.wait_for("Data.mdb beside quilla.exe", lambda: os.path.exists(db))
        draw = e2e.create_draw(main, db)
        prize_ids = e2e.add_prizes(main, db, draw)
        # 添加奖项 -> chooser -> tabs -> 抽奖号码, chooser, 导入数据; the focus stays there.
        import_file(main, db, draw, sample, len(people), ["shift+Tab", "shift+Tab", "Right", "Tab", "Tab"], people)
        people += WORKBOOK_PEOPLE
        import_file(main, db, draw, workbook, len(WORKBOOK_PEOPLE), [], people)
        shot(work, "participants.png")

        step("two rounds")
        screen = e2e.open_screen(main, ["shift+Tab"] * 3)
        draw_round(db, draw, screen, "click", "click", prize_ids[0], 1)
        draw_round(db, draw, screen, "space", "space", prize_ids[0], 2)
        time.sleep(1)
        shot(work, "draw-screen.png")
        e2e.expect_all_drawn(db, draw, screen)
        e2e.close_screen(screen, main)
        winners = e2e.check_winners(db, draw, prize_ids, people)

        step("exporting the results to .xlsx")
        xlsx = os.path.join(work, "结果.xlsx")
        choose_file(main, ["Tab", "Right", "Tab", "Tab", "Tab"], xlsx, last_type=True)  # tabs -> 抽奖结果 … 导出数据
        done = e2e.wait_window(e2e.MAIN, besides={main})  # "已导出 N 条"
        e2e.keys(done, "Return")
        e2e.wait_closed(done, e2e.MAIN)
        name = e2e.PRIZES[0][0]
        e2e.check_export(xlsx, [(name, number, person) for _, number, person in winners])

        # The server listens from inside Wine, on the address the window offers, and the
        # phone is curl on the Linux side.
        e2e.phone_check_in(main, db, draw, next(p for p in people if p[0]))
        step("the standby copy, then 退出 by Alt+F4")
        e2e.check_standby(os.path.join(usb, "Data.mdb"), db, draw)
        # Closed as a user closes it, the server still on and copies made: its threads must end cleanly.
        e2e.keys(main, "alt+F4")
        try:
            program.process.wait(30)
        except subprocess.TimeoutExpired:
            shot(work, "closing.png")
            fail("the program did not end within 30 s of closing its window (phone server on, 自动备份 on)")
    finally:
        program.end()

    step("restarting")
    program = WineProgram(wine, exe, env)
    try:
        program.main_window()
        if e2e.results(db, draw) != winners:
            fail(f"after the restart the results are {e2e.results(db, draw)}, were {winners}")
        if len(query(db, "SELECT ID FROM 号码表 WHERE CID=?", draw)) != len(people):
            fail("after the restart the participants differ")
        time.sleep(1)
        shot(work, "restarted.png")
    finally:
        program.end()

    # A killed copy leaves Data.mdb.lock behind, and the copy started once Wine has wound
    # down gets the same process id: it must start all the same, three times over.
    wineserver = os.path.join(os.path.dirname(wine), "wineserver")
    for start in range(4):
        step("starting after a kill" if start else "starting, to be killed")
        program = WineProgram(wine, exe, env)
        try:
            program.main_window()
            if start == 3:
                break
            program.kill()
        finally:
            program.end()
        if not os.path.exists(db + ".lock"):
            fail("the killed copy left no Data.mdb.lock behind: the case goes untested")
        subprocess.run([wineserver, "-w"], env=env, timeout=120, check=False)


def installed_run(wine, setup, work, env):
    prefix = env["WINEPREFIX"]
    folder = os.path.join(prefix, "drive_c", "Program Files", "Quilla")
    step("installing silently")
    subprocess.run([wine, setup, "/S"], env=env, timeout=300, check=True)
    for name in ("quilla.exe", "Uninstall.exe", "Qt6Core.dll", "platforms/qwindows.dll"):
        if not os.path.exists(os.path.join(folder, name)):
            fail(f"the installer left no {name} in {folder}")
    links = [os.path.join(root, f) for root, _, files in os.walk(os.path.join(prefix, "drive_c"))
             for f in files if f == "Quilla抽奖.lnk"]
    if not links:
        fail("no Start-menu entry")

    step("starting the installed program")
    program = WineProgram(wine, os.path.join(folder, "quilla.exe"), env)
    try:
        program.main_window()
        found = e2e.wait_for("Data.mdb in AppData", lambda: [
            os.path.join(root, "Data.mdb") for root, _, files in os.walk(os.path.join(prefix, "drive_c", "users"))
            if "Data.mdb" in files and "AppData" in root])
        if os.path.exists(os.path.join(folder, "Data.mdb")):
            fail("the installed program keeps its database in Program Files")
    finally:
        program.end()

    step("uninstalling")
    subprocess.run([wine, os.path.join(folder, "Uninstall.exe"), "/S"], env=env, timeout=300, check=True)
    e2e.wait_for("the program folder removed", lambda: not os.path.exists(os.path.join(folder, "quilla.exe")))
    if not os.path.exists(found[0]):
        fail("uninstalling removed the draws")


def main():
    wine, folder, setup, sample, work = sys.argv[1:6]
    os.environ["QUILLA_WINE_WORK"] = work
    e2e._work = work
    env = dict(os.environ)
    keeper = subprocess.Popen(["xdotool", "sleep", "3600"])
    try:
        portable_run(wine, folder, sample, work, env)
        installed_run(wine, setup, work, env)
    except e2e.Failure as failure:
        print(f"FAILED at {failure}")
        print(f"files, logs and screenshots kept in {work}")
        return 1
    finally:
        keeper.kill()
        keeper.wait()
    print(f"passed in {time.monotonic() - e2e._started:.1f} s; screenshots in {work}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
