#!/usr/bin/python3
"""Runs COMMAND with a file and the index section that tools/sign_database.py index made for it at
test time (a new key pair each run), and exits with COMMAND's exit code. COMMAND sees
MIVETRAK_SIGNED_FILE (the file's Windows path), MIVETRAK_SIGNED_FILE_KEY (the public key as
keygen printed it) and MIVETRAK_SIGNED_INDEX (the Windows path of the index section).

Usage: signed_file_fixture.py COMMAND [ARGS...]
"""
import os
import subprocess
import sys
import tempfile

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                    "sign_database.py")


def tool(*args):
    return subprocess.run([sys.executable, TOOL] + list(args), check=True,
                          capture_output=True, text=True).stdout.strip()


with tempfile.TemporaryDirectory() as folder:
    signed = os.path.join(folder, "signed.bin")
    with open(signed, "wb") as out:
        out.write(os.urandom(5 * 65536 + 1234))  # several 64 KiB chunks and a short one
    key = tool("keygen", os.path.join(folder, "private.pem"))
    index = os.path.join(folder, "index.ini")
    with open(index, "w") as out:
        out.write(tool("index", os.path.join(folder, "private.pem"), signed,
                       "--primary", "http://127.0.0.1/a", "--backup", "http://127.0.0.1/b",
                       "--expires-days", "3650"))
    env = dict(os.environ, MIVETRAK_SIGNED_FILE="Z:" + signed.replace("/", "\\"),
               MIVETRAK_SIGNED_FILE_KEY=key,
               MIVETRAK_SIGNED_INDEX="Z:" + index.replace("/", "\\"))
    sys.exit(subprocess.call(sys.argv[1:], env=env))
