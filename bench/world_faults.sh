#!/usr/bin/env bash
# Real-world cases of the agent .exe under Wine (bench/world_faults.py says what they are): orders
# copied in place, redirects, a trickling answer, a long tail.
# Takes about five minutes (the trickle case waits out the agent's 120 s answer deadline). Uses a
# Wine prefix of its own so that its settings do not meet those of other runs.
set -euo pipefail
export ZK_WINEPREFIX="${ZK_WINEPREFIX:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/world_faults_prefix}"
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
zk_run_agent_bench world_faults.py
