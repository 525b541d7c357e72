#!/usr/bin/env bash
# Runs a Windows program under Wine, in WINEPREFIX or in the build's template prefix (made on
# first use), with Wine's environment as tests/support/wineprefix.py sets it for everything that
# runs Wine. Used by ctest as the cross-compiling emulator.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
exec /usr/bin/python3 "$here/tests/support/wineprefix.py" run "$@"
