#!/usr/bin/env bash
# Real-world cases of the agent .exe under Wine (bench/world_faults.py says what they are): orders
# copied in place, redirects, a trickling answer, a long tail, a file rewritten while it is held;
# a server refusing a too large file, an order folder named like a content list, a new folder
# renamed in place, an answer's head trickling, connections going silent mid-upload.
#   bench/world_faults.sh [case number or name ...]    (all cases when none is named)
# All cases take about 15 minutes after the builds (the trickle case waits out the agent's 120 s
# answer deadline, the too-large case counts requests for 5 minutes); exits non-zero when a case
# fails. Uses a Wine prefix of its own so that its settings do not meet those of other runs.
# ZK_BENCH_WINDOWS and ZK_BENCH_NATIVE name other build folders (bench/common.sh),
# ZK_WORLD_FAULTS_DIR another folder for the run's audit folder, store and journals.
set -euo pipefail
export ZK_WINEPREFIX="${ZK_WINEPREFIX:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/world_faults_prefix}"
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
zk_build_windows holder  # the file holder of case 5; the agent and the service are built below
zk_run_agent_bench world_faults.py "$@"
