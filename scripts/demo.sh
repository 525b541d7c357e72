#!/usr/bin/env bash
# The demo in one command: installs what is missing from Debian's packages, makes a demo signing
# key in the build folder (once), builds the updater with the loopback index URL and that key's
# public half, starts the bundled update server on 127.0.0.1:28461 with an index that carries the
# sample database's signature, prepares a private Wine prefix with an installation folder holding
# an older database, and runs the updater. With a reachable $DISPLAY its window appears for you
# to answer; without one it runs in Xvfb, answers as a user would and saves screenshots. Prints
# the outcome and exits with the updater's exit code. Every process it starts is stopped on the
# way out.
#
#   scripts/demo.sh [--https]
#
# With --https the updater is built with an https index URL, and the server serves the index and
# the database over TLS with a certificate from a demo authority made in the build folder, which
# the demo's Wine prefix (and nothing else: not the host, not another prefix) is made to trust.
set -eu
cd "$(dirname "$0")/.."
scheme=http
demo_args=()
case "${1:-}" in
    "") ;;
    --https)
        scheme=https
        demo_args+=(--https)
        ;;
    *)
        echo "usage: scripts/demo.sh [--https]" >&2
        exit 2
        ;;
esac
scripts/install-deps.sh

build=build/demo
# The demo's key pair stands in for the maker's: made here, kept in the build folder only.
key="$build/demo-key.pem"
mkdir -p "$build"
if [ ! -f "$key" ]; then
    echo "== making the demo signing key $key"
    /usr/bin/python3 tools/sign_database.py keygen "$key" >/dev/null
fi
public_key=$(/usr/bin/python3 tools/sign_database.py public "$key")
echo "== building the updater into $build with the demo key's public half"
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
      -DCMAKE_BUILD_TYPE=Release \
      -DMIVETRAK_INDEX_URL=$scheme://127.0.0.1:28461/Software_Update/Tessfetch/ZAVFile.asp \
      -DMIVETRAK_PUBLIC_KEY="$public_key" >/dev/null
cmake --build "$build" -j2 --target Mivetrak MivetrakResources ui_driver trust_root

demo_pid=
stop_demo() {
    if [ -n "$demo_pid" ] && kill -0 "$demo_pid" 2>/dev/null; then
        kill -TERM "$demo_pid" 2>/dev/null || true
        wait "$demo_pid" 2>/dev/null || true
    fi
}
trap stop_demo EXIT
trap 'stop_demo; exit 130' INT TERM

/usr/bin/python3 demo/run_demo.py --build-dir "$build" --signing-key "$key" "${demo_args[@]}" &
demo_pid=$!
status=0
wait "$demo_pid" || status=$?
demo_pid=
exit "$status"
