#!/usr/bin/env bash
# What the agent .exe costs under Wine and Xvfb, against curl to the same reference service (an
# optimised build) in the same run: P1-P5 and P1 with chunking on (bench/agent_bench.py says how
# each is measured). About ten minutes; ZK_QUICK=1 gives shorter figures in about three.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
zk_build_native refserver
zk_build_windows uploader agentctl
source "$zk_root/scripts/xvfb-wine-env.sh"
trap 'zk_stop_wineserver; zk_stop_display' EXIT
zk_start_display
zk_start_wineserver
ZK_REFSERVER="$zk_refserver" python3 "$zk_root/bench/agent_bench.py"
