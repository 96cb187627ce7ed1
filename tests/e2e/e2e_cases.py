"""The end-to-end cases, grouped in suites; each case gets a fresh settings file and no log file."""
import os
import re
import shutil
import subprocess
import time


def check(cond, what):
    if not cond:
        raise AssertionError(what)


def wait_until(what, test, seconds=30):
    """Waits for what another process does in its own time; the limit only catches a hang."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        if test():
            return
        time.sleep(0.3)
    raise AssertionError("timed out: " + what)


def row_count(env):
    return len([r for r in env.helper_run("rows", "TfrmMain", "Velmor")[1].splitlines() if r.strip()])


def log_lines(env):
    data = env.read_log()
    check(b"\r\n" in data and b"\n" not in data.replace(b"\r\n", b""), "log lines end in CR LF")
    return data.decode("cp932").split("\r\n")


# --- the main window -------------------------------------------------------------------------------------

def start_and_close(env):
    """A start without arguments shows the window; closing it writes the log and the settings with the
    window's geometry."""
    env.write_ini(App__WindowX=60, App__WindowY=50, App__WindowW=495, App__WindowH=434)
    p = env.start_velmor()
    check(env.wait_main_window(), "the main window is shown")
    time.sleep(1.5)
    env.screenshot("main_window")
    env.close_main_window(p)
    check(p.returncode == 0, "velmor exits with 0")
    lines = log_lines(env)
    check(re.match(r"^ 1\| \[ .+ \]$", lines[0]) is not None, "the head line is line 1: %r" % lines[0])
    ini = env.read_ini()
    check(ini.get("App.WindowX") == "60" and ini.get("App.WindowY") == "50", "position stored: %r" % ini)
    check(ini.get("App.WindowW") == "495" and ini.get("App.WindowH") == "434", "size stored: %r" % ini)
    check(ini.get("App.iTabIndex") == "0", "tab stored")


def second_instance(env):
    """A second start exits at once and leaves one instance; its file is not added anywhere."""
    env.write_ini()
    first = env.start_velmor()
    check(env.wait_main_window(), "the first window is shown")
    second = env.start_velmor(os.path.join(env.app, "velmor.exe"))
    # It ends by itself (how fast is the machine's business, not the test's).
    second.wait(timeout=60)
    rc, out = env.helper_run("count-windows", "TfrmMain", "Velmor")
    check(out.strip() == "1", "one main window: %r" % out)
    rc, rows = env.helper_run("rows", "TfrmMain", "Velmor")
    check(rows.strip() == "", "the second start's file is not listed: %r" % rows)
    env.close_main_window(first)


def drops(env):
    """A shell drop adds rows with KB sizes, "0 KB" for a folder and the running NO numbers."""
    env.write_ini()
    folder = os.path.join(env.data, "表ソフト")
    os.makedirs(folder, exist_ok=True)
    files = [(os.path.join(env.data, "a.zip"), 2048), (os.path.join(env.data, "写真.lzh"), 5000)]
    for path, size in files:
        with open(path, "wb") as f:
            f.write(b"x" * size)
    p = env.start_velmor()
    check(env.wait_main_window(), "the main window is shown")
    paths = [env.winpath(files[0][0]), env.winpath(folder), env.winpath(files[1][0])]
    rc, _ = env.helper_run("drop", "TfrmMain", "Velmor", *paths)
    check(rc == 0, "drop posted")
    wait_until("three rows", lambda: row_count(env) == 3)
    rc, out = env.helper_run("rows", "TfrmMain", "Velmor")
    rows = [r.split("\t") for r in out.splitlines()]
    expected = [[paths[0], "2 KB", "1"], [paths[1], "0 KB", "2"], [paths[2], "4 KB", "3"]]
    check(rows == expected, "rows %r, expected %r" % (rows, expected))
    env.screenshot("main_window_drops")
    env.close_main_window(p)


def log_appended(env):
    """The log file grows by each run's lines, in CP932; settings off screen are not applied."""
    for run in range(2):
        env.write_ini(App__WindowX=5000, App__WindowY=-40, App__WindowW=-10, App__WindowH=0)
        p = env.start_velmor()
        check(env.wait_main_window(), "the main window is shown")
        env.close_main_window(p)
    lines = [l for l in log_lines(env) if l]
    heads = [l for l in lines if re.match(r"^ 1\| \[ .+ \]$", l)]
    check(len(heads) == 2, "two runs' head lines: %r" % lines)
    ini = env.read_ini()
    x, y = int(ini["App.WindowX"]), int(ini["App.WindowY"])
    w, h = int(ini["App.WindowW"]), int(ini["App.WindowH"])
    check(0 <= x < 1024 and 0 <= y < 768, "the window stayed on the screen: %d,%d" % (x, y))
    check(w > 100 and h > 100, "the window kept a usable size: %dx%d" % (w, h))


def preview_start(env):
    """"-o" shows the window: a non-archive gets its message box 500 ms later; "-o" alone adds no row."""
    env.write_ini()
    text = os.path.join(env.data, "readme.txt")
    with open(text, "wb") as f:
        f.write(b"hello")
    p = env.start_velmor("-o", env.winpath(text))
    check(env.wait_main_window(), "the window is shown for a preview start")
    out = env.box_text("圧縮ファイルの閲覧")
    check(out and "閲覧できない形式（またはフォルダ）です" in out, "the preview's message box: %r" % out)
    env.answer("圧縮ファイルの閲覧", "ok")
    env.close_main_window(p)

    p = env.start_velmor("-o")
    check(env.wait_main_window(), "the window is shown for \"-o\" alone")
    rc, out = env.helper_run("rows", "TfrmMain", "Velmor")
    check(out.strip() == "", "no row: %r" % out)
    out = env.box_text("圧縮ファイルの閲覧")
    check(out and "閲覧する圧縮ファイルがありません" in out, "nothing to preview: %r" % out)
    env.answer("圧縮ファイルの閲覧", "ok")
    env.close_main_window(p)


def start_without_job(env):
    """"-d" alone starts no job: the window shows with its log instead of lingering unseen; the switch does
    not become the stored after-extraction action."""
    env.write_ini(Sub_Other__CmdHideWnd=1)
    p = env.start_velmor("-d")
    check(env.wait_main_window(), "the window is shown")
    env.close_main_window(p)
    check(any(l.endswith("> 処理ファイルがありません。") for l in log_lines(env)), "the empty-list line")
    check(env.read_ini().get("Main.AfterMethod") == "0", "the stored after-extraction action is unchanged")


# --- jobs --------------------------------------------------------------------------------------------

def make_zip(path, members):
    """A ZIP made by Python's zipfile (another tool than ours); names with non-ASCII characters are UTF-8."""
    import zipfile
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in members.items():
            z.writestr(name, data)


def run_to_end(env, *args, timeout=90, answers=(), extra_env=None):
    """Starts velmor.exe, answers the given (caption, button) boxes in order, and waits for it to end."""
    p = env.start_velmor(*args, extra_env=extra_env)
    for caption, button in answers:
        check(env.answer(caption, button), "the box %r was answered" % caption)
    p.wait(timeout=timeout)
    return p


def command_line_job(env):
    """"-k a.zip dir": extracts beside the archives (the folder row expanded), keeps them, and ends by itself;
    the log tells the library check, the archive, the count, the pre-test, the result and the output folder."""
    env.write_ini()
    a = os.path.join(env.data, "a.zip")
    make_zip(a, {"資料/読んでね.txt": "一", "b.txt": "two"})
    sub = os.path.join(env.data, "dir")
    os.makedirs(sub)
    make_zip(os.path.join(sub, "c.zip"), {"c_top/x.txt": "x", "c_top/表.txt": "y"})
    p = run_to_end(env, "-k", env.winpath(a), env.winpath(sub))
    check(p.returncode == 0, "velmor ended by itself with 0")
    with open(os.path.join(env.data, "a", "資料", "読んでね.txt"), encoding="utf-8") as f:
        check(f.read() == "一", "a.zip's member extracted into its bind folder")
    check(os.path.isfile(os.path.join(env.data, "a", "b.txt")), "b.txt extracted")
    check(os.path.isfile(os.path.join(sub, "c_top", "表.txt")), "the folder row's archive extracted beside it")
    check(os.path.isfile(a) and os.path.isfile(os.path.join(sub, "c.zip")), "the archives are kept")
    lines = [l for l in log_lines(env) if l]
    text = "\n".join(lines)
    # The steps of the first archive, in this order.
    at = 0
    for needle in ("─── 解凍・圧縮用DLL検査 ──", "[ DLL ] \"ZIP\"\t「OK」", ">>>> [ \"%s\" ]  --" % env.winpath(a),
                   "[ 最上位要素カウント ]\t2コ", "[ 書庫テスト ]\t テスト通過", "[ 解凍 ]\t\"%s\\\" へ解凍しました。" %
                   env.winpath(os.path.join(env.data, "a"))):
        found = text.find(needle, at)
        check(found >= 0, "the log shows %r after the earlier steps:\n%s" % (needle, text))
        at = found + len(needle)
    check(lines[-1].endswith("| " + env.winpath(sub)), "the output folder is the last line: %r" % lines[-1])
    check(env.read_ini().get("Main.AfterMethod") == "0", "the stored after-extraction action is unchanged")
    print("\n".join(lines))


def delete_only_extracted(env):
    """"-d" deletes the archive that extracted and keeps the one that failed."""
    env.write_ini()
    good = os.path.join(env.data, "good.zip")
    bad = os.path.join(env.data, "bad.zip")
    make_zip(good, {"g.txt": "g"})
    with open(bad, "wb") as f:
        f.write(b"PK\x03\x04 this is not a zip archive at all" * 20)
    p = run_to_end(env, "-d", env.winpath(good), env.winpath(bad))
    check(p.returncode == 0, "velmor ended by itself")
    check(os.path.isfile(os.path.join(env.data, "g.txt")), "the good archive extracted")
    check(not os.path.exists(good), "the good archive was deleted")
    check(os.path.isfile(bad), "the failed archive is kept")


def climbing_members(env):
    """Members that climb out of the output folder leave nothing outside it; with the absolute-path question
    on, No skips the archive with its log line."""
    outside = os.path.join(env.work, "outside.txt")
    if os.path.exists(outside):
        os.remove(outside)
    evil = os.path.join(env.data, "evil", "evil.zip")
    os.makedirs(os.path.dirname(evil))
    make_zip(evil, {"../../outside.txt": "bad", "ok.txt": "ok"})
    env.write_ini()
    run_to_end(env, "-k", env.winpath(evil))
    check(not os.path.exists(outside), "nothing was written outside the output folder")
    check(not os.path.exists(os.path.join(env.data, "outside.txt")), "nothing one level up either")

    env.write_ini(Sub_Security__AlertAbsExpand=1)
    os.remove(env.log_path())
    run_to_end(env, "-k", env.winpath(evil), answers=[("確認", "no")])
    check(any("絶対パス展開抑制による中断" in l for l in log_lines(env)), "the skip is logged")
    check(os.path.isfile(evil) and not os.path.exists(outside), "archive kept, nothing outside")


def small_volume(env, name, size):
    """A small tmpfs at env.work/name, reached through Wine's Z: drive; None where mounting is not allowed."""
    path = os.path.join(env.work, name)
    subprocess.run(["umount", path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.makedirs(path, exist_ok=True)
    r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % size, "tmpfs", path],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return path if r.returncode == 0 else None


def full_disk(env):
    """An archive that does not fit on its volume (an 8 MB tmpfs): the row ends with the "DISK_SPACE" failure
    line, the archive is kept, its bind folder with the members written so far is removed, and the next row
    extracts onto the space given back. Without the right to mount, the ZIP stand-in is told to fail its
    writes as a full volume would."""
    volume = small_volume(env, "small", 8 << 20)
    script = {}
    if volume is None:
        print("no tmpfs (mounting not allowed): the stand-in simulates the full volume")
        volume = os.path.join(env.work, "small")
        shutil.rmtree(volume, ignore_errors=True)
        os.makedirs(volume)
        script = standin_script(env, "full.txt", ["[UNZIP32.DLL]", "disk-full\t%d" % (8 << 20)])
    try:
        big = os.path.join(volume, "big.zip")
        make_zip(big, {"first.txt": "f" * 100000, "big.bin": bytes(range(256)) * (128 * 1024)})  # 32 MiB
        with open(big, "rb") as f:
            before = f.read()
        after = os.path.join(volume, "after.zip")
        make_zip(after, {"after.txt": "a" * (2 << 20)})
        env.write_ini()
        p = env.start_velmor("-k", env.winpath(big), env.winpath(after), extra_env=script)
        p.wait(timeout=120)
        check(p.returncode == 0, "velmor ended by itself with 0 (was %r)" % p.returncode)
        text = "\n".join(log_lines(env))
        print(text)
        check("[ 解凍失敗 ]\t情報=「32773:\"DISK_SPACE\"」" in text, "the failure line names DISK_SPACE")
        check(os.path.isfile(big), "the archive is kept")
        with open(big, "rb") as f:
            check(f.read() == before, "the archive is unchanged")
        check(not os.path.exists(os.path.join(volume, "big")), "the leftover bind folder is removed")
        check("[ 残骸の削除 ] \"%s\"" % env.winpath(os.path.join(volume, "big")) in text, "its removal is logged")
        with open(os.path.join(volume, "after.txt"), "rb") as f:
            check(len(f.read()) == 2 << 20, "the next row extracted onto the space given back")
    finally:
        subprocess.run(["umount", os.path.join(env.work, "small")], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


def confirmed_delete_and_end_notice(env):
    """"-d" with the delete confirmation on asks once (Yes), deletes after success, shows the end notice of a
    command-line run (OK) and exits."""
    env.write_ini(Sub_Confirm__ConfirmDelete=1, Sub_Confirm__ShowEndDlg=1)
    z = os.path.join(env.data, "消す.zip")
    make_zip(z, {"残る.txt": "x"})
    p = env.start_velmor("-d", env.winpath(z))
    text = env.box_text("確認")
    check(text and "後始末が\"削除\"になっています。" in text, "the delete confirmation: %r" % text)
    check(env.answer("確認", "yes"), "answered Yes")
    text = env.box_text("Velmor お知らせ")
    check(text and "（OKで終了）" in text, "the end notice of a command-line run: %r" % text)
    env.screenshot("end_notice")
    check(env.answer("Velmor お知らせ", "ok"), "answered OK")
    p.wait(timeout=30)
    check(os.path.isfile(os.path.join(env.data, "残る.txt")), "extracted")
    check(not os.path.exists(z), "deleted after success")
    rc, out = env.helper_run("count-windows", "#32770", "確認")
    check(out.strip() == "0", "asked once")


def installer_places_a_library(env):
    """Without the ZIP library the start-up question, answered Yes, runs the installer tool from the program's
    folder; it places the library and the nested check finds it."""
    env.write_ini()
    zip_dll = os.path.join(env.app, "UNZIP32.DLL")
    kept = os.path.join(env.data, "UNZIP32.DLL")
    shutil.move(zip_dll, kept)
    tool_log = os.path.join(env.data, "caldix.log")
    try:
        p = env.start_velmor(cwd=env.data, extra_env={"VELMOR_CALDIX_INSTALL": env.winpath(kept),
                                                      "VELMOR_CALDIX_LOG": env.winpath(tool_log)})
        check(env.answer("圧縮解凍DLLチェック", "yes"), "the question answered Yes")
        check(env.answer("圧縮解凍DLLチェック", "ok"), "the notice answered")
        check(env.answer("最新DLLの取得", "ok"), "the installer notice answered")
        check(env.wait_main_window(), "the window shows after the checks")
        env.close_main_window(p)
    finally:
        if not os.path.exists(zip_dll):
            shutil.copy2(kept, zip_dll)
    lines = [l.split("| ", 1)[-1] for l in log_lines(env) if l]
    check(lines.count("─── 解凍・圧縮用DLL検査 ──") == 2, "two start lines: %r" % lines)
    check(lines.count("─── ─── ─── ─── ─── ") == 2, "two end lines")
    check(lines.count("[ DLL ] \"ZIP\"\t「なし　『ファイル』メニューからインストールできます」") == 1, "missing once")
    check(lines.count("[ DLL ] \"ZIP\"\t「OK」") == 1, "present in the nested pass")
    with open(tool_log, encoding="utf-8") as f:
        runs = f.read().splitlines()
    check(len(runs) == 1 and env.app.replace("/", "\\") in runs[0], "run once from the program's folder: %r" % runs)


# --- the secondary windows -------------------------------------------------------------------------------

def options_from_the_menu(env):
    """"設定画面を開く..." and the settings tab's button show the options dialog over the main window."""
    env.write_ini()
    p = env.start_velmor()
    check(env.wait_main_window(), "the main window is shown")
    rc, out = env.helper_run("menu", "TfrmMain", "Velmor", "s", "enter")
    check(rc == 0, "the menu command was found (%d %r)" % (rc, out))
    check(env.wait_window("TfrmOption", "動作と関連付けの設定"), "the options dialog is shown")
    rc, out = env.helper_run("texts", "TfrmOption", "動作と関連付けの設定")
    check("O K" in out and "キャンセル" in out and "ファイル散乱防止" in out, "the dialog's controls: %r" % out)
    time.sleep(0.5)
    env.screenshot("options_dialog")
    env.helper_run("close", "TfrmOption", "動作と関連付けの設定")
    wait_until("the dialog hidden",
               lambda: env.helper_run("wait-window", "TfrmOption", "動作と関連付けの設定", "0")[0] != 0)
    # The same dialog from the button on the "設定" tab.
    check(env.helper_run("tab", "TfrmMain", "Velmor", "2")[0] == 0, "the settings tab chosen")
    time.sleep(0.5)
    check(env.helper_run("click", "TfrmMain", "Velmor", "詳細画面を開く...(&S)")[0] == 0, "the button clicked")
    check(env.wait_window("TfrmOption", "動作と関連付けの設定"), "the options dialog is shown again")
    env.helper_run("close", "TfrmOption", "動作と関連付けの設定")
    time.sleep(0.5)
    env.close_main_window(p)
    check(p.returncode == 0, "velmor ended normally")


def help_turns_topmost_off(env):
    """"ヘルプ(&A)" takes the window out of the topmost band and stores TopMost off. The help viewer finds no
    Velmor.hlp here and asks whether to look for it: No."""
    env.write_ini(App__TopMost=1)
    p = env.start_velmor()
    check(env.wait_main_window(), "the main window is shown")
    rc, out = env.helper_run("style", "TfrmMain", "Velmor")
    check(int(out.strip() or "0", 16) & 0x8, "topmost at start: %r" % out)
    check(env.helper_run("menu", "TfrmMain", "Velmor", "h", "a")[0] == 0, "help chosen")
    wait_until("no longer topmost",
               lambda: not int(env.helper_run("style", "TfrmMain", "Velmor")[1].strip() or "0", 16) & 0x8)
    env.screenshot("help")
    check(env.answer("エラー", "no"), "the help viewer's question answered")
    env.close_main_window(p)
    check(env.read_ini().get("App.TopMost") == "0", "TopMost stored off")
    # The help viewer stays without a file; it must not hold the next cases' windows back.
    env.wine_quiet("taskkill", "/f", "/im", "winhlp32.exe")


def preview_lists_the_archive(env):
    """"-o archive" opens the archive viewer half a second after the window shows, listing the members; the
    preview button opens it again."""
    env.write_ini()
    archive = os.path.join(env.data, "見本.zip")
    make_zip(archive, {"資料/説明書.txt": "説明" * 300, "画像/写真.jpg": "x" * 5000, "readme.txt": "r"})
    p = env.start_velmor("-o", env.winpath(archive))
    check(env.wait_main_window(), "the main window is shown")
    check(env.wait_window("TfrmArcView", "見本.zip"), "the viewer shows with the archive's name")
    time.sleep(1.0)
    rc, out = env.helper_run("rows", "TfrmArcView", "見本.zip")
    names = sorted(r.split("\t")[0] for r in out.splitlines())
    check(any("説明書.txt" in n for n in names) and any("写真.jpg" in n for n in names) and
          any("readme.txt" in n for n in names), "the members are listed: %r" % out)
    env.screenshot("archive_viewer")
    # The preview button opens it again for the selected row.
    env.helper_run("close", "TfrmArcView", "見本.zip")
    check(env.helper_run("wait-window", "TfrmArcView", "見本.zip", "0")[0] != 0, "the viewer is hidden")
    check(env.helper_run("click", "TfrmMain", "Velmor", "閲覧")[0] == 0, "the preview button clicked")
    check(env.wait_window("TfrmArcView", "見本.zip"), "the viewer shows again")
    env.close_main_window(p)


def search_log_viewer_and_about(env):
    """The search command shows the search window over a listed archive; the log viewer shows the log file;
    About shows the version from the program's resource."""
    env.write_ini()
    p = env.start_velmor()
    check(env.wait_main_window(), "the main window is shown")
    # The empty list first: the box, and no search window.
    check(env.helper_run("click", "TfrmMain", "Velmor", "検索")[0] == 0, "search clicked")
    out = env.box_text("検索")
    check(out and "検索対象になる圧縮ファイルがありません。" in out, "the empty-list box: %r" % out)
    env.answer("検索", "ok")
    archive = os.path.join(env.data, "探す.zip")
    make_zip(archive, {"a/photo.JPG": "j", "b.txt": "t"})
    env.helper_run("drop", "TfrmMain", "Velmor", env.winpath(archive))
    wait_until("a row", lambda: row_count(env) == 1)
    check(env.helper_run("click", "TfrmMain", "Velmor", "検索")[0] == 0, "search clicked")
    title = "検索（圧縮ファイル群内ファイル/フォルダ検索）"
    check(env.wait_window("TfrmSearch", title), "the search window is shown")
    time.sleep(0.5)
    env.screenshot("search_window")
    env.helper_run("close", "TfrmSearch", title)
    time.sleep(0.5)

    with open(env.log_path(), "wb") as f:
        f.write("  1| [ 以前の記録 ]\r\n".encode("cp932"))
    check(env.helper_run("menu", "TfrmMain", "Velmor", "f", "v")[0] == 0, "log viewer chosen")
    title = "処理の記録（標準ログファイル）閲覧"
    check(env.wait_window("TfrmLogView", title), "the log viewer is shown")
    rc, out = env.helper_run("rows", "TfrmLogView", title)
    check("以前の記録" in out, "the log file's lines: %r" % out)
    time.sleep(0.5)
    env.screenshot("log_viewer")
    env.helper_run("close", "TfrmLogView", title)

    check(env.helper_run("menu", "TfrmMain", "Velmor", "v")[0] == 0, "About chosen")
    check(env.wait_window("TfrmVersion", "バージョン情報"), "the About box is shown")
    rc, out = env.helper_run("texts", "TfrmVersion", "バージョン情報")
    check("1.0.0.0" in out, "the version from the resource: %r" % out)
    time.sleep(0.5)
    env.screenshot("about_box")
    env.helper_run("close", "TfrmVersion", "バージョン情報")
    time.sleep(0.5)
    env.close_main_window(p)
    check(p.returncode == 0, "velmor ended normally")


def reg_query(env, key):
    rc, out = env.reg("query", key)
    return out if rc == 0 else None


def shell_extract_verb(env):
    """The user ticks the context menu and ".zip" on the options dialog's association page with "解凍のみ" on
    top; the shell then starts that verb on an archive with the real program, which extracts it beside the
    archive, keeps the archive and ends."""
    # No association from an earlier run of the prefix: the boxes start unticked.
    for key in (r"HKCR\VelmorPlus", r"HKCR\.zip"):
        env.reg("delete", key, "/f")
    env.write_ini()
    p = env.start_velmor()
    check(env.wait_main_window(), "the main window is shown")
    check(env.helper_run("menu", "TfrmMain", "Velmor", "s", "enter")[0] == 0, "options chosen")
    title = "動作と関連付けの設定"
    check(env.wait_window("TfrmOption", title), "the options dialog is shown")
    check(env.helper_run("tab", "TfrmOption", title, "3")[0] == 0, "the association page chosen")
    for caption in ("圧縮ファイルに右クリックメニューを追加する", ".zip", "解凍のみ(元ファイルそのまま)"):
        time.sleep(0.5)
        check(env.helper_run("click", "TfrmOption", title, caption)[0] == 0, "clicked %r" % caption)
    time.sleep(0.5)
    env.screenshot("options_associations")
    check(env.helper_run("click", "TfrmOption", title, "O K")[0] == 0, "OK clicked")
    time.sleep(1.0)
    env.close_main_window(p)

    ext = reg_query(env, r"HKCR\.zip")
    check(ext and "VelmorPlus" in ext, ".zip belongs to VelmorPlus: %r" % ext)
    verbs = reg_query(env, r"HKCR\VelmorPlus\shell") or ""
    keys = [l.strip().rsplit("\\", 1)[-1] for l in verbs.splitlines() if l.strip().upper().startswith("HKEY")]
    only = [k for k in keys if k.endswith("VelmorOnly")]
    check(only == ["0VelmorOnly"], "the extract-only verb is on top: %r" % keys)
    command = reg_query(env, r"HKCR\VelmorPlus\shell\0VelmorOnly\command") or ""
    check("-k \"%1\"" in command, "the verb's command: %r" % command)

    folder = os.path.join(env.data, "右クリック")
    os.makedirs(folder)
    archive = os.path.join(folder, "書庫.zip")
    make_zip(archive, {"中身/文書.txt": "本文", "b.txt": "b"})
    rc, out = env.helper_run("shell", "0VelmorOnly", env.winpath(archive), "90000", timeout=120)
    check(rc == 0 and out.strip() == "0", "the shell started velmor, which ended with 0: %d %r" % (rc, out))
    with open(os.path.join(folder, "書庫", "中身", "文書.txt"), encoding="utf-8") as f:
        check(f.read() == "本文", "the member extracted beside the archive")
    check(os.path.isfile(archive), "the archive is kept")


# --- nothing lost: hostile archives and session ends ----------------------------------------------------

def log_has(env, text):
    return any(text in l for l in log_lines(env))


def standin_script(env, name, lines):
    """A script for the stand-in libraries (one directive per line), as the environment of one start."""
    path = os.path.join(env.data, name)
    with open(path, "wb") as f:
        f.write("".join(l + "\r\n" for l in lines).encode("cp932"))
    return {"VELMOR_STANDIN_SCRIPT": env.winpath(path)}


def self_named_member(env):
    """pkg.zip holding pkg.zip, extracted beside itself with overwrite on and "-d": the archive is refused,
    kept as it was and not deleted."""
    env.write_ini(Main__OverWrite=1, Sub_Bind__BindFolder=0)
    pkg = os.path.join(env.data, "pkg.zip")
    make_zip(pkg, {"pkg.zip": "the inner archive", "other.txt": "o"})
    with open(pkg, "rb") as f:
        before = f.read()
    p = run_to_end(env, "-d", env.winpath(pkg))
    check(p.returncode == 0, "velmor ended by itself")
    with open(pkg, "rb") as f:
        check(f.read() == before, "the archive is there, unchanged")
    check(log_has(env, "[ 解凍拒否 ] 書庫自身を上書きする要素があります：\"pkg.zip\""), "the refusal is logged")
    check(not os.path.exists(os.path.join(env.data, "other.txt")), "nothing of it was extracted")


def tar_dot_slash(env):
    """"tar -czf x.tgz ." names its members "./...": they bind into x\ like any others, and with "skip" the
    user's readme.txt beside the archive is kept while the new members arrive."""
    src = os.path.join(env.work, "tarsrc")
    shutil.rmtree(src, ignore_errors=True)
    os.makedirs(os.path.join(src, "docs"))
    with open(os.path.join(src, "readme.txt"), "w") as f:
        f.write("theirs")
    with open(os.path.join(src, "docs", "a.txt"), "w") as f:
        f.write("a")
    tgz = os.path.join(env.data, "x.tgz")
    subprocess.run(["tar", "-czf", tgz, "."], cwd=src, check=True)
    mine = os.path.join(env.data, "readme.txt")
    with open(mine, "w") as f:
        f.write("mine")
    env.write_ini(Sub_Bind__BindFolder=1, Sub_Bind__BindNum=2)
    run_to_end(env, "-k", env.winpath(tgz))
    check(log_has(env, "[ 最上位要素カウント ]\t2コ"), "two top-level items")
    with open(os.path.join(env.data, "x", "readme.txt")) as f:
        check(f.read() == "theirs", "the members are in the bind folder")
    check(os.path.isfile(os.path.join(env.data, "x", "docs", "a.txt")), "the folder member too")
    shutil.rmtree(os.path.join(env.data, "x"))

    env.write_ini(Sub_Bind__BindFolder=0, Main__OverWrite=2)
    os.remove(env.log_path())
    run_to_end(env, "-k", env.winpath(tgz))
    with open(mine) as f:
        check(f.read() == "mine", "\"skip\" kept the user's file")
    check(os.path.isfile(os.path.join(env.data, "docs", "a.txt")), "the new member arrived")
    check(log_has(env, "[ 上書きなし ] 既存のファイルをそのまま残しました：1個"), "the kept file is logged")
    check(not [n for n in os.listdir(env.data) if n.startswith("~velmor")], "no staging folder is left")


def device_names(env):
    """Members named COM1, aux.txt, lpt1.log, NUL: with Wine's COM1 and LPT1 pointed at a file, no byte
    reaches them; the archive is refused and kept although "-d" asked to delete it."""
    device = os.path.join(env.work, "device.out")
    with open(device, "wb"):
        pass
    # Wine's mount manager makes the dosdevices links from these values when the server starts (left in
    # place: a file is a safer COM1 for this prefix than the machine's serial port).
    for port in ("COM1", "LPT1"):
        env.reg("add", r"HKLM\Software\Wine\Ports", "/v", port, "/d", device, "/f")
    env.restart_server()
    for member in ("COM1", "aux.txt", "lpt1.log", "NUL", "docs/com1.txt"):
        # Overwrite on: the device "exists", and a library told to skip existing files would not write it.
        env.write_ini(Sub_Bind__BindFolder=0, Main__OverWrite=1)
        if os.path.exists(env.log_path()):
            os.remove(env.log_path())
        z = os.path.join(env.data, "dev.zip")
        make_zip(z, {"readme.txt": "r", member: "bytes for the device"})
        run_to_end(env, "-d", env.winpath(z))
        check(os.path.getsize(device) == 0, "nothing reached the device (%s)" % member)
        check(os.path.isfile(z), "the archive is kept (%s)" % member)
        check(log_has(env, "[ 解凍拒否 ] 解凍先フォルダの外に出る要素があります：\"%s\"" % member),
              "the refusal names %s" % member)
        os.remove(z)


def climbing_with_a_trusting_library(env):
    """A library that follows ".." itself: with the question off, and answered Yes, nothing is written outside
    the output folder, and the archive counts as failed and is kept under "-d"."""
    outside = os.path.join(env.work, "outside.txt")
    evil = os.path.join(env.data, "evil", "evil.zip")
    os.makedirs(os.path.dirname(evil), exist_ok=True)
    make_zip(evil, {"ok.txt": "ok", "../../outside.txt": "bad", "../up.txt": "bad"})
    script = standin_script(env, "trusting.txt", ["trust-names\t1"])
    for alert, answers in ((0, ()), (1, (("確認", "yes"),))):
        if os.path.exists(outside):
            os.remove(outside)
        if os.path.exists(env.log_path()):
            os.remove(env.log_path())
        env.write_ini(Sub_Security__AlertAbsExpand=alert, Sub_Bind__BindFolder=0)
        p = env.start_velmor("-d", env.winpath(evil), extra_env=script)
        for caption, button in answers:
            check(env.answer(caption, button), "the question answered")
        p.wait(timeout=90)
        check(not os.path.exists(outside), "nothing two levels up (question %d)" % alert)
        check(not os.path.exists(os.path.join(env.data, "up.txt")), "nothing one level up")
        check(os.path.isfile(evil), "the archive is kept")
        check(log_has(env, "[ 解凍拒否 ] 解凍先フォルダの外に出る要素があります：\"../../outside.txt\" ほか1件"),
              "the refused members are named")
        rc, out = env.helper_run("count-windows", "#32770", "確認")
        check(out.strip() == "0", "one question at most")


def switch_applies_to_one_start(env):
    """A "-d" start deletes its archive but leaves the stored action "keep": the next plain start keeps."""
    env.write_ini(Main__AfterMethod=0)
    a = os.path.join(env.data, "a.zip")
    b = os.path.join(env.data, "b.zip")
    make_zip(a, {"a.txt": "a"})
    make_zip(b, {"b.txt": "b"})
    run_to_end(env, "-d", env.winpath(a))
    check(not os.path.exists(a), "\"-d\" deleted its archive")
    check(env.read_ini().get("Main.AfterMethod") == "0", "the stored action is still \"keep\"")
    run_to_end(env, env.winpath(b))
    check(os.path.isfile(os.path.join(env.data, "b.txt")), "the plain start extracted")
    check(os.path.isfile(b), "and kept its archive")


def relative_folder(env):
    """SpecialFolder=relout is refused like an empty folder: nothing lands in the current folder."""
    cwd = os.path.join(env.data, "cwd")
    os.makedirs(cwd)
    a = os.path.join(env.data, "a.zip")
    make_zip(a, {"a.txt": "a"})
    env.write_ini(Main__PutLocation=1, Main__SpecialFolder="relout")
    p = env.start_velmor("-k", env.winpath(a), cwd=cwd)
    text = env.box_text("フォルダ")
    check(text and "フォルダ(解凍先)が指定されていません" in text, "refused like an empty folder: %r" % text)
    check(env.answer("フォルダ", "ok"), "answered")
    p.wait(timeout=60)
    check(not os.path.exists(os.path.join(cwd, "relout")), "no folder in the current folder")
    check(not os.path.exists(os.path.join(cwd, "a.txt")), "nothing extracted there")
    check(log_has(env, "[ 全体キャンセル ] 解凍先フォルダ"), "the job is cancelled")


def sendto_cancel(env):
    """A SendTo start with the folder question: Cancel extracts nothing and leaves the place and the folder
    as they were."""
    cwd = os.path.join(env.data, "cwd2")
    os.makedirs(cwd)
    a = os.path.join(env.data, "send.zip")
    make_zip(a, {"s.txt": "s"})
    env.write_ini(Sub_Confirm__ConfirmSendTo=1, Main__PutLocation=0, Main__SpecialFolder="C:\\前の場所")
    p = env.start_velmor(env.winpath(a), cwd=cwd)
    check(env.answer(BROWSE_CAPTION, "cancel"), "the folder dialog cancelled")
    check(env.wait_main_window(), "the window shows instead of a job")
    time.sleep(1.0)
    env.close_main_window(p)
    check(not os.path.exists(os.path.join(env.data, "s.txt")), "nothing extracted beside the archive")
    check(not os.listdir(cwd), "nothing in the current folder")
    ini = env.read_ini()
    check(ini.get("Main.PutLocation") == "0", "the place is unchanged: %r" % ini.get("Main.PutLocation"))
    check(ini.get("Main.SpecialFolder") == "C:\\前の場所", "the folder is unchanged: %r" % ini.get("Main.SpecialFolder"))


def held_back_member(env):
    """"-d" with a member held back ("skip", or "ask" answered No): the user's a.txt stays, b.txt arrives, and
    the archive, whose a.txt is on disk nowhere, is not deleted; the log names the member."""
    z = os.path.join(env.data, "a.zip")
    mine = os.path.join(env.data, "a.txt")
    for overwrite, answers in ((2, ()), (0, (("確認", "no"),))):
        make_zip(z, {"a.txt": "theirs", "b.txt": "b"})
        with open(mine, "w") as f:
            f.write("mine")
        if os.path.exists(env.log_path()):
            os.remove(env.log_path())
        env.write_ini(Main__OverWrite=overwrite, Sub_Bind__BindFolder=0)
        p = run_to_end(env, "-d", env.winpath(z), answers=answers)
        check(p.returncode == 0, "velmor ended by itself (OverWrite %d)" % overwrite)
        with open(mine) as f:
            check(f.read() == "mine", "the user's a.txt is kept (OverWrite %d)" % overwrite)
        check(os.path.isfile(os.path.join(env.data, "b.txt")), "b.txt extracted")
        check(os.path.isfile(z), "the archive is not deleted (OverWrite %d)" % overwrite)
        check(log_has(env, "[ 後始末中止 ] 解凍先に揃っていない要素があるため、書庫をそのまま残しました：\"a.txt\""),
              "the kept archive is logged with its member")
        check(not log_has(env, "書庫を削除しました"), "no deletion is logged")
        os.remove(os.path.join(env.data, "b.txt"))


def recycle_bin_that_cannot_take_it(env):
    """"-t" where no recycle bin serves the volume (Wine's bin needs its data folder): the archive stays and
    the failure is logged; with the bin there it goes into the bin, and the log says so."""
    z = os.path.join(env.data, "t.zip")
    make_zip(z, {"t.txt": "t"})
    with open(z, "rb") as f:
        data = f.read()
    not_a_folder = os.path.join(env.work, "no-data-folder")
    with open(not_a_folder, "w") as f:
        f.write("a file where the bin's folder would be")
    env.write_ini(Sub_Bind__BindFolder=0)
    p = run_to_end(env, "-t", env.winpath(z), extra_env={"XDG_DATA_HOME": not_a_folder})
    check(p.returncode == 0, "velmor ended by itself")
    check(os.path.isfile(os.path.join(env.data, "t.txt")), "extracted")
    check(os.path.isfile(z), "without a bin the archive is still there")
    with open(z, "rb") as f:
        check(f.read() == data, "without a bin the archive is still there, whole")
    check(log_has(env, "[ 後始末エラー ] 書庫をごみ箱へ移せませんでした。"), "the failure is logged")
    check(not log_has(env, "書庫をごみ箱へ移しました"), "no recycling is logged")

    share = os.path.join(env.home, ".local", "share")
    os.makedirs(share, exist_ok=True)
    os.remove(env.log_path())
    os.remove(os.path.join(env.data, "t.txt"))
    p = run_to_end(env, "-t", env.winpath(z), extra_env={"XDG_DATA_HOME": share})
    check(not os.path.exists(z), "with a bin the archive left its folder")
    binned = os.path.join(share, "Trash", "files", "t.zip")
    check(os.path.isfile(binned), "the archive is in the recycle bin")
    with open(binned, "rb") as f:
        check(f.read() == data, "whole")
    check(log_has(env, "[ ごみ箱 ] 書庫をごみ箱へ移しました。"), "the recycling is logged")


def members_on_one_windows_name(env):
    """Members that Windows puts on one name (case, trailing dots and blanks, the same name twice; ZIP and
    tar): the job names them before extracting, and "-d" keeps the archive."""
    import tarfile
    import io
    cases = [("case.zip", ["a.txt", "A.TXT"]), ("dots.zip", ["t", "t.", "t "]),
             ("twice.tar", ["same.txt", "same.txt"])]
    for name, members in cases:
        path = os.path.join(env.data, name)
        if name.endswith(".zip"):
            make_zip(path, {m: "member %d" % i for i, m in enumerate(members)})
        else:
            with tarfile.open(path, "w") as t:
                for i, m in enumerate(members):
                    body = ("member %d" % i).encode()
                    info = tarfile.TarInfo(m)
                    info.size = len(body)
                    t.addfile(info, io.BytesIO(body))
        if os.path.exists(env.log_path()):
            os.remove(env.log_path())
        env.write_ini(Main__OverWrite=1, Sub_Bind__BindFolder=0)
        p = run_to_end(env, "-d", env.winpath(path))
        check(p.returncode == 0, "velmor ended by itself (%s)" % name)
        check(os.path.isfile(path), "the archive is kept (%s)" % name)
        check(log_has(env, "[ 同名の要素 ] 解凍先で同じ名前になる要素があります：\"%s\"" % members[1]),
              "the members are named before the extraction (%s)" % name)
        check(log_has(env, "[ 後始末中止 ]"), "the clean-up is withheld (%s)" % name)


def move_over_a_same_named_file(env):
    """Move with "ask" (MoveOverWrite 0) onto a same-named file: the program asks in its own box; No keeps
    both files as they were, Yes replaces the file there with the archive."""
    z = os.path.join(env.data, "m.zip")
    make_zip(z, {"m.txt": "m"})
    with open(z, "rb") as f:
        data = f.read()
    moved = os.path.join(env.data, "moved")
    os.makedirs(moved)
    there = os.path.join(moved, "m.zip")
    with open(there, "w") as f:
        f.write("older")
    for answer in ("no", "yes"):
        if os.path.exists(env.log_path()):
            os.remove(env.log_path())
        env.write_ini(Main__AfterMethod=3, Main__MoveOverWrite=0, Main__MoveFolder=env.winpath(moved),
                      Sub_Bind__BindFolder=0)
        p = env.start_velmor(env.winpath(z))
        text = env.box_text("Velmor")
        check(text and "移動先に同じ名前のファイルがあります。" in text and "上書きしますか？" in text,
              "the program's own question: %r" % text)
        if answer == "no":
            env.screenshot("move_question")
        check(env.answer("Velmor", answer), "answered %s" % answer)
        p.wait(timeout=90)
        if answer == "no":
            with open(there) as f:
                check(f.read() == "older", "No keeps the file in the move folder")
            check(os.path.isfile(z), "No keeps the archive")
            check(log_has(env, "[移動] 移動スキップ"), "the skip is logged")
            os.remove(os.path.join(env.data, "m.txt"))
        else:
            with open(there, "rb") as f:
                check(f.read() == data, "Yes replaces it with the archive")
            check(not os.path.exists(z), "the archive moved")
            check(log_has(env, "[ 移動 ] 書庫を移動しました。"), "the move is logged")


def wait_for(what, condition, seconds=60):
    """Waits until condition() holds; a generous time-out only catches a hang."""
    deadline = time.time() + seconds
    while not condition():
        check(time.time() < deadline, "waited in vain for " + what)
        time.sleep(0.05)


def staging_names_prove_nothing(env):
    """Folders named like a staging folder that the program did not make are kept by the next extraction
    into their folder: an archive's member folder (extracted with "-d", the archive gone) and a user's own
    folder. The staging folder of a run killed during its extraction (the stand-in holds the extraction
    until the kill) is removed by that next extraction."""
    env.write_ini(Main__OverWrite=2, Sub_Bind__BindFolder=0)
    named = os.path.join(env.data, "named.zip")
    make_zip(named, {"~velmor0000abcd.tmp/keep.txt": "a member", "other.txt": "o"})
    run_to_end(env, "-d", env.winpath(named))
    member = os.path.join(env.data, "~velmor0000abcd.tmp", "keep.txt")
    check(os.path.isfile(member) and not os.path.exists(named), "the member folder extracted, its archive gone")
    mine = os.path.join(env.data, "~velmor1234ABCD.tmp", "mine.txt")
    os.makedirs(os.path.dirname(mine))
    with open(mine, "w") as f:
        f.write("mine")

    # A job killed while its library writes into a staging folder ("skip" with an existing file).
    staged = os.path.join(env.data, "staged.zip")
    make_zip(staged, {"other.txt": "theirs", "new.txt": "n"})
    known = set(os.listdir(env.data))
    script = standin_script(env, "hold.txt", ["hold\t" + env.winpath(os.path.join(env.data, "never")) + "\tend"])
    p = env.start_velmor("-k", env.winpath(staged), extra_env=script)
    fresh = lambda: [n for n in os.listdir(env.data) if n.startswith("~velmor") and n not in known]
    wait_for("the staging folder", lambda: fresh() and os.path.isfile(os.path.join(env.data, fresh()[0],
                                                                                   "new.txt")))
    left = os.path.join(env.data, fresh()[0])
    p.kill()
    p.wait(timeout=30)
    check(os.path.isdir(left), "the killed run left its staging folder")

    if os.path.exists(env.log_path()):
        os.remove(env.log_path())
    env.write_ini(Sub_Bind__BindFolder=0)
    nxt = os.path.join(env.data, "next.zip")
    make_zip(nxt, {"next.txt": "x"})
    run_to_end(env, "-k", env.winpath(nxt))
    check(os.path.isfile(os.path.join(env.data, "next.txt")), "the next archive extracted")
    with open(member) as f:
        check(f.read() == "a member", "the member folder is kept")
    with open(mine) as f:
        check(f.read() == "mine", "the user's folder is kept")
    check(not os.path.exists(left), "the killed run's staging folder is removed")
    check(log_has(env, "[ 残骸の削除 ] \"%s\"" % env.winpath(left)), "its removal is logged")
    check(not log_has(env, "~velmor0000abcd.tmp") and not log_has(env, "~velmor1234ABCD.tmp"),
          "nothing is said of the others")


def rewritten_member(env):
    """A member that another program rewrites at the same size between its extraction and the clean-up
    (the stand-in holds the job until the test has rewritten it): "-d" and "-t" keep the archive and name the
    member."""
    env.write_ini(Sub_Bind__BindFolder=0)
    z = os.path.join(env.data, "rw.zip")
    a = os.path.join(env.data, "a.txt")
    last = os.path.join(env.data, "z_last.txt")
    for switch in ("-d", "-t"):
        for f in (a, last, env.log_path()):
            if os.path.exists(f):
                os.remove(f)
        make_zip(z, {"a.txt": "the member's own text", "z_last.txt": "last"})
        release = os.path.join(env.data, "release" + switch)
        script = standin_script(env, "hold.txt", ["hold\t" + env.winpath(release) + "\tend"])
        p = env.start_velmor(switch, env.winpath(z), extra_env=script)
        wait_for("the members", lambda: os.path.isfile(last) and os.path.getsize(last) == 4)
        with open(a, "w") as f:
            f.write("another program's!!!!")
        open(release, "w").close()
        p.wait(timeout=90)
        check(os.path.isfile(z), "the archive is kept (%s)" % switch)
        check(log_has(env, "[ 後始末中止 ] 解凍先に揃っていない要素があるため、書庫をそのまま残しました：\"a.txt\""),
              "the rewritten member is named (%s)" % switch)
        check(not log_has(env, "書庫を削除しました") and not log_has(env, "書庫をごみ箱へ移しました"),
              "nothing given away (%s)" % switch)


def move_onto_a_full_drive(env):
    """A move (after-extraction action 3) into a folder on a full volume (a 1 MB tmpfs) that the archive does
    not fit: the archive stays whole where it was, and no partial file of its name is left in the move
    folder."""
    volume = small_volume(env, "movefull", 1 << 20)
    if volume is None:
        print("no tmpfs (mounting not allowed): nothing to check")
        return
    try:
        z = os.path.join(env.data, "big.zip")
        make_zip(z, {"noise.bin": os.urandom(3 << 20), "n.txt": "n"})
        with open(z, "rb") as f:
            before = f.read()
        env.write_ini(Main__AfterMethod=3, Main__MoveFolder=env.winpath(volume), Sub_Bind__BindFolder=0)
        p = run_to_end(env, env.winpath(z))
        check(p.returncode == 0, "velmor ended by itself")
        with open(z, "rb") as f:
            check(f.read() == before, "the archive is whole in its place")
        check(not os.path.exists(os.path.join(volume, "big.zip")),
              "no partial copy in the move folder: %r" % os.listdir(volume))
        check(log_has(env, "[ 後始末エラー ] 書庫を移動できませんでした。"), "the failure is logged")
        check(log_has(env, "[ 残骸の削除 ] \"%s\"" % env.winpath(os.path.join(volume, "big.zip"))),
              "the partial copy's removal is logged")
        check(not log_has(env, "書庫を移動しました"), "no move is logged")
    finally:
        subprocess.run(["umount", os.path.join(env.work, "movefull")], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


# The caption of the system's folder-browse dialog under the Japanese locale.
BROWSE_CAPTION = "フォルダーの参照"


def end_session_idle(env):
    """The end of the session while idle writes the log and the settings and ends the program."""
    env.write_ini(App__WindowX=70, App__WindowY=60)
    p = env.start_velmor()
    check(env.wait_main_window(), "the main window is shown")
    env.wine_quiet("wineboot", "--end-session")
    p.wait(timeout=30)
    check(re.match(r"^ 1\| \[ .+ \]$", log_lines(env)[0]) is not None, "the log file is written")
    ini = env.read_ini()
    check(ini.get("App.WindowX") == "70" and "Sub_Other.IgnoredSingleBind" in ini, "the settings are written")


def end_session_during_job(env):
    """The end of the session during a "-d" job stops and joins it: the interrupted archive is kept, its
    leftover removed, and the log and the settings are written."""
    # Without the pre-test, the extraction is held at its eleventh member (never let go): the end of the
    # session comes during the job however slow the machine.
    env.write_ini(Sub_Bind__BindFolder=1, Main__PreTestArc=0)
    big = os.path.join(env.data, "big.zip")
    make_zip(big, {"big/%03d.txt" % i: "x" * 100 for i in range(60)})
    script = standin_script(env, "hold.txt", ["hold\t%s\t10" % env.winpath(os.path.join(env.data, "never"))])
    p = env.start_velmor("-d", env.winpath(big), extra_env=script)
    check(env.wait_main_window(), "the main window is shown during the job")
    out = lambda: sum(len(files) for _, _, files in os.walk(os.path.join(env.data, "big")))
    deadline = time.time() + 90
    while time.time() < deadline and out() < 10:
        time.sleep(0.2)
    check(out() == 10, "ten members out, the eleventh held: %d" % out())
    check(p.poll() is None, "the job still runs")
    env.wine_quiet("wineboot", "--end-session")
    p.wait(timeout=60)
    check(os.path.isfile(big), "the interrupted archive is kept")
    check(not os.path.exists(os.path.join(env.data, "big")), "its leftover is removed")
    check(log_has(env, "[ 強制中断 ] 中断されました。"), "the stop is logged")
    check("Sub_Other.IgnoredSingleBind" in env.read_ini(), "the settings are written")


def installer_that_cannot_start(env):
    """Without the ZIP library and without the installer tool, Yes shows that the tool cannot run, once, and
    the question is not asked again."""
    env.write_ini()
    zip_dll = os.path.join(env.app, "UNZIP32.DLL")
    kept = os.path.join(env.data, "UNZIP32.DLL")
    tool = os.path.join(env.app, "caldix")
    moved_tool = os.path.join(env.data, "caldix")
    shutil.move(zip_dll, kept)
    if os.path.exists(tool):
        shutil.move(tool, moved_tool)
    try:
        p = env.start_velmor()
        check(env.answer("圧縮解凍DLLチェック", "yes"), "the question answered Yes")
        check(env.answer("圧縮解凍DLLチェック", "ok"), "the notice answered")
        check(env.answer("最新DLLの取得", "ok"), "the installer notice answered")
        text = env.box_text("Velmor")
        check(text and "caldixが実行できません" in text, "the tool cannot run: %r" % text)
        check(env.answer("Velmor", "ok"), "answered")
        check(env.wait_main_window(), "the window shows")
        time.sleep(2.0)
        rc, out = env.helper_run("count-windows", "#32770", "圧縮解凍DLLチェック")
        check(out.strip() == "0", "not asked again: %r" % out)
        env.close_main_window(p)
    finally:
        if not os.path.exists(zip_dll):
            shutil.move(kept, zip_dll)
        if os.path.exists(moved_tool) and not os.path.exists(tool):
            shutil.move(moved_tool, tool)
    lines = [l.split("| ", 1)[-1] for l in log_lines(env) if l]
    check(lines.count("─── 解凍・圧縮用DLL検査 ──") == 1, "one check pass: %r" % lines)


# --- nothing goes that the extraction did not read, nothing is replaced that is newer ---------------------

def make_rar(path, members, volume=None, set_id="s1", last=False):
    """A RAR as the stand-in reads it: a ZIP tagged RAR; with `volume`, that volume of the set `set_id`."""
    import zipfile
    comment = "VELMOR-TAG:RAR"
    if volume:
        comment += " volume=%d set=%s%s" % (volume, set_id, " last" if last else "")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in members.items():
            z.writestr(name, data)
        z.comment = comment.encode()


def clean_data(env):
    for name in os.listdir(env.data):
        path = os.path.join(env.data, name)
        shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
    if os.path.exists(env.log_path()):
        os.remove(env.log_path())


def split_sets(env):
    """A split RAR's clean-up takes the volumes the library read and nothing else, with "-d", "-t" and a move,
    the pre-test on and off: a user's file single.r00 beside a whole single.rar, another download's part 9
    past a two-volume set, an unrelated valid single.r00. Each such file stays, and the set extracts."""
    share = os.path.join(env.home, ".local", "share")
    os.makedirs(share, exist_ok=True)
    moved = os.path.join(env.work, "moved")
    cases = [
        ("a user's file beside a whole archive", "single.rar",
         [("single.rar", {"one.txt": "1"}, None, True), ("single.r00", b"the user's own notes", None, False)],
         ["one.txt"]),
        ("another download's part 9 past a set", "set.part1.rar",
         [("set.part1.rar", {"one.txt": "1"}, (1, "s1", False), True),
          ("set.part2.rar", {"two.txt": "22"}, (2, "s1", True), True),
          ("set.part9.rar", {"nine.txt": "9"}, (9, "s9", True), False)],
         ["one.txt", "two.txt"]),
        ("an unrelated valid .r00 beside a whole archive", "single.rar",
         [("single.rar", {"one.txt": "1"}, None, True), ("single.r00", {"other.txt": "o"}, None, False)],
         ["one.txt"]),
    ]
    for label, first, files, extracted in cases:
        for pre_test in (0, 1):
            for switch in ("-d", "-t", "move"):
                what = "%s, pre-test %d, %s" % (label, pre_test, switch)
                clean_data(env)
                shutil.rmtree(moved, ignore_errors=True)
                os.makedirs(moved)
                kept = {}
                for name, content, volume, goes in files:
                    path = os.path.join(env.data, name)
                    if isinstance(content, bytes):
                        with open(path, "wb") as f:
                            f.write(content)
                    elif volume:
                        make_rar(path, content, *volume)
                    else:
                        make_rar(path, content)
                    if not goes:
                        with open(path, "rb") as f:
                            kept[name] = f.read()
                args = [env.winpath(os.path.join(env.data, first))]
                if switch == "move":
                    env.write_ini(Main__PreTestArc=pre_test, Main__AfterMethod=3, Main__MoveFolder=env.winpath(moved),
                                  Sub_Bind__BindFolder=0)
                else:
                    env.write_ini(Main__PreTestArc=pre_test, Sub_Bind__BindFolder=0)
                    args.insert(0, switch)
                p = run_to_end(env, *args, extra_env={"XDG_DATA_HOME": share})
                check(p.returncode == 0, "velmor ended by itself (%s)" % what)
                for name in extracted:
                    check(os.path.isfile(os.path.join(env.data, name)), "%s extracted (%s)" % (name, what))
                for name, content, volume, goes in files:
                    here = os.path.exists(os.path.join(env.data, name))
                    if goes:
                        check(not here, "%s, read by the library, was cleaned up (%s)" % (name, what))
                        if switch == "move":
                            check(os.path.isfile(os.path.join(moved, name)), "%s moved (%s)" % (name, what))
                    else:
                        check(here, "%s, never read, stays (%s)" % (name, what))
                        with open(os.path.join(env.data, name), "rb") as f:
                            check(f.read() == kept[name], "%s stays whole (%s)" % (name, what))
                        check(not os.path.exists(os.path.join(moved, name)), "%s not moved (%s)" % (name, what))
                check(not log_has(env, "後始末キャンセル"), "the clean-up ran (%s)" % what)


def newer_only_with_tar(env):
    """"新しければ上書き" (OverWrite=3) with a tar and a tgz member of 2017: the user's newer file of that name
    stays, with "-k" and "-d", the log says so, and "-d" keeps the archive; the user's older file is
    replaced."""
    import tarfile
    import io
    may_2017 = 1494000000
    sep_2020 = 1600000000
    jan_2010 = 1262304000
    for name, mode in (("old.tar", "w"), ("old.tgz", "w:gz")):
        for switch in ("-k", "-d"):
            what = "%s, %s" % (name, switch)
            clean_data(env)
            archive = os.path.join(env.data, name)
            with tarfile.open(archive, mode) as t:
                for member in ("report.txt", "notes.txt"):
                    body = b"the archive's copy of 2017"
                    info = tarfile.TarInfo(member)
                    info.size = len(body)
                    info.mtime = may_2017
                    t.addfile(info, io.BytesIO(body))
            for member, when in (("report.txt", sep_2020), ("notes.txt", jan_2010)):
                path = os.path.join(env.data, member)
                with open(path, "w") as f:
                    f.write("the user's own")
                os.utime(path, (when, when))
            env.write_ini(Main__OverWrite=3, Sub_Bind__BindFolder=0)
            p = run_to_end(env, switch, env.winpath(archive))
            check(p.returncode == 0, "velmor ended by itself (%s)" % what)
            with open(os.path.join(env.data, "report.txt")) as f:
                check(f.read() == "the user's own", "the user's newer report.txt stays (%s)" % what)
            with open(os.path.join(env.data, "notes.txt")) as f:
                check(f.read() == "the archive's copy of 2017", "the user's older notes.txt is replaced (%s)" % what)
            check(log_has(env, "[ 上書きなし ] 書庫の要素より新しい既存のファイルをそのまま残しました：1個"),
                  "the kept file is logged (%s)" % what)
            check(os.path.isfile(archive), "the archive stays (%s)" % what)
            if switch == "-d":
                check(log_has(env, "[ 後始末中止 ] 解凍先に揃っていない要素があるため、書庫をそのまま残しました：\"report.txt\""),
                      "the held-back member is named (%s)" % what)
            check(not [n for n in os.listdir(env.data) if n.startswith("~velmor")], "no staging folder is left")


def tar_link_members(env):
    """A tar's hard link and symbolic link are extracted (the hard link as a copy of its target, the symbolic
    link as a small file holding the target's name) and "-d" deletes the archive once they are on disk; a hard
    link whose target the archive lacks is never written, and "-d" keeps that archive."""
    import tarfile
    import io

    def add(t, name, body=None, link=None, kind=tarfile.REGTYPE):
        info = tarfile.TarInfo(name)
        info.mtime = 1614834368
        info.type = kind
        if link:
            info.linkname = link
        if body is not None:
            info.size = len(body)
            t.addfile(info, io.BytesIO(body))
        else:
            t.addfile(info)

    clean_data(env)
    links = os.path.join(env.data, "links.tgz")
    with tarfile.open(links, "w:gz") as t:
        add(t, "sub/target.txt", b"the target's text")
        add(t, "sub/hard.txt", link="sub/target.txt", kind=tarfile.LNKTYPE)
        add(t, "sub/soft.txt", link="target.txt", kind=tarfile.SYMTYPE)
    orphan = os.path.join(env.data, "orphan.tar")
    with tarfile.open(orphan, "w") as t:
        add(t, "kept/a.txt", b"a")
        add(t, "kept/hard.txt", link="kept/missing.txt", kind=tarfile.LNKTYPE)
    env.write_ini(Sub_Bind__BindFolder=0)
    p = run_to_end(env, "-d", env.winpath(links), env.winpath(orphan))
    check(p.returncode == 0, "velmor ended by itself")
    with open(os.path.join(env.data, "sub", "hard.txt"), "rb") as f:
        check(f.read() == b"the target's text", "the hard link is a copy of its target")
    with open(os.path.join(env.data, "sub", "soft.txt"), "rb") as f:
        check(f.read() == b"target.txt", "the symbolic link is a small file holding its target's name")
    check(not os.path.exists(links), "the archive whose links are on disk is deleted")
    check(not os.path.exists(os.path.join(env.data, "kept", "hard.txt")), "the orphan link was not written")
    check(os.path.isfile(orphan), "the archive whose link member was never written stays")


def damaged_archive_pre_test(env):
    """The pre-test of a zip with one flipped data byte, or of a cut tgz, fails: nothing is extracted, and "-d"
    deletes neither archive."""
    import tarfile
    import io
    clean_data(env)
    flipped = os.path.join(env.data, "flipped.zip")
    body = bytes(range(256)) * 8
    import zipfile
    with zipfile.ZipFile(flipped, "w", zipfile.ZIP_STORED) as z:
        z.writestr("flipped/data.bin", body)
        z.writestr("flipped/other.txt", "other")
    with open(flipped, "rb") as f:
        data = bytearray(f.read())
    data[data.find(body[:64]) + 100] ^= 0x55
    with open(flipped, "wb") as f:
        f.write(data)
    cut = os.path.join(env.data, "cut.tgz")
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w:gz") as t:
        for i in range(3):
            member = os.urandom(20000)
            info = tarfile.TarInfo("cut/%d.bin" % i)
            info.size = len(member)
            t.addfile(info, io.BytesIO(member))
    with open(cut, "wb") as f:
        f.write(raw.getvalue()[:len(raw.getvalue()) * 2 // 3])
    before = {}
    for path in (flipped, cut):
        with open(path, "rb") as f:
            before[path] = f.read()
    env.write_ini(Main__PreTestArc=1, Sub_Bind__BindFolder=0)
    p = run_to_end(env, "-d", env.winpath(flipped), env.winpath(cut))
    check(p.returncode == 0, "velmor ended by itself")
    for path in (flipped, cut):
        with open(path, "rb") as f:
            check(f.read() == before[path], "%s is kept as it was" % os.path.basename(path))
    check(sorted(os.listdir(env.data)) == ["cut.tgz", "flipped.zip"], "nothing extracted: %r" % os.listdir(env.data))
    lines = log_lines(env)
    check(sum("[ 書庫テスト ]\t 不正な書庫です。" in l for l in lines) == 2, "both pre-tests failed")
    check(not log_has(env, "書庫を削除しました"), "no deletion is logged")


# --- pictures of every window for the documentation (scripts/screenshots.sh) --------------------------------

def pictures(env):
    """Each options page, the viewer, search, log viewer and About box, each cut
    out with its frame into VELMOR_SHOTS_OUT (default: the run's shots folder)."""
    out = os.environ.get("VELMOR_SHOTS_OUT") or env.shots
    os.makedirs(out, exist_ok=True)
    env.write_ini()
    archives = []
    for i, name in enumerate(("写真集.zip", "資料一式.zip", "ソース.zip")):
        path = os.path.join(env.data, name)
        make_zip(path, {"%s/%02d_ファイル.txt" % (name[:-4], n): "内容" * (100 * (n + 1)) for n in range(12)})
        archives.append(path)
    # The job fills the log file for the log viewer's picture. The main window during a job is taken by
    # pictures_by_hand (suite shots_input), from the X server's first sight of the window.
    p = env.start_velmor("-k", *[env.winpath(a) for a in archives])
    p.wait(timeout=120)

    viewed = os.path.join(env.data, "日本語の名前.zip")
    make_zip(viewed, {"説明書/はじめに.txt": "はじめに" * 50, "画像/表紙.jpg": "j" * 30000, "音楽/曲.mp3": "m" * 90000,
                      "readme.txt": "r" * 800})
    p = env.start_velmor("-o", env.winpath(viewed))
    check(env.wait_main_window(), "the main window is shown")
    check(env.wait_window("TfrmArcView", "日本語の名前.zip"), "the viewer is shown")
    time.sleep(1.5)
    env.window_shot("archive_viewer", "TfrmArcView", "日本語の名前.zip", out)
    env.helper_run("close", "TfrmArcView", "日本語の名前.zip")

    check(env.helper_run("click", "TfrmMain", "Velmor", "検索")[0] == 0, "search clicked")
    title = "検索（圧縮ファイル群内ファイル/フォルダ検索）"
    check(env.wait_window("TfrmSearch", title), "the search window is shown")
    env.helper_run("settext", "TfrmSearch", title, "0", ".txt")
    env.helper_run("click", "TfrmSearch", title, "検索")
    time.sleep(2.0)
    env.window_shot("search_window", "TfrmSearch", title, out)
    env.helper_run("close", "TfrmSearch", title)
    time.sleep(0.5)

    title = "動作と関連付けの設定"
    check(env.helper_run("menu", "TfrmMain", "Velmor", "s", "enter")[0] == 0, "options chosen")
    check(env.wait_window("TfrmOption", title), "the options dialog is shown")
    for page in range(4):
        env.helper_run("tab", "TfrmOption", title, str(page))
        time.sleep(1.0)
        env.window_shot("options_page%d" % (page + 1), "TfrmOption", title, out)
    env.helper_run("close", "TfrmOption", title)
    time.sleep(0.5)

    title = "処理の記録（標準ログファイル）閲覧"
    check(env.helper_run("menu", "TfrmMain", "Velmor", "f", "v")[0] == 0, "log viewer chosen")
    check(env.wait_window("TfrmLogView", title), "the log viewer is shown")
    time.sleep(1.0)
    env.window_shot("log_viewer", "TfrmLogView", title, out)
    env.helper_run("close", "TfrmLogView", title)

    check(env.helper_run("menu", "TfrmMain", "Velmor", "v")[0] == 0, "About chosen")
    check(env.wait_window("TfrmVersion", "バージョン情報"), "the About box is shown")
    time.sleep(1.0)
    env.window_shot("about_box", "TfrmVersion", "バージョン情報", out)
    env.helper_run("close", "TfrmVersion", "バージョン情報")
    time.sleep(0.5)
    env.close_main_window(p)


SUITES = {
    "shots": [("pictures", pictures)],
    "jobs": [
        ("confirmed_delete_and_end_notice", confirmed_delete_and_end_notice),
        ("command_line_job", command_line_job),
        ("delete_only_extracted", delete_only_extracted),
        ("climbing_members", climbing_members),
        ("full_disk", full_disk),
    ],
    "windows": [
        ("options_from_the_menu", options_from_the_menu),
        ("help_turns_topmost_off", help_turns_topmost_off),
        ("shell_extract_verb", shell_extract_verb),
        ("preview_lists_the_archive", preview_lists_the_archive),
        ("search_log_viewer_and_about", search_log_viewer_and_about),
    ],
    "safety": [
        ("self_named_member", self_named_member),
        ("tar_dot_slash", tar_dot_slash),
        ("device_names", device_names),
        ("climbing_with_a_trusting_library", climbing_with_a_trusting_library),
        ("switch_applies_to_one_start", switch_applies_to_one_start),
        ("relative_folder", relative_folder),
        ("sendto_cancel", sendto_cancel),
        ("end_session_idle", end_session_idle),
        ("end_session_during_job", end_session_during_job),
        ("installer_that_cannot_start", installer_that_cannot_start),
        ("held_back_member", held_back_member),
        ("recycle_bin_that_cannot_take_it", recycle_bin_that_cannot_take_it),
        ("members_on_one_windows_name", members_on_one_windows_name),
        ("move_over_a_same_named_file", move_over_a_same_named_file),
        ("staging_names_prove_nothing", staging_names_prove_nothing),
        ("rewritten_member", rewritten_member),
        ("move_onto_a_full_drive", move_onto_a_full_drive),
    ],
    "untouched": [
        ("split_sets", split_sets),
        ("newer_only_with_tar", newer_only_with_tar),
        ("tar_link_members", tar_link_members),
        ("damaged_archive_pre_test", damaged_archive_pre_test),
    ],
    "window": [
        ("start_and_close", start_and_close),
        ("second_instance", second_instance),
        ("drops", drops),
        ("log_appended", log_appended),
        ("preview_start", preview_start),
        ("start_without_job", start_without_job),
        ("installer_places_a_library", installer_places_a_library),
    ],
}
