#!/usr/bin/env bash
# Soak of the agent .exe under Wine: 1,000 orders x 10 files, memory and handles every 100 orders
# (bench/soak.py says how). ZK_ORDERS changes the number of orders.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
zk_run_agent_bench soak.py
