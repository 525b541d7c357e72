#!/usr/bin/env bash
# Runs the end-to-end suite, or the part of it that the arguments name:
#
#   tests/e2e/run_e2e.sh [--name NAME] [PYTEST ARGUMENTS...]
#
# Unless a file or folder is among the arguments, it runs the cases of tests/e2e (those that the
# other arguments select, as with -k EXPRESSION). NAME (default e2e) names the part: its work and
# screenshot folders below the build's e2e-work/ and e2e-screenshots/, and, when MIVETRAK_RESULTS
# names a folder, its result file e2e/NAME.xml there.
#
# The update server listens on the port that the test build's index URL names, so two parts at
# once each need a loopback interface of their own: as root, each part runs in a network
# namespace of its own (with its own Xvfb, which it starts inside). Where that cannot be had,
# the parts take turns, one at a time on the machine's loopback interface.
set -u
cd "$(dirname "$0")/../.."
python=${MIVETRAK_PYTHON3:-/usr/bin/python3}
build=${MIVETRAK_BUILD_DIR:-build/win}

name=
if [ "${1:-}" = "--name" ]; then
    name=$2
    shift 2
fi
args=(-m pytest -v -p no:cacheprovider)
paths=0
for arg in "$@"; do
    [ -e "$arg" ] && paths=1
done
[ $paths -eq 0 ] && args+=(tests/e2e)
args+=("$@")
if [ -n "${MIVETRAK_RESULTS:-}" ]; then
    mkdir -p "$MIVETRAK_RESULTS/e2e"
    args+=(--junitxml="$MIVETRAK_RESULTS/e2e/${name:-e2e}.xml")
fi
[ -n "$name" ] && export MIVETRAK_E2E_NAME="$name"

if [ "$(id -u)" -eq 0 ] && unshare --net true 2>/dev/null; then
    # The new namespace's loopback interface starts down, and Wine takes a machine without a
    # gateway for one that is off line: the default route goes to the loopback interface too,
    # so that nothing sent in the namespace can leave it.
    exec unshare --net -- /bin/sh -c \
        'ip link set lo up && ip route add default via 127.0.0.1 dev lo && exec "$@"' \
        sh "$python" "${args[@]}"
fi
mkdir -p "$build"
exec flock "$build/e2e-loopback.lock" "$python" "${args[@]}"
