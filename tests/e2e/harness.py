"""The end-to-end harness: one Wine prefix per test case, the real program started in it, the
UI driver to read and press its windows, screenshots of the virtual screen, and helpers to look
at the prefix's disk from the Linux side."""
import json
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import wineprefix  # noqa: E402

PROGRAM = "Mivetrak.exe"
LIBRARY = "Mivetrak.rsl"
DRIVER = "ui_driver.exe"
DATABASE = "Tolvar32.bdb"
WORK_FOLDER = "orzavtmp"
APP_PATHS_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\Tellyra.exe"

# Folders inside the prefix where the program and the driver are put.
APP_DIR = r"C:\Mivetrak"
DRIVER_DIR = r"C:\e2e"

# Button ids of message boxes.
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7


class HarnessError(AssertionError):
    pass


def parse_lines(text):
    out = []
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("{"):
            try:
                out.append(json.loads(line))
            except ValueError:
                pass
    return out


class Driver:
    """Runs ui_driver.exe in a prefix and on a display (as the prefix's Linux user)."""

    def __init__(self, env, driver_path, user=None):
        self.env = env
        self.driver_path = driver_path
        self.user = user

    def command(self, *args, timeout_ms=10000):
        command = [*wineprefix.as_user(self.user), "wine", self.driver_path,
                   *[str(a) for a in args]]
        if args and args[0] not in ("strings", "message", "paths", "list"):
            command += ["--timeout", str(timeout_ms)]
        return command

    def run(self, *args, timeout_ms=10000):
        command = self.command(*args, timeout_ms=timeout_ms)
        try:
            done = subprocess.run(command, env=self.env, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, timeout=timeout_ms / 1000 + 30)
        except subprocess.TimeoutExpired:
            raise HarnessError(f"ui_driver {' '.join(map(str, args))} did not end")
        return done.returncode, parse_lines(done.stdout.decode("utf-8", "replace"))

    def run_while(self, process, *args, timeout_ms=10000, grace=1.0):
        """Like run, but gives up soon after the watched process has ended: a window that a
        program which has exited never showed will not appear."""
        driver = subprocess.Popen(self.command(*args, timeout_ms=timeout_ms), env=self.env,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + timeout_ms / 1000 + 30
        ended_at = None
        while driver.poll() is None:
            now = time.monotonic()
            if ended_at is None and process is not None and process.poll() is not None:
                ended_at = now
            if now >= deadline or (ended_at is not None and now - ended_at > grace):
                driver.kill()
                driver.wait()
                return None, [{"program_ended": process.poll()}]
            time.sleep(0.02)
        return driver.returncode, parse_lines(driver.stdout.read().decode("utf-8", "replace"))


class Case:
    """One test case: its own prefix cloned from the build's template, its display and files.
    With a user, the prefix, the programs and the folders made in it are that Linux user's, and
    every Wine program of the case runs as that user (with that user's rights)."""

    def __init__(self, build_dir, display, work_root, name, paths, screenshot_dir, user=None):
        self.build_dir = build_dir
        self.display = display
        self.name = name
        self.user = user
        self.run_as = wineprefix.as_user(user)
        self.root = os.path.join(work_root, name)
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        self.prefix = wineprefix.clone_prefix(build_dir, os.path.join(self.root, "prefix"), user)
        self.drive_c = os.path.join(self.prefix, "drive_c")
        self.env = wineprefix.wine_env(self.prefix, display)
        self.screenshot_dir = screenshot_dir
        self.shots = []
        self.mounts = []
        self.process = None
        self.helpers = []
        self.exit_code = None

        self.app_dir = self.linux_path(APP_DIR)
        os.makedirs(self.app_dir)
        bin_dir = os.path.join(build_dir, "bin")
        for name_ in (PROGRAM, LIBRARY):
            shutil.copy2(os.path.join(bin_dir, name_), self.app_dir)
        os.makedirs(self.linux_path(DRIVER_DIR))
        shutil.copy2(os.path.join(bin_dir, DRIVER), self.linux_path(DRIVER_DIR))
        wineprefix.give_to(self.app_dir, user)
        wineprefix.give_to(self.linux_path(DRIVER_DIR), user)
        self.driver = Driver(self.env, DRIVER_DIR + "\\" + DRIVER, user)
        if paths is None:
            # The prefix's own answer, for a user whose folders the session's probe did not see.
            _, lines = self.driver.run("paths")
            if not lines:
                raise HarnessError("the UI driver cannot read the prefix's folders")
            paths = lines[0]

        self.temp_dir = self.linux_path(paths["temp"])
        os.makedirs(self.temp_dir, exist_ok=True)
        self.give(self.temp_dir)
        self.work_folder = os.path.join(self.temp_dir, WORK_FOLDER)
        self.program_files = self.linux_path(paths["program_files"])
        self.shared_files = os.path.join(self.program_files, "Orvanta", "Shared Files")

    # -- paths -------------------------------------------------------------------------------
    def linux_path(self, windows_path):
        match = re.match(r"^[cC]:\\?(.*)$", windows_path)
        if not match:
            raise HarnessError(f"not a path on drive C: {windows_path}")
        parts = [p for p in match.group(1).split("\\") if p]
        return os.path.join(self.drive_c, *parts)

    def windows_path(self, linux_path):
        rel = os.path.relpath(linux_path, self.drive_c)
        if rel.startswith(".."):
            raise HarnessError(f"not inside drive C: {linux_path}")
        return "C:\\" + ("" if rel == "." else rel.replace("/", "\\"))

    def give(self, path):
        """Makes the case's user the owner of what the harness made at path (as root)."""
        wineprefix.give_to(path, self.user)

    def make_folder(self, windows_path, database=None, mtime=None, users_own=True):
        """Makes a folder on drive C:, optionally holding a database with the given mtime. It
        belongs to the case's user unless users_own is false: then the user may only read it."""
        folder = self.linux_path(windows_path)
        os.makedirs(folder, exist_ok=True)
        if database is not None:
            self.put_database(folder, database, mtime)
        if users_own:
            self.give(folder)
        return folder

    @staticmethod
    def put_database(folder, body, mtime=None):
        path = os.path.join(folder, DATABASE)
        with open(path, "wb") as f:
            f.write(body)
        if mtime is not None:
            os.utime(path, (mtime, mtime))
        return path

    def mount_tmpfs(self, windows_path, size):
        """Mounts a tiny tmpfs at a folder of drive C: (needs root), so that copies into it fail
        for lack of space."""
        folder = self.linux_path(windows_path)
        os.makedirs(folder, exist_ok=True)
        subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size},mode=0755", "tmpfs", folder],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.mounts.append(folder)
        return folder

    def work_folder_files(self):
        if not os.path.isdir(self.work_folder):
            return None
        return sorted(os.listdir(self.work_folder))

    # -- Wine --------------------------------------------------------------------------------
    def install_helper(self, name):
        """Copies a helper program of the build into the prefix; returns its Windows path."""
        source = os.path.join(self.build_dir, "bin", name)
        if not os.path.isfile(source):
            raise HarnessError(f"the build lacks {name}")
        shutil.copy2(source, self.linux_path(DRIVER_DIR))
        return DRIVER_DIR + "\\" + name

    def reg_add(self, key, value, data, view=None):
        """Writes a text value; view 32 or 64 names the registry view (Debian's plain
        "wine reg" is the 32-bit reg.exe, which writes the 32-bit view)."""
        args = [*self.run_as, "wine", "reg", "add", key]
        args += ["/ve"] if value is None else ["/v", value]
        args += ["/t", "REG_SZ", "/d", data, "/f"]
        if view is not None:
            args.append(f"/reg:{view}")
        subprocess.run(args, env=self.env, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)

    def reg_has_key(self, key, view):
        """Whether the key exists in the given registry view (32 or 64)."""
        done = subprocess.run([*self.run_as, "wine", "reg", "query", key, f"/reg:{view}"],
                              env=self.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        return done.returncode == 0

    def split_app_paths_views(self):
        """Gives the App Paths key a 32-bit view of its own. Wine makes the 32-bit key a link to
        the 64-bit one, so that an entry shows in both views; Windows keeps the views apart for
        what a 32-bit installer may write. The link is dropped from the prefix's system.reg while
        no Wine process runs in it."""
        wineprefix.stop_wineserver(self.prefix, self.user)
        path = os.path.join(self.prefix, "system.reg")
        with open(path, encoding="utf-8") as f:
            lines = f.read().split("\n")
        header = r"[Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths]"
        start = next((i for i, line in enumerate(lines) if line.startswith(header)), None)
        if start is None:
            raise HarnessError("the prefix has no 32-bit App Paths key")
        end = start + 1
        while end < len(lines) and lines[end].strip():
            end += 1
        kept = [line for line in lines[start:end] if line.startswith(("[", "#time"))]
        lines[start:end] = kept
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))

    def start(self, *args, exe_dir=APP_DIR, cwd=None, wine_path=None):
        """Starts the program with the given arguments (each handed over as one argument),
        optionally in the current folder cwd and with the folder wine_path on its PATH (both
        Windows paths on drive C:)."""
        command = [*self.run_as, "wine", exe_dir + "\\" + PROGRAM, *args]
        env = dict(self.env)
        if wine_path is not None:
            env["WINEPATH"] = wine_path
        self.process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL,
                                        cwd=None if cwd is None else self.linux_path(cwd))
        return self.process

    def start_another(self, *args):
        """Starts one more run of the program beside the one that start() began."""
        process = subprocess.Popen([*self.run_as, "wine", APP_DIR + "\\" + PROGRAM, *args],
                                   env=self.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.helpers.append(process)
        return process

    def start_helper(self, windows_exe, *args):
        process = subprocess.Popen([*self.run_as, "wine", windows_exe, *args], env=self.env,
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL)
        self.helpers.append(process)
        return process

    def wait_exit(self, timeout=30):
        try:
            self.exit_code = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.screenshot("hung")
            _, windows = self.driver.run("list")
            self.process.kill()
            raise HarnessError(f"the program did not end within {timeout} s; windows: {windows}")
        return self.exit_code

    def running(self):
        return self.process is not None and self.process.poll() is None

    # -- the UI ------------------------------------------------------------------------------
    def wait_window(self, kind, timeout_ms=15000, **filters):
        """Waits for a box or the dialog; returns what the driver read of it."""
        args = ["wait", kind]
        if "button" in filters:
            args += ["--button", filters["button"]]
        if "caption" in filters:
            args += ["--caption", filters["caption"]]
        rc, lines = self.driver.run_while(self.process, *args, timeout_ms=timeout_ms)
        if rc != 0 or not lines or "hwnd" not in lines[-1]:
            exit_code = self.process.poll() if self.process else None
            raise HarnessError(f"no {kind} appeared within {timeout_ms} ms "
                               f"(program exit code {exit_code}): {lines}")
        return lines[-1]

    def wait_box(self, timeout_ms=15000, **filters):
        """Waits for a message box, optionally one with a given button or caption."""
        return self.wait_window("box", timeout_ms, **filters)

    def press(self, kind, button, timeout_ms=5000):
        rc, lines = self.driver.run("press", kind, button, timeout_ms=timeout_ms)
        if rc != 0:
            raise HarnessError(f"could not press {button} on a {kind}: {lines}")
        return lines[-1]

    def close_window(self, kind, timeout_ms=5000):
        """Chooses Close on the window's menu, as the title bar's close button does."""
        rc, lines = self.driver.run("close", kind, timeout_ms=timeout_ms)
        if rc != 0:
            raise HarnessError(f"could not close a {kind}: {lines}")
        return lines[-1]

    def wait_gone(self, kind, timeout_ms=5000):
        rc, lines = self.driver.run("gone", kind, timeout_ms=timeout_ms)
        return rc == 0, lines

    def windows(self):
        return self.driver.run("list")[1]

    def box_icon(self, box):
        """Tells the icon that a box shows from its colours on screen: the system's information
        icon is blue, its exclamation icon orange-yellow, its error icon red."""
        if "icon" not in box:
            return None
        x, y, w, h = box["icon"]
        done = subprocess.run(["import", "-window", "root", "-display", self.display,
                               "-crop", f"{w}x{h}+{x}+{y}", "-depth", "8", "txt:-"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=20)
        pixels = [tuple(map(int, m.groups())) for m in
                  re.finditer(r"^\d+,\d+: \((\d+),(\d+),(\d+)", done.stdout.decode(), re.M)]
        coloured = [p for p in pixels if max(p) - min(p) > 60]
        if len(coloured) < 50:
            return "none"
        r, g, b = (sum(p[i] for p in coloured) / len(coloured) for i in range(3))
        if b > r + 40 and b > g:
            return "information"
        if r > 170 and g > 100 and b < 100:
            return "exclamation"
        if r > 150 and g < 90 and b < 90:
            return "error"
        return f"unknown ({r:.0f},{g:.0f},{b:.0f})"

    def screenshot(self, step, settle=0.15):
        # A window that has just appeared may not have painted its controls yet.
        time.sleep(settle)
        os.makedirs(self.screenshot_dir, exist_ok=True)
        path = os.path.join(self.screenshot_dir, f"{self.name}-{step}.png")
        try:
            subprocess.run(["import", "-window", "root", "-display", self.display, path],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=20)
            self.shots.append(path)
        except (subprocess.SubprocessError, OSError):
            pass
        return path

    # -- the end -----------------------------------------------------------------------------
    def close(self, keep=False):
        for process in [self.process, *self.helpers]:
            if process is not None and process.poll() is None:
                process.kill()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    pass
        if keep:
            # What is kept is looked at: with the registry as the programs left it.
            wineprefix.stop_wineserver(self.prefix, self.user)
        else:
            wineprefix.end_prefix(self.prefix)
        for folder in reversed(self.mounts):
            result = subprocess.run(["umount", folder], stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
            if result.returncode != 0:
                subprocess.run(["umount", "-l", folder], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        self.mounts = []
        if not keep:
            shutil.rmtree(self.root, ignore_errors=True)


def wait_until(predicate, timeout, interval=0.05):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)
