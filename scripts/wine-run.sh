#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's template prefix (made on first use), or in
# WINEPREFIX when the caller has set one. Used by ctest as the cross-compiling emulator.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${WINEPREFIX:-}" ]; then
    build_dir=${MIVETRAK_BUILD_DIR:-$here/build/win}
    WINEPREFIX=$(cd "$here" && /usr/bin/python3 -c \
        "import sys; sys.path.insert(0, 'tests/support'); import wineprefix; print(wineprefix.ensure_template(sys.argv[1]))" \
        "$build_dir")
    export WINEPREFIX
fi
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" TZ=UTC
exec wine "$@"
