# shellcheck shell=bash
# The build trees are CMake's configure presets (CMakePresets.json): win32 and win64 name their
# toolchain files there, native the host compiler, and each builds in build/<preset>. This is
# what scripts/test, scripts/package, scripts/demo and bench/run take them from. Sourced, not run:
#   arch_tree ARCH              prints the build tree of win32, win64 or native
#   arch_configure ARCH [TREE]  configures that tree from its preset (or TREE, from the same preset)
# Both fail, printing nothing, for any other ARCH.
arch_tree() {
  case $1 in
    win32 | win64 | native) echo "build/$1" ;;
    *) return 1 ;;
  esac
}
arch_configure() {
  arch_tree "$1" >/dev/null || return 1
  cmake --preset "$1" ${2:+-B "$2"} >/dev/null
}
