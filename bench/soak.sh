#!/usr/bin/env bash
# Soak of the agent .exe under Wine: 1,000 orders x 10 files, memory and handles every 100 orders
# (bench/soak.py says how). ZK_ORDERS changes the number of orders.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
zk_build_native refserver
zk_build_windows uploader agentctl
source "$zk_root/scripts/xvfb-wine-env.sh"
trap 'zk_stop_wineserver; zk_stop_display' EXIT
zk_start_display
zk_start_wineserver
ZK_REFSERVER="$zk_refserver" python3 "$zk_root/bench/soak.py"
