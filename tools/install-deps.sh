#!/usr/bin/env bash
# Installs what building and testing Kestrane needs on Debian 12 or 13, from a
# minimal system up, idempotently: when everything is present it only asks dpkg
# and returns within a second.
# Usage: tools/install-deps.sh [extra Debian packages...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

packages=(
  cmake g++ make
  googletest  # its sources, built by each tree (/usr/src/googletest)
  clang       # the release's own version; its runtime follows below
  g++-mingw-w64-i686 mingw-w64-tools
  wine wine32:i386 wine64
  xvfb xauth x11-utils imagemagick
  python3 python3-pil
  nlohmann-json3-dev  # header-only JSON, for sheets' data files
  nsis zip unzip
)
packages+=("$@")

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
updated=0

apt_install() {
  local missing=() p status
  for p in "$@"; do
    status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
    [[ "$status" == ii* ]] || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "install-deps: installing ${missing[*]}" >&2
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    updated=0
  fi
  if [ "$updated" -eq 0 ]; then
    $sudo apt-get update -qq
    updated=1
  fi
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

apt_install "${packages[@]}"

# libFuzzer and the sanitizer runtimes come in a package named after clang's
# major version, which differs between releases (14 on Debian 12, 19 on 13).
clang_major=$(clang -dumpversion | cut -d. -f1)
apt_install "libclang-rt-$clang_major-dev"

# Some kernels are booted without ia32 emulation, so wine32 cannot start.
# Run 32-bit ELF programs through qemu-user instead; see qemu-i386/noreplace.c.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  apt_install qemu-user-static
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$binfmt"
  if [ ! -e "$binfmt/qemu-i386" ]; then
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:F" | $sudo tee "$binfmt/register" >/dev/null
  fi
fi
if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
  shim=/usr/local/lib/kestrane-wine
  src="$here/qemu-i386/noreplace.c"
  if [ ! -e "$shim/lib/i386-linux-gnu/wine-noreplace.so" ] || [ "$src" -nt "$shim/lib/i386-linux-gnu/wine-noreplace.so" ]; then
    tmp=$(mktemp -d)
    gcc -m32 -O2 -fPIC -ffreestanding -nostdlib -shared -o "$tmp/32.so" "$src"
    # 64-bit Wine processes inherit LD_PRELOAD too: give them an empty library.
    echo 'int kestrane_wine_noreplace;' > "$tmp/empty.c"
    gcc -O2 -fPIC -nostdlib -shared -o "$tmp/64.so" "$tmp/empty.c"
    $sudo install -D -m 644 "$tmp/32.so" "$shim/lib/i386-linux-gnu/wine-noreplace.so"
    $sudo install -D -m 644 "$tmp/64.so" "$shim/lib/x86_64-linux-gnu/wine-noreplace.so"
    rm -rf "$tmp"
  fi
fi
