#!/usr/bin/env bash
# Fault matrix of the agent .exe under Wine (bench/fault_matrix.py says what it does). Needs root
# for the small tmpfs that fills up. Takes about five minutes; ZK_KILLS and ZK_SEED vary the run.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
zk_build_native refserver
zk_build_windows uploader agentctl
source "$zk_root/scripts/xvfb-wine-env.sh"
trap 'zk_stop_wineserver; zk_stop_display' EXIT
zk_start_display
zk_start_wineserver
ZK_REFSERVER="$zk_refserver" python3 "$zk_root/bench/fault_matrix.py"
