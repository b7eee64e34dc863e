"""What the real-world runs of the agent .exe under Wine share (bench/world_faults.py against the
reference service, bench/real_servers.py against nginx, PHP-FPM and PHP's built-in server): the
run's folders and orders, the agent's start with its settings and its end, and the check of what
a server stored against what was put in the audit folder. Every wait is bounded.

A server's store is the reference service's: <store>/17/42/<number>_<name> and a line per accepted
file in <store>/received.tsv (number, size, stored name, fn). When it was accepted comes from the
server: the reference service's /_control/received, or <store>/times.tsv (number, head ms,
accepted ms) of the PHP endpoints.
"""
import ctypes
import hashlib
import os
import random
import shutil
import signal
import subprocess
import sys
import time
import urllib.parse

from agent_paths import AGENT, AGENTCTL, KEY, WINE_RUN

t_start = time.time()


def say(text):
    print("[%6.1f s] %s" % (time.time() - t_start, text), flush=True)


def die_with_parent():
    """A Popen preexec_fn: the child gets SIGTERM when this process ends, however it ends (Linux's
    PR_SET_PDEATHSIG), so that no server of a run outlives it."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM, 0, 0, 0)


def win(path):
    return "Z:" + path.replace("/", "\\")


def unix(path):
    return path[2:].replace("\\", "/") if path[:2].upper() == "Z:" else path


def wine(*args, timeout=120, **kw):
    """Runs a Windows program of the session to its end (at most `timeout` s, then it is killed)."""
    try:
        return subprocess.run([WINE_RUN] + list(args), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout, **kw)
    except subprocess.TimeoutExpired:
        say("%s did not end within %d s: killed" % (os.path.basename(args[0]), timeout))
        return subprocess.CompletedProcess(args, -9)


def fn_of_uri(uri):
    """The file path an upload's request target names (its fn, windows-1251, URL-encoded)."""
    query = uri.split("?", 1)[1] if "?" in uri else ""
    for pair in query.split("&"):
        if pair.startswith("fn="):
            return unix(urllib.parse.unquote_plus(pair[3:], encoding="cp1251"))
    return None


class World:
    """The run's folders: the audit folder, a stage beside it (same file system, so that a rename
    moves an order in at once), the server's store and the agent's journals."""

    def __init__(self, work, seed):
        self.work = work
        self.audit = os.path.join(work, "audit.UPLOAD")
        self.stage = os.path.join(work, "stage")
        self.store = os.path.join(work, "store")
        self.logs = os.path.join(work, "logs")
        self.rnd = random.Random(seed)

    def reset(self):
        shutil.rmtree(self.work, ignore_errors=True)
        for d in (self.audit, self.stage, self.store, self.logs):
            os.makedirs(d)

    def add_file(self, folder, name, size):
        """Writes `size` random bytes; returns their sha256."""
        data = self.rnd.randbytes(size)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        return hashlib.sha256(data).hexdigest()

    def make_source(self, name, files, low=20000, high=400000):
        folder = os.path.join(self.stage, name)
        os.makedirs(folder)
        digests = {}
        for i in range(files):
            fname = "photo %d.jpg" % i
            digests[fname] = self.add_file(folder, fname, self.rnd.randint(low, high))
        return folder, digests

    def register(self, case, name, digests):
        target = os.path.join(self.audit, name)
        case.orders[target] = time.time()
        for fname, d in digests.items():
            case.files[os.path.join(target, fname)] = d
        return target

    def drop(self, case, name, files, low=20000, high=400000):
        """An order built beside the audit folder and renamed into it at once."""
        folder, digests = self.make_source(name, files, low, high)
        os.rename(folder, os.path.join(self.audit, name))
        return self.register(case, name, digests)

    def clear_audit(self):
        """Removes whatever a case left in the audit folder (after its check)."""
        for name in os.listdir(self.audit):
            path = os.path.join(self.audit, name)
            if os.path.isdir(path):
                shutil.rmtree(path, ignore_errors=True)
            else:
                os.remove(path)

    def journal_lines(self, text, logs=None):
        """The agent's journal lines (every day's file under the logs folder) that contain text."""
        lines = []
        for folder, _, names in os.walk(logs or self.logs):
            for name in sorted(names):
                if name.endswith(".log"):
                    with open(os.path.join(folder, name), encoding="utf-8-sig", errors="replace") as f:
                        lines += [l.rstrip("\r\n") for l in f if text in l]
        return lines

    def wait_for_journal(self, text, timeout, logs=None):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.journal_lines(text, logs):
                return True
            time.sleep(0.5)
        return False


def wait_gone(case, timeout):
    deadline = time.time() + timeout
    while time.time() < deadline and any(os.path.exists(f) for f in case.orders):
        time.sleep(0.25)
    return not any(os.path.exists(f) for f in case.orders)


def wait_until(condition, timeout, step=0.25):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if condition():
            return True
        time.sleep(step)
    return condition()


class FileStore:
    """A server's store on disk: what it accepted, in its order, and when."""

    def __init__(self, store, times=None):
        self.store = store
        self.times = times  # a callable giving {number: (accepted time, unix fn)}, else times.tsv

    def stored(self):
        """[(number, unix path, data)] in the order the server stored them."""
        rows = []
        try:
            with open(os.path.join(self.store, "received.tsv"), encoding="utf-8") as f:
                for line in f:
                    number, _, name, fn = line.rstrip("\n").split("\t", 3)
                    with open(os.path.join(self.store, "17", "42", name), "rb") as g:
                        rows.append((int(number), unix(fn), g.read()))
        except OSError:
            pass
        return rows

    def received(self):
        """number -> (accepted time, unix path of fn)"""
        if self.times:
            return self.times()
        paths = {n: p for n, p, _ in self.stored()}
        out = {}
        try:
            with open(os.path.join(self.store, "times.tsv"), encoding="utf-8") as f:
                for line in f:
                    number, _, accepted = line.rstrip("\n").split("\t")
                    out[int(number)] = (int(accepted) / 1000.0, paths.get(int(number), ""))
        except OSError:
            pass
        return out


class Case:
    def __init__(self, title):
        self.title = title
        self.orders = {}    # unix folder -> time it was whole in the audit folder
        self.files = {}     # unix path -> sha256 of the content that must reach the server last
        self.earlier = {}   # unix path -> sha256 of an earlier content that may have been sent too
        self.sent_first = set()  # unix paths whose earlier content must have reached the server before the last
        self.kept = set()   # unix paths the server refuses: never accepted, and they must stay in the folder
        self.notes = []     # figures and outcomes printed with the check
        self.failures = []  # targets missed, printed with the check


def order_times(case, folder, view):
    """(every file of the order accepted, seconds from when it was whole to its last acceptance,
    or None when nothing of it was accepted)"""
    rows = view.stored()
    times = view.received()
    ups = [n for n, p, _ in rows if os.path.dirname(p) == folder]
    names = {os.path.basename(p) for p in case.files if os.path.dirname(p) == folder and p not in case.kept}
    got = {os.path.basename(p) for n, p, _ in rows if os.path.dirname(p) == folder}
    if not ups:
        return False, None
    last = max(times.get(n, (0.0, ""))[0] for n in ups)
    return names <= got, last - case.orders[folder]


def first_acceptance_after(view, since):
    """Seconds from `since` to the first acceptance after it, or None."""
    later = [t for t, _ in view.received().values() if t >= since]
    return min(later) - since if later else None


def check(case, view, copied=False):
    """Prints the case's outcome; True when nothing was lost, corrupted, deleted without
    acceptance or sent twice, every file that should arrive did (and, with `copied`, every order
    arrived as one with its content list last), and no target of case.failures was missed."""
    rows = view.stored()
    times = view.received()
    by_path = {}
    for number, path, data in rows:
        by_path.setdefault(path, []).append((number, hashlib.sha256(data).hexdigest()))
    lost = corrupted = deleted = dups = 0
    problems = []
    for path, digest in sorted(case.files.items()):
        copies = by_path.get(path, [])
        if path in case.kept:
            if copies:
                problems.append("accepted although the server refuses it: " + path)
            if not os.path.exists(path):
                lost += 1
                deleted += 1
                problems.append("lost (deleted without acceptance): " + path)
            continue
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
                order = sorted((n, os.path.basename(p)) for n, p, _ in ups)
                problems.append("not received as one order with a complete list sent last: %s (%d lists; received in this order: %s)"
                                % (folder, len(lists), ", ".join(name for _, name in order) or "nothing"))
    passed = not problems and not dups and (not copied or whole == len(case.orders)) and not case.failures
    print()
    print("== %s: %s" % (case.title, "PASS" if passed else "FAIL"))
    print("orders %d, files %d, lost %d, corrupted %d, deleted without acceptance %d, duplicates %d"
          % (len(case.orders), len(case.files), lost, corrupted, deleted, dups))
    if copied:
        print("orders received as one order with a complete content list sent last: %d of %d" % (whole, len(case.orders)))
    print("longest time an order was held: %.1f s" % held)
    for n in case.notes:
        print("  " + n)
    for f in case.failures:
        print("  target missed: " + f)
    for p in problems:
        print("  problem: " + p)
    sys.stdout.flush()
    return passed


class Agent:
    """The agent .exe under Wine with its settings written afresh into the registry; one at a
    time (the agent runs as a single instance)."""

    def __init__(self, world):
        self.world = world
        self.proc = None

    def start(self, auth_url, logs, chunk_mb=1, file_types="*.jpg,*.lst", upload_limit=None):
        os.makedirs(logs, exist_ok=True)
        wine("reg", "delete", KEY, "/f")
        values = [("AuthSrv", auth_url), ("AuditFolder", win(self.world.audit)), ("LogsFolder", win(logs)),
                  ("ChunkSize", str(chunk_mb)), ("Exst", file_types)]
        if upload_limit is not None:
            values.append(("UploadLimitKBps", str(upload_limit)))
        for name, value in values:
            if wine("reg", "add", KEY, "/v", name, "/t", "REG_SZ", "/d", value, "/f").returncode != 0:
                raise RuntimeError("cannot write the setting %s" % name)
        self.proc = subprocess.Popen([WINE_RUN, AGENT], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def stop(self):
        """Ends the agent through its tray menu; kills it when it has not ended 60 s later."""
        if self.proc is None:
            return
        if self.proc.poll() is None:
            wine(AGENTCTL, "exit", timeout=60)
            try:
                self.proc.wait(timeout=60)
            except subprocess.TimeoutExpired:
                say("the agent did not end within 60 s of its exit request: killed")
                self.proc.kill()
                self.proc.wait(timeout=30)
        self.proc = None


# ---- cases that both runs make, whatever the server (each takes a run: .start_agent(chunk_mb,
# upload_limit), .view (the server's store), .journal(text) for the case's journal lines) ----

NEXT_ORDER_TARGET = 30.0  # seconds to the next acceptance (or the later order) after a fault
TOOLARGE_WINDOW = 300.0  # the refused photo's requests are counted over 5 minutes
TOOLARGE_MAX_REQUESTS = 15
NEW_FOLDER_NAMING = 8.0  # seconds a person takes to type a new folder's name
STALLED_ORDER_WAIT = 150.0  # how long a case with a silent server waits for its order


def describe_delay(delay, delivered, waited):
    return "%.1f s" % delay if delivered and delay is not None else "not delivered in %.0f s" % waited


def toolarge_case(run, world, case, label, refused_count):
    """An order holding a 1.5 MB photo that the server always refuses (the agent at ChunkSize 2,
    so that it goes whole), then, once the first refusal came, an order of three small photos.
    `refused_count()` counts the photo's upload requests at the server. Targets: the later order
    delivered within 30 s, at most 15 requests for the photo in 5 minutes, the photo kept."""
    run.start_agent(chunk_mb=2)
    src = os.path.join(world.stage, "large order")
    os.makedirs(src)
    folder = os.path.join(world.audit, "large order")
    big = os.path.join(folder, "photo large.jpg")
    case.files[big] = world.add_file(src, "photo large.jpg", 1500000)
    case.kept.add(big)
    os.rename(src, folder)
    t0 = time.time()
    case.orders[folder] = t0
    if wait_until(lambda: refused_count() >= 1, 60, 0.1):
        say("%s: the first refusal after %.1f s; the order of small photos goes in" % (label, time.time() - t0))
    else:
        say("%s: no refusal within 60 s; the order of small photos goes in all the same" % label)
        case.failures.append("the large photo was not sent within 60 s")
    later = world.drop(case, "after the large order", 3)
    wait_until(lambda: not os.path.exists(later), t0 + TOOLARGE_WINDOW - time.time())
    delivered, delay = order_times(case, later, run.view)
    delivered = delivered and not os.path.exists(later)
    say("%s: the later order: %s" % (label, describe_delay(delay, delivered, TOOLARGE_WINDOW - (case.orders[later] - t0))))
    # The rest of the five minutes: the refused photo's requests go on being counted.
    wait_until(lambda: False, t0 + TOOLARGE_WINDOW - time.time(), 1.0)
    count = refused_count()
    case.notes.append("the later order's delay (whole -> last acceptance): %s (target <= %.0f s)"
                      % (describe_delay(delay, delivered, TOOLARGE_WINDOW - (case.orders[later] - t0)), NEXT_ORDER_TARGET))
    case.notes.append("upload requests the refused 1.5 MB photo caused in %.0f s: %d (target <= %d)"
                      % (TOOLARGE_WINDOW, count, TOOLARGE_MAX_REQUESTS))
    case.notes.append("the refused photo %s" % ("is still in the audit folder" if os.path.exists(big) else "is GONE from the audit folder"))
    if not delivered or delay > NEXT_ORDER_TARGET:
        case.failures.append("the later order was not delivered within %.0f s" % NEXT_ORDER_TARGET)
    if count > TOOLARGE_MAX_REQUESTS:
        case.failures.append("the refused photo caused %d upload requests in %.0f s" % (count, TOOLARGE_WINDOW))
    return check(case, run.view)


def contentname_case(run, world, case, label):
    """An order folder named "Anna_content_1" with three photos, content lists on: its content
    list must go last, after the three photos."""
    run.start_agent(chunk_mb=2)
    folder = world.drop(case, "Anna_content_1", 3)
    say("%s: %s" % (label, "done" if wait_gone(case, 60) else "order still in the folder after 60 s"))
    delivered, delay = order_times(case, folder, run.view)
    case.notes.append("the order's delay (whole -> last acceptance): %s" % describe_delay(delay, delivered, 60))
    return check(case, run.view, copied=True)


def newfolder_case(run, world, case, label):
    """Explorer's "New folder": an empty folder made in place in the audit folder, renamed 8 s
    later, then three photos copied in. The empty folder must still be there for the rename, and
    the order must then arrive whole, its content list last."""
    run.start_agent(chunk_mb=2)
    made = os.path.join(world.audit, "Новая папка")
    os.mkdir(made)
    t_made = time.time()
    gone_at = None
    while time.time() < t_made + NEW_FOLDER_NAMING:
        if gone_at is None and not os.path.isdir(made):
            gone_at = time.time() - t_made
        time.sleep(0.1)
    name = "Ivan order"
    folder = os.path.join(world.audit, name)
    try:
        os.rename(made, folder)
        renamed = True
    except OSError as e:
        renamed = False
        case.notes.append("the rename %.0f s after the folder was made failed: %s" % (NEW_FOLDER_NAMING, e.strerror))
    if gone_at is not None:
        case.notes.append("the empty folder was removed %.1f s after it was made" % gone_at)
        case.failures.append("the empty folder was removed before the person named it")
    if not renamed:
        case.failures.append("the new folder could not be renamed")
        return check(case, run.view)
    src, digests = world.make_source(name + " source", 3)
    for fname in sorted(digests):
        time.sleep(0.3)
        shutil.copyfile(os.path.join(src, fname), os.path.join(folder, fname))
    world.register(case, name, digests)
    say("%s: renamed and filled; %s" % (label, "done" if wait_gone(case, 60) else "order still in the folder after 60 s"))
    delivered, delay = order_times(case, folder, run.view)
    case.notes.append("the order's delay (whole -> last acceptance): %s" % describe_delay(delay, delivered, 60))
    return check(case, run.view, copied=True)


def stalled_case(run, world, case, label, since=None):
    """An order of three photos of 400-600 KB whose first upload meets a silent server (the
    fault is set up by the caller, the agent started too); the first acceptance must come within
    30 s of the fault (`since()`, the time it fell, else the drop), and the whole order must
    arrive."""
    folder = world.drop(case, "%s order" % label.replace(":", ""), 3, 400000, 600000)
    t0 = case.orders[folder]
    done = wait_gone(case, STALLED_ORDER_WAIT)
    t_fault = since() if since else None
    start = t_fault or t0
    first = first_acceptance_after(run.view, start)
    delivered, delay = order_times(case, folder, run.view)
    say("%s: %s" % (label, "done" if done else "order still in the folder after %.0f s" % STALLED_ORDER_WAIT))
    if since:
        case.notes.append("the fault fell %s" % ("%.1f s after the order was whole" % (t_fault - t0) if t_fault else "never"))
    case.notes.append("the first acceptance after the fault: %s (target <= %.0f s)"
                      % ("%.1f s" % first if first is not None else "none in %.0f s" % STALLED_ORDER_WAIT, NEXT_ORDER_TARGET))
    case.notes.append("the order's delay (whole -> last acceptance): %s" % describe_delay(delay, delivered and done, STALLED_ORDER_WAIT))
    if since and not t_fault:
        case.failures.append("the fault did not happen (the case did not happen as meant)")
    if first is None or first > NEXT_ORDER_TARGET:
        case.failures.append("no acceptance within %.0f s of the fault" % NEXT_ORDER_TARGET)
    return check(case, run.view)


def chosen_cases(cases, args, first, program):
    """The indexes of the cases named on the command line (by number, counted from `first`, or by
    name), all when none is; an unknown one ends the run."""
    if not args:
        return list(range(len(cases)))
    out = []
    for a in args:
        for i, (name, _) in enumerate(cases):
            if a == str(i + first) or a == name:
                out.append(i)
                break
        else:
            sys.exit("%s: no case %r (cases: %s)" % (program, a, ", ".join("%d %s" % (i + first, n) for i, (n, _) in enumerate(cases))))
    return out


def silent_relay_case(run, world, case, label, relay):
    """The agent started; once it has checked the upload endpoint (a GET through the relay) the
    relay is armed to silence every open connection 200,000 bytes into an upload."""
    run.start_agent(chunk_mb=2)
    wait_until(lambda: any(" /upload" in line for _, _, line in relay.requests()), 60)
    relay.arm(200000)
    ok = stalled_case(run, world, case, label, lambda: relay.silenced_at)
    print_relay_requests(relay)
    return ok


def print_relay_requests(relay):
    print("requests through the relay (seconds from the silence, connection, request line):")
    for t, number, line in relay.requests():
        print("  %+7.1f  %3d  %s" % (t - (relay.silenced_at or t), number, line[:110]))
