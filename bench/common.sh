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
# The same, started by Wine itself in the environment `run` gives, so that a
# timing holds the program and not tools/wine-run's own start (25-30 ms).
direct() {
  [ -n "${direct_env:-}" ] || direct_env=$("$root/tools/wine-run" --prefix "$build/wineprefix" --env)
  (eval "$direct_env"; exec wine "$@")
}
# A Linux path as the Windows programs see it.
windows() { echo "Z:$1" | tr / '\\'; }
now() { date +%s.%N; }

# Our filter registered in the build's prefix for the run, as the installer
# registers it; taken away again at the end unless it was there before.
bench_register_filter() {
  local key='HKLM\Software\Microsoft\Shared Tools\Graphics Filters\Import\Kestrane PNG GIF JPEG'
  filter_path=$(windows "$build/filters/wic/kestrane-import.flt")
  if ! run reg query "$key" /reg:32 >/dev/null 2>&1; then
    trap 'run regsvr32 /u /s "$filter_path"; rm -rf "$work"' EXIT
  fi
  run regsvr32 /s "$filter_path"
}
