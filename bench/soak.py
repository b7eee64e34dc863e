#!/usr/bin/env python3
"""Soak of the agent .exe under Wine (run by bench/soak.sh): 1,000 orders of 10 files each
through the agent against the reference service. Every 100 orders delivered, the agent's
resident memory (VmRSS), its Windows handles (GetProcessHandleCount, through agentctl), its GDI
and USER objects, its Linux file descriptors and its threads are read; they must stay flat from
order 100 to order 1,000. At the end every file must have arrived exactly once."""
import os
import shutil
import signal
import subprocess
import sys
import time
import urllib.request

from agent_paths import AGENT, AGENTCTL, KEY, REFSERVER, ROOT, WINE_RUN

WORK = os.path.join(ROOT, "build", "soak")
AUDIT = os.path.join(WORK, "audit.UPLOAD")
STAGE = os.path.join(WORK, "stage")
LOGS = os.path.join(WORK, "logs")
ORDERS = int(os.environ.get("ZK_ORDERS", "1000"))
FILES = 10


def wine(*args, check=False, capture=False):
    return subprocess.run([WINE_RUN] + list(args), stdout=subprocess.PIPE if capture else subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, check=check, text=True)


def received(port):
    body = urllib.request.urlopen("http://127.0.0.1:%d/_control/received" % port, timeout=60).read().decode()
    return [line.split("\t", 4)[4] for line in body.splitlines()]


def sample(pid):
    status = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            key, _, value = line.partition(":")
            status[key] = value.split()
    out = wine(AGENTCTL, "handles", capture=True).stdout.split()
    handles = dict(zip(out[0::2], out[1::2])) if out else {}
    return {"rss": int(status["VmRSS"][0]) / 1024.0, "threads": int(status["Threads"][0]),
            "fds": len(os.listdir("/proc/%d/fd" % pid)), "handles": int(handles.get("handles", -1)),
            "gdi": int(handles.get("gdi", -1)), "user": int(handles.get("user", -1))}


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    for d in (AUDIT, STAGE, LOGS):
        os.makedirs(d)
    service = subprocess.Popen([REFSERVER, "--lean"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    port = int(service.stdout.readline().split()[1])
    wine("reg", "delete", KEY, "/f")
    for name, value in (("AuthSrv", "http://127.0.0.1:%d/ru/99" % port), ("AuditFolder", "Z:" + AUDIT.replace("/", "\\")),
                        ("LogsFolder", "Z:" + LOGS.replace("/", "\\")), ("ChunkSize", "0"), ("Exst", "*.jpg")):
        wine("reg", "add", KEY, "/v", name, "/t", "REG_SZ", "/d", value, "/f", check=True)
    agent = subprocess.Popen([WINE_RUN, AGENT], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if os.environ.get("ZK_HIDDEN") == "1":  # the balloon closed, as most users leave it
        time.sleep(3)
        wine(AGENTCTL, "hide")
    t0 = time.time()
    made, samples, seen = 0, [], 0
    payload = os.urandom(20 * 1024)
    while True:
        queued = len(os.listdir(AUDIT))
        while made < ORDERS and queued < 40:
            folder = os.path.join(STAGE, "order%04d" % made)
            os.makedirs(folder)
            for k in range(FILES):
                with open(os.path.join(folder, "f%02d.jpg" % k), "wb") as f:
                    f.write(payload[: 1000 + (made * 37 + k * 101) % 19000])
            os.rename(folder, os.path.join(AUDIT, "order%04d" % made))
            made += 1
            queued += 1
        done = made - len(os.listdir(AUDIT))
        while done >= (len(samples) + 1) * 100:
            samples.append(((len(samples) + 1) * 100, time.time() - t0, sample(agent.pid)))
            n, t, s = samples[-1]
            print("order %4d  %6.1f s  VmRSS %6.1f MB  handles %4d  gdi %3d  user %3d  fds %3d  threads %2d" %
                  (n, t, s["rss"], s["handles"], s["gdi"], s["user"], s["fds"], s["threads"]), flush=True)
        if done >= ORDERS or time.time() - t0 > 3600:
            break
        time.sleep(0.2)
    elapsed = time.time() - t0
    names = received(port)
    wine(AGENTCTL, "exit")
    agent.wait(timeout=60)
    service.send_signal(signal.SIGTERM)
    service.wait(timeout=60)

    distinct = set(names)
    print()
    print("orders %d x %d files: %d accepted, %d distinct, %.1f s, %.1f files/s" %
          (ORDERS, FILES, len(names), len(distinct), elapsed, len(names) / elapsed))
    first = next(s for n, _, s in samples if n == 100)
    last = samples[-1][2]
    for key in ("rss", "handles", "gdi", "user", "fds", "threads"):
        print("%-8s at order 100: %8.1f   at order %d: %8.1f   change %+.1f" % (key, first[key], samples[-1][0], last[key], last[key] - first[key]))
    ok = len(names) == ORDERS * FILES and len(distinct) == len(names) and not os.listdir(AUDIT) \
        and last["rss"] - first["rss"] <= 5.0 and last["handles"] - first["handles"] <= 10
    print("RESULT: " + ("PASS" if ok else "FAIL"))
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
