# Sourced by the bench scripts: packages, the optimised native build of the reference service and
# the bench programs (a sanitizer build would measure the sanitizer), and the Windows build.
zk_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$zk_root/scripts/setup.sh"
zk_native="$zk_root/build/native-release"
zk_refserver="$zk_native/tools/refserver/refserver"

# Builds the given targets of the optimised native build.
zk_build_native() {
  cmake --preset native-release >/dev/null
  cmake --build --preset native-release --target "$@" >/dev/null
}

# Builds the given targets of the Windows build.
zk_build_windows() {
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target "$@" >/dev/null
}

# Runs one of the agent benchmarks (bench/<name>.py) in a Wine session of its own, against the
# optimised reference service.
zk_run_agent_bench() {
  zk_build_native refserver
  zk_build_windows uploader agentctl
  source "$zk_root/scripts/xvfb-wine-env.sh"
  trap 'zk_stop_wineserver; zk_stop_display' EXIT
  zk_start_display
  zk_start_wineserver
  ZK_REFSERVER="$zk_refserver" python3 "$zk_root/bench/$1"
}
