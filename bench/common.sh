# Sourced by the bench scripts: packages, the optimised native build of the reference service and
# the bench programs (a sanitizer build would measure the sanitizer), and the Windows build.
# ZK_BENCH_NATIVE and ZK_BENCH_WINDOWS put the two builds in other folders (a preset's options
# with another binary folder), ZK_WINEPREFIX the Wine session in another prefix.
zk_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$zk_root/scripts/setup.sh"
export ZK_BENCH_NATIVE="${ZK_BENCH_NATIVE:-$zk_root/build/native-release}"
export ZK_BENCH_WINDOWS="${ZK_BENCH_WINDOWS:-$zk_root/build/windows}"
zk_native="$ZK_BENCH_NATIVE"
# Two compile jobs at most: the machine's two cores are shared with other work.
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-2}"
zk_refserver="$zk_native/tools/refserver/refserver"

# Builds the given targets of the optimised native build.
zk_build_native() {
  cmake --preset native-release -B "$ZK_BENCH_NATIVE" >/dev/null
  cmake --build "$ZK_BENCH_NATIVE" --target "$@" >/dev/null
}

# Builds the given targets of the Windows build.
zk_build_windows() {
  cmake --preset windows -B "$ZK_BENCH_WINDOWS" >/dev/null
  cmake --build "$ZK_BENCH_WINDOWS" --target "$@" >/dev/null
}

# Runs one of the agent benchmarks (bench/<name>.py, given the arguments after its name) in a Wine
# session of its own, against the optimised reference service.
zk_run_agent_bench() {
  zk_build_native refserver
  zk_build_windows uploader agentctl
  source "$zk_root/scripts/xvfb-wine-env.sh"
  trap 'zk_stop_wineserver; zk_stop_display' EXIT
  zk_start_display
  zk_start_wineserver
  ZK_REFSERVER="$zk_refserver" python3 "$zk_root/bench/$1" "${@:2}"
}
