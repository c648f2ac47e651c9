#!/usr/bin/python3
"""The whole program, driven the way an operator drives it.

Starts the real quilla binary in a scratch folder (its own database beside it, its
own settings under a scratch HOME) and works it through the X server only: keys,
typing and clicks sent with xdotool, windows found by their titles. What the
program did is read from its database file, from the files it exports and, on
the draw screen, from a screenshot.

First run: create a draw, give it two prizes, import the participants from a CSV
file, draw every round (starting and stopping by click and by the space bar) until
a start finds no prize left, close the screen, export the results as .xlsx and .csv.
Second run, from the database as it was before the draw: kill the program right
after a stop, start it again, and finish the draw from where it stopped.

usage: draw_e2e.py QUILLA_BINARY PARTICIPANTS_CSV
Exit code 77 (skipped) without an X display, xdotool, ImageMagick's import or openpyxl.
"""

import csv
import io
import itertools
import os
import re
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

try:
    import openpyxl
except ImportError:
    openpyxl = None

SKIPPED = 77
TIMEOUT = 20.0  # for any one window or condition, generous for a busy machine

# Window titles.
MAIN = "Quilla抽奖"  # the management window, and every message box
DRAW_EDITOR = "添加/修改抽奖设置"
PRIZE_EDITOR = "添加/修改奖项设置"
OPEN_DIALOG = "打开"
SAVE_DIALOG = "另存为"
MAPPING = "导入数据映射"
CHOOSER = "选择抽奖设置"
SCREEN = "Quilla抽奖软件操作界面"
REPORT_DIALOG = "抽奖报告"
DELETION = "删除无效获奖"
PHONE = "现场签到"

DRAW_NAME = "Annual party"
# Name, quantity, winners per round, in drawing order.
PRIZES = [("First prize", 3, 2), ("Second prize", 2, 1)]
WINNERS = sum(quantity for _, quantity, _ in PRIZES)


class Failure(Exception):
    pass


_started = time.monotonic()
_step = "starting"
_program = None  # the running quilla, watched while waiting
_work = None  # the scratch folder, kept with a screenshot when the test fails


def step(text):
    global _step
    _step = text
    print(f"{time.monotonic() - _started:5.1f} s  {text}", flush=True)


def fail(what):
    # What the screen showed, while the program still runs.
    if _work:
        subprocess.run(["import", "-silent", "-window", "root", os.path.join(_work, "failure.png")])
    raise Failure(f"{_step}: {what}\nwindows open: {visible_titles()}")


def wait_for(what, probe, timeout=TIMEOUT, interval=0.05, found=None):
    """Polls probe until it gives something true, and returns that; found() says
    what there was instead."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if _program and _program.poll() is not None:
            fail(f"quilla ended (exit code {_program.returncode}) while waiting for {what}")
        if time.monotonic() > deadline:
            fail(f"no {what} after {timeout:.0f} s" + (f"; found {found()}" if found else ""))
        time.sleep(interval)


def wait_rows(what, read, count):
    """Polls read() until it gives count rows, and returns them."""
    seen = []

    def probe():
        seen[:] = read()
        return len(seen) == count

    wait_for(what, probe, found=lambda: seen)
    return list(seen)


# ---------------------------------------------------------------- X input and windows


def xdotool(*args):
    run = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True, timeout=30)
    return run.stdout


def windows(title):
    """The visible windows with exactly this title."""
    return [int(w) for w in xdotool("search", "--onlyvisible", "--name", f"^{re.escape(title)}$").split()]


def wait_window(title, besides=()):
    def probe():
        found = [w for w in windows(title) if w not in besides]
        return found[0] if len(found) == 1 else None

    return wait_for(f"window “{title}”", probe)


def wait_closed(window, title):
    wait_for(f"closing of “{title}”", lambda: window not in windows(title))


def geometry(window):
    values = dict(line.split("=", 1) for line in xdotool("getwindowgeometry", "--shell", window).split())
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def focus(window):
    """Gives window the keyboard focus (there is no window manager to do it)."""

    def probe():
        if xdotool("getwindowfocus").strip() == str(window):
            return True
        xdotool("windowfocus", window)
        return False

    wait_for("keyboard focus", probe)


_presses = {"keys": 0, "clicks": 0, "typed": 0}  # what the operator did, for the newcomer's paths


def keys(window, *names):
    _presses["keys"] += len(names)
    focus(window)
    xdotool("key", "--delay", 40, *names)


def type_text(window, text):
    _presses["typed"] += 1
    focus(window)
    xdotool("type", "--delay", 30, text)


def click(x, y):
    _presses["clicks"] += 1
    # The server takes the move before the press. (--sync, which waits for the
    # move to be seen, at times waited 15 s here.)
    xdotool("mousemove", x, y, "click", 1)


def visible_titles():
    ids = xdotool("search", "--onlyvisible", "--name", ".").split()
    return [xdotool("getwindowname", w).strip() for w in ids]


def screenshot():
    """The whole screen as (width, height, RGB bytes)."""
    data = subprocess.run(["import", "-silent", "-window", "root", "-depth", "8", "ppm:-"],
                          capture_output=True, timeout=30).stdout
    fields = []
    at = 0
    while len(fields) < 4:  # P6, width, height, maximum value
        while data[at:at + 1].isspace():
            at += 1
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    return int(fields[1]), int(fields[2]), data[at + 1:]


# ---------------------------------------------------------------- the draw screen


def command_labels(screen):
    """The boxes (left, top, right, bottom) of the command labels along the bottom
    of the draw screen, left to right: 取消结果, 开始抽奖 and 结束抽奖. Their pale
    backing stands out of the dark red default picture; the labels have no keys."""
    left, top, width, height = geometry(screen)
    shot_width, _, pixels = screenshot()
    rows = range(top + height - 60, top + height)

    def pale(x, y):
        at = 3 * (y * shot_width + x)
        r, g, b = pixels[at:at + 3]
        return r > 150 and g > 120 and b > 120

    boxes = []
    for x in range(left, left + width):
        hits = [y for y in rows if pale(x, y)]
        if len(hits) < 4:
            continue
        if boxes and x - boxes[-1][2] <= 2:
            box = boxes[-1]
            boxes[-1] = [box[0], min(box[1], hits[0]), x, max(box[3], hits[-1])]
        else:
            boxes.append([x, hits[0], x, hits[-1]])
    boxes = [b for b in boxes if b[2] - b[0] > 15]
    return boxes if len(boxes) == 3 else None


def centre(box):
    return (box[0] + box[2]) // 2, (box[1] + box[3]) // 2


def open_screen(main, keys_to_start_button, question_answer=None):
    """Presses the start button, takes the draw in the chooser and waits for the draw screen."""
    keys(main, *keys_to_start_button, "space")
    chooser = wait_window(CHOOSER)
    keys(chooser, "Return")
    if question_answer:
        # Results are stored already: keep them or draw again.
        box = wait_window(MAIN, besides={main})
        keys(box, question_answer)
    screen = wait_window(SCREEN)
    labels = wait_for("command labels on the draw screen", lambda: command_labels(screen))
    click(*centre(labels[1]))  # 开始抽奖: draw mode on
    return screen


def draw_action(screen, by):
    if by == "click":
        left, top, width, height = geometry(screen)
        click(left + width // 2, top + height // 2)
    else:
        keys(screen, "space")


def draw_round(db, draw, screen, start_by, stop_by, prize_id, expected_total):
    """One round: start, let the numbers run a moment, stop; the winners must be
    stored at the stop, for the prize whose turn it is."""
    before = results(db, draw)
    time.sleep(0.6)  # a start within half a second of a stop counts as a double press
    draw_action(screen, start_by)
    time.sleep(0.3)
    draw_action(screen, stop_by)
    stored = wait_rows(f"{expected_total} stored winners", lambda: results(db, draw), expected_total)
    new = stored[len(before):]
    if stored[:len(before)] != before or any(row[0] != prize_id for row in new):
        fail(f"the round changed earlier results or stored winners of another prize: {before} -> {stored}")
    return stored


def rounds(prize_ids, drawn=0):
    """(prize id, winners stored after it) for every round still to draw when the
    first `drawn` winners are stored already."""
    total = 0
    for prize_id, (_, quantity, per_round) in zip(prize_ids, PRIZES):
        left = quantity
        while left > 0:
            n = min(per_round, left)
            left -= n
            total += n
            if total > drawn:
                yield prize_id, total


def expect_all_drawn(db, draw, screen):
    """A start with no prize left is answered by a message box (所有奖项都已抽完！,
    a text X does not tell) and stores nothing."""
    time.sleep(0.6)
    draw_action(screen, "space")
    box = wait_window(MAIN)  # the management window is hidden behind the screen
    if len(results(db, draw)) != WINNERS:
        fail("a start after the last prize stored winners")
    keys(box, "Return")
    wait_closed(box, MAIN)


def close_screen(screen, main):
    labels = wait_for("command labels on the draw screen", lambda: command_labels(screen))
    click(*centre(labels[2]))  # 结束抽奖
    wait_closed(screen, SCREEN)
    wait_for("management window shown again", lambda: main in windows(MAIN))


# ---------------------------------------------------------------- the program and its files


class Program:
    """quilla copied into a folder of its own, so that its database lies there."""

    def __init__(self, folder, env):
        global _program
        self.folder = folder
        with open(os.path.join(folder, "quilla.log"), "ab") as log:
            self.process = subprocess.Popen([os.path.join(folder, "quilla")], cwd=folder, env=env,
                                            stdout=log, stderr=subprocess.STDOUT)
        _program = self.process

    def main_window(self):
        main = wait_window(MAIN)
        if geometry(main)[2] < 600:
            fail("a message box came up instead of the management window (database still locked?)")
        return main

    def kill(self):
        self.process.send_signal(signal.SIGKILL)
        self.process.wait(10)

    def end(self):
        global _program
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.kill()
        _program = None


def query(db, sql, *params):
    connection = sqlite3.connect(f"file:{db}?mode=ro", uri=True, timeout=10)
    try:
        return connection.execute(sql, params).fetchall()
    finally:
        connection.close()


def results(db, draw):
    """The stored winners of the draw as (prize id, number, name), in the order stored."""
    return query(db, "SELECT WID, 号码, 姓名 FROM 结果表 WHERE CID=? ORDER BY ID", draw)


def participants_of(sample):
    """(number, name) of every record of the CSV file, read by Python's own reader."""
    with open(sample, "rb") as f:
        text = f.read().decode("gb18030")
    rows = list(csv.reader(io.StringIO(text, newline="")))
    return [(row[0], row[1]) for row in rows[1:]]


def check_winners(db, draw, prize_ids, people):
    """Every prize has its winners, all distinct participants; returns them."""
    stored = results(db, draw)
    numbers = [number for _, number, _ in stored]
    if len(stored) != WINNERS or len(set(numbers)) != WINNERS:
        fail(f"expected {WINNERS} distinct winners, found {stored}")
    if not set((number, name) for _, number, name in stored) <= set(people):
        fail(f"winners who are not participants: {stored}")
    for prize_id, (name, quantity, _) in zip(prize_ids, PRIZES):
        if sum(1 for wid, _, _ in stored if wid == prize_id) != quantity:
            fail(f"{name} should have {quantity} winners: {stored}")
    return stored


def exported_rows(path):
    """The rows of an exported file as lists of texts, the titles first. Both kinds
    are written under another name and then renamed: a file that exists is whole."""
    wait_for(f"exported file {os.path.basename(path)}", lambda: os.path.exists(path))
    if path.endswith(".xlsx"):
        sheet = openpyxl.load_workbook(path, read_only=True).active
        return [["" if v is None else str(v) for v in row] for row in sheet.iter_rows(values_only=True)]
    with open(path, "rb") as f:
        return list(csv.reader(io.StringIO(f.read().decode("gbk"), newline="")))


def check_export(path, winners):
    rows = exported_rows(path)
    titles = rows[0]
    try:
        at = [titles.index(t) for t in ("获得奖项", "抽奖号码", "姓名")]
    except ValueError:
        fail(f"{path}: unexpected titles {titles}")
    found = sorted(tuple(row[i] for i in at) for row in rows[1:])
    if found != sorted(winners):
        fail(f"{path} holds {found}, the database {sorted(winners)}")


# ---------------------------------------------------------------- the two runs


def program_folder(work, name, binary, database=None):
    folder = os.path.join(work, name)
    os.makedirs(folder)
    shutil.copy2(binary, os.path.join(folder, "quilla"))
    if database:
        shutil.copy2(database, os.path.join(folder, "Data.mdb"))
    return folder


# The keyboard focus moves along each window's tab order, as the program's layout
# code makes it. When an editor closes, the management window's focus is back on its
# start button (开始抽奖), the first control of that order.


def create_draw(main, db):
    step("creating a draw")
    keys(main, "Tab", "Tab", "space")  # start button -> tabs -> 新建抽奖
    editor = wait_window(DRAW_EDITOR)
    type_text(editor, DRAW_NAME)  # the focus starts on the name
    # Tab goes as the fields are seen: speed, the two switches, mask, picture and its 浏览, three
    # music fields with 浏览 and 试听 each, then 确定.
    keys(editor, *["Tab"] * 16, "space")
    wait_closed(editor, DRAW_EDITOR)
    found = wait_for("the draw in the database", lambda: query(db, "SELECT ID, 抽奖内容 FROM 奖次表"))
    if [name for _, name in found] != [DRAW_NAME]:
        fail(f"draws stored: {found}")
    return found[0][0]


def add_prizes(main, db, draw):
    for i, (name, quantity, per_round) in enumerate(PRIZES):
        step(f"adding the prize {name}")
        # The first time from 新建抽奖: tabs -> 奖项设置 -> chooser -> 添加奖项; the focus
        # then comes back to 添加奖项 when the editor closes.
        keys(main, *(["shift+Tab", "Right", "Tab", "Tab"] if i == 0 else []), "space")
        editor = wait_window(PRIZE_EDITOR)
        type_text(editor, name)
        keys(editor, "Tab")
        type_text(editor, str(quantity))
        keys(editor, "Tab")
        type_text(editor, str(per_round))
        keys(editor, *["Tab"] * 4, "space")  # two check boxes, description -> 确定
        wait_closed(editor, PRIZE_EDITOR)
    stored = wait_rows("both prizes in the database", lambda: query(
        db, "SELECT ID, 名称, 数量, 同时 FROM 奖项表 WHERE CID=? ORDER BY 顺序", draw), len(PRIZES))
    if [tuple(p[1:]) for p in stored] != PRIZES:
        fail(f"prizes stored: {stored}")
    return [p[0] for p in stored]


def import_participants(main, db, draw, sample, people):
    step("importing the participants")
    # 添加奖项 -> chooser -> tabs -> 抽奖号码, chooser, 导入数据
    keys(main, "shift+Tab", "shift+Tab", "Right", "Tab", "Tab", "space")
    dialog = wait_window(OPEN_DIALOG)
    type_text(dialog, os.path.abspath(sample))
    keys(dialog, "Return")
    mapping = wait_window(MAPPING)
    keys(mapping, "Tab")  # preview -> first row of the range
    type_text(mapping, "2")
    keys(mapping, "Tab")
    type_text(mapping, str(len(people) + 1))
    keys(mapping, "Tab")  # the mapping grid, on the number's column letter
    type_text(mapping, "A")
    keys(mapping, "Return", "Down")
    type_text(mapping, "B")
    keys(mapping, "Return", "Tab", "space")  # -> 确定
    done = wait_window(MAIN, besides={main})  # "已导入 N 条"
    keys(done, "Return")
    wait_closed(done, MAIN)
    wait_closed(mapping, MAPPING)
    imported = wait_rows("the participants in the database", lambda: query(
        db, "SELECT 号码, 姓名 FROM 号码表 WHERE CID=? ORDER BY ID", draw), len(people))
    if imported != people:
        fail(f"imported {imported}, the file holds {people}")


def export_results(main, keys_to_button, path):
    keys(main, *keys_to_button, "space")
    dialog = wait_window(SAVE_DIALOG)
    type_text(dialog, path)
    keys(dialog, "Return")
    wait_closed(dialog, SAVE_DIALOG)
    done = wait_window(MAIN, besides={main})  # "已导出 N 条"
    keys(done, "Return")
    wait_closed(done, MAIN)


def write_report(main, path):
    """文件 → 抽奖报告…: the draw offered, a PDF, not opened afterwards."""
    left, top, _, _ = geometry(main)
    focus(main)
    click(left + 20, top + 12)  # 文件, the first menu
    time.sleep(0.5)
    # 新建, 打开数据库…, 备份数据库…, 自动备份…, 抽奖报告…
    xdotool("key", "--delay", 80, "Down", "Down", "Down", "Down", "Down", "Return")
    chooser = wait_window(CHOOSER)
    keys(chooser, "Return")
    dialog = wait_window(REPORT_DIALOG)
    type_text(dialog, path)
    keys(dialog, "Return")
    wait_closed(dialog, REPORT_DIALOG)
    box = wait_window(MAIN, besides={main})  # "现在打开吗？"
    keys(box, "n")
    wait_closed(box, MAIN)


def check_report(path, winners):
    text = subprocess.run(["pdftotext", "-enc", "UTF-8", path, "-"], capture_output=True, text=True).stdout
    missing = [name for _, _, name in winners if name not in text]
    if DRAW_NAME not in text or "抽奖报告" not in text or missing:
        fail(f"the report lacks the draw or winners {missing[:5]}: {text[:300]!r}")


def check_standby(copy, db, draw):
    """The standby copy follows the last round, passes SQLite's checks and is ours."""
    wait_for("the standby copy of the last round", lambda: os.path.exists(copy) and results(copy, draw) ==
             results(db, draw), found=lambda: os.path.exists(copy) and len(results(copy, draw)))
    if query(copy, "PRAGMA integrity_check") != [("ok",)] or query(copy, "PRAGMA application_id") != \
            query(db, "PRAGMA application_id"):
        fail("the standby copy does not open as a draw database")


def first_run(work, binary, sample, env, people):
    """Everything from an empty database; returns a copy of the database as it was
    before the draw, the draw's id and its prizes' ids."""
    folder = program_folder(work, "first", binary)
    db = os.path.join(folder, "Data.mdb")
    # A standby copy on a "USB stick", set up as 文件 → 自动备份… leaves it.
    usb = os.path.join(work, "usb")
    os.makedirs(usb)
    config = env["XDG_CONFIG_HOME"]
    os.makedirs(config, exist_ok=True)
    with open(os.path.join(config, "Vantolo.conf"), "a", encoding="utf-8") as settings:
        settings.write(f"[AutoBackup]\nFolder={usb}\n")
    program = Program(folder, env)
    try:
        main = program.main_window()
        draw = create_draw(main, db)
        prize_ids = add_prizes(main, db, draw)
        import_participants(main, db, draw, sample, people)
        snapshot = os.path.join(work, "before-draw.mdb")
        with sqlite3.connect(f"file:{db}?mode=ro", uri=True) as source, sqlite3.connect(snapshot) as copy:
            source.backup(copy)

        step("drawing every prize")
        screen = open_screen(main, ["shift+Tab"] * 3)  # 导入数据 -> chooser -> tabs -> start button
        ways = [("click", "click"), ("space", "space"), ("click", "space"), ("space", "click")]
        for (start_by, stop_by), (prize_id, total) in zip(itertools.cycle(ways), rounds(prize_ids)):
            step(f"round started by {start_by}, stopped by {stop_by}")
            draw_round(db, draw, screen, start_by, stop_by, prize_id, total)
        step("a start after the last prize")
        expect_all_drawn(db, draw, screen)
        step("closing the draw screen")
        close_screen(screen, main)
        winners = check_winners(db, draw, prize_ids, people)
        step("the standby copy")
        check_standby(os.path.join(usb, "Data.mdb"), db, draw)
        step("the report")
        report = os.path.join(work, "report.pdf")
        write_report(main, report)
        check_report(report, winners)

        step("exporting the results")
        names = {prize_id: name for prize_id, (name, _, _) in zip(prize_ids, PRIZES)}
        expected = [(names[wid], number, name) for wid, number, name in winners]
        xlsx = os.path.join(work, "results.xlsx")
        export_results(main, ["Tab", "Right", "Tab", "Tab", "Tab"], xlsx)  # tabs -> 抽奖结果 … 导出数据
        check_export(xlsx, expected)
        csv_path = os.path.join(work, "results.csv")
        export_results(main, [], csv_path)  # the focus stayed on 导出数据
        check_export(csv_path, expected)
        return snapshot, draw, prize_ids
    finally:
        program.end()


def second_run(work, binary, env, people, snapshot, draw, prize_ids):
    step("second run: one round, then the program is killed")
    folder = program_folder(work, "second", binary, snapshot)
    db = os.path.join(folder, "Data.mdb")
    program = Program(folder, env)
    try:
        main = program.main_window()
        screen = open_screen(main, [])  # the focus starts on the start button
        prize_id, total = next(rounds(prize_ids))
        kept = draw_round(db, draw, screen, "space", "space", prize_id, total)
        program.kill()
    finally:
        program.end()

    step("restarting after the kill")
    program = Program(folder, env)
    try:
        main = program.main_window()
        if results(db, draw) != kept:
            fail(f"the round stored before the kill is not what the restart finds: {kept} -> {results(db, draw)}")
        screen = open_screen(main, [], question_answer="n")  # 否(N): keep the results, draw the rest
        step("finishing the draw")
        for prize_id, total in rounds(prize_ids, drawn=len(kept)):
            draw_round(db, draw, screen, "click", "space", prize_id, total)
        expect_all_drawn(db, draw, screen)
        close_screen(screen, main)
        winners = check_winners(db, draw, prize_ids, people)
        if winners[:len(kept)] != kept:
            fail(f"the winners drawn before the kill were not kept: {kept} -> {winners}")
    finally:
        program.end()



def phone_check_in(main, db, draw, person):
    """文件 → 现场签到…: the QR code on screen is read as a phone's camera would, and the
    person checks in through the page it names."""
    step("hall: check-in by phone")
    left, top, _, _ = geometry(main)
    focus(main)
    click(left + 20, top + 12)  # 文件
    time.sleep(0.5)
    # 新建, 打开数据库…, 备份数据库…, 自动备份…, 抽奖报告…, 现场签到…
    xdotool("key", "--delay", 80, *["Down"] * 6, "Return")
    keys(wait_window(CHOOSER), "Return")
    phone = wait_window(PHONE)
    keys(phone, "Tab", "space")  # the address offered -> 开始
    shot = os.path.join(_work, "phone.png")

    def read_code():
        subprocess.run(["import", "-window", str(phone), shot], capture_output=True)
        found = subprocess.run(["zbarimg", "--raw", "-q", shot], capture_output=True, text=True).stdout.strip()
        return found if found.startswith("http://") else None
    url = wait_for("a readable QR code of the page", read_code)
    number, name = person
    answer = subprocess.run(["curl", "-s", "--max-time", "10", "--data-urlencode", f"number={number}",
                             "--data-urlencode", f"name={name}", url], capture_output=True, text=True).stdout
    if "签到成功" not in answer:
        fail(f"the phone's page answered {answer[:300]!r}")
    if not query(db, "SELECT 1 FROM 号码表 WHERE CID=? AND 号码=? AND 签到=1 AND 签到方式='手机签到'", draw, number):
        fail("the phone's check-in is not stored")
    results = subprocess.run(["curl", "-s", "--max-time", "10", "-o", "/dev/null", "-w", "%{http_code}",
                              url.rstrip("/") + "/results"], capture_output=True, text=True).stdout
    if results != "200":
        fail(f"the results page answered {results}")
    keys(phone, "Escape")  # the window goes; the server stops with the program


def hall_run(work, binary, env, people, snapshot, draw, prize_ids):
    """People checked in at the door; a winner marked absent on stage, whose place is
    drawn again without them; then a reopening, and they never come up."""
    step("hall: check-in at the door")
    folder = program_folder(work, "hall", binary, snapshot)
    db = os.path.join(folder, "Data.mdb")
    arriving = [number for number, _ in people if number][:5]
    program = Program(folder, env)
    try:
        main = program.main_window()
        keys(main, "ctrl+i")  # the door's key: the 签到 box of 抽奖号码
        for number in arriving:
            type_text(main, number)
            keys(main, "Return")
        wait_rows("people checked in at the door",
                  lambda: query(db, "SELECT 号码 FROM 号码表 WHERE CID=? AND 签到=1", draw), len(arriving))
        phone_check_in(main, db, draw, next(p for p in people if p[0] and p[0] not in arriving))
    finally:
        program.end()

    step("hall: a winner absent on stage")
    program = Program(folder, env)
    try:
        main = program.main_window()
        screen = open_screen(main, [])
        first, places = prize_ids[0], PRIZES[0][2]
        stored = draw_round(db, draw, screen, "space", "space", first, places)
        keys(screen, "Delete")
        deletion = wait_window(DELETION)
        keys(deletion, "space", "Return")  # the top row, the last stored winner, absent (the default)
        box = wait_window(MAIN, besides={main})
        keys(box, "y")
        wait_closed(deletion, DELETION)
        absent = stored[-1][1:]
        wait_rows("the absent winner marked", lambda: query(
            db, "SELECT 1 FROM 号码表 WHERE CID=? AND 号码=? AND 姓名=? AND 签到=2", draw, *absent), 1)
        if len(results(db, draw)) != places - 1 or not query(db, "SELECT 1 FROM 轮次表 WHERE 事件='不在场'"):
            fail(f"the absent winner's result is still stored, or not logged: {results(db, draw)}")
        draw_round(db, draw, screen, "space", "space", first, PRIZES[0][1])  # the freed place, drawn again
        close_screen(screen, main)
    finally:
        program.end()

    step("hall: reopened, the absent winner never comes up")
    program = Program(folder, env)
    try:
        main = program.main_window()
        screen = open_screen(main, [], question_answer="n")
        for prize_id, total in rounds(prize_ids, drawn=PRIZES[0][1]):
            draw_round(db, draw, screen, "click", "space", prize_id, total)
        close_screen(screen, main)
        winners = [row[1:] for row in results(db, draw)]
        if tuple(absent) in map(tuple, winners) or len(winners) != WINNERS:
            fail(f"the absent winner {absent} came up again, or places are missing: {winners}")
    finally:
        program.end()


def presses_since(before):
    return ", ".join(f"{_presses[k] - before[k]} {k}" for k in _presses)


def open_sample_draw(main):
    """帮助 → 示例抽奖: 文件 opened by a click, Right to 帮助 (whose first entry is then
    highlighted), Down to its second entry."""
    left, top, _, _ = geometry(main)
    focus(main)
    click(left + 20, top + 12)
    time.sleep(0.5)
    _presses["keys"] += 4
    xdotool("key", "--delay", 80, "Right", "Right", "Down", "Return")


def first_start(work, name, binary, env):
    """The program's first start in a folder of its own: the presses so far, its database,
    the program and its window."""
    before = dict(_presses)
    folder = program_folder(work, name, binary)
    program = Program(folder, env)
    try:
        return before, os.path.join(folder, "Data.mdb"), program, program.main_window()
    except Failure:
        program.end()
        raise


def newcomer_runs(work, binary, env):
    """A newcomer's two ways to a first round, from a first start: the sample draw; and
    the template filled in, imported, drawn. The presses each took are printed."""
    step("newcomer: first start → 示例抽奖 → 开始抽奖 → a round")
    before, db, program, main = first_start(work, "newcomer", binary, env)
    try:
        open_sample_draw(main)
        found = wait_for("the sample draw", lambda: query(db, "SELECT ID FROM 奖次表 WHERE 抽奖内容='示例抽奖'"))
        sample = found[0][0]
        wait_rows("the sample's participants", lambda: query(db, "SELECT ID FROM 号码表 WHERE CID=?", sample), 200)
        screen = open_screen(main, [])  # the focus is left on the start button
        time.sleep(0.6)
        draw_action(screen, "space")
        time.sleep(0.3)
        draw_action(screen, "space")
        wait_for("a stored round of the sample", lambda: results(db, sample))
        print(f"newcomer, sample draw: {presses_since(before)}", flush=True)
        close_screen(screen, main)
    finally:
        program.end()

    step("newcomer: first start → 新建抽奖, a prize → 导出模板 → two rows → 导入 → 开始抽奖 → a round")
    before, db, program, main = first_start(work, "template", binary, env)
    try:
        draw = create_draw(main, db)
        keys(main, "shift+Tab", "Right", "Tab", "Tab", "space")  # tabs -> 奖项设置 -> chooser -> 添加奖项
        editor = wait_window(PRIZE_EDITOR)
        type_text(editor, "Prize")
        keys(editor, *["Tab"] * 6, "space")  # one place, one a round: as offered
        wait_closed(editor, PRIZE_EDITOR)
        prize = wait_for("the prize", lambda: query(db, "SELECT ID FROM 奖项表 WHERE CID=?", draw))[0][0]
        template = os.path.join(work, "模板.xlsx")
        # 添加奖项 -> chooser -> tabs -> 抽奖号码 -> chooser -> 导入数据 … 导出模板
        export_results(main, ["shift+Tab", "shift+Tab", "Right", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab"], template)
        book = openpyxl.load_workbook(template)
        sheet = book.active
        if [sheet.cell(1, c).value for c in (1, 2)] != ["抽奖号码", "姓名"]:
            fail(f"the template's titles: {[sheet.cell(1, c).value for c in (1, 2)]}")
        people = [("2001", "王小明"), ("2002", "李小红")]
        for row, (number, name) in enumerate(people, start=2):
            sheet.cell(row, 1).value, sheet.cell(row, 2).value = number, name
        book.save(template)
        keys(main, *["shift+Tab"] * 4, "space")  # 导出模板 -> 导入数据
        dialog = wait_window(OPEN_DIALOG)
        type_text(dialog, template)
        keys(dialog, "Return")
        sheets = wait_window("选择要导入数据所在的工作表")
        keys(sheets, "Return")
        mapping = wait_window(MAPPING)
        keys(mapping, *["Tab"] * 4, "space")  # nothing to change: 确定
        done = wait_window(MAIN, besides={main})
        keys(done, "Return")
        wait_closed(mapping, MAPPING)
        imported = query(db, "SELECT 号码, 姓名 FROM 号码表 WHERE CID=? ORDER BY ID", draw)
        if imported != people:
            fail(f"the filled template came in as {imported}")
        screen = open_screen(main, ["shift+Tab"] * 3)  # 导入数据 -> chooser -> tabs -> start button
        draw_round(db, draw, screen, "space", "space", prize, 1)
        print(f"newcomer, template: {presses_since(before)}", flush=True)
        close_screen(screen, main)
    finally:
        program.end()


def main():
    if not os.environ.get("DISPLAY"):
        print("skipped: no X display")
        return SKIPPED
    missing = [tool for tool in ("xdotool", "import", "pdftotext", "zbarimg", "curl") if not shutil.which(tool)]
    if not openpyxl:
        missing.append("python3-openpyxl")
    if missing:
        print(f"skipped: {', '.join(missing)} not installed")
        return SKIPPED
    binary, sample = sys.argv[1], sys.argv[2]
    global _work
    work = _work = tempfile.mkdtemp(prefix="quilla-e2e-")
    home = os.path.join(work, "home")
    runtime = os.path.join(work, "runtime")
    os.makedirs(home)
    os.makedirs(runtime, mode=0o700)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local", "share"), XDG_CACHE_HOME=os.path.join(home, ".cache"),
               XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb", LANG="C.UTF-8")
    # The X server's cookie stays where it was found, whatever HOME says now.
    xauthority = os.path.expanduser("~/.Xauthority")
    if "XAUTHORITY" not in env and os.path.exists(xauthority):
        env["XAUTHORITY"] = xauthority
    # Qt's own file dialogs, whose name field takes a typed path.
    for name in ("QT_QPA_PLATFORMTHEME", "LC_ALL"):
        env.pop(name, None)
    # An X server resets whenever its last client leaves, and a program connecting
    # just then can be turned away: one client stays connected throughout.
    keeper = subprocess.Popen(["xdotool", "sleep", "600"])
    try:
        people = participants_of(sample)
        snapshot, draw, prize_ids = first_run(work, binary, sample, env, people)
        second_run(work, binary, env, people, snapshot, draw, prize_ids)
        hall_run(work, binary, env, people, snapshot, draw, prize_ids)
        newcomer_runs(work, binary, env)
    except Failure as failure:
        print(f"FAILED at {failure}")
        print(f"files, logs and a screenshot kept in {work}")
        return 1
    finally:
        keeper.kill()
        keeper.wait()
    shutil.rmtree(work)
    print(f"passed in {time.monotonic() - _started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
