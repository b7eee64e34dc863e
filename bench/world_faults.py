#!/usr/bin/env python3
"""Real-world cases of the agent .exe under Wine (run by bench/world_faults.sh, which builds what
it needs and keeps a Wine session up). Everything talks to 127.0.0.1 only; every wait is bounded.

1. Orders copied into the audit folder in place: by Wine's own `xcopy /E /I`, and by a slow
   copier that makes the folder and copies one file every 0.3 s. Each must arrive as one order:
   all its files, and its content list naming every file of the order, sent last.
2. Uploads answered with a redirect (3xx): nothing lost, nothing deleted without a stored copy.
3. An answer trickled a byte at a time for longer than the agent's answer deadline (120 s; the
   product has no setting for it): the upload fails as a transient failure and is sent again.
4. An "OK" followed by a 2 MB tail: accepted once, no duplicate.
5. A file rewritten while it is held: another program (tools/holder) keeps a photo of an order
   open without delete sharing, so the agent sends it, the service accepts it and its deletion
   fails; once the agent has set the order aside for it, the holder rewrites the photo with new
   bytes and lets it go. The new bytes must be sent as well, and only then the photo deleted and
   the order's folder removed.
Per case: orders, files, lost, corrupted, deleted without acceptance, duplicates, and the
longest time an order was held (from the moment it was whole in the folder to its last upload).
"""
import hashlib
import os
import queue
import random
import shutil
import signal
import subprocess
import sys
import threading
import time
import urllib.request

from agent_paths import AGENT, AGENTCTL, KEY, REFSERVER, ROOT, WINE_RUN

# Beside the agent in the Windows build (ZK_BENCH_WINDOWS, as in agent_paths).
HOLDER = os.path.join(os.path.dirname(os.path.dirname(AGENT)), "tools", "holder", "holder.exe")
WORK = os.environ.get("ZK_WORLD_FAULTS_DIR", os.path.join(ROOT, "build", "world_faults"))
AUDIT = os.path.join(WORK, "audit.UPLOAD")
STAGE = os.path.join(WORK, "stage")
STORE = os.path.join(WORK, "store")
LOGS = os.path.join(WORK, "logs")
TRICKLE_MS = 40000  # "OK  " trickled: a byte every 40 s (under a receive timeout), the last at 160 s

rnd = random.Random(int(os.environ.get("ZK_SEED", "11")))
t_start = time.time()


def say(text):
    print("[%6.1f s] %s" % (time.time() - t_start, text), flush=True)


def win(path):
    return "Z:" + path.replace("/", "\\")


def unix(path):
    return path[2:].replace("\\", "/") if path[:2].upper() == "Z:" else path


def wine(*args, **kw):
    return subprocess.run([WINE_RUN] + list(args), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)


class Service:
    def __init__(self):
        self.proc = None
        self.port = 0

    def start(self):
        self.proc = subprocess.Popen([REFSERVER, "--store", STORE, "--lean"], stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True)
        self.port = int(self.proc.stdout.readline().split()[1])

    def stop(self):
        if self.proc:
            self.proc.send_signal(signal.SIGTERM)
            self.proc.wait(timeout=30)

    def control(self, query):
        for _ in range(50):
            try:
                return urllib.request.urlopen("http://127.0.0.1:%d/_control/%s" % (self.port, query), timeout=5).read().decode()
            except OSError:
                time.sleep(0.2)
        raise RuntimeError("the service does not answer its control requests")

    def faults_left(self):
        return self.control("faults").strip()

    def received(self):
        """seq -> (accepted ms, unix path of fn)"""
        out = {}
        for line in self.control("received").splitlines():
            p = line.split("\t", 4)
            if len(p) == 5:
                out[int(p[0])] = (int(p[3]) / 1000.0, unix(p[4]))
        return out


def stored():
    """[(number, unix path, data)] in the order the service stored them."""
    rows = []
    try:
        with open(os.path.join(STORE, "received.tsv"), encoding="utf-8") as f:
            for line in f:
                number, _, name, fn = line.rstrip("\n").split("\t", 3)
                with open(os.path.join(STORE, "17", "42", name), "rb") as g:
                    rows.append((int(number), unix(fn), g.read()))
    except OSError:
        pass
    return rows


class Case:
    def __init__(self, title):
        self.title = title
        self.orders = {}    # unix folder -> time it was whole in the audit folder
        self.files = {}     # unix path -> sha256 of the content that must reach the service last
        self.earlier = {}   # unix path -> sha256 of an earlier content that may have been sent too
        self.sent_first = set()  # unix paths whose earlier content must have reached the service before the last

    def add_file(self, folder, name, size):
        data = rnd.randbytes(size)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        return hashlib.sha256(data).hexdigest()


def make_source(name, files):
    folder = os.path.join(STAGE, name)
    os.makedirs(folder)
    digests = {}
    for i in range(files):
        fname = "photo %d.jpg" % i
        data = rnd.randbytes(rnd.randint(20000, 400000))
        with open(os.path.join(folder, fname), "wb") as f:
            f.write(data)
        digests[fname] = hashlib.sha256(data).hexdigest()
    return folder, digests


def register(case, name, digests):
    target = os.path.join(AUDIT, name)
    case.orders[target] = time.time()
    for fname, d in digests.items():
        case.files[os.path.join(target, fname)] = d


def drop(case, name, files):
    """An order built beside the audit folder and renamed into it at once."""
    folder, digests = make_source(name, files)
    os.rename(folder, os.path.join(AUDIT, name))
    register(case, name, digests)


def wait_gone(case, timeout):
    deadline = time.time() + timeout
    while time.time() < deadline and any(os.path.exists(f) for f in case.orders):
        time.sleep(0.5)
    return not any(os.path.exists(f) for f in case.orders)


def check(case, service, copied=False):
    rows = stored()
    times = service.received()
    by_path = {}
    for number, path, data in rows:
        by_path.setdefault(path, []).append((number, hashlib.sha256(data).hexdigest()))
    lost = corrupted = deleted = dups = 0
    problems = []
    for path, digest in sorted(case.files.items()):
        copies = by_path.get(path, [])
        good = [c for c in copies if c[1] == digest]
        bad = [c for c in copies if c[1] != digest and c[1] != case.earlier.get(path)]
        if bad:
            corrupted += 1
            problems.append("corrupted: " + path)
        if not good:
            if os.path.exists(path):
                problems.append("still in the folder: " + path)
            else:
                lost += 1
                deleted += 1
                problems.append("lost (deleted without acceptance): " + path)
        elif copies[-1][1] != digest:
            problems.append("the last copy is not the last content: " + path)
            corrupted += 1
        dups += max(0, len(good) - 1) + max(0, len([c for c in copies if c[1] == case.earlier.get(path)]) - 1)
        if path in case.sent_first and not (good and any(c[1] == case.earlier[path] and c[0] < good[-1][0] for c in copies)):
            problems.append("its earlier content was not accepted before the last one (the case did not happen as meant): " + path)
    held = 0.0
    whole = 0
    for folder, t0 in case.orders.items():
        ups = [(n, p, d) for n, p, d in rows if os.path.dirname(p) == folder]
        if ups:
            last = max(times.get(n, (t0, ""))[0] for n, _, _ in ups)
            held = max(held, last - t0)
        if copied:
            names = {os.path.basename(p) for p in case.files if os.path.dirname(p) == folder}
            lists = [(n, d) for n, p, d in ups if os.path.basename(p).startswith("_content_")]
            data_ups = [n for n, p, _ in ups if not os.path.basename(p).startswith("_content_")]
            ok = len(lists) == 1 and data_ups and lists[0][0] > max(data_ups)
            if ok:
                listed = {os.path.basename(unix(l)) for l in lists[0][1].decode("utf-8-sig", "replace").splitlines() if l.strip()}
                ok = listed == names and {os.path.basename(p) for n, p, _ in ups if n in data_ups} == names
            if ok:
                whole += 1
            else:
                problems.append("not received as one order with a complete list sent last: %s (%d lists)" % (folder, len(lists)))
    print()
    print("== %s" % case.title)
    print("orders %d, files %d, lost %d, corrupted %d, deleted without acceptance %d, duplicates %d"
          % (len(case.orders), len(case.files), lost, corrupted, deleted, dups))
    if copied:
        print("orders received as one order with a complete content list sent last: %d of %d" % (whole, len(case.orders)))
    print("longest time an order was held: %.1f s" % held)
    for p in problems:
        print("  problem: " + p)
    sys.stdout.flush()
    return not problems and not dups and (not copied or whole == len(case.orders))


def journal_lines(text):
    """The agent's journal lines (every day's file under LOGS) that contain text."""
    lines = []
    for folder, _, names in os.walk(LOGS):
        for name in sorted(names):
            if name.endswith(".log"):
                with open(os.path.join(folder, name), encoding="utf-8-sig", errors="replace") as f:
                    lines += [l.rstrip("\r\n") for l in f if text in l]
    return lines


def wait_for_journal(text, timeout):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if journal_lines(text):
            return True
        time.sleep(0.5)
    return False


class Holder:
    """tools/holder under Wine: makes a file and holds it without delete sharing; at release()
    it rewrites the file with other bytes and lets it go."""

    def __init__(self, path, first, second):
        self.proc = subprocess.Popen([WINE_RUN, HOLDER, win(path), "--create", win(first), "--rewrite", win(second)],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.proc.stdout:
            self.lines.put(raw.decode("utf-8", "replace").strip())
        self.lines.put(None)

    def expect(self, word, timeout):
        """True once the holder printed word; False when it ended or timeout passed first."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            try:
                line = self.lines.get(timeout=max(0.0, deadline - time.time()))
            except queue.Empty:
                return False
            if line is None:
                return False
            if line == word:
                return True
        return False

    def release(self):
        if self.proc.stdin.closed:
            return
        try:
            self.proc.stdin.write(b"\n")
            self.proc.stdin.close()
        except OSError:
            pass  # it has ended already

    def end(self):
        self.release()
        try:
            return self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            return self.proc.wait()


def slow_copy(src, dst):
    os.makedirs(dst)
    for name in sorted(os.listdir(src)):
        time.sleep(0.3)
        shutil.copyfile(os.path.join(src, name), os.path.join(dst, name))


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    for d in (AUDIT, STAGE, STORE, LOGS):
        os.makedirs(d)
    service = Service()
    service.start()
    say("service on port %d, store %s" % (service.port, STORE))
    wine("reg", "delete", KEY, "/f")
    for name, value in (("AuthSrv", "http://127.0.0.1:%d/ru/99" % service.port), ("AuditFolder", win(AUDIT)),
                        ("LogsFolder", win(LOGS)), ("ChunkSize", "1"), ("Exst", "*.jpg,*.lst")):
        wine("reg", "add", KEY, "/v", name, "/t", "REG_SZ", "/d", value, "/f", check=True)
    agent = subprocess.Popen([WINE_RUN, AGENT], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    results = []
    try:
        results = run(service)
    finally:
        wine(AGENTCTL, "exit")
        try:
            agent.wait(timeout=60)
        except subprocess.TimeoutExpired:
            agent.kill()
        service.stop()
    print()
    print("run time: %.0f s" % (time.time() - t_start))
    print("RESULT: " + ("PASS" if results and all(results) else "FAIL"))
    sys.exit(0 if results and all(results) else 1)


def run(service):
    results = []

    # 1. Orders filled in place.
    case = Case("1. orders copied in place (3 by Wine xcopy /E /I, 2 by a copier doing a file every 0.3 s)")
    jobs = []
    for i in range(3):
        name = "xcopy order %d" % i
        src, digests = make_source(name, rnd.randint(3, 7))
        jobs.append(("xcopy", name, src, digests))
    for i in range(2):
        name = "slow order %d" % i
        src, digests = make_source(name, rnd.randint(6, 9))
        jobs.append(("slow", name, src, digests))

    def copy_one(kind, name, src, digests):
        dst = os.path.join(AUDIT, name)
        if kind == "xcopy":
            r = wine("xcopy", "/E", "/I", "/Q", "/Y", win(src), win(dst))
            if r.returncode != 0:
                say("xcopy of %s ended with %d" % (name, r.returncode))
        else:
            slow_copy(src, dst)
        register(case, name, digests)  # whole in the folder from now on
    threads = [threading.Thread(target=copy_one, args=j) for j in jobs]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=120)
    say("case 1: %d orders copied in place" % len(jobs))
    say("case 1: %s" % ("done" if wait_gone(case, 120) else "orders still in the folder after 120 s"))
    results.append(check(case, service, copied=True))

    # 2. Redirects.
    case = Case("2. uploads answered with a redirect (302, 3 uploads)")
    service.control("fault?target=upload&kind=redirect&status=302&count=3")
    drop(case, "redirect order 0", 3)
    drop(case, "redirect order 1", 3)
    say("case 2: %s" % ("done" if wait_gone(case, 120) else "orders still in the folder after 120 s"))
    say("case 2: faults left: %r" % service.faults_left())
    service.control("clear")
    results.append(check(case, service))

    # 3. A trickling answer, past the default answer deadline.
    case = Case("3. an \"OK  \" trickled a byte every %.0f s (1 upload; answer deadline 120 s, no setting for it)" % (TRICKLE_MS / 1000))
    service.control("fault?target=upload&kind=trickle&text=OK%%20%%20&ms=%d&count=1" % TRICKLE_MS)
    drop(case, "trickle order", 2)
    say("case 3: %s" % ("done" if wait_gone(case, 200) else "order still in the folder after 200 s"))
    say("case 3: faults left: %r" % service.faults_left())
    service.control("clear")
    results.append(check(case, service))

    # 4. A long tail after the "OK".
    case = Case("4. an \"OK\" followed by a 2 MB tail (1 upload)")
    service.control("fault?target=upload&kind=longtail&tail=%d&count=1" % (2 << 20))
    drop(case, "longtail order", 2)
    say("case 4: %s" % ("done" if wait_gone(case, 120) else "order still in the folder after 120 s"))
    say("case 4: faults left: %r" % service.faults_left())
    service.control("clear")
    results.append(check(case, service))

    # 5. A file held without delete sharing, rewritten after it was accepted, then let go.
    case = Case("5. a photo held open without delete sharing: sent and accepted, not deletable; rewritten, then released")
    name = "held order"
    folder = os.path.join(AUDIT, name)
    held = os.path.join(folder, "photo held.jpg")
    first, second = os.path.join(STAGE, "held first.bin"), os.path.join(STAGE, "held second.bin")
    case.earlier[held] = case.add_file(STAGE, os.path.basename(first), 150000)
    case.files[held] = case.add_file(STAGE, os.path.basename(second), 170000)
    case.sent_first.add(held)
    # The holder makes the order's folder and the photo in place and holds the photo from its
    # first byte; the order's other photos are written beside it, and the folder is taken once
    # it has settled (2 s quiet), with the photo already held.
    holder = Holder(held, first, second)
    try:
        if not holder.expect("held", 60):
            say("case 5: the holder did not take the file")
        else:
            for i in range(2):
                case.files[os.path.join(folder, "photo %d.jpg" % i)] = case.add_file(folder, "photo %d.jpg" % i, rnd.randint(20000, 200000))
            case.orders[folder] = time.time()
            set_aside = 'файл "%s" уже отправлен, но не удаляется' % os.path.basename(held)
            if wait_for_journal(set_aside, 120):
                say("case 5: the agent set the order aside for the held photo; the holder rewrites it and lets it go")
            else:
                say("case 5: no journal line for the held photo after 120 s; the holder lets it go all the same")
            holder.release()
            if not (holder.expect("rewritten", 30) and holder.expect("released", 30)):
                say("case 5: the holder did not rewrite and release the photo")
    finally:
        say("case 5: the holder ended with %s" % holder.end())
    say("case 5: %s" % ("done" if wait_gone(case, 120) else "order still in the folder after 120 s"))
    ok = check(case, service)
    print("journal lines of the held order:")
    for line in journal_lines(name):
        print("  " + line)
    results.append(ok)

    return results


if __name__ == "__main__":
    main()
