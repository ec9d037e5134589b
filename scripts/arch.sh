# shellcheck shell=bash
# The two architectures of the DLL, each with its CMake toolchain file and its build tree, both
# relative to the source root: the one place that scripts/test, scripts/package, scripts/demo
# and bench/run take them from. Sourced, not run:
#   arch_toolchain ARCH   prints the toolchain file of win32 or win64
#   arch_tree ARCH        prints the build tree of win32 or win64
# Both fail, printing nothing, for any other ARCH.
arch_toolchain() {
  case $1 in
    win32) echo cmake/mingw-i686.cmake ;;
    win64) echo cmake/mingw-x86_64.cmake ;;
    *) return 1 ;;
  esac
}
arch_tree() {
  arch_toolchain "$1" >/dev/null && echo "build/$1"
}
