#!/usr/bin/env bash
# Builds everything and runs every test: the portable core on the host under
# AddressSanitizer and UBSan, then the 32-bit Windows build under Wine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
tools/install-deps.sh
jobs=$(nproc)

# clang, whose libFuzzer the fuzz tests need: the release's own version.
cmake -S . -B build/host -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/host -j"$jobs"
ctest --test-dir build/host --output-on-failure

cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build/win -j"$jobs"
# The tests register filters of their own and expect ours absent; afterwards
# the prefix is left as ./run.sh leaves it, with ours registered.
tools/register-filter build/win /u
trap 'tools/register-filter build/win' EXIT
# Wine run through qemu-user (kernels without 32-bit support) now and then
# deadlocks or crashes inside itself, in whichever test happens to run: a
# test that times out or crashes there runs again, up to four times.
again=()
[ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && again=(--repeat until-pass:4)
ctest --test-dir build/win --output-on-failure "${again[@]}"
