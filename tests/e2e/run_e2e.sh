#!/usr/bin/env bash
# Runs the end-to-end suite; when MIVETRAK_RESULTS names a folder, writes e2e.xml there.
set -u
cd "$(dirname "$0")/../.."
python=${MIVETRAK_PYTHON3:-/usr/bin/python3}
args=(-m pytest tests/e2e -v -p no:cacheprovider)
if [ -n "${MIVETRAK_RESULTS:-}" ]; then
    mkdir -p "$MIVETRAK_RESULTS"
    args+=(--junitxml="$MIVETRAK_RESULTS/e2e.xml")
fi
exec "$python" "${args[@]}" "$@"
