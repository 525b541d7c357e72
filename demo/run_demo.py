"""Runs the updater once against the demo update server, in a private Wine prefix. With
--signing-key, the sample database is signed with that private key (the updater having been built
with its public half) and the index carries the signature, so that the update installs only
because the signature verifies.
With --https, the server serves the index and the database over TLS with a certificate from a
demo authority made in the build folder, which the demo's prefix (and nothing else) is made to
trust; the updater must then have been built with the https index URL.

With a reachable X display the real window appears for you to answer. Without one the program
runs inside Xvfb, the UI driver answers as a user would (Yes to the question, OK to the boxes),
and screenshots are saved. Either way the outcome is printed: the exit code, which folders were
updated, and whether their copies match the server's. Every process started here is stopped
before the script ends.
"""
import argparse
import os
import shutil
import signal
import socket
import subprocess
import sys
import time

REPO = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.path.insert(0, os.path.join(REPO, "tests", "support"))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))
sys.path.insert(0, os.path.join(REPO, "demo"))
sys.path.insert(0, os.path.join(REPO, "tools"))

import demo_tls  # noqa: E402  (demo/demo_tls.py)
import update_server  # noqa: E402  (demo/update_server.py)
import wineprefix  # noqa: E402
from harness import IDOK, IDYES, Driver  # noqa: E402
from xvfb import Xvfb  # noqa: E402

EXIT_MEANINGS = {0: "done, or nothing to do", 1: "start-up failure",
                 2: "declined or cancelled by the user", 3: "update not obtained",
                 4: "installation failed"}
OLD_TIME = 1672531200  # 2023-01-01 00:00:00 UTC: the installed copies are older
FOLDERS = {  # Windows path -> why the program uses it
    r"C:\Orvanta\Tessfetch": "named on the command line",
    r"C:\Program Files\Orvanta\Shared Files": "found by the program (shared files)",
}
APP_DIR = r"C:\Mivetrak"
TOOLS_DIR = r"C:\demo-tools"


def linux_path(drive_c, windows_path):
    parts = [p for p in windows_path[3:].split("\\") if p]
    return os.path.join(drive_c, *parts)


def display_reachable(display):
    """True when an X server answers on the display (local socket or TCP)."""
    if not display:
        return False
    host, _, rest = display.rpartition(":")
    number = rest.split(".")[0]
    if not number.isdigit():
        return False
    try:
        if host in ("", "unix"):
            with socket.socket(socket.AF_UNIX) as s:
                s.settimeout(2)
                s.connect(f"/tmp/.X11-unix/X{number}")
        else:
            socket.create_connection((host, 6000 + int(number)), timeout=2).close()
        return True
    except OSError:
        return False


def screenshot(display, folder, name):
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name + ".png")
    result = subprocess.run(["import", "-window", "root", "-display", display, path],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)
    return path if result.returncode == 0 else None


def answer_as_a_user(program, driver, display, shots):
    """Answers every box until the program ends; reports what it saw."""
    step = 0
    took_progress_shot = False
    while program.poll() is None:
        rc, lines = driver.run("wait", "any", timeout_ms=1000)
        if rc != 0 or not lines or "kind" not in lines[-1]:
            continue
        window = lines[-1]
        if window["kind"] == "dialog":
            if not took_progress_shot and 20 < window.get("position", 0) < 90:
                took_progress_shot = True
                path = screenshot(display, shots, f"{step:02d}-progress")
                print(f"  progress dialog: {window['status']} {window['percent']}"
                      + (f"  (screenshot {os.path.relpath(path, REPO)})" if path else ""))
                step += 1
            time.sleep(0.1)
            continue
        # A box: read it, keep a picture, answer it.
        boxes = [w for w in driver.run("list")[1] if w.get("kind") == "box"]
        box = boxes[0] if boxes else window
        path = screenshot(display, shots, f"{step:02d}-box")
        step += 1
        answer = IDYES if IDYES in box["buttons"] else IDOK
        print(f"  box \"{box['caption']}\": {box['text']!r}")
        print(f"    -> pressing {'Yes' if answer == IDYES else 'OK'}"
              + (f"  (screenshot {os.path.relpath(path, REPO)})" if path else ""))
        driver.run("press", "box", answer, timeout_ms=3000)
        driver.run("gone", "box", timeout_ms=3000)


def published_index(signing_key, build_dir, scheme):
    """The index as the maker publishes it: tools/sign_database.py index run on the sample
    database, released at the time the demo server gives it, at URLs of the given scheme."""
    database = os.path.join(build_dir, "demo-database.bdb")
    with open(database, "wb") as out:
        out.write(update_server.sample_database())
    released = time.strftime("%a, %d %b %Y %H:%M:%S GMT", time.gmtime(update_server.LAST_MODIFIED))
    url = f"{scheme}://{update_server.HOST}:{update_server.PORT}"
    return subprocess.run(
        [sys.executable, os.path.join(REPO, "tools", "sign_database.py"), "index", signing_key,
         database, "--primary", url + update_server.PRIMARY_PATH,
         "--backup", url + update_server.BACKUP_PATH, "--released", released],
        check=True, capture_output=True, text=True).stdout


def trust_prefix(prefix, bin_dir, drive_c, authority):
    """Makes the demo's prefix trust the demo authority, as an administrator makes a client
    machine trust the authority behind a maker's certificate."""
    for path in (os.path.join(bin_dir, "trust_root.exe"), authority):
        shutil.copy2(path, linux_path(drive_c, TOOLS_DIR))
    name = os.path.basename(authority)
    demo_tls.trust_in_prefix(wineprefix.wine_env(prefix), TOOLS_DIR + "\\trust_root.exe",
                             TOOLS_DIR + "\\" + name)
    print(f"  the prefix trusts the demo authority ({TOOLS_DIR}\\{name}); the host does not")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", default=os.path.join(REPO, "build", "demo"))
    parser.add_argument("--signing-key", help="private key whose public half the updater was "
                                              "built with; the index then carries a signature")
    parser.add_argument("--https", action="store_true",
                        help="serve over TLS with a demo authority that the prefix trusts")
    args = parser.parse_args()
    build_dir = os.path.abspath(args.build_dir)
    bin_dir = os.path.join(build_dir, "bin")

    started = []          # processes to stop at the end
    prefix = None
    server = None
    program = None

    def stop_on_signal(signum, frame):
        raise KeyboardInterrupt
    signal.signal(signal.SIGTERM, stop_on_signal)

    try:
        tls = None
        if args.https:
            paths = demo_tls.make_certificates(os.path.join(build_dir, "demo-tls"))
            tls = (paths["certificate"], paths["key"])
            print(f"  made the demo authority and the server's certificate in "
                  f"{os.path.relpath(os.path.dirname(paths['key']), REPO)}")
        print(f"== starting the demo update server on 127.0.0.1:28461"
              f"{' (https)' if tls else ''}")
        index = None
        if args.signing_key:
            index = published_index(args.signing_key, build_dir, "https" if tls else "http")
            print(f"  the index, made by tools/sign_database.py index with "
                  f"{os.path.relpath(args.signing_key, REPO)}, carries the maker's statement:")
            for line in index.splitlines()[3:]:
                print(f"    {line[:60]}{'...' if len(line) > 60 else ''}")
        try:
            server = update_server.DemoServer(index=index, tls=tls).start()
        except RuntimeError as error:
            print(f"cannot listen on 127.0.0.1:28461 ({error}); is another run using it?")
            return 1

        print("== preparing a private Wine prefix (the first time takes about 15 s)")
        prefix = wineprefix.clone_prefix(build_dir, os.path.join(build_dir, "demo-prefix"))
        drive_c = os.path.join(prefix, "drive_c")
        os.makedirs(linux_path(drive_c, APP_DIR))
        for name in ("Mivetrak.exe", "Mivetrak.rsl"):
            shutil.copy2(os.path.join(bin_dir, name), linux_path(drive_c, APP_DIR))
        os.makedirs(linux_path(drive_c, TOOLS_DIR))
        shutil.copy2(os.path.join(bin_dir, "ui_driver.exe"), linux_path(drive_c, TOOLS_DIR))
        if tls:
            trust_prefix(prefix, bin_dir, drive_c, paths["authority"])
        old = b"TOLVAR32 DRIVE DATABASE - OLDER COPY\r\n" * 512
        for folder, why in FOLDERS.items():
            path = linux_path(drive_c, folder)
            os.makedirs(path, exist_ok=True)
            database = os.path.join(path, "Tolvar32.bdb")
            with open(database, "wb") as f:
                f.write(old)
            os.utime(database, (OLD_TIME, OLD_TIME))
            print(f"  {folder}\\Tolvar32.bdb: older copy, {len(old)} bytes ({why})")

        display = os.environ.get("DISPLAY", "")
        interactive = display_reachable(display)
        if not interactive:
            try:
                xvfb = Xvfb()
            except RuntimeError as error:
                raise SystemExit(str(error))
            display = xvfb.display
            started.append(xvfb.process)
        env = wineprefix.wine_env(prefix, display)
        if interactive:
            # On a desktop with a window manager, let it frame and focus the windows as usual
            # (the test prefixes turn that off because no manager runs in Xvfb).
            subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v",
                            "Managed", "/t", "REG_SZ", "/d", "Y", "/f"], env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        command = ["wine", APP_DIR + "\\Mivetrak.exe", r"C:\Orvanta\Tessfetch"]
        where = "your display" if interactive else "a virtual display (Xvfb)"
        print(f"== running: Mivetrak.exe C:\\Orvanta\\Tessfetch   on {where} {display}")
        program = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        started.insert(0, program)
        if interactive:
            print("  The updater's window is on your screen: answer its question and its boxes.")
            code = program.wait()
        else:
            print("  No display: running in Xvfb and answering as a user would.")
            driver = Driver(env, TOOLS_DIR + "\\ui_driver.exe")
            shots = os.path.join(build_dir, "demo-screenshots")
            shutil.rmtree(shots, ignore_errors=True)
            answer_as_a_user(program, driver, display, shots)
            code = program.wait(timeout=60)

        print(f"== outcome: exit code {code} ({EXIT_MEANINGS.get(code, 'unknown')})")
        for folder in FOLDERS:
            database = os.path.join(linux_path(drive_c, folder), "Tolvar32.bdb")
            with open(database, "rb") as f:
                body = f.read()
            mtime = int(os.stat(database).st_mtime)
            if body == server.database and mtime == update_server.LAST_MODIFIED:
                state = ("updated: identical to the server's copy, with the release time "
                         "of the maker's statement verified against the built-in key"
                         if index else "updated: identical to the server's copy, with the "
                         "server's Last-Modified time")
            elif body == server.database:
                state = "updated: identical to the server's copy, but with another time"
            elif body == old:
                state = "not changed"
            else:
                state = "DIFFERS from both the older copy and the server's"
            print(f"  {folder}\\Tolvar32.bdb: {state}")
        return code
    except KeyboardInterrupt:
        print("interrupted")
        return 130
    finally:
        # The program first, then whatever else runs in its prefix, then the display.
        for process in started:
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
            if process is program and prefix:
                wineprefix.stop_wineserver(prefix)
        if prefix:
            wineprefix.stop_wineserver(prefix)
        if server:
            server.stop()

if __name__ == "__main__":
    sys.exit(main())
