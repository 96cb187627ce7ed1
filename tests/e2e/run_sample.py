#!/usr/bin/env python3
"""Runs velmor.exe on archives as a user would, for scripts/run.sh: its own Xvfb, Wine prefix and HOME under
the work folder, the stand-in libraries beside the program, "-k" (archives kept). Without archives it makes a
sample ZIP with Japanese member names with Python's zipfile. The archives are copied into the work folder
first, so the run never writes beside the originals. Prints the extracted tree and the tail of VelmorLog.txt
in UTF-8, keeps a picture of the main window taken during the job, and exits 0 only when files were extracted.
The stand-in libraries are told to take a little time per member (about three seconds per archive in all), so
that the job still runs when the window has been drawn.

usage: run_sample.py --work DIR --velmor EXE --helper EXE --standins DIR --loader WINE [ARCHIVE...]
"""
import argparse
import os
import shutil
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import e2e  # noqa: E402
from e2e_cases import make_zip  # noqa: E402
from e2e_input import window_picture, xdo_search  # noqa: E402


def tree(folder):
    out = []
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(root, name)
            out.append("%10d  %s" % (os.path.getsize(path), os.path.relpath(path, folder)))
    return out


def member_delay(archives):
    """Milliseconds the stand-ins wait before each member: about three seconds per pass over an archive."""
    import zipfile
    members = 1
    for a in archives:
        try:
            with zipfile.ZipFile(a) as z:
                members = max(members, len(z.infolist()))
        except (OSError, zipfile.BadZipFile):
            pass
    return max(20, min(800, 3000 // members))


def job_running(env):
    """The window shows a job: its extract button is disabled until the job ends."""
    rc, out = env.helper_run("children", "TfrmMain", "Velmor")
    for line in out.splitlines():
        f = line.split("\t")
        if len(f) > 5 and f[1] == "Button" and f[5] == "解凍":
            return rc == 0 and f[3] == "0"
    return False


def main():
    parser = argparse.ArgumentParser()
    for opt in ("--work", "--velmor", "--helper", "--standins", "--loader"):
        parser.add_argument(opt, required=True)
    parser.add_argument("archives", nargs="*")
    args = parser.parse_args()
    env = e2e.Env(args)
    try:
        env.start()
        archives = []
        if args.archives:
            for a in args.archives:
                target = os.path.join(env.data, os.path.basename(a))
                shutil.copy2(a, target)
                archives.append(target)
        else:
            sample = os.path.join(env.data, "サンプル.zip")
            make_zip(sample, {"説明書/はじめに.txt": "Velmor のサンプルです。\n" * 50,
                              "説明書/表計算.csv": "番号,名前\n1,テスト\n" * 200,
                              "画像/写真.bin": bytes(range(256)) * 400})
            archives.append(sample)
        before = set(tree(env.data))
        env.write_ini(Sub_Other__CmdHideWnd=0)
        script = os.path.join(env.data, "standin_delay.txt")
        with open(script, "wb") as f:
            f.write(b"delay\t%d\r\n" % member_delay(archives))
        p = env.start_velmor("-k", *[env.winpath(a) for a in archives],
                             extra_env={"VELMOR_STANDIN_SCRIPT": env.winpath(script)})
        # The X server tells at once when the window is shown (a helper program would take a Wine start).
        shot = None
        deadline = time.time() + 60
        while p.poll() is None and time.time() < deadline and not xdo_search(env, "Velmor"):
            time.sleep(0.2)
        if p.poll() is None and xdo_search(env, "Velmor"):
            time.sleep(1.0)  # drawn, and the job under way
            shot = window_picture(env, "run", "Velmor", env.shots)
            if p.poll() is not None or not job_running(env):
                print("the job ended while the picture was taken: it may show the end")
        deadline = time.time() + 300
        while p.poll() is None and time.time() < deadline:
            time.sleep(0.5)
        if p.poll() is None:
            p.kill()
            print("velmor did not end within 300 s")
            return 1
        print("\n=== extracted files (under %s)" % env.data)
        extracted = [line for line in tree(env.data) if line not in before]
        print("\n".join(extracted) if extracted else "(none)")
        print("\n=== VelmorLog.txt (last lines)")
        if os.path.exists(env.log_path()):
            lines = env.read_log().decode("cp932", "replace").split("\r\n")
            print("\n".join(lines[-30:]))
        if shot:
            print("\npicture of the window during the job:", shot)
        else:
            print("\nno picture: the window was not shown during the job")
        return 0 if extracted else 1
    except e2e.Skip as s:
        print("cannot run:", s)
        return 1
    finally:
        env.stop()


if __name__ == "__main__":
    sys.exit(main())
