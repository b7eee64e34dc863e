#!/usr/bin/env bash
# What the agent .exe costs under Wine and Xvfb, against curl to the same reference service (an
# optimised build) in the same run: P1-P5 and P1 with chunking on (bench/agent_bench.py says how
# each is measured). About ten minutes; ZK_QUICK=1 gives shorter figures in about three.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
zk_run_agent_bench agent_bench.py
