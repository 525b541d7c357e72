#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and the machine lacks.
set -eu
need=()
have() { command -v "$1" >/dev/null 2>&1; }
pkg_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }

have cmake || need+=(cmake)
have ninja || need+=(ninja-build)
have g++ || need+=(g++)
# The program is a 32-bit Windows image; Wine runs it under WoW64 in a 64-bit prefix, which needs
# both halves of Wine.
have i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
pkg_installed mingw-w64-i686-dev || need+=(mingw-w64-i686-dev)
have i686-w64-mingw32-windres || need+=(binutils-mingw-w64-i686)
have wine || need+=(wine)
pkg_installed wine64 || need+=(wine64)
pkg_installed wine32:i386 || need+=(wine32:i386)
have Xvfb || need+=(xvfb)
# The parts of the end-to-end suite that run side by side each bring up a loopback interface of
# their own.
have ip || need+=(iproute2)
# The fuzz targets: clang, and its runtime libraries (libFuzzer and the sanitizers), which clang
# only recommends.
have clang++ || need+=(clang)
pkg_installed libclang-rt-14-dev || need+=(libclang-rt-14-dev)
# The structure checks: the length of every function of the program.
have clang-tidy || need+=(clang-tidy)
have icotool || need+=(icoutils)
{ have convert && convert -version 2>/dev/null | grep -q ImageMagick; } || need+=(imagemagick)
{ have import && import -version 2>/dev/null | grep -q ImageMagick; } || need+=(imagemagick)
for p in googletest libgtest-dev libgmock-dev python3-pyftpdlib python3-pytest \
         python3-cryptography; do
    pkg_installed "$p" || need+=("$p")
done
[ -x /usr/bin/python3 ] || need+=(python3)

if [ ${#need[@]} -gt 0 ]; then
    echo "installing: ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # wine32 comes from the i386 architecture, which a fresh amd64 system does not list.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# The Windows code-page tests run Wine in a Japanese UTF-8 locale (code page 932).
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    command -v localedef >/dev/null 2>&1 || {
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends locales >/dev/null
    }
    localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
