#!/usr/bin/env python3
"""Fault matrix of the agent .exe under Wine (run by bench/fault_matrix.sh, which builds what it
needs and keeps a Wine session up).

Fifty orders of mixed sizes (files over 1 MiB are cut into chunks) go into an audit folder on a
small tmpfs while the reference service injects faults (connection reset mid-body, status 500,
an "ERROR: ..." answer, refused credentials, the service down for 20 s, a service that reads the
body and never answers), the agent is killed with SIGKILL at random moments and started again,
and the file system fills up while a big file is being cut into chunks. At the end every file
that was ordered is looked for at the service (whole, or as its complete set of chunks) and
compared byte for byte. Printed: files lost, corrupted, deleted without acceptance, duplicates.
"""
import hashlib
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

from agent_paths import AGENT, AGENTCTL, KEY, ROOT, WINE_RUN
from ref_service import RefService

WORK = os.path.join(ROOT, "build", "faults")
DISK = os.path.join(WORK, "disk")          # a small tmpfs: the audit folder and its staging area
AUDIT = os.path.join(DISK, "audit.UPLOAD")
STAGE = os.path.join(DISK, "stage")
STORE = os.path.join(WORK, "store")
LOGS = os.path.join(WORK, "logs")
CHUNK = 1 << 20
KILLS = int(os.environ.get("ZK_KILLS", "20"))
SEED = int(os.environ.get("ZK_SEED", "7"))
TMPFS_MB = 72
CHUNK_RE = re.compile(r"^(.*)\.([0-9a-f]{32})\.p(\d+)-(\d+)$")

rnd = random.Random(SEED)
log_lock = threading.Lock()
t_start = time.time()


def say(text):
    with log_lock:
        print("[%6.1f s] %s" % (time.time() - t_start, text), flush=True)


def win(path):
    return "Z:" + path.replace("/", "\\")


def unix(path):
    return path[2:].replace("\\", "/") if path[:2].upper() == "Z:" else path


def wine(*args, **kw):
    return subprocess.run([WINE_RUN] + list(args), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)


# ---------------------------------------------------------------- the service
class Service(RefService):
    def __init__(self):
        super().__init__(STORE)

    def apply(self, query, label, timeout=120):
        """Switches a fault on and waits until the requests it was meant for have met it."""
        say("fault: " + label)
        self.control("fault?" + query)
        deadline = time.time() + timeout
        while self.control("faults").strip() and time.time() < deadline:
            time.sleep(0.5)
        left = self.control("faults").strip()
        say("  %s" % ("met" if not left else "not all met in %d s (%s)" % (timeout, left.replace("\t", " "))))
        self.control("clear")
        applied.append(label)


# ---------------------------------------------------------------- the agent
class Agent:
    def __init__(self):
        self.proc = None
        self.lock = threading.Lock()

    def start(self):
        with self.lock:
            self.proc = subprocess.Popen([WINE_RUN, AGENT], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def kill(self):
        with self.lock:
            if self.proc and self.proc.poll() is None:
                os.kill(self.proc.pid, signal.SIGKILL)  # as a crash or a power cut would
                self.proc.wait()

    def exit_through_menu(self):
        wine(AGENTCTL, "exit")
        with self.lock:
            if self.proc:
                try:
                    self.proc.wait(timeout=60)
                except subprocess.TimeoutExpired:
                    self.proc.kill()


# ---------------------------------------------------------------- orders
expected = {}  # unix path of every ordered file -> (size, sha256)
applied = []   # the faults that were met


def make_file(path, size):
    data = rnd.randbytes(size)
    with open(path, "wb") as f:
        f.write(data)
    expected[path] = (size, hashlib.sha256(data).hexdigest())


def stage_order(n):
    """An order built in the staging folder (same file system), moved into place in one rename."""
    name = "Заказ %03d" % n
    folder = os.path.join(STAGE, name)
    os.makedirs(folder)
    files = rnd.randint(2, 6)
    for i in range(files):
        if n % 5 == 0 and i == 0:
            size = rnd.randint(1 * CHUNK + 1, 3 * CHUNK)  # cut into 2-3 chunks
        else:
            size = rnd.randint(2000, 300000)
        make_file(os.path.join(folder, "фото %d.jpg" % i), size)
    return name, folder


def drop(name, folder):
    target = os.path.join(AUDIT, name)
    os.rename(folder, target)
    for path in list(expected):
        if path.startswith(folder + "/"):
            expected[target + path[len(folder):]] = expected.pop(path)


def free_bytes():
    st = os.statvfs(DISK)
    return st.f_bavail * st.f_frsize


def phase():
    """What the agent is most likely doing: cutting a file (a chunk beside its source), working
    on orders, or idle."""
    busy = False
    for dirpath, _, names in os.walk(AUDIT):
        for n in names:
            busy = True
            m = CHUNK_RE.match(n)
            if m and m.group(1) in names:
                return "splitting"
    return "working" if busy else "idle"


def received_names():
    try:
        with open(os.path.join(STORE, "received.tsv"), encoding="utf-8") as f:
            return [os.path.basename(unix(line.rstrip("\n").split("\t", 3)[3])) for line in f if line.count("\t") >= 3]
    except OSError:
        return []


# ---------------------------------------------------------------- the run
def main():
    if os.geteuid() != 0:
        sys.exit("fault_matrix: needs root (the audit folder is put on a small tmpfs)")
    os.makedirs(WORK, exist_ok=True)
    subprocess.run(["umount", "-l", DISK], stderr=subprocess.DEVNULL)
    for d in (STORE, LOGS, DISK):
        shutil.rmtree(d, ignore_errors=True)
    os.makedirs(DISK)
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%dm" % TMPFS_MB, "tmpfs", DISK], check=True)
    try:
        run()
    finally:
        subprocess.run(["umount", "-l", DISK], stderr=subprocess.DEVNULL)


def run():
    os.makedirs(AUDIT)
    os.makedirs(STAGE)
    os.makedirs(STORE)
    os.makedirs(LOGS)
    service = Service()
    service.start()
    say("service on port %d, store %s" % (service.port, STORE))
    wine("reg", "delete", KEY, "/f")
    for name, value in (("AuthSrv", "http://127.0.0.1:%d/ru/99" % service.port), ("AuditFolder", win(AUDIT)),
                        ("LogsFolder", win(LOGS)), ("ChunkSize", "1"), ("Exst", "*.jpg,*.lst")):
        wine("reg", "add", KEY, "/v", name, "/t", "REG_SZ", "/d", value, "/f", check=True)

    agent = Agent()
    agent.start()
    done = threading.Event()
    kills = []

    def killer():
        for k in range(KILLS):
            if done.wait(rnd.uniform(3.0, 9.0)):
                return
            state = phase()
            agent.kill()
            kills.append(state)
            say("kill %d of the agent (%s)" % (k + 1, state))
            time.sleep(rnd.uniform(0.3, 1.5))
            agent.start()

    threading.Thread(target=killer, daemon=True).start()

    orders = 0
    def wave(count):
        nonlocal orders
        for _ in range(count):
            orders += 1
            drop(*stage_order(orders))
        say("orders 1-%d in the audit folder" % orders)

    wave(12)
    service.apply("target=upload&kind=cut&cut=30000&count=3", "connection reset after 30000 body bytes, 3 uploads")
    wave(12)
    service.apply("target=upload&kind=status&status=500&count=3", "status 500, 3 uploads")
    service.apply("target=upload&kind=error&text=ERROR%3A+disk+full&count=3", "\"ERROR: disk full\" answered, 3 uploads")
    wave(12)
    service.apply("target=auth&kind=refuse&text=Access+denied&count=2", "refused credentials, 2 authentications")

    # The disk fills up while a big file is cut: so little room is left that its chunks do not
    # fit. The split fails, its chunks go, and the file is sent whole. The orders before it go
    # first: files of theirs sent meanwhile would make room for the chunks after all.
    deadline = time.time() + 300
    while os.listdir(AUDIT) and time.time() < deadline:
        time.sleep(0.5)
    say("audit folder %s before the disk fills" % ("empty" if not os.listdir(AUDIT) else "still not empty"))
    big_name = "Большой заказ"
    big_folder = os.path.join(STAGE, big_name)
    os.makedirs(big_folder)
    make_file(os.path.join(big_folder, "снимок.tif"), 12 * CHUNK)
    filler = os.path.join(DISK, "filler.bin")
    room = free_bytes() - 5 * CHUNK
    if room > 0:
        with open(filler, "wb") as f:
            f.write(b"\0" * room)
    say("disk: %.1f MB left for the 12 MB file's chunks" % (free_bytes() / 1e6))
    drop(big_name, big_folder)
    orders += 1
    deadline = time.time() + 180
    while "снимок.tif" not in received_names() and time.time() < deadline:
        time.sleep(0.5)
    whole = "снимок.tif" in received_names()
    os.remove(filler)
    say("disk: %s; room again (%.1f MB)" % ("the file went whole" if whole else "the file did not go whole in 180 s", free_bytes() / 1e6))
    if whole:
        applied.append("disk full while cutting a 12 MB file")

    say("fault: the service is down for 20 s")
    service.stop()
    time.sleep(20)
    service.start()
    applied.append("service down 20 s")
    say("service back")
    wave(13)
    service.apply("target=upload&kind=hang&ms=90000&count=1", "a service that reads the body and never answers (90 s)")

    # Let the kills finish, then the queue drain.
    deadline = time.time() + 600
    while len(kills) < KILLS and time.time() < deadline:
        time.sleep(1)
    done.set()
    service.control("clear")
    say("faults off; waiting for the audit folder to empty")
    while os.listdir(AUDIT) and time.time() < deadline:
        time.sleep(1)
    time.sleep(2)
    agent.exit_through_menu()
    left = sorted(os.path.relpath(os.path.join(d, n), AUDIT) for d, _, ns in os.walk(AUDIT) for n in ns)
    report(orders, kills, left)


def report(orders, kills, left):
    # What the service accepted: whole files by their path, chunks by their source and number.
    whole, chunks = {}, {}
    with open(os.path.join(STORE, "received.tsv"), encoding="utf-8") as f:
        for line in f:
            number, size, stored, fn = line.rstrip("\n").split("\t", 3)
            path = unix(fn)
            name = os.path.basename(path)
            if name.startswith("_content_"):
                continue
            with open(os.path.join(STORE, "17", "42", stored), "rb") as g:
                data = g.read()
            m = CHUNK_RE.match(name)
            if m:
                source = os.path.join(os.path.dirname(path), m.group(1))
                chunks.setdefault(source, {}).setdefault((int(m.group(3)), int(m.group(4))), []).append(data)
            else:
                whole.setdefault(path, []).append(data)

    lost, corrupted, duplicates, pending = [], [], 0, []
    for path, (size, digest) in sorted(expected.items()):
        copies = [hashlib.sha256(d).hexdigest() for d in whole.get(path, [])]
        sets = chunks.get(path, {})
        complete = []
        for count in {c for (_, c) in sets}:
            parts = [sets.get((i, count)) for i in range(1, count + 1)]
            if all(parts):
                complete.append(hashlib.sha256(b"".join(p[0] for p in parts)).hexdigest())
                if any(len({hashlib.sha256(x).hexdigest() for x in p}) > 1 for p in parts):
                    corrupted.append(path + " (chunk copies differ)")
                duplicates += sum(len(p) - 1 for p in parts)
        received = copies + complete
        if any(r != digest for r in received):
            corrupted.append(path)
        if received:
            duplicates += len(received) - 1
        elif os.path.exists(path):
            pending.append(path)
        else:
            lost.append(path)

    sent_files = sum(len(v) for v in whole.values()) + sum(len(p) for s in chunks.values() for p in s.values())
    phases = {p: kills.count(p) for p in sorted(set(kills))}
    print()
    print("orders:                       %d, files %d, %.1f MB" % (orders, len(expected), sum(s for s, _ in expected.values()) / 1e6))
    print("faults met:                   %d: %s" % (len(applied), "; ".join(applied)))
    print("kills (SIGKILL) of the agent: %d %s" % (len(kills), phases))
    print("uploads stored by the service: %d" % sent_files)
    print("files lost:                   %d" % len(lost))
    print("files corrupted:              %d" % len(corrupted))
    print("deleted without acceptance:   %d" % len(lost))
    print("files still in the folder:    %d" % len(pending))
    print("duplicates (extra copies):    %d (allowed: at most one per kill, %d)" % (duplicates, len(kills)))
    print("left in the audit folder:     %s" % (left if left else "nothing"))
    print("run time:                     %.0f s" % (time.time() - t_start))
    for p in lost + corrupted + pending:
        print("  problem: " + p)
    ok = not lost and not corrupted and not pending and duplicates <= len(kills) and len(applied) == 7
    print("RESULT: " + ("PASS" if ok else "FAIL"))
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
