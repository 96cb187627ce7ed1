"""End-to-end cases that drive velmor.exe the way a person does.

xdotool moves the mouse to a control's place on the screen, clicks there and types into whatever has the
keyboard focus, under the run's own Xvfb and Wine desktop, whose screen coordinates are Windows' own. Where
the windows and their controls are comes from the helper (`children`, `tabrect`, `client`), and what a click
at each control would reach from its `hittest`. Dropping files and reading the job list still go through the
helper: a drag out of another program's window cannot be played with X input here, and the list's rows are
read through memory in Velmor's process.

Suites: "input" (the cases below) and "shots_input" (pictures for scripts/screenshots.sh).
"""
import os
import subprocess
import time

from e2e_cases import check, log_lines, make_zip, wait_until

MAIN = ("TfrmMain", "Velmor")
OPTIONS = ("TfrmOption", "動作と関連付けの設定")
ABOUT = ("TfrmVersion", "バージョン情報")
LOG_VIEW = ("TfrmLogView", "処理の記録（標準ログファイル）閲覧")
SEARCH = ("TfrmSearch", "検索（圧縮ファイル群内ファイル/フォルダ検索）")


# --- the mouse and the keyboard ----------------------------------------------------------------------------

def xdo(env, *args):
    r = subprocess.run(["xdotool", *[str(a) for a in args]], env=env.env, capture_output=True, timeout=30)
    check(r.returncode == 0, "xdotool %r: %s" % (args, r.stderr.decode(errors="replace")))


def click(env, x, y, button=1, repeat=1):
    xdo(env, "mousemove", x, y, "sleep", "0.15", "click", "--repeat", repeat, "--delay", 90, button)
    time.sleep(0.4)


def keys(env, *names):
    xdo(env, "key", "--delay", 80, *names)
    time.sleep(0.5)


def type_text(env, text):
    xdo(env, "type", "--delay", 60, text)
    time.sleep(0.3)


def drag(env, start, end):
    (x0, y0), (x1, y1) = start, end
    xdo(env, "mousemove", x0, y0, "sleep", "0.3", "mousedown", 1, "sleep", "0.3",
        "mousemove", (x0 + x1) // 2, (y0 + y1) // 2, "sleep", "0.3", "mousemove", x1, y1, "sleep", "0.5",
        "mouseup", 1)
    time.sleep(1.0)


# --- where things are ----------------------------------------------------------------------------------------

class Ctl:
    def __init__(self, line):
        f = line.split("\t")
        self.id, self.cls = int(f[0]), f[1]
        self.visible, self.enabled = f[2] == "1", f[3] == "1"
        self.rect = tuple(int(v) for v in f[4].split())
        self.text = f[5] if len(f) > 5 else ""

    @property
    def centre(self):
        l, t, r, b = self.rect
        return (l + r) // 2, (t + b) // 2

    @property
    def height(self):
        return self.rect[3] - self.rect[1]

    def __repr__(self):
        return "%s %r %r" % (self.cls, self.text, self.rect)


def controls(env, window):
    rc, out = env.helper_run("children", *window)
    check(rc == 0, "the window %r is shown" % (window,))
    return [Ctl(l) for l in out.splitlines() if l.strip()]


def control(env, window, text=None, cls=None, index=0):
    """The index-th visible child with that caption or of that class, in creation order."""
    found = [c for c in controls(env, window) if c.visible and (text is None or c.text == text) and
             (cls is None or c.cls.lower() == cls.lower())]
    check(len(found) > index, "no control %r/%r on %r" % (text, cls, window))
    return found[index]


def window_rect(env, window):
    rc, out = env.helper_run("rect", *window)
    check(rc == 0, "the window %r exists" % (window,))
    return tuple(int(v) for v in out.split())


def client_rect(env, window):
    rc, out = env.helper_run("client", *window)
    check(rc == 0, "the window %r is shown" % (window,))
    return tuple(int(v) for v in out.split())


def work_area(env):
    return tuple(int(v) for v in env.helper_run("workarea")[1].split())


def click_tab(env, window, index):
    rc, out = env.helper_run("tabrect", *window, str(index))
    check(rc == 0, "tab %d of %r" % (index, window))
    l, t, r, b = (int(v) for v in out.split())
    click(env, (l + r) // 2, (t + b) // 2)


def hit_test(env, window, what):
    rc, out = env.helper_run("hittest", *window)
    check(rc == 0, "%s: every control is reachable where it is drawn:\n%s" % (what, out))


def rows(env):
    return [r for r in env.helper_run("rows", *MAIN)[1].splitlines() if r.strip()]


def click_first_row(env):
    # Below the column header, in the first row.
    l, t, r, b = control(env, MAIN, cls="SysListView32").rect
    click(env, l + 60, t + 28)


def click_text_part(env, combo):
    # The edit part of a drop-down combo box, clear of the arrow button.
    l, t, r, b = combo.rect
    click(env, l + 24, (t + b) // 2)


def combo_text(env, window, combo_id):
    return next(c.text for c in controls(env, window) if c.id == combo_id)


def focus(env, window):
    return env.helper_run("focus", *window)[1].rstrip("\n").split("\t")


def popup_shown(env, ms=30000):
    return env.helper_run("popup", str(ms))[0] == 0


def wait_hidden(env, window, seconds=30):
    wait_until("%r hidden" % (window,), lambda: env.helper_run("wait-window", *window, "0")[0] != 0, seconds)


# --- what the screen shows -----------------------------------------------------------------------------------

def gray_pixels(env, box):
    """The screen inside box (left, top, right, bottom) as rows of 8-bit gray values."""
    l, t, r, b = box
    shot = env.screenshot("probe", quiet=True)
    check(shot, "a screenshot")
    out = subprocess.run(["convert", shot, "-crop", "%dx%d+%d+%d" % (r - l, b - t, l, t), "+repage",
                          "-colorspace", "gray", "-depth", "8", "gray:-"], capture_output=True).stdout
    w = r - l
    return [out[y * w:(y + 1) * w] for y in range(len(out) // w)]


def menu_bar_items(env):
    """The items drawn on the main window's menu bar, left to right: (left, right, darkest gray)."""
    wl, wt, wr, wb = window_rect(env, MAIN)
    cl, ct, cr, cb = client_rect(env, MAIN)
    # The bar lies right above the client area; its text sits in its middle rows.
    strip = gray_pixels(env, (cl, ct - 17, cr, ct - 3))
    background = strip[0][2]
    ink = [min(row[x] for row in strip) for x in range(len(strip[0]))]
    items, start, gap = [], None, 0
    for x, v in enumerate(ink + [background] * 8):
        if abs(v - background) > 40:
            if start is None:
                start = x
            gap, last = 0, x
        elif start is not None:
            gap += 1
            if gap >= 8:
                items.append((cl + start, cl + last, min(ink[start:last + 1])))
                start = None
    return items


def menu_looks_enabled(item):
    # Enabled captions are drawn black, disabled ones in gray.
    return item[2] < 60


def same_picture_after_repaint(env, window, what):
    """The window's picture now and after it has been painted again from scratch must not differ: anything
    left from an earlier layout shows as a difference."""
    box = window_rect(env, window)
    l, t = max(box[0], 0), max(box[1], 0)
    crop = ["-crop", "%dx%d+%d+%d" % (box[2] - l, box[3] - t, l, t), "+repage"]
    before = os.path.join(env.shots, "repaint_before.png")
    after = os.path.join(env.shots, "repaint_after.png")
    subprocess.run(["convert", env.screenshot("repaint", quiet=True), *crop, before], check=True)
    check(env.helper_run("redraw", *window)[0] == 0, "redrawn")
    time.sleep(1.0)
    subprocess.run(["convert", env.screenshot("repaint", quiet=True), *crop, after], check=True)
    r = subprocess.run(["compare", "-metric", "AE", before, after, os.path.join(env.shots, "repaint_diff.png")],
                       capture_output=True)
    differing = int(float(r.stderr.decode().split()[0] or "0"))
    check(differing == 0, "%s: %d pixels were stale until the window was painted again (%s)" %
          (what, differing, os.path.join(env.shots, "repaint_diff.png")))


def pane_heights(env):
    kids = controls(env, MAIN)
    lv = next(c for c in kids if c.cls == "SysListView32")
    memo = next(c for c in kids if c.cls == "Edit" and c.height > 30)
    return lv.height, memo.height


def check_layout(env, what):
    """Nothing covered, nothing outside, and the list and the log pane share the height as at the start."""
    hit_test(env, MAIN, what)
    lv, memo = pane_heights(env)
    share = lv / float(lv + memo)
    check(0.45 < share < 0.65, "%s: the list keeps its share of the height: list %d, log %d" % (what, lv, memo))
    kids = controls(env, MAIN)
    status = next(c for c in kids if c.cls == "msctls_statusbar32")
    bar = next(c for c in kids if c.text == "強制終了")
    check(bar.rect[3] <= status.rect[1], "%s: the tool bar stays above the status bar" % what)
    return lv, memo


def held_standin(env, after=0):
    """The stand-in libraries hold each member of a job after the first `after` of an archive until the
    returned file exists: a case acts during the job however slow the machine, then lets it go."""
    release = os.path.join(env.data, "release")
    if os.path.exists(release):
        os.remove(release)
    script = os.path.join(env.data, "hold.txt")
    with open(script, "wb") as f:
        f.write(("hold\t%s\t%d\r\n" % (env.winpath(release), after)).encode("cp932"))
    return {"VELMOR_STANDIN_SCRIPT": env.winpath(script)}, release


def let_go(release):
    open(release, "wb").close()


# --- the main window -----------------------------------------------------------------------------------------

def main_window_by_hand(env):
    """The main window under the mouse and the keyboard: its layout at the smallest size and maximised, text
    typed into the folder fields, Del in the job list, the pop-up menu on labels and on folder fields, the
    menu bar by access key and by mouse, before, during and after a job."""
    out_dir = os.path.join(env.data, "出力先フォルダ")
    move_dir = os.path.join(env.data, "移動先フォルダ")
    env.write_ini(App__WindowW=332, App__WindowH=294, Main__PutLocation=1, Main__AfterMethod=3,
                  Main__SpecialFolder=env.winpath(out_dir) + "\\", Main__MoveFolder=env.winpath(move_dir) + "\\")
    held, release = held_standin(env)
    p = env.start_velmor(extra_env=held)
    check(env.wait_main_window(), "the main window is shown")
    time.sleep(1.0)

    # A stored size too small for the window grows to the smallest that shows everything.
    l, t, r, b = smallest = window_rect(env, MAIN)
    check(r - l > 332 and b - t > 294, "the stored 332x294 grew: %r" % (smallest,))
    for tab in (1, 2, 0):
        click_tab(env, MAIN, tab)
        hit_test(env, MAIN, "smallest size, tab %d" % tab)

    # Text typed into a folder field edits the text, whatever row the list has selected.
    archives = []
    for name in ("一.zip", "二.zip", "三.zip"):
        path = os.path.join(env.data, name)
        make_zip(path, {"%s/%d.txt" % (name[:-4], n): "内容" * 200 for n in range(3)})
        archives.append(env.winpath(path))
    check(env.helper_run("drop", *MAIN, *archives)[0] == 0, "dropped")
    wait_until("three rows", lambda: len(rows(env)) == 3)
    folder_combos = [c for c in controls(env, MAIN) if c.cls == "ComboBox" and c.enabled and c.visible and
                     c.text.endswith("フォルダ\\")]
    check(len(folder_combos) == 2, "both folder fields are enabled: %r" % folder_combos)
    for combo in folder_combos:
        click_first_row(env)
        before = combo.text
        click_text_part(env, combo)
        f = focus(env, MAIN)
        check(f[0] == "Edit" and f[3] == "ComboBox", "the folder field has the focus: %r" % f)
        keys(env, "Home", "Delete")
        check(combo_text(env, MAIN, combo.id) == before[1:], "Delete took the first character: %r" %
              combo_text(env, MAIN, combo.id))
        keys(env, "End", "BackSpace")
        check(combo_text(env, MAIN, combo.id) == before[1:-1], "BackSpace took the last character")
        check(len(rows(env)) == 3, "no row was removed by keys typed into the folder field")
        type_text(env, "\\")
        keys(env, "Home")
        type_text(env, before[0])
        check(combo_text(env, MAIN, combo.id) == before, "the field typed back: %r" % combo_text(env, MAIN, combo.id))

    # Del removes the selected row where the list has the focus.
    click_first_row(env)
    check(focus(env, MAIN)[0] == "SysListView32", "the list has the focus")
    keys(env, "Delete")
    check(len(rows(env)) == 2, "Del in the list removed the selected row: %r" % rows(env))

    # The pop-up menu opens on the label and on the text part of a folder field; its second item removes
    # the selected rows.
    label = control(env, MAIN, text="解凍先：")
    for where, point in (("the label", label.centre), ("the folder text", None)):
        click_first_row(env)
        if point is None:
            l, t, r, b = folder_combos[0].rect
            point = (l + 24, (t + b) // 2)
        count = len(rows(env))
        click(env, *point, button=3)
        check(popup_shown(env), "the pop-up menu opens on %s" % where)
        keys(env, "Down", "Down", "Return")
        check(len(rows(env)) == count - 1, "リストから外す from the menu on %s removed the row" % where)

    # The settings menu by its access key: its last item clears the whole list.
    check(env.helper_run("drop", *MAIN, archives[0])[0] == 0, "dropped")
    wait_until("a row", lambda: len(rows(env)) == 1)
    keys(env, "alt+s")
    check(popup_shown(env), "Alt+S opens the settings menu")
    keys(env, "Up", "Return")
    check(rows(env) == [], "the last item of the settings menu is 処理リストを全クリアする: %r" % rows(env))

    # The menu bar by mouse, and how it looks before, during and after a job.
    items = menu_bar_items(env)
    check(len(items) == 4, "four menus on the bar: %r" % items)
    settings = items[1]
    check(menu_looks_enabled(settings), "設定(S) looks enabled before the job: %r" % (settings,))
    click(env, (settings[0] + settings[1]) // 2, client_rect(env, MAIN)[1] - 10)
    check(popup_shown(env), "a click opens 設定(S)")
    keys(env, "Escape", "Escape")
    check(env.helper_run("drop", *MAIN, *archives[1:])[0] == 0, "dropped")
    wait_until("two rows", lambda: len(rows(env)) == 2)
    click(env, *control(env, MAIN, text="解凍").centre)
    wait_until("the job runs", lambda: not control(env, MAIN, text="解凍").enabled, 60)
    during = menu_bar_items(env)[1]
    click(env, (settings[0] + settings[1]) // 2, client_rect(env, MAIN)[1] - 10)
    opened = popup_shown(env, 1000)
    keys(env, "Escape", "Escape")
    check(not menu_looks_enabled(during), "設定(S) looks disabled during the job: %r" % (during,))
    check(not opened, "設定(S) does not open during the job")
    let_go(release)
    wait_until("the job ends", lambda: control(env, MAIN, cls="msctls_statusbar32").text == "処理終了", 90)
    after = menu_bar_items(env)[1]
    check(menu_looks_enabled(after), "設定(S) looks enabled after the job: %r" % (after,))
    click(env, (settings[0] + settings[1]) // 2, client_rect(env, MAIN)[1] - 10)
    check(popup_shown(env), "設定(S) opens after the job")
    keys(env, "Escape", "Escape")

    # Sizing by the frame: never below the smallest size; larger, the list grows back with the log pane.
    l, t, r, b = window_rect(env, MAIN)
    drag(env, (r - 3, b - 3), (r - 150, b - 120))
    check(window_rect(env, MAIN) == smallest, "not smaller than the smallest size: %r" % (window_rect(env, MAIN),))
    drag(env, (r - 3, b - 3), (l + 720, t + 660))
    l, t, r, b = window_rect(env, MAIN)
    check(r - l >= 700 and b - t >= 640, "sized by the frame: %r" % ((l, t, r, b),))
    lv, memo = check_layout(env, "larger")
    check(lv > 150, "the list grew back: %d" % lv)
    click_first_row(env)
    same_picture_after_repaint(env, MAIN, "after sizing")
    # The log pane cleared from the menu by keys (the fourth item from the bottom of the first menu).
    keys(env, "alt+f")
    keys(env, "Up", "Up", "Up", "Up", "Return")
    wait_until("the log pane cleared", lambda: not next(c for c in controls(env, MAIN)
                                                        if c.cls == "Edit" and c.height > 30).text.strip())
    same_picture_after_repaint(env, MAIN, "after clearing the log pane")

    # Maximised by a double click on the caption, and back.
    click(env, l + 200, t + 8, repeat=2)
    wait_until("maximised", lambda: window_rect(env, MAIN)[2] - window_rect(env, MAIN)[0] > 1000, 10)
    lv, memo = check_layout(env, "maximised")
    check(lv > 250, "the maximised list is high: %d" % lv)
    same_picture_after_repaint(env, MAIN, "maximised")
    click(env, 300, 6, repeat=2)
    wait_until("restored", lambda: window_rect(env, MAIN) == (l, t, r, b), 10)

    # Ctrl+Q ends the program, which keeps the size and the typed folders.
    keys(env, "ctrl+q")
    p.wait(timeout=30)
    ini = env.read_ini()
    check((int(ini["App.WindowW"]), int(ini["App.WindowH"])) == (r - l, b - t), "the size is stored: %r" % ini)
    check(ini["Main.SpecialFolder"] == env.winpath(out_dir) + "\\", "the typed folder is stored")


def desktop_closed_under_the_program(env):
    """Closing Wine's folder window with Alt+F4 can end the Wine desktop a few seconds later, which takes
    every window off the screen. Velmor then ends as a close does, its log file written, instead of running
    on unseen and keeping every later start from showing a window."""
    folder = os.path.join(env.data, "開くフォルダ")
    os.makedirs(folder, exist_ok=True)
    env.write_ini(Main__PutLocation=1, Main__SpecialFolder=env.winpath(folder) + "\\")
    started = time.time()
    p = env.start_velmor()
    check(env.wait_main_window(), "the main window is shown")
    time.sleep(1.0)
    click(env, *control(env, MAIN, text="開く").centre)
    found = []
    wait_until("the folder window", lambda: found.extend(xdo_search(env, "開くフォルダ")) or found, 30)
    geometry = subprocess.run(["xdotool", "getwindowgeometry", found[0]], env=env.env, capture_output=True,
                              text=True).stdout
    x, y = (int(v) for v in geometry.split("Position:")[1].split()[0].split(","))
    click(env, x + 200, y + 150)
    keys(env, "alt+F4")
    deadline = time.time() + 40
    while time.time() < deadline and desktop_shown(env):
        time.sleep(1)
    if desktop_shown(env):
        print("the desktop stayed: nothing to check")
        env.close_main_window(p)
        return
    try:
        p.wait(timeout=20)
    except subprocess.TimeoutExpired:
        raise AssertionError("velmor runs on after its desktop ended")
    # The exit status is Wine's: its X connection may end the process on the windows' gone X side once the
    # close has run.
    check(any("解凍・圧縮用DLL検査" in l for l in log_lines(env)), "the log pane went into the log file")
    check(os.path.getmtime(env.ini_path()) > started, "the settings were saved at the end")


def xdo_search(env, name):
    """The X windows shown with exactly that title (Wine names each window's X window after it)."""
    r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % name], env=env.env,
                       capture_output=True, text=True)
    return r.stdout.split()


def desktop_shown(env):
    r = subprocess.run(["xwininfo", "-root", "-children", "-display", env.display], capture_output=True, text=True)
    return "Wine desktop" in r.stdout


# --- the options dialog and the other windows ------------------------------------------------------------------

def start_with_archive(env, name):
    """velmor.exe on the settings written before, its main window shown with one archive of that name listed."""
    archive = os.path.join(env.data, name)
    make_zip(archive, {"中身/文書.txt": "本文" * 50, "b.txt": "b"})
    p = env.start_velmor()
    check(env.wait_main_window(), "the main window is shown")
    time.sleep(1.0)
    check(env.helper_run("drop", *MAIN, env.winpath(archive))[0] == 0, "dropped")
    wait_until("a row", lambda: len(rows(env)) == 1)
    return p


def open_options(env):
    # The settings menu by its access key; its first item.
    keys(env, "alt+s")
    keys(env, "Return")
    check(env.wait_window(*OPTIONS), "the options dialog is shown")


def open_log_viewer(env):
    # The third item of the first menu, by keys.
    keys(env, "alt+f")
    keys(env, "Down", "Down", "Return")
    check(env.wait_window(*LOG_VIEW), "the log viewer is shown")


def click_control(env, window, text, cls=None):
    click(env, *control(env, window, text=text, cls=cls).centre)


def options_by_hand(env):
    """The options dialog by mouse and keyboard: on a main window at the top of the screen it stays whole on
    the work area; every control of every page is reachable where it is drawn; each change reaches
    Velmor.ini after OK, and Cancel after moving the track bar and the up-down keeps nothing. Then the About
    box, the log viewer, the archive viewer and the search window, each checked for covered controls."""
    env.write_ini(App__WindowX=40, App__WindowY=1, Sub_Security__AlertAbsExpand=0, Sub_Confirm__ConfirmIgnore=0,
                  Sub_Bind__BindFolder=1, Sub_Bind__BindNum=2, Sub_TailCut__DelFolderNum=0, Main__OverWrite=0,
                  Main__MoveOverWrite=0, Main__BuffMegaSize=15, Main__SameFolderProc=0, Main__IgnoreDirectory=0,
                  Sub_Other__CheckDiv=1, Sub_Other__IgnoredSingleBind=1)
    for key in (r"HKCR\VelmorPlus", r"HKCR\.lzh"):
        env.wine_quiet("reg", "delete", key, "/f")
    p = env.start_velmor()
    check(env.wait_main_window(), "the main window is shown")
    time.sleep(1.0)
    open_options(env)
    time.sleep(0.5)
    wl, wt, wr, wb = work_area(env)
    l, t, r, b = window_rect(env, OPTIONS)
    check(t >= wt and b <= wb and l >= wl and r <= wr, "the dialog is whole on the work area: %r" % ((l, t, r, b),))
    check(env.helper_run("owner", *OPTIONS)[1].startswith("TfrmMain"), "the main window owns the dialog")

    # Every page: nothing covered, every change by mouse or keys.
    click_tab(env, OPTIONS, 0)
    hit_test(env, OPTIONS, "page ■全般")
    click_control(env, OPTIONS, "パスにドライブ文字（絶対パス）があれば警告")
    click_control(env, OPTIONS, "スタートアップなどの文字を警告")

    click_tab(env, OPTIONS, 1)
    hit_test(env, OPTIONS, "page ■解凍の設定")
    field = control(env, OPTIONS, cls="Edit")
    check(field.text == "2", "the bind count field shows BindNum: %r" % field)
    click(env, *field.centre)
    keys(env, "End", "BackSpace")
    type_text(env, "7")
    up_down = control(env, OPTIONS, cls="msctls_updown32")
    click(env, up_down.centre[0], up_down.rect[1] + 3)      # the up arrow: 8
    click(env, *field.centre)
    keys(env, "Up")                                         # the keyboard's way: 9
    # The box, its caption's tail beside the up-down (back on), the box again: off.
    bind_box = "圧縮ファイル内の要素が　  　　 　個以上なら自動的にフォルダでくくる"
    for caption in (bind_box, "個以上なら自動的にフォルダでくくる", bind_box):
        click_control(env, OPTIONS, caption)
    hit_test(env, OPTIONS, "page ■解凍の設定 after the bind box's clicks")
    check(control(env, OPTIONS, cls="Edit").text == "9", "the field shows 9 after the arrow and the key")
    click_control(env, OPTIONS, "フォルダを作成するとき、うしろにつくバージョン番号を除去する")
    click(env, *control(env, OPTIONS, cls="ComboBox").centre)
    keys(env, "Down", "Return")
    click_control(env, OPTIONS, "ディレクトリ構成を無視して解凍する")
    click_control(env, OPTIONS, "要素が2つ以上なら１つのフォルダへ入れる）")
    click_control(env, OPTIONS, "スキップ", "Button")                       # the first group: OverWrite 2
    click(env, *[c for c in controls(env, OPTIONS) if c.text == "上書き" and c.visible][1].centre)  # move: 1
    click(env, *control(env, OPTIONS, cls="msctls_trackbar32").centre)
    keys(env, "End")
    check(control(env, OPTIONS, text="100MB").visible, "the track bar's label follows it")
    click_control(env, OPTIONS, "rar分割ファイルを同一フォルダ内で検索")

    click_tab(env, OPTIONS, 2)
    hit_test(env, OPTIONS, "page ■通知の設定")
    for caption in ("全ての処理が終了したときにお知らせする", "ディレクトリ構成を無視するときに確認する",
                    "後始末で完全削除が選択されていた時に警告する", "「送る」 「関連付け」 「アイコンへドラッグ」で"):
        click_control(env, OPTIONS, caption)

    click_tab(env, OPTIONS, 3)
    hit_test(env, OPTIONS, "page ■関連付け")
    for caption in ("圧縮ファイルに右クリックメニューを追加する", ".ｌｚｈ", "解凍して元ファイルをごみ箱に捨てる"):
        click_control(env, OPTIONS, caption)
    hit_test(env, OPTIONS, "page ■関連付け with the associations enabled")
    click_control(env, OPTIONS, "O K")
    wait_hidden(env, OPTIONS)

    # Cancel after the track bar and the up-down moved keeps the values of the OK before.
    open_options(env)
    click_tab(env, OPTIONS, 1)
    click(env, *control(env, OPTIONS, cls="msctls_trackbar32").centre)
    keys(env, "Home")
    check(control(env, OPTIONS, text="5MB").visible, "the track bar moved to its minimum")
    up_down = control(env, OPTIONS, cls="msctls_updown32")
    click(env, up_down.centre[0], up_down.rect[3] - 3)
    check(control(env, OPTIONS, cls="Edit").text == "8", "the down arrow stepped the count")
    click_control(env, OPTIONS, "キャンセル")
    wait_hidden(env, OPTIONS)

    # The About box: centred on the main window, owned by it, whole on the work area.
    keys(env, "alt+v")
    check(env.wait_window(*ABOUT), "the About box is shown")
    time.sleep(0.5)
    al, at, ar, ab = window_rect(env, ABOUT)
    ml, mt, mr, mb = window_rect(env, MAIN)
    check(abs((al + ar) - (ml + mr)) <= 2, "centred across the main window: %r on %r" % ((al, at, ar, ab),
                                                                                       (ml, mt, mr, mb)))
    check(at >= wt and ab <= wb, "whole on the work area: %r" % ((al, at, ar, ab),))
    check(env.helper_run("owner", *ABOUT)[1].startswith("TfrmMain"), "the main window owns the About box")
    hit_test(env, ABOUT, "About box")
    keys(env, "Return")
    wait_hidden(env, ABOUT)

    # The log viewer, closed by Alt+F4.
    open_log_viewer(env)
    hit_test(env, LOG_VIEW, "log viewer")
    keys(env, "alt+F4")
    wait_hidden(env, LOG_VIEW)

    # The archive viewer from the preview button, and the search window from its button.
    archive = os.path.join(env.data, "見る.zip")
    make_zip(archive, {"中身/文書.txt": "本文" * 50, "b.txt": "b"})
    check(env.helper_run("drop", *MAIN, env.winpath(archive))[0] == 0, "dropped")
    wait_until("a row", lambda: len(rows(env)) == 1)
    click_first_row(env)
    click_control(env, MAIN, "閲覧")
    viewer = ("TfrmArcView", "見る.zip")
    check(env.wait_window(*viewer), "the archive viewer is shown")
    time.sleep(1.0)
    hit_test(env, viewer, "archive viewer")
    keys(env, "alt+F4")
    wait_hidden(env, viewer)
    click_control(env, MAIN, "検索")
    check(env.wait_window(*SEARCH), "the search window is shown")
    time.sleep(0.5)
    hit_test(env, SEARCH, "search window")
    keys(env, "alt+F4")
    wait_hidden(env, SEARCH)

    keys(env, "ctrl+q")
    p.wait(timeout=30)
    check(p.returncode == 0, "velmor ended normally: %r" % p.returncode)
    ini = env.read_ini()
    expected = {"Sub_Security.AlertAbsExpand": "1", "Sub_Security.CheckDangerPath": "0",
                "Sub_Bind.BindFolder": "0", "Sub_Bind.BindNum": "9", "Sub_TailCut.DelFolderNum": "1",
                "Main.SameFolderProc": "1", "Main.IgnoreDirectory": "1", "Sub_Other.IgnoredSingleBind": "0",
                "Main.OverWrite": "2", "Main.MoveOverWrite": "1", "Main.BuffMegaSize": "100",
                "Sub_Other.CheckDiv": "0", "Sub_Confirm.ShowEndDlg": "1", "Sub_Confirm.ConfirmIgnore": "1",
                "Sub_Confirm.ConfirmDelete": "1", "Sub_Confirm.ConfirmSendTo": "1"}
    wrong = {k: (ini.get(k), v) for k, v in expected.items() if ini.get(k) != v}
    check(not wrong, "Velmor.ini after OK and Cancel (stored, expected): %r" % wrong)
    check("VelmorPlus" in env.reg("query", r"HKCR\.lzh")[1], "the .lzh box associated the extension")


# --- every window by keyboard alone --------------------------------------------------------------------------

def tab_rounds(env, window, what):
    """Tab, then Shift+Tab, go round every shown and enabled control of the window once and come back."""
    for back in (False, True):
        rc, out = env.helper_run("tabround", *window, *(["back"] if back else []), timeout=120)
        check(rc == 0, "%s: %s goes round every control:\n%s" % (what, "Shift+Tab" if back else "Tab", out))


def tab_index(env, window):
    rc, out = env.helper_run("tabindex", *window)
    return int(out) if rc == 0 else None


def tab_to(env, window, text=None, cls=None):
    """Presses Tab until the control with that caption (or of that class) has the keys."""
    for _ in range(40):
        f = focus(env, window)
        if (text is None or f[2] == text) and (cls is None or f[0] == cls):
            return
        xdo(env, "key", "Tab")
        time.sleep(0.2)
    raise AssertionError("Tab never reached %r/%r on %r" % (text, cls, window))


def same_pictures(env, first, second, what):
    # A few pixels of tolerance: a caret's blink, nothing as large as a missing caption.
    r = subprocess.run(["compare", "-metric", "AE", "-fuzz", "3%", first, second, first[:-4] + "_diff.png"],
                       capture_output=True)
    differing = int(float(r.stderr.decode().split()[0] or "0"))
    check(differing <= 20, "%s: the first showing differs from the second in %d pixels (%s, %s)" %
          (what, differing, first, second))


def every_window_by_keyboard(env):
    """Every window by keyboard alone: Tab and Shift+Tab go round every enabled control and come back, on
    each page of the main window and of the options dialog (the pages changed by Ctrl+Tab, Ctrl+PageDown and
    Ctrl+Shift+Tab), in the archive viewer, the search window, the log viewer and the About box. Space and
    Enter act, Esc closes a dialog and keeps nothing. The first showing of each dialog page, of the About box
    and of the search window is drawn as the second is."""
    env.write_ini(Sub_Security__AlertAbsExpand=0, Sub_Security__CheckDangerPath=1)
    p = start_with_archive(env, "鍵盤.zip")

    # The main window on each of its tabs, and back to the first by Ctrl+Tab.
    for page, name in enumerate(("解凍の手順", "圧縮の手順", "設定")):
        check(tab_index(env, MAIN) == page, "Ctrl+Tab shows the main window's tab %s" % name)
        tab_rounds(env, MAIN, "main window, tab %s" % name)
        keys(env, "ctrl+Tab")
    check(tab_index(env, MAIN) == 0, "Ctrl+Tab goes round the main window's tabs")

    # The options dialog by Alt+S and Enter: its pages by the keys of a property sheet, a box by Space,
    # Esc keeping nothing, then Enter for OK keeping the box.
    pages = ("■全般", "■解凍の設定", "■通知の設定", "■関連付け")
    first = {}
    open_options(env)
    time.sleep(0.8)
    start = tab_index(env, OPTIONS)
    check(start is not None, "the options dialog has pages")
    for step, key in enumerate(("ctrl+Tab", "ctrl+Next", "ctrl+Tab", None)):
        page = (start + step) % 4
        shown = tab_index(env, OPTIONS)
        check(shown == page, "the options page %s is shown: %r" % (pages[page], shown))
        first[page] = window_picture(env, "options_first_%d" % page, OPTIONS[1], env.shots, palette=False)
        tab_rounds(env, OPTIONS, "options page %s" % pages[page])
        if key:
            keys(env, key)
    keys(env, "ctrl+shift+Tab", "ctrl+shift+Tab", "ctrl+shift+Tab")
    check(tab_index(env, OPTIONS) == start, "Ctrl+Shift+Tab goes back page by page")
    for _ in range(start):
        keys(env, "ctrl+Prior")
    check(tab_index(env, OPTIONS) == 0, "Ctrl+PageUp goes back to the first page")
    tab_to(env, OPTIONS, "パスにドライブ文字（絶対パス）があれば警告")
    keys(env, "space")
    keys(env, "Escape")
    wait_hidden(env, OPTIONS)
    open_options(env)
    time.sleep(0.8)
    # From the page buttons, as at the first showing: the pictures are then alike where the focus is drawn.
    tab_to(env, OPTIONS, cls="SysTabControl32")
    for _ in range(4):
        page = tab_index(env, OPTIONS)
        second = window_picture(env, "options_second_%d" % page, OPTIONS[1], env.shots, palette=False)
        same_pictures(env, first[page], second, "options page %s" % pages[page])
        keys(env, "ctrl+Tab")
    tab_to(env, OPTIONS, "パスにドライブ文字（絶対パス）があれば警告")
    keys(env, "space")
    tab_to(env, OPTIONS, "スタートアップなどの文字を警告")
    keys(env, "space")
    keys(env, "Return")
    wait_hidden(env, OPTIONS)

    # The About box by Alt+V: Enter closes it, Esc too.
    pictures = []
    for close in ("Return", "Escape"):
        keys(env, "alt+v")
        check(env.wait_window(*ABOUT), "the About box is shown")
        time.sleep(0.8)
        pictures.append(window_picture(env, "about_%d" % len(pictures), ABOUT[1], env.shots, palette=False))
        tab_rounds(env, ABOUT, "About box")
        keys(env, close)
        wait_hidden(env, ABOUT)
    same_pictures(env, *pictures, "About box")

    # The search window from its button by Space, the keys in the keyword box; Esc closes it.
    pictures = []
    for _ in range(2):
        tab_to(env, MAIN, "検索")
        keys(env, "space")
        check(env.wait_window(*SEARCH), "Space on 検索 opens the search window")
        time.sleep(0.8)
        f = focus(env, SEARCH)
        check(f[0] == "Edit" and f[3] == "ComboBox", "the keys are in the keyword box: %r" % f)
        pictures.append(window_picture(env, "search_%d" % len(pictures), SEARCH[1], env.shots, palette=False))
        tab_rounds(env, SEARCH, "search window")
        keys(env, "Escape")
        wait_hidden(env, SEARCH)
    same_pictures(env, *pictures, "search window")

    # The archive viewer: the row chosen in the job list by keys, 閲覧 by Space; the keys in its member list.
    tab_to(env, MAIN, cls="SysListView32")
    keys(env, "Home")
    tab_to(env, MAIN, "閲覧")
    keys(env, "space")
    viewer = ("TfrmArcView", "鍵盤.zip")
    check(env.wait_window(*viewer), "Space on 閲覧 opens the archive viewer")
    time.sleep(1.0)
    check(focus(env, viewer)[0] == "SysListView32", "the keys are in the member list: %r" % focus(env, viewer))
    tab_rounds(env, viewer, "archive viewer")
    keys(env, "alt+F4")
    wait_hidden(env, viewer)

    open_log_viewer(env)
    time.sleep(0.8)
    tab_rounds(env, LOG_VIEW, "log viewer")
    keys(env, "alt+F4")
    wait_hidden(env, LOG_VIEW)

    keys(env, "ctrl+q")
    p.wait(timeout=30)
    ini = env.read_ini()
    # Esc kept nothing of the first Space; OK kept both boxes of the second showing.
    check((ini.get("Sub_Security.AlertAbsExpand"), ini.get("Sub_Security.CheckDangerPath")) == ("1", "0"),
          "the boxes changed by Space and kept by Enter: %r" %
          ((ini.get("Sub_Security.AlertAbsExpand"), ini.get("Sub_Security.CheckDangerPath")),))


# --- where the secondary windows open ------------------------------------------------------------------------

def check_over_main(env, window, what, centred):
    """The window sits over the main window that owns it, whole on the work area; centred on the main window
    where that leaves it whole."""
    wl, wt, wr, wb = work_area(env)
    l, t, r, b = window_rect(env, window)
    ml, mt, mr, mb = window_rect(env, MAIN)
    check(l >= wl and t >= wt and r <= wr and b <= wb, "%s is whole on the work area %r: %r" %
          (what, (wl, wt, wr, wb), (l, t, r, b)))
    check(env.helper_run("owner", *window)[1].startswith("TfrmMain"), "the main window owns %s" % what)
    if centred:
        check(abs((l + r) - (ml + mr)) <= 2 and abs((t + b) - (mt + mb)) <= 2,
              "%s is centred on the main window: %r on %r" % (what, (l, t, r, b), (ml, mt, mr, mb)))
    else:
        # Pushed inside the work area, it still covers part of the main window.
        check(l < mr and r > ml and t < mb and b > mt, "%s lies over the main window: %r on %r" %
              (what, (l, t, r, b), (ml, mt, mr, mb)))


def windows_open_where_a_person_looks(env):
    """The archive viewer (by the preview button and by a double click on the row), the log viewer (by the
    menu's keys) and the About box (Alt+V) open over the main window that owns them, centred on it, and whole
    on the work area after the main window was dragged by its caption into the screen's bottom-right corner.
    Each has the keys where a person expects them: the member list, the log lines, OK (not the version
    field). Esc closes each of them; Enter closes the About box."""
    env.write_ini(App__WindowX=260, App__WindowY=180)
    p = start_with_archive(env, "置き場所.zip")
    viewer = ("TfrmArcView", "置き場所.zip")

    for corner in (False, True):
        where = "at the corner" if corner else "in the middle"
        if corner:
            wl, wt, wr, wb = work_area(env)
            l, t, r, b = window_rect(env, MAIN)
            # Whole on the screen, its right and bottom edges at the work area's: a viewer centred on it
            # would stick out.
            grab = (l + 120, t + 10)
            drag(env, grab, (grab[0] + (wr - 4) - r, grab[1] + (wb - 4) - b))
            l, t, r, b = window_rect(env, MAIN)
            check(wr - 30 < r <= wr and wb - 30 < b <= wb, "the main window was dragged to the corner: %r" %
                  ((l, t, r, b),))

        # The archive viewer by the preview button, then by a double click on the row.
        for how in ("閲覧", "double click"):
            if how == "閲覧":
                click_first_row(env)
                click_control(env, MAIN, "閲覧")
            else:
                lv = control(env, MAIN, cls="SysListView32").rect
                click(env, lv[0] + 60, lv[1] + 28, repeat=2)
            check(env.wait_window(*viewer), "%s opens the archive viewer" % how)
            time.sleep(1.0)
            check_over_main(env, viewer, "the archive viewer (%s, %s)" % (how, where), not corner)
            check(focus(env, viewer)[0] == "SysListView32", "the keys are in the member list: %r" %
                  focus(env, viewer))
            window_picture(env, "placed_viewer_%s_%d" % (how == "閲覧" and "button" or "dblclick", corner),
                           viewer[1], env.shots, palette=False)
            env.screenshot("placed_screen_viewer_%d" % corner)
            keys(env, "Escape")
            wait_hidden(env, viewer)

        open_log_viewer(env)
        time.sleep(0.8)
        check_over_main(env, LOG_VIEW, "the log viewer (%s)" % where, not corner)
        check(focus(env, LOG_VIEW)[0] == "SysListView32", "the keys are in the log lines: %r" %
              focus(env, LOG_VIEW))
        window_picture(env, "placed_log_viewer_%d" % corner, LOG_VIEW[1], env.shots, palette=False)
        keys(env, "Escape")
        wait_hidden(env, LOG_VIEW)

        for close in ("Escape", "Return"):
            keys(env, "alt+v")
            check(env.wait_window(*ABOUT), "the About box is shown")
            time.sleep(0.8)
            check_over_main(env, ABOUT, "the About box (%s)" % where, not corner)
            f = focus(env, ABOUT)
            check(f[0] == "Button" and f[2] == "OK", "the About box gives the keys to OK: %r" % f)
            if close == "Escape":
                window_picture(env, "placed_about_%d" % corner, ABOUT[1], env.shots, palette=False)
            keys(env, close)
            wait_hidden(env, ABOUT)

    # Esc closed only the secondary windows: the main window is still there.
    check(env.helper_run("wait-window", *MAIN, "0")[0] == 0, "the main window stays")
    keys(env, "ctrl+q")
    p.wait(timeout=30)
    check(p.returncode == 0, "velmor ended normally: %r" % p.returncode)


def options_keys_stay_in_the_control(env):
    """In the options dialog the arrow keys, Home and End change the page only on the page buttons: in the
    bind count field they move the caret (a digit typed after Home lands in front), in the overwrite group
    they move the check, and the page stays; on the page buttons they change it. Enter keeps what the keys
    chose."""
    env.write_ini(Sub_Bind__BindFolder=1, Sub_Bind__BindNum=2, Main__OverWrite=0)
    p = env.start_velmor()
    check(env.wait_main_window(), "the main window is shown")
    time.sleep(1.0)
    open_options(env)
    time.sleep(0.8)
    check(tab_index(env, OPTIONS) == 1, "the dialog opens on ■解凍の設定")

    field = control(env, OPTIONS, cls="Edit")
    click(env, *field.centre)
    keys(env, "End", "Left", "Right", "Home")
    check(tab_index(env, OPTIONS) == 1, "the caret keys in the bind count field keep the page")
    type_text(env, "1")
    check(control(env, OPTIONS, cls="Edit").text == "12", "Home put the caret in front: %r" %
          control(env, OPTIONS, cls="Edit").text)
    keys(env, "End", "BackSpace")
    check(control(env, OPTIONS, cls="Edit").text == "1", "End put it at the end: %r" %
          control(env, OPTIONS, cls="Edit").text)

    group = [control(env, OPTIONS, text=t).id for t in ("確認する", "上書き", "スキップ")]
    click_control(env, OPTIONS, "確認する")
    for key, reached in (("Right", 1), ("Right", 2), ("Left", 1), ("Down", 2), ("Home", 2), ("End", 2)):
        keys(env, key)
        f = focus(env, OPTIONS)
        check(tab_index(env, OPTIONS) == 1, "%s in the overwrite group keeps the page" % key)
        check(int(f[1]) == group[reached], "%s in the overwrite group reaches its button %d: %r" %
              (key, reached, f))

    tab_to(env, OPTIONS, cls="SysTabControl32")
    for key, page in (("Right", 2), ("Home", 0), ("End", 3), ("Left", 2)):
        keys(env, key)
        check(tab_index(env, OPTIONS) == page, "%s on the page buttons shows page %d" % (key, page))
    keys(env, "Return")
    wait_hidden(env, OPTIONS)
    keys(env, "ctrl+q")
    p.wait(timeout=30)
    kept = tuple(env.read_ini().get(k) for k in ("Sub_Bind.BindNum", "Main.OverWrite"))
    check(kept == ("1", "2"), "the count typed and the button the arrows checked are kept: %r" % (kept,))


# --- pictures for the documentation (scripts/screenshots.sh) -----------------------------------------------------

def window_picture(env, name, title, out_dir, palette=True):
    """A picture of one top-level window from its own X window: Wine draws windows that have an owner
    there, and the screen shows them black under this X server. With 256 colours for the documentation, in
    full colour for a comparison."""
    ids = xdo_search(env, title)
    check(ids, "an X window titled %r" % title)
    path = os.path.join(out_dir, name + ".png")
    xwd = subprocess.run(["xwd", "-id", ids[0], "-silent", "-display", env.display], capture_output=True)
    check(xwd.returncode == 0, "xwd of %r" % title)
    target = ["-colors", "256", "PNG8:" + path] if palette else [path]
    subprocess.run(["convert", "xwd:-", *target], input=xwd.stdout, check=True)
    print("window picture:", path)
    return path


def pictures_by_hand(env):
    """The main window during a job, at its smallest size and maximised; the windows that the main window
    owns: the search window, the options pages and the About box."""
    out = os.environ.get("VELMOR_SHOTS_OUT") or env.shots
    os.makedirs(out, exist_ok=True)
    env.write_ini()
    archives = []
    for name in ("写真集.zip", "資料一式.zip", "ソース.zip"):
        path = os.path.join(env.data, name)
        make_zip(path, {"%s/%02d_ファイル.txt" % (name[:-4], n): "内容" * (100 * (n + 1)) for n in range(12)})
        archives.append(env.winpath(path))
    # The job is held at the fifth member of the first archive's test until the picture is taken.
    held, release = held_standin(env, after=4)
    p = env.start_velmor("-k", *archives, extra_env=held)
    # The X server tells at once when the window is shown; the helper would take a Wine start.
    wait_until("the main window shown", lambda: xdo_search(env, "Velmor"), 60)
    wait_until("the job at its fifth member", lambda: any(
        c.text.endswith("04_ファイル.txt") for c in controls(env, MAIN)), 60)
    time.sleep(1.0)  # the bars and the log pane drawn
    check(p.poll() is None, "the job still runs")
    window_picture(env, "main_window_job", "Velmor", out)
    let_go(release)
    p.wait(timeout=120)

    env.write_ini(App__WindowW=100, App__WindowH=100)
    p = env.start_velmor()
    check(env.wait_main_window(), "the main window is shown")
    archive = os.path.join(env.data, "写真集.zip")
    make_zip(archive, {"写真/%02d.jpg" % n: "j" * 4000 for n in range(5)})
    env.helper_run("drop", *MAIN, env.winpath(archive))
    time.sleep(1.5)
    window_picture(env, "main_window_smallest", "Velmor", out)
    l, t, r, b = window_rect(env, MAIN)
    click(env, l + 200, t + 8, repeat=2)
    wait_until("maximised", lambda: window_rect(env, MAIN)[2] - window_rect(env, MAIN)[0] > 1000, 10)
    time.sleep(1.0)
    window_picture(env, "main_window_maximised", "Velmor", out)
    click(env, 300, 6, repeat=2)
    time.sleep(1.0)
    click_control(env, MAIN, "検索")
    check(env.wait_window(*SEARCH), "the search window is shown")
    env.helper_run("settext", *SEARCH, "0", ".jpg")
    env.helper_run("click", *SEARCH, "検索")
    time.sleep(2.0)
    window_picture(env, "search_window", SEARCH[1], out)
    keys(env, "alt+F4")
    wait_hidden(env, SEARCH)
    open_options(env)
    for page in range(4):
        click_tab(env, OPTIONS, page)
        time.sleep(0.8)
        window_picture(env, "options_page%d" % (page + 1), OPTIONS[1], out)
    click_control(env, OPTIONS, "キャンセル")
    wait_hidden(env, OPTIONS)
    keys(env, "alt+v")
    check(env.wait_window(*ABOUT), "the About box is shown")
    time.sleep(1.0)
    window_picture(env, "about_box", ABOUT[1], out)
    keys(env, "Return")
    keys(env, "ctrl+q")
    p.wait(timeout=30)


SUITES = {
    "input": [
        ("main_window_by_hand", main_window_by_hand),
        ("options_by_hand", options_by_hand),
        ("desktop_closed_under_the_program", desktop_closed_under_the_program),
        ("every_window_by_keyboard", every_window_by_keyboard),
        ("windows_open_where_a_person_looks", windows_open_where_a_person_looks),
        ("options_keys_stay_in_the_control", options_keys_stay_in_the_control),
    ],
    "shots_input": [("pictures_by_hand", pictures_by_hand)],
}
