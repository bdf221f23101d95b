# Sourced by every benchmark script, after it has set `root` (the checkout)
# and `build` (the Windows build to time, made when missing).
# bench_prepare NAME [PACKAGE...] -- TARGET...: installs what is needed, builds
# the targets, and makes $work, a folder removed when the script ends.

bench_prepare() {
  local name=$1 packages=()
  shift
  while [ "$1" != "--" ]; do packages+=("$1"); shift; done
  shift
  mkdir -p "$build"
  build=$(cd "$build" && pwd)
  "$root/tools/install-deps.sh" "${packages[@]}"
  if [ ! -e "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
  fi
  cmake --build "$build" -j2 --target "$@" >/dev/null
  work=$(mktemp -d "/tmp/kestrane-$name.XXXXXX")
  trap 'rm -rf "$work"' EXIT
}

# A Windows program of the build, in the build's own Wine prefix.
run() { "$root/tools/wine-run" --prefix "$build/wineprefix" "$@"; }
# A Linux path as the Windows programs see it.
windows() { echo "Z:$1" | tr / '\\'; }
now() { date +%s.%N; }
