#!/usr/bin/env python3
"""End-to-end checks of the real velmor.exe under Wine, as a user sees it.

One run owns a work folder under the build tree: a Wine prefix and HOME of its own (Wine maps My Documents
and the desktop to HOME), its own Xvfb, and a Wine virtual desktop so that screenshots show the window frame.
The program runs from a folder with the stand-in archiver libraries beside it. A quiet Velmor.ini is written
into My Documents before each case; a helper program (e2e_helper.exe) clicks message boxes, drops files and
reads the job list.

usage: e2e.py --work DIR --velmor EXE --helper EXE --standins DIR --loader WINE SUITE [CASE...]
Exit status: 0 all passed, 1 a check failed, 77 skipped (no Xvfb or no Wine).
"""
import argparse
import os
import shutil
import signal
import subprocess
import tempfile
import sys
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
WINE_PREFIX = os.path.join(HERE, "..", "..", "cmake", "wine-prefix.sh")
sys.path.insert(0, HERE)
import e2e_cases  # noqa: E402

# --- the suites that drive the windows with real mouse and keyboard input (e2e_input.py) ---
import e2e_input  # noqa: E402
e2e_cases.SUITES.update(e2e_input.SUITES)


class Skip(Exception):
    pass


class Env:
    """Xvfb, a private prefix and HOME, the program folder, and the Wine calls of the cases."""

    def __init__(self, args):
        self.args = args
        self.work = os.path.abspath(args.work)
        self.home = os.path.join(self.work, "home")
        self.prefix = os.path.join(self.work, "prefix")
        self.app = os.path.join(self.work, "app")
        self.shots = os.path.join(self.work, "shots")
        self.data = os.path.join(self.work, "data")
        self.xvfb = None
        self.procs = []
        self.velmor_errors = []  # the standard error file of each velmor.exe of the case

    # --- set-up ---------------------------------------------------------------------------------------
    def start(self):
        if not shutil.which("Xvfb"):
            raise Skip("Xvfb missing")
        if not os.path.exists(self.args.loader) and not shutil.which(self.args.loader):
            raise Skip("Wine missing")
        os.makedirs(self.work, exist_ok=True)
        for d in (self.home, self.app, self.shots, self.data):
            shutil.rmtree(d, ignore_errors=True)
            os.makedirs(d)
        r, w = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        display = b""
        deadline = time.time() + 10
        while time.time() < deadline and not display.endswith(b"\n"):
            chunk = os.read(r, 16)
            if not chunk:
                break
            display += chunk
        os.close(r)
        if not display.strip():
            raise Skip("Xvfb did not start")
        self.display = ":" + display.decode().strip()
        self.env = dict(os.environ)
        self.env.update({
            "DISPLAY": self.display, "WINEPREFIX": self.prefix, "HOME": self.home, "WINEDEBUG": "-all",
            "LC_ALL": "ja_JP.UTF-8", "WINEDLLOVERRIDES": "winemenubuilder.exe=d;mscoree,mshtml=",
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
        })
        self.env.pop("XDG_DOCUMENTS_DIR", None)
        # The prefix is a cheap copy of the build's template prefix (cmake/wine-prefix.sh).
        if subprocess.run(["sh", WINE_PREFIX, self.prefix, self.args.loader], env=self.env,
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL).returncode != 0:
            raise RuntimeError("no Wine prefix in " + self.prefix)
        # A server left by an interrupted run would still serve a display that is gone: end it first.
        self.restart_server()
        # Every window of the prefix lives in one virtual desktop: frames, titles and caption buttons show.
        self.reg("add", r"HKCU\Software\Wine\Explorer", "/v", "Desktop", "/d", "Default", "/f")
        self.reg("add", r"HKCU\Software\Wine\Explorer\Desktops", "/v", "Default", "/d", "1024x768", "/f")
        # A crash ends the process instead of waiting in a crash dialog.
        self.reg("add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0",
                 "/f")
        # Wine draws the caption buttons with its Marlett font; this Wine build does not load it from its data
        # folder, so the prefix gets a copy in its Fonts folder (fonts-wine provides the file).
        marlett = "/usr/share/wine/fonts/marlett.ttf"
        fonts = os.path.join(self.prefix, "drive_c", "windows", "Fonts")
        if os.path.exists(marlett) and os.path.isdir(fonts):
            shutil.copy2(marlett, fonts)
        # The desktop settings take effect for a fresh server (wineboot's first start made the plain one).
        self.restart_server()
        shutil.copy2(self.args.velmor, os.path.join(self.app, "velmor.exe"))
        for name in os.listdir(self.args.standins):
            shutil.copy2(os.path.join(self.args.standins, name), self.app)
        if getattr(self.args, "installer", None):
            shutil.copytree(self.args.installer, os.path.join(self.app, "caldix"))
        self.helper = self.args.helper

    def restart_server(self):
        quiet = dict(env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-k"], **quiet)
        subprocess.run(["wineserver", "-w"], timeout=60, **quiet)
        subprocess.run(["wineserver", "-p"], **quiet)
        self.wine_quiet("wineboot")

    def stop(self):
        for p in self.procs:
            if p.poll() is None:
                p.kill()
        if self.xvfb:
            subprocess.run(["wineserver", "-k"], env=getattr(self, "env", None) or os.environ,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.xvfb.send_signal(signal.SIGTERM)
            self.xvfb.wait()

    # --- Wine -----------------------------------------------------------------------------------------
    def wine_quiet(self, *cmd):
        return subprocess.run([self.args.loader, *cmd], env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode

    # Wine now and then fails to start a process at all on a loaded machine (its loader finds the place of
    # the shared user data taken), with a failure code and not a word. Such a start is made again; what a
    # program that did start reports stands.
    def reg(self, *args):
        """Wine's reg with these arguments: (exit code, standard output). reg says something whatever its
        outcome, so a failure without a word is a start that did not happen."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            for _ in range(5):
                out.seek(0), out.truncate(), err.seek(0), err.truncate()
                rc = subprocess.run([self.args.loader, "reg", *args], env=self.env, stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err).returncode
                if rc == 0 or out.tell() or err.tell():
                    break
            out.seek(0)
            return rc, out.read().decode("utf-8", "replace")

    def winpath(self, unix):
        return "Z:" + os.path.abspath(unix).replace("/", "\\")

    def start_velmor(self, *args, cwd=None, extra_env=None):
        env = dict(self.env, **(extra_env or {}))
        # Standard error goes to a file (a pipe would be held open by Wine's services): Wine writes there
        # when the program dies of an unhandled exception.
        errors = os.path.join(self.work, "velmor-%d.err" % len(self.velmor_errors))
        with open(errors, "wb") as err:
            p = subprocess.Popen([self.args.loader, os.path.join(self.app, "velmor.exe"), *args], env=env,
                                 cwd=cwd or self.app, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=err)
        self.procs.append(p)
        self.velmor_errors.append(errors)
        return p

    def crashes(self):
        """Wine's reports of an unhandled exception in the velmor.exe processes of the case."""
        lines = []
        for path in self.velmor_errors:
            with open(path, "rb") as f:
                text = f.read().decode("utf-8", "replace")
            # Wine's report, or the program's own for a fault that the system would have swallowed.
            lines += [l for l in text.splitlines() if l.startswith(("wine: Unhandled", "Unhandled exception"))]
        return lines

    def helper_run(self, *args, timeout=30):
        # The helper marks its start in a file: a run that left no mark never started.
        mark = os.path.join(self.work, "helper-started")
        env = dict(self.env, E2E_HELPER_STARTED=self.winpath(mark))
        for _ in range(5):
            if os.path.exists(mark):
                os.remove(mark)
            try:
                r = subprocess.run([self.args.loader, self.helper, *args], env=env, stdin=subprocess.DEVNULL,
                                   capture_output=True, timeout=timeout)
            except subprocess.TimeoutExpired:
                return 124, ""
            if r.returncode == 0 or os.path.exists(mark):
                break
        return r.returncode, r.stdout.decode("utf-8", "replace")

    def wait_window(self, cls, title, seconds=30):
        # Short helper runs, repeated: the first Wine starts of a fresh server can be slow on a busy machine.
        deadline = time.time() + seconds
        while time.time() < deadline:
            if self.helper_run("wait-window", cls, title, "5000", timeout=60)[0] == 0:
                return True
        return False

    def wait_main_window(self, seconds=90):
        return self.wait_window("TfrmMain", "Velmor", seconds)

    def box_text(self, caption, seconds=90):
        """The text of the message box with that caption, waiting for it in short helper runs."""
        deadline = time.time() + seconds
        while time.time() < deadline:
            rc, out = self.helper_run("text", caption, "5000", timeout=60)
            if rc == 0:
                return out
        return None

    def answer(self, caption, button, seconds=90):
        deadline = time.time() + seconds
        while time.time() < deadline:
            # A helper that was slow to end may still have clicked: the long time-out lets it finish.
            if self.helper_run("answer", caption, button, "5000", timeout=60)[0] == 0:
                return True
        return False

    def close_main_window(self, proc, timeout=20):
        self.helper_run("close", "TfrmMain", "Velmor")
        proc.wait(timeout=timeout)

    def screenshot(self, name, quiet=False):
        path = os.path.join(self.shots, name + ".png")
        xwd = subprocess.run(["xwd", "-root", "-silent", "-display", self.display], capture_output=True)
        if xwd.returncode != 0 or subprocess.run(["convert", "xwd:-", path], input=xwd.stdout).returncode != 0:
            if quiet:
                return None
            raise AssertionError("no screenshot: %s" % xwd.stderr.decode(errors="replace"))
        if not quiet:
            print("screenshot:", path)
        return path

    def window_shot(self, name, cls, title, out_dir=None):
        """A picture of one window (frame and title included), cut from the screen, with an 8-bit palette."""
        rc, out = self.helper_run("rect", cls, title)
        if rc != 0:
            raise AssertionError("no window %s %r" % (cls, title))
        left, top, right, bottom = (int(v) for v in out.split())
        left, top = max(left, 0), max(top, 0)
        full = self.screenshot(name + "_screen", quiet=True)
        if not full:
            raise AssertionError("no screenshot")
        path = os.path.join(out_dir or self.shots, name + ".png")
        r = subprocess.run(["convert", full, "-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top),
                            "+repage", "-colors", "256", "PNG8:" + path])
        if r.returncode != 0:
            raise AssertionError("crop failed for " + name)
        print("window picture:", path)
        return path

    # --- what the user sees ---------------------------------------------------------------------------
    def my_documents(self):
        # Wine links My Documents to $HOME (or to $HOME/Documents where that folder exists at set-up).
        docs = os.path.join(self.home, "Documents")
        return docs if os.path.isdir(docs) else self.home

    def ini_path(self):
        return os.path.join(self.my_documents(), "Velmor.ini")

    def log_path(self):
        return os.path.join(self.my_documents(), "VelmorLog.txt")

    def write_ini(self, **overrides):
        """A quiet settings file: no questions, no end notice, window shown, log file on."""
        sections = {
            "App": {"WindowX": 40, "WindowY": 30, "WindowW": 495, "WindowH": 434, "TopMost": 0, "FirstRun": 0},
            "Main": {"bLogFile": 1, "KBDeleteLog": 2000, "PreTestArc": 1, "AfterMethod": 0, "PutLocation": 0},
            "Sub_Confirm": {"ConfirmIgnore": 0, "ConfirmSendTo": 0, "ConfirmDelete": 0, "ShowEndDlg": 0},
            "Sub_Security": {"AlertAbsExpand": 0, "CheckDangerPath": 1},
            "Sub_Other": {"CmdHideWnd": 0, "IndicatePerFile": 1},
        }
        for key, value in overrides.items():
            section, name = key.split("__")
            sections.setdefault(section, {})[name] = value
        text = ""
        for section, keys in sections.items():
            text += "[%s]\r\n" % section
            for k, v in keys.items():
                text += "%s=%s\r\n" % (k, v)
        with open(self.ini_path(), "wb") as f:
            f.write(text.encode("cp932"))

    def read_ini(self):
        values = {}
        section = ""
        with open(self.ini_path(), "rb") as f:
            for line in f.read().decode("cp932").splitlines():
                line = line.strip()
                if line.startswith("["):
                    section = line.strip("[]")
                elif "=" in line:
                    k, v = line.split("=", 1)
                    values[section + "." + k.strip()] = v.strip()
        return values

    def read_log(self):
        with open(self.log_path(), "rb") as f:
            return f.read()


def main():
    parser = argparse.ArgumentParser()
    for opt in ("--work", "--velmor", "--helper", "--standins", "--loader"):
        parser.add_argument(opt, required=True)
    parser.add_argument("--installer", help="the stand-in installer tool's folder, copied beside velmor.exe")
    parser.add_argument("suite")
    parser.add_argument("cases", nargs="*")
    args = parser.parse_args()
    suite = e2e_cases.SUITES[args.suite]
    env = Env(args)
    failures = 0
    try:
        env.start()
        for name, case in suite:
            if args.cases and name not in args.cases:
                continue
            print("=== case", name, flush=True)
            for p in env.procs:
                if p.poll() is None:
                    p.kill()
            env.procs.clear()
            env.velmor_errors.clear()
            for f in (env.ini_path(), env.log_path()):
                if os.path.exists(f):
                    os.remove(f)
            try:
                case(env)
                # A crash fails the case, whatever the files and windows looked like.
                crashed = env.crashes()
                if crashed:
                    raise AssertionError("velmor.exe crashed: " + "; ".join(crashed))
                print("--- ok", name, flush=True)
            except Exception:
                failures += 1
                traceback.print_exc()
                for line in env.crashes():
                    print("velmor.exe crashed:", line)
                print("--- FAILED", name, flush=True)
    except Skip as s:
        print("skipped:", s)
        return 77
    finally:
        env.stop()
    print("%d case(s) failed" % failures if failures else "all cases passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
