"""Wine prefixes for the tests: one template per build folder, cheap copies per test case."""
import os
import shutil
import subprocess
import threading

_lock = threading.Lock()

# Folders of the prefix that Wine only reads: hard-linked into each copy.
_LINKED = ("drive_c/windows/system32", "drive_c/windows/syswow64")


def wine_env(prefix, display=None):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": prefix,
        "WINEARCH": "win64",
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        # Wine converts HTTP dates to SYSTEMTIME through the host's zone for some zones.
        "TZ": "UTC",
    })
    if display:
        env["DISPLAY"] = display
    return env


def template_dir(build_dir):
    return os.path.join(os.path.abspath(build_dir), "wineprefix-template")


def ensure_template(build_dir):
    """Makes the template prefix once; returns its path."""
    prefix = template_dir(build_dir)
    marker = os.path.join(prefix, ".mivetrak-ready")
    with _lock:
        if os.path.exists(marker):
            return prefix
        shutil.rmtree(prefix, ignore_errors=True)
        os.makedirs(os.path.dirname(prefix), exist_ok=True)
        env = wine_env(prefix)
        env.pop("DISPLAY", None)
        subprocess.run(["wineboot", "--init"], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        # Without a window manager Wine stalls on every window close unless windows are unmanaged.
        subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed",
                        "/t", "REG_SZ", "/d", "N", "/f"], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        subprocess.run(["wineserver", "-w"], env=env, check=True, timeout=120)
        open(marker, "w").close()
        return prefix


def clone_prefix(build_dir, dest):
    """Copies the template prefix to dest (large DLL folders hard-linked); returns dest."""
    template = ensure_template(build_dir)
    shutil.rmtree(dest, ignore_errors=True)
    linked = [os.path.join(template, p) for p in _LINKED]

    def ignore(directory, names):
        return [n for n in names if os.path.join(directory, n) in linked]

    shutil.copytree(template, dest, symlinks=True, ignore=ignore)
    for rel in _LINKED:
        src = os.path.join(template, rel)
        if os.path.isdir(src):
            subprocess.run(["cp", "-al", src, os.path.join(dest, rel)], check=True)
    return dest


def stop_wineserver(prefix):
    subprocess.run(["wineserver", "-k"], env=wine_env(prefix),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
