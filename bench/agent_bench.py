#!/usr/bin/env python3
"""What the agent .exe costs under Wine, against curl to the same reference service in the same
run (run by bench/agent.sh, which builds what it needs and keeps a Wine session up).

  P4  CPU while idle (queue empty, authenticated), 60 s: the agent's process and its prefix's
      wineserver, from /proc ticks
  P2  order moved into the audit folder -> first byte of its first upload at the service, median
  P1  one 100 MiB file, chunking off: moved in -> accepted; MB/s against `curl -F`
  P3  one order of 1,000 x 10 KB files: files/s against a loop of one `curl -F` per file
  P5  resident memory while one 1 GiB file is sent, over idle (VmRSS / VmHWM)
  P1c one 1 GiB file with ChunkSize 10: moved in -> last chunk accepted, and the part of it that
      is the splitter's own pauses (3 x 50 ms per chunk)
"""
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import time
import urllib.request

from agent_paths import AGENT, AGENTCTL, KEY, REFSERVER, ROOT, WINE_RUN

WORK = os.path.join(ROOT, "build", "bench-agent")
AUDIT = os.path.join(WORK, "audit.UPLOAD")
STAGE = os.path.join(WORK, "stage")
LOGS = os.path.join(WORK, "logs")
MiB = 1 << 20
QUICK = os.environ.get("ZK_QUICK") == "1"  # shorter figures while working on the code
TICK = os.sysconf("SC_CLK_TCK")


def win(path):
    return "Z:" + path.replace("/", "\\")


def wine(*args, check=False):
    return subprocess.run([WINE_RUN] + list(args), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=check)


def write_random(path, size):
    with open(path, "wb") as f:
        left = size
        while left:
            n = min(left, 8 * MiB)
            f.write(os.urandom(n))
            left -= n


class Service:
    def __init__(self):
        self.proc = subprocess.Popen([REFSERVER, "--lean"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.port = int(self.proc.stdout.readline().split()[1])

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def received(self):
        body = urllib.request.urlopen(self.url("/_control/received"), timeout=30).read().decode()
        rows = []
        for line in body.splitlines():
            seq, size, head, done, fn = line.split("\t", 4)
            rows.append((int(seq), int(size), int(head) / 1000.0, int(done) / 1000.0, fn))
        return rows

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        self.proc.wait(timeout=60)


def wait_for(cond, timeout, step=0.02):
    deadline = time.time() + timeout
    while time.time() < deadline:
        v = cond()
        if v:
            return v
        time.sleep(step)
    return cond()


class Agent:
    def __init__(self, service, chunk_mb):
        wine("reg", "delete", KEY, "/f")
        for name, value in (("AuthSrv", service.url("/ru/99")), ("AuditFolder", win(AUDIT)), ("LogsFolder", win(LOGS)),
                            ("ChunkSize", str(chunk_mb)), ("Exst", "*.jpg,*.bin")):
            wine("reg", "add", KEY, "/v", name, "/t", "REG_SZ", "/d", value, "/f", check=True)
        self.proc = subprocess.Popen([WINE_RUN, AGENT], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.pid = self.proc.pid
        if not wait_for(self.authenticated, 60, 0.1):
            sys.exit("agent_bench: the agent did not authenticate")

    def journal(self):
        todo = os.path.join(LOGS, "_LOGS.UPLOADER.TODO")
        try:
            return "".join(open(os.path.join(todo, n), encoding="utf-8-sig", errors="replace").read() for n in os.listdir(todo))
        except OSError:
            return ""

    def authenticated(self):
        return "OK\tАутентификация" in self.journal()

    def ticks(self):
        with open("/proc/%d/stat" % self.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])

    def memory(self):
        vals = {}
        with open("/proc/%d/status" % self.pid) as f:
            for line in f:
                if line.startswith(("VmRSS:", "VmHWM:")):
                    vals[line.split(":")[0]] = int(line.split()[1]) / 1024.0
        return vals

    def stop(self):
        wine(AGENTCTL, "exit")
        try:
            self.proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            self.proc.kill()


def wineserver_pid():
    prefix = os.environ["WINEPREFIX"]
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            exe = os.readlink("/proc/%s/exe" % pid)
            env = open("/proc/%s/environ" % pid, "rb").read().split(b"\0")
        except OSError:
            continue
        if os.path.basename(exe).startswith("wineserver") and ("WINEPREFIX=" + prefix).encode() in env:
            return int(pid)
    return None


def proc_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def proc_cpu_ns(pid):
    """CPU time of all the threads of a process in nanoseconds (schedstat: finer than ticks)."""
    total = 0
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, tid)) as f:
                total += int(f.read().split()[0])
        except OSError:
            pass
    return total


def move_in(name, build):
    """Builds an order as an editor does, under a TMPUPLOAD_ name in the audit folder, and gives it
    its name in one rename (a folder made in place is taken only once it has settled)."""
    folder = os.path.join(AUDIT, "TMPUPLOAD_" + name)
    os.makedirs(folder)
    build(folder)
    t = time.time()
    os.rename(folder, os.path.join(AUDIT, name))
    return t


def accepted(service, prefix_name, count=1):
    rows = [r for r in service.received() if prefix_name in r[4]]
    return rows if len(rows) >= count else None


def url_encode(text):
    """As the agent encodes a path: letters and digits stay, a space is "+", every other byte of
    its windows-1251 form is %XX."""
    return "".join(c if c.isascii() and c.isalnum() else "+" if c == " " else "".join("%%%02X" % b for b in c.encode("cp1251"))
                   for c in text)


def curl_upload(service, path, name):
    desc = os.path.join(WORK, "desc.xml")
    size = os.path.getsize(path)
    with open(desc, "wb") as f:
        f.write(("\ufeff<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<DESCRIPTOR for=\"\">\r\n   <CLIENT id=\"17\"/>\r\n"
                 "   <ALBUM id=\"42\"/>\r\n      <FILE name=\"%s\" size=\"%d\" checksum=\"\">\r\n         <TITLE>\r\n"
                 "         </TITLE>\r\n      </FILE>\r\n</DESCRIPTOR>\r\n" % (name, size)).encode("utf-8"))
    t0 = time.time()
    r = subprocess.run(["curl", "-s", "-u", "uploader:s3cret", "-F", "DESCRIPTOR=@%s;filename=d.tmp" % desc,
                        "-F", "IMAGE=@%s;filename=%s" % (path, name), service.url("/upload?&fn=" + url_encode(name))],
                       capture_output=True, text=True)
    if r.stdout != "OK":
        sys.exit("agent_bench: curl's upload was refused: " + r.stdout)
    return time.time() - t0


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    for d in (AUDIT, STAGE, LOGS):
        os.makedirs(d)
    service = Service()
    results = []

    # ---- idle, then P2 and P1 with chunking off. The prefix's wineserver has a cost of its own
    # (Wine 8 wakes it every 16 ms to update the time it shares with its processes), measured
    # first without the agent: the agent's share is what it adds.
    idle_s = 20 if QUICK else 60
    server = wineserver_pid()
    n0, t0 = proc_cpu_ns(server), time.time()
    time.sleep(idle_s)
    base_server = 100.0 * (proc_cpu_ns(server) - n0) / 1e9 / (time.time() - t0)
    agent = Agent(service, 0)
    time.sleep(5)  # start-up done
    a0, s0, an0, sn0, t0 = agent.ticks(), proc_ticks(server), proc_cpu_ns(agent.pid), proc_cpu_ns(server), time.time()
    mem_idle = agent.memory()
    time.sleep(idle_s)
    a1, s1, an1, sn1, t1 = agent.ticks(), proc_ticks(server), proc_cpu_ns(agent.pid), proc_cpu_ns(server), time.time()
    pct = lambda delta, unit: 100.0 * delta / unit / (t1 - t0)
    cpu_agent, cpu_server = pct(an1 - an0, 1e9), pct(sn1 - sn0, 1e9)
    results.append("P4 idle CPU over %d s: agent %.3f %% + wineserver %.3f %% = %.3f %% of a core (ticks: %.2f %% + %.2f %%); "
                   "the wineserver alone, before the agent started, %.3f %%, so the agent costs %.3f %% (goal <= 0.2 %%)" %
                   (idle_s, cpu_agent, cpu_server, cpu_agent + cpu_server, pct(a1 - a0, TICK), pct(s1 - s0, TICK), base_server,
                    cpu_agent + max(cpu_server - base_server, 0.0)))

    delays = []
    for i in range(5 if QUICK else 11):
        name = "p2_%02d" % i
        t = move_in(name, lambda f: write_random(os.path.join(f, "a.jpg"), 10000))
        rows = wait_for(lambda: accepted(service, name), 30)
        delays.append(rows[0][2] - t if rows else float("inf"))
        wait_for(lambda: not os.listdir(AUDIT), 30)
        time.sleep(0.3 + 0.09 * i)  # different phases of the audit's second
    results.append("P2 moved in -> first byte at the service: median %.3f s (min %.3f, max %.3f; goal <= 1.1 s)" %
                   (statistics.median(delays), min(delays), max(delays)))

    big = os.path.join(WORK, "big.bin")
    write_random(big, 100 * MiB)
    curl_s = min(curl_upload(service, big, "curl_big.bin") for _ in range(3))
    agent_s = []
    for i in range(3):
        name = "p1_%d" % i
        t = move_in(name, lambda f: shutil.copy(big, os.path.join(f, "big.bin")))
        rows = wait_for(lambda: accepted(service, name), 300, 0.01)
        agent_s.append(rows[0][3] - t)
        wait_for(lambda: not os.listdir(AUDIT), 30)
        time.sleep(1)
    best = min(agent_s)
    results.append("P1 100 MiB, chunking off: agent %.1f MB/s (%.2f s moved in -> accepted, best of %s), curl -F %.1f MB/s (%.2f s, best of 3): "
                   "ratio %.2f (goal >= 0.9)" % (100 * MiB / best / 1e6, best, ", ".join("%.2f" % x for x in agent_s),
                                                 100 * MiB / curl_s / 1e6, curl_s, curl_s / best))

    # ---- P3: one order of 1,000 x 10 KB files
    files = 300 if QUICK else 1000
    def many(folder):
        for k in range(files):
            write_random(os.path.join(folder, "f%04d.jpg" % k), 10 * 1024)
    t = move_in("p3", many)
    rows = wait_for(lambda: accepted(service, "\\p3\\", files), 900, 0.05)
    agent_rate = files / (max(r[3] for r in rows) - t)
    small = os.path.join(WORK, "small.bin")
    write_random(small, 10 * 1024)
    n = 100 if QUICK else 200
    t0 = time.time()
    for k in range(n):
        curl_upload(service, small, "s%d.bin" % k)
    curl_rate = n / (time.time() - t0)
    results.append("P3 1,000 x 10 KB in one order: agent %.1f files/s, a loop of curl -F %.1f files/s: ratio %.2f (goal >= 1.0)" %
                   (agent_rate, curl_rate, agent_rate / curl_rate))
    wait_for(lambda: not os.listdir(AUDIT), 60)

    # ---- P5: one 1 GiB file, chunking off
    gib = os.path.join(WORK, "gib.bin")
    gib_mb = 256 if QUICK else 1024
    write_random(gib, gib_mb * MiB)
    mem_before = agent.memory()
    t = move_in("p5", lambda f: os.link(gib, os.path.join(f, "gib.bin")))
    peak_rss = mem_before["VmRSS"]
    while not accepted(service, "\\p5\\"):
        peak_rss = max(peak_rss, agent.memory()["VmRSS"])
        time.sleep(0.05)
    mem_after = agent.memory()
    results.append("P5 %d MiB sent: VmRSS idle %.1f MB, peak while sending %.1f MB (+%.1f MB), VmHWM %.1f -> %.1f MB (goal <= +5 MB)" %
                   (gib_mb, mem_idle["VmRSS"], peak_rss, peak_rss - mem_idle["VmRSS"], mem_before["VmHWM"], mem_after["VmHWM"]))
    wait_for(lambda: not os.listdir(AUDIT), 60)
    agent.stop()

    # ---- P1 with chunking on: 1 GiB at ChunkSize 10
    if not QUICK:
        agent = Agent(service, 10)
        t = move_in("p1c", lambda f: os.link(gib, os.path.join(f, "gib.bin")))
        chunks = (1024 + 9) // 10
        rows = wait_for(lambda: accepted(service, "\\p1c\\", chunks), 1800, 0.2)
        took = max(r[3] for r in rows) - t
        pauses = chunks * 3 * 0.05
        results.append("P1c 1 GiB at ChunkSize 10 (%d chunks): %.1f s, %.1f MB/s; the splitter's pauses (3 x 50 ms a chunk) are %.1f s of it" %
                       (chunks, took, 1024 * MiB / took / 1e6, pauses))
        agent.stop()

    service.stop()
    print()
    for line in results:
        print(line)


if __name__ == "__main__":
    main()
