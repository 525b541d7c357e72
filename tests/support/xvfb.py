"""The one way the tests, the benchmarks and the demo start a virtual X server: Xvfb on a display
number that it picks itself (-displayfd), with a 1024x768 true-colour screen, no TCP listener,
and no reset when its last client leaves. The server ends with the process that started it,
even when that process is killed."""
import os
import select
import signal
import subprocess

SCREEN = "1024x768x24"


def _end_with_parent():
    """Runs in the child before exec: the kernel ends it when its parent dies."""
    try:
        import ctypes
        ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    except OSError:
        pass


class Xvfb:
    """A running Xvfb; display is its ":N". Use it as a context manager, or call stop()."""

    def __init__(self, timeout=15):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN, "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=_end_with_parent)
        os.close(write_end)
        number = b""
        try:
            while not number.endswith(b"\n"):
                ready, _, _ = select.select([read_end], [], [], timeout)
                chunk = os.read(read_end, 16) if ready else b""
                if not chunk:
                    self.stop()
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        finally:
            os.close(read_end)
        self.display = ":" + number.decode().strip()

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
