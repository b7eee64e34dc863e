#!/usr/bin/env python3
"""What the agent .exe costs under Wine, against curl to the same reference service in the same
run (run by bench/agent.sh, which builds what it needs and keeps a Wine session up). The service
plays a plain HTTP/1.1 server (keep-alive, an answer's head and body in two sends, no TCP_NODELAY,
default socket buffers) unless a line says "own mode" (one answer in one send, every connection
closed).

  P4  CPU while idle (queue empty, authenticated), 60 s: the agent's process and its prefix's
      wineserver, from /proc
  P2  order moved into the audit folder -> first byte of its first upload at the service, median
  P1  one 100 MiB file, chunking off: moved in -> accepted; MB/s against `curl -F`; and the CPU
      per GB sent: the agent's process plus what its wineserver spent beyond its idle rate,
      against curl's own
  P3  one order of 1,000 x 10 KB files: files/s against a loop of one `curl -F` per file
  P5  resident memory while one 1 GiB file is sent, over idle (VmRSS / VmHWM)
  P1c one 1 GiB file with ChunkSize 10: moved in -> last chunk accepted, and the part of it that
      is the splitter's own pauses (3 x 50 ms per chunk)
  slow link: bench/slow_link_bench.py (100 x 1 MB through a 20 ms, 20 Mbit/s line, and a stop)
"""
import os
import shutil
import statistics
import time

import slow_link_bench
from agent_session import (AUDIT, LOGS, STAGE, WORK, MiB, Agent, Service, accepted, children_cpu_s, curl_upload, move_in,
                           proc_cpu_ns, proc_ticks, TICK, wait_for, wineserver_pid, write_random)

QUICK = os.environ.get("ZK_QUICK") == "1"  # shorter figures while working on the code


def idle(service, results, server):
    """P4. The prefix's wineserver has a cost of its own (Wine 8 wakes it every 16 ms to update the
    time it shares with its processes), measured first without the agent: the agent's share is
    what it adds. Returns the agent and the wineserver's idle rate (CPU seconds a second)."""
    idle_s = 20 if QUICK else 60
    n0, t0 = proc_cpu_ns(server), time.time()
    time.sleep(idle_s)
    base_server = (proc_cpu_ns(server) - n0) / 1e9 / (time.time() - t0)
    agent = Agent(service.url("/ru/99"), 0)
    time.sleep(5)  # start-up done
    a0, s0, an0, sn0, t0 = agent.ticks(), proc_ticks(server), proc_cpu_ns(agent.pid), proc_cpu_ns(server), time.time()
    time.sleep(idle_s)
    a1, s1, an1, sn1, t1 = agent.ticks(), proc_ticks(server), proc_cpu_ns(agent.pid), proc_cpu_ns(server), time.time()
    pct = lambda delta, unit: 100.0 * delta / unit / (t1 - t0)
    cpu_agent, cpu_server = pct(an1 - an0, 1e9), pct(sn1 - sn0, 1e9)
    results.append("P4 idle CPU over %d s: agent %.3f %% + wineserver %.3f %% = %.3f %% of a core (ticks: %.2f %% + %.2f %%); "
                   "a bare Wine session's wineserver, before the agent started, %.3f %%, so the agent costs %.3f %% (goal <= 0.1 %%)" %
                   (idle_s, cpu_agent, cpu_server, cpu_agent + cpu_server, pct(a1 - a0, TICK), pct(s1 - s0, TICK), 100 * base_server,
                    cpu_agent + max(cpu_server - 100 * base_server, 0.0)))
    return agent, base_server


def first_byte(service, results):
    delays = []
    for i in range(5 if QUICK else 11):
        name = "p2_%02d" % i
        t = move_in(name, lambda f: write_random(os.path.join(f, "a.jpg"), 10000))
        rows = wait_for(lambda: accepted(service, name), 30)
        delays.append(rows[0][2] - t if rows else float("inf"))
        wait_for(lambda: not os.listdir(AUDIT), 30)
        time.sleep(0.3 + 0.09 * i)  # different phases of the audit's second
    results.append("P2 moved in -> first byte at the service: median %.3f s (min %.3f, max %.3f; goal <= 0.1 s)" %
                   (statistics.median(delays), min(delays), max(delays)))


def big_file(service, agent, results, mode, server=None, base_server=0.0):
    big = os.path.join(WORK, "big.bin")
    if not os.path.exists(big):
        write_random(big, 100 * MiB)
    runs = 3
    c0 = children_cpu_s()
    curl_s = [curl_upload(service, big, "curl_big.bin") for _ in range(runs)]
    curl_cpu = children_cpu_s() - c0
    agent_s, agent_cpu, own_cpu = [], 0.0, 0.0
    for i in range(runs):
        name = "p1%s_%d" % (mode[0], i)
        a0, s0, t0 = proc_cpu_ns(agent.pid), proc_cpu_ns(server) if server else 0, time.time()
        t = move_in(name, lambda f: os.link(big, os.path.join(f, "big.bin")))
        rows = wait_for(lambda: accepted(service, name), 300, 0.01)
        agent_s.append(rows[0][3] - t)
        wait_for(lambda: not os.listdir(AUDIT), 30)
        if server:  # the wineserver beyond its idle rate over the same time
            took = time.time() - t0
            own = (proc_cpu_ns(agent.pid) - a0) / 1e9
            own_cpu += own
            agent_cpu += own + max((proc_cpu_ns(server) - s0) / 1e9 - base_server * took, 0.0)
        time.sleep(1)
    best, curl_best = min(agent_s), min(curl_s)
    results.append("P1 %s 100 MiB, chunking off: agent %.1f MB/s (%.2f s moved in -> accepted, best of %s), curl -F %.1f MB/s "
                   "(%.2f s, best of %s): ratio %.2f (goal >= %s)" %
                   (mode, 100 * MiB / best / 1e6, best, ", ".join("%.2f" % x for x in agent_s), 100 * MiB / curl_best / 1e6,
                    curl_best, ", ".join("%.2f" % x for x in curl_s), curl_best / best, "0.9" if mode == "plain" else "1.0"))
    if server:
        gb = runs * 100 * MiB / 1e9
        results.append("CPU per GB sent (P1 plain, %d runs): agent %.2f s (its process %.2f s, its wineserver's share %.2f s), "
                       "curl %.2f s: ratio %.2f (goal <= 1.5)" % (runs, agent_cpu / gb, own_cpu / gb, (agent_cpu - own_cpu) / gb,
                                                                 curl_cpu / gb, (agent_cpu / gb) / (curl_cpu / gb)))


def small_files(service, results, mode):
    files = 300 if QUICK else 1000
    def many(folder):
        for k in range(files):
            write_random(os.path.join(folder, "f%04d.jpg" % k), 10 * 1024)
    order = "p3" + mode[0]
    t = move_in(order, many)
    rows = wait_for(lambda: accepted(service, "\\%s\\" % order, files), 900, 0.05)
    agent_rate = files / (max(r[3] for r in rows) - t)
    wait_for(lambda: not os.listdir(AUDIT), 60)
    small = os.path.join(WORK, "small.bin")
    write_random(small, 10 * 1024)
    n = 100 if QUICK else 200
    t0 = time.time()
    for k in range(n):
        curl_upload(service, small, "s%d.bin" % k)
    curl_rate = n / (time.time() - t0)
    results.append("P3 %s %d x 10 KB in one order: agent %.1f files/s, a loop of curl -F %.1f files/s: ratio %.2f (goal >= 1.0)" %
                   (mode, files, agent_rate, curl_rate, agent_rate / curl_rate))


def memory(service, agent, results, mem_idle):
    gib = os.path.join(WORK, "gib.bin")
    gib_mb = 256 if QUICK else 1024
    write_random(gib, gib_mb * MiB)
    mem_before = agent.memory()
    move_in("p5", lambda f: os.link(gib, os.path.join(f, "gib.bin")))
    peak_rss = mem_before["VmRSS"]
    while not accepted(service, "\\p5\\"):
        peak_rss = max(peak_rss, agent.memory()["VmRSS"])
        time.sleep(0.05)
    mem_after = agent.memory()
    results.append("P5 %d MiB sent: VmRSS idle %.1f MB, peak while sending %.1f MB (+%.1f MB), VmHWM %.1f -> %.1f MB (goal <= +5 MB)" %
                   (gib_mb, mem_idle["VmRSS"], peak_rss, peak_rss - mem_idle["VmRSS"], mem_before["VmHWM"], mem_after["VmHWM"]))
    wait_for(lambda: not os.listdir(AUDIT), 60)
    return gib, gib_mb


def chunked(service, results, gib, gib_mb):
    agent = Agent(service.url("/ru/99"), 10)
    move_in("p1c", lambda f: os.link(gib, os.path.join(f, "gib.bin")))
    t = time.time()
    chunks = (gib_mb + 9) // 10
    rows = wait_for(lambda: accepted(service, "\\p1c\\", chunks), 1800, 0.2)
    took = max(r[3] for r in rows) - t
    results.append("P1c %d MiB at ChunkSize 10 (%d chunks): %.1f s, %.1f MB/s; the splitter's pauses (3 x 50 ms a chunk) are %.1f s of it" %
                   (gib_mb, chunks, took, gib_mb * MiB / took / 1e6, chunks * 3 * 0.05))
    agent.stop()


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    for d in (AUDIT, STAGE, LOGS):
        os.makedirs(d)
    service = Service(plain=True)
    results = []
    server = wineserver_pid()
    agent, base_server = idle(service, results, server)
    mem_idle = agent.memory()
    first_byte(service, results)
    big_file(service, agent, results, "plain", server, base_server)
    small_files(service, results, "plain")
    service.plain(False)
    big_file(service, agent, results, "own mode")
    small_files(service, results, "own mode")
    service.plain(True)
    gib, gib_mb = memory(service, agent, results, mem_idle)
    agent.stop()
    slow_link_bench.run(service, results, QUICK)
    if not QUICK:
        chunked(service, results, gib, gib_mb)
    service.stop()
    print()
    for line in results:
        print(line)


if __name__ == "__main__":
    main()
