#!/usr/bin/env bash
# Fault matrix of the agent .exe under Wine (bench/fault_matrix.py says what it does). Needs root
# for the small tmpfs that fills up. Takes about five minutes; ZK_KILLS and ZK_SEED vary the run.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
zk_run_agent_bench fault_matrix.py
