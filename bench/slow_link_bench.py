"""The slow-link profile of bench/agent_bench.py: the agent and curl through bench/slow_link.py
(20 ms each way, 20 Mbit/s) in front of the plain service.

  utilisation  one order of 100 x 1 MiB files: the bytes of the files / (elapsed x the line's
               rate), elapsed from the first upload's head at the service to the last acceptance
               (the order's pick-up is P2's); against a loop of one curl -F per file through the
               same line, timed from the first curl's start to the last one's end
  stop         a 30 MiB upload through the line, the agent asked to exit midway: when its
               connection ended and when the agent had ended, after the exit was asked
"""
import os
import shutil
import time

from agent_paths import AGENTCTL
from agent_session import AUDIT, WORK, MiB, Agent, accepted, curl_upload, move_in, wait_for, wine, write_random
from slow_link import SlowLink

DELAY_MS, MBIT = 20.0, 20.0


def run(service, results, quick):
    link = SlowLink(service.port, DELAY_MS, MBIT)
    service.control("endpoint?port=%d" % link.port)  # uploads go through the line too
    rate = MBIT * 1e6 / 8
    agent = Agent(service.url("/ru/99", link.port), 0)
    n = 30 if quick else 100
    one = os.path.join(WORK, "one_mib.bin")
    write_random(one, MiB)
    _, _, conns0, _ = link.stats()
    move_in("slow", lambda f: [os.link(one, os.path.join(f, "s%03d.bin" % k)) for k in range(n)])
    rows = wait_for(lambda: accepted(service, "\\slow\\", n), 600, 0.1)
    elapsed = max(r[3] for r in rows) - min(r[2] for r in rows)
    _, _, conns1, _ = link.stats()
    agent_util = n * MiB / (elapsed * rate)
    wait_for(lambda: not os.listdir(AUDIT), 60)

    t0 = time.time()
    for k in range(n):
        curl_upload(service, one, "slow_curl%d.bin" % k, link.port)
    curl_elapsed = time.time() - t0
    curl_util = n * MiB / (curl_elapsed * rate)
    results.append("slow link (%g ms each way, %g Mbit/s) %d x 1 MiB: agent %.1f s, utilisation %.3f (%d connections); "
                   "curl -F loop %.1f s, utilisation %.3f: agent/curl %.2f (goal >= 0.9 and >= curl's)" %
                   (DELAY_MS, MBIT, n, elapsed, agent_util, conns1 - conns0, curl_elapsed, curl_util, agent_util / curl_util))

    # A stop midway through a big upload that the line paces.
    big = os.path.join(WORK, "thirty.bin")
    write_random(big, 30 * MiB)
    up0, _, _, _ = link.stats()
    move_in("slowstop", lambda f: os.link(big, os.path.join(f, "thirty.bin")))
    wait_for(lambda: link.stats()[0] - up0 > 5 * MiB, 120, 0.05)
    asked = time.monotonic()
    link_bytes_at_asking = link.stats()[0]
    wine(AGENTCTL, "exit")
    told = time.monotonic()
    try:
        agent.proc.wait(timeout=60)
    except Exception:
        agent.proc.kill()
    ended = time.monotonic()
    up1, last_up, _, _ = link.stats()
    up_asked = link_bytes_at_asking
    results.append("slow link stop during a 30 MiB upload: the exit asked, agentctl returned after %.2f s (its own Wine start-up), the "
                   "agent had ended %.2f s after the asking; the line took %.1f MiB more from it after the asking, the last %.2f s "
                   "after it (what its socket already held drains at the line's rate)" %
                   (told - asked, ended - asked, (up1 - up_asked) / MiB, last_up - asked))
    service.control("endpoint?port=0")
    link.close()
    shutil.rmtree(os.path.join(AUDIT, "slowstop"), ignore_errors=True)  # left unsent by the stop
