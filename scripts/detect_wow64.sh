#!/usr/bin/env bash
# Can this machine run the 32-bit Windows programs under Wine? Prints "yes" or "no: <why>" and
# exits 0 either way. With --install, installs the 32-bit side of Wine first where the kernel
# can run 32-bit programs at all (never otherwise: the packages would be dead weight).
#   1. the kernel runs the i386 loader (needs IA32 emulation; libc6-i386 provides the loader);
#   2. wine32 is installed, so that a 64-bit prefix gains its 32-bit side;
#   3. a trivial 32-bit Windows program ($2, optional) prints its output under Wine.
set -uo pipefail
install=0
[ "${1:-}" = "--install" ] && { install=1; shift; }
probe=${1:-}

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if [ ! -e /lib/ld-linux.so.2 ]; then
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends libc6-i386 \
    >/dev/null 2>&1
fi
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "no: the kernel cannot run 32-bit programs ($(/lib/ld-linux.so.2 --version 2>&1 | head -n1 | sed 's/.*: //'))"
  exit 0
fi
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  if ((install)); then
    $SUDO dpkg --add-architecture i386
    $SUDO apt-get update >/dev/null 2>&1
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends wine32:i386 \
      >/dev/null 2>&1 || { echo "no: wine32:i386 could not be installed"; exit 0; }
  else
    echo "no: wine32:i386 is not installed"
    exit 0
  fi
fi
if [ -n "$probe" ]; then
  out=$(WINEDEBUG=-all timeout 60 wine "$probe" </dev/null 2>/dev/null | tr -d '\r')
  [ -n "$out" ] || { echo "no: a 32-bit Windows program printed nothing under Wine"; exit 0; }
fi
echo yes
