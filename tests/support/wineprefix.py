"""Wine for the tests, the benchmarks and the demo: the one place that sets Wine's environment,
one template prefix per build folder, and cheap copies of it per test case.

Run as a program, "wineprefix.py run PROGRAM [ARGS...]" runs a Windows program under Wine in
WINEPREFIX, or, when that is not set, in the template prefix of MIVETRAK_BUILD_DIR (default
build/win), made on first use; scripts/wine-run.sh, the build's cross-compiling emulator, is
this. "wineprefix.py templates BUILD_DIR" makes the build's template prefixes ahead of the tests
(scripts/test.sh does while it builds): the one of the current user and, as root, the one of
TEST_USER."""
import fcntl
import os
import pwd
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

_lock = threading.Lock()

# Folders of the prefix that Wine only reads: hard-linked into each copy.
_LINKED = ("drive_c/windows/system32", "drive_c/windows/syswow64")

# Wine's environment for every program that the tests, the benchmarks and the demo run.
WINE_SETTINGS = {
    "WINEARCH": "win64",
    "WINEDEBUG": "-all",
    # Without Mono and Gecko: making a prefix would otherwise stop to offer to install them.
    "WINEDLLOVERRIDES": "mscoree,mshtml=",
    # One zone for every run, whatever the host's; a test that runs in another names it in
    # MIVETRAK_WINE_TZ.
    "TZ": "UTC",
}

# What ensure_template sets in a new prefix; written into its marker, so that a template made
# with other settings is made anew.
TEMPLATE_SETTINGS = "X11 Driver Managed=N; WineDbg ShowCrashDialog=0\n"

# The unprivileged Linux user whose Wine programs meet folders they may not write, as a standard
# user meets Program Files on Windows (run as root, Wine can write everything).
TEST_USER = "mivetrak-e2e"

REPO = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def wine_env(prefix, display=None):
    env = dict(os.environ)
    env.update(WINE_SETTINGS)
    env["TZ"] = env.get("MIVETRAK_WINE_TZ", env["TZ"])
    # Wine reads arguments through the Unix locale; without one that is installed, every
    # character beyond ASCII reaches the program garbled. A test that needs another sets LANG.
    env.setdefault("LANG", "C.UTF-8")
    env["WINEPREFIX"] = prefix
    if display:
        env["DISPLAY"] = display
    return env


def as_user(user):
    """The words that run a command as the given Linux user (none for the current one). Wine
    runs a prefix only for the user who owns it, with that user's rights."""
    return ["runuser", "-u", user, "--"] if user else []


def ensure_user(user):
    """Creates the unprivileged Linux user (with a home folder) unless it exists; needs root."""
    # Tests that run side by side may both find the user missing: useradd fails for the one
    # that comes second (the user exists, or the other still holds the password files' lock).
    for attempt in range(20):
        try:
            pwd.getpwnam(user)
            return
        except KeyError:
            pass
        done = subprocess.run(["useradd", "--create-home", "--shell", "/usr/sbin/nologin", user],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if done.returncode == 0:
            return
        time.sleep(0.25)
    raise subprocess.CalledProcessError(done.returncode, done.args, stderr=done.stderr)


def give_to(path, user):
    """Makes the user the owner of path and everything below it."""
    if user:
        subprocess.run(["chown", "-R", f"{user}:", path], check=True)


def template_dir(build_dir, user=None):
    name = "wineprefix-template" + (f"-{user}" if user else "")
    return os.path.join(os.path.abspath(build_dir), name)


def installed_wine():
    """The installed Wine packages with their architectures and versions, one per line. A prefix
    made under one set does not necessarily work under another: one made before wine32 was
    installed cannot start a 32-bit program ("could not load kernel32.dll")."""
    done = subprocess.run(["dpkg-query", "-W", "-f", "${db:Status-Abbrev} ${Package}:${Architecture}"
                           " ${Version}\n"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    lines = [line.split(None, 1)[1] for line in done.stdout.decode().splitlines()
             if line.startswith("ii ") and re.match(r"ii\s+(lib)?wine", line)]
    return "\n".join(sorted(lines)) + "\n"


def _template_is_ready(marker, wine):
    try:
        with open(marker) as f:
            return f.read() == wine
    except OSError:
        return False


def ensure_template(build_dir, user=None):
    """Makes the template prefix once for the installed Wine (for the given Linux user, or the
    current one); returns its path. A template made under other Wine packages or with
    other settings is made anew."""
    prefix = template_dir(build_dir, user)
    marker = os.path.join(prefix, ".mivetrak-ready")
    made_with = installed_wine() + TEMPLATE_SETTINGS
    # Tests run side by side, in threads and in processes of their own: one makes the template,
    # the others wait for it.
    os.makedirs(os.path.dirname(prefix), exist_ok=True)
    with _lock, open(prefix + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if _template_is_ready(marker, made_with):
            return prefix
        shutil.rmtree(prefix, ignore_errors=True)
        os.makedirs(prefix)
        give_to(prefix, user)
        env = wine_env(prefix)
        env.pop("DISPLAY", None)
        run = as_user(user)
        subprocess.run([*run, "wineboot", "--init"], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        # Without a window manager Wine stalls on every window close unless windows are unmanaged.
        subprocess.run([*run, "wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v",
                        "Managed", "/t", "REG_SZ", "/d", "N", "/f"], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        # A crash ends the process at once instead of waiting in the debugger's dialog.
        subprocess.run([*run, "wine", "reg", "add", r"HKCU\Software\Wine\WineDbg", "/v",
                        "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f"], env=env,
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=120)
        subprocess.run([*run, "wineserver", "-w"], env=env, check=True, timeout=120)
        with open(marker, "w") as f:
            f.write(made_with)
        return prefix


def clone_prefix(build_dir, dest, user=None):
    """Copies the template prefix to dest (large DLL folders hard-linked); returns dest. For a
    user, the copy is that user's."""
    template = ensure_template(build_dir, user)
    shutil.rmtree(dest, ignore_errors=True)
    linked = [os.path.join(template, p) for p in _LINKED]

    def ignore(directory, names):
        return [n for n in names if os.path.join(directory, n) in linked]

    shutil.copytree(template, dest, symlinks=True, ignore=ignore)
    for rel in _LINKED:
        src = os.path.join(template, rel)
        if os.path.isdir(src):
            subprocess.run(["cp", "-al", src, os.path.join(dest, rel)], check=True)
    # The hard-linked files are the user's template's own already.
    give_to(dest, user)
    return dest


def stop_wineserver(prefix, user=None):
    """Ends every Wine process of the prefix and its server, which first writes the registry
    back to the prefix's files. That takes the server half a second and more, the time it gives
    the processes to end by themselves."""
    subprocess.run([*as_user(user), "wineserver", "-k"], env=wine_env(prefix),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def _wine_processes(prefix):
    """The ids of the Wine processes (the server among them) that run in the prefix."""
    wanted = b"WINEPREFIX=" + os.fsencode(prefix)
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            if not os.path.basename(os.readlink(f"/proc/{entry}/exe")).startswith("wine"):
                continue
            with open(f"/proc/{entry}/environ", "rb") as f:
                if wanted in f.read().split(b"\0"):
                    found.append(int(entry))
        except OSError:
            pass
    return found


def _gone(pid):
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            # The state follows the command name in parentheses; Z: ended, not yet reaped.
            return f.read().rsplit(b")", 1)[1].split()[0] == b"Z"
    except (OSError, IndexError):
        return True


def end_prefix(prefix, timeout=10.0):
    """Kills every Wine process of a prefix that is about to be deleted, its server too, and
    waits until they have ended: nothing of the prefix is worth the server's orderly shutdown
    (stop_wineserver), which would cost every test case more than half a second."""
    prefix = os.path.abspath(prefix)
    deadline = time.monotonic() + timeout
    while True:
        pids = _wine_processes(prefix)
        for pid in pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        # A process that was starting may not have shown its environment yet: look again.
        if not pids or time.monotonic() >= deadline:
            return
        while not all(_gone(pid) for pid in pids) and time.monotonic() < deadline:
            time.sleep(0.01)


def run(argv):
    """Replaces this process with wine running argv, in Wine's environment."""
    prefix = os.environ.get("WINEPREFIX")
    if not prefix:
        build_dir = os.environ.get("MIVETRAK_BUILD_DIR", os.path.join(REPO, "build", "win"))
        prefix = ensure_template(build_dir)
    env = wine_env(prefix, os.environ.get("DISPLAY"))
    os.execvpe("wine", ["wine", *argv], env)


def make_templates(build_dir):
    """Makes the build's template prefixes that its tests use. Making one is mostly waiting for
    Wine (some 12 s, using about half of one core), so it fits beside a build."""
    ensure_template(build_dir)
    if os.geteuid() == 0:
        ensure_user(TEST_USER)
        ensure_template(build_dir, TEST_USER)


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "run":
        run(sys.argv[2:])
    elif len(sys.argv) == 3 and sys.argv[1] == "templates":
        make_templates(sys.argv[2])
    else:
        sys.exit("usage: wineprefix.py run PROGRAM [ARGS...] | wineprefix.py templates BUILD_DIR")
