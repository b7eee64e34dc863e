#!/usr/bin/env python3
"""Real-world cases of the agent .exe under Wine against the reference service (run by
bench/world_faults.sh, which builds what it needs and keeps a Wine session up). Everything talks
to 127.0.0.1 only; every wait is bounded. Each case starts the agent afresh with its settings and
ends it afterwards.

 1 copy         Orders copied into the audit folder in place: by Wine's own `xcopy /E /I`, and by a
                slow copier that makes the folder and copies one file every 0.3 s. Each must arrive
                as one order: all its files, and its content list naming every file, sent last.
 2 redirect     Uploads answered with a redirect (3xx): nothing lost, nothing deleted without a
                stored copy.
 3 trickle      An answer trickled a byte at a time for longer than the agent's answer deadline
                (120 s; the product has no setting for it): a transient failure, sent again.
 4 longtail     An "OK" followed by a 2 MB tail: accepted once, no duplicate.
 5 held         A file rewritten while it is held: another program (tools/holder) keeps a photo of
                an order open without delete sharing, so the agent sends it, the service accepts it
                and its deletion fails; once the agent has set the order aside for it, the holder
                rewrites the photo with new bytes and lets it go. The new bytes must be sent as
                well, and only then the photo deleted and the order's folder removed.
 6 toolarge     A server that always refuses one file: a 413 for upload bodies over 1 MiB (as nginx's
                client_max_body_size 1m), an order holding a 1.5 MB photo (ChunkSize 2, so it goes
                whole), then an order of small photos once the first refusal came. Targets: the
                later order delivered within 30 s; the refused photo causes at most 15 upload
                requests in 5 minutes (counted at the service) and stays in the audit folder.
 7 contentname  An order folder named "Anna_content_1" with three photos (content lists on): its
                content list must be sent last, after the three photos.
 8 newfolder    Explorer's "New folder": an empty folder made in place, renamed 8 s later (a person
                typing a name), then three photos copied in. The empty folder must still be there
                for the rename, and the order must then be sent whole, its content list last.
 9 tricklehead  An upload answer whose head trickles in a byte every 15 s: the next acceptance
                within 30 s, nothing lost.
10 stall        During an upload the connection goes silent (the service reads, answers and closes
                nothing after 200,000 body bytes): the next acceptance within 30 s, nothing lost.
11 silent       The same through a relay of our own (bench/silent_relay.py) that silences every
                open connection mid-body, both ways, while new connections go through: the next
                acceptance within 30 s (from the silence), nothing lost.
Per case: PASS or FAIL, orders, files, lost, corrupted, deleted without acceptance, duplicates,
the longest time an order was held (from when it was whole in the folder to its last acceptance),
and the case's own figures.

    python3 world_faults.py [case number or name ...]   # all cases when none is named
"""
import os
import queue
import shutil
import signal
import subprocess
import sys
import threading
import time

from agent_paths import AGENT, ROOT, WINE_RUN
from ref_service import RefService
from silent_relay import SilentRelay
from world_agent import (chosen_cases, NEW_FOLDER_NAMING, Agent, Case, FileStore, World, check, contentname_case, die_with_parent,
                         newfolder_case, say, silent_relay_case, stalled_case, t_start, toolarge_case, unix, wait_gone,
                         wait_until, win, wine)

# Beside the agent in the Windows build (ZK_BENCH_WINDOWS, as in agent_paths).
HOLDER = os.path.join(os.path.dirname(os.path.dirname(AGENT)), "tools", "holder", "holder.exe")
WORK = os.environ.get("ZK_WORLD_FAULTS_DIR", os.path.join(ROOT, "build", "world_faults"))
TRICKLE_MS = 40000  # "OK  " trickled: a byte every 40 s (under a receive timeout), the last at 160 s
KIND_TOOLARGE = 10  # FaultKind::TooLarge in the service's /_control/faults lines

world = World(WORK, int(os.environ.get("ZK_SEED", "11")))


class Service(RefService):
    def __init__(self):
        super().__init__(world.store, preexec_fn=die_with_parent)

    def auth_url(self):
        return "http://127.0.0.1:%d/ru/99" % self.port

    def faults_left(self):
        return self.control("faults").strip()

    def fault_remaining(self, kind):
        """Requests left to the first armed rule of that kind, or None."""
        for line in self.faults_left().splitlines():
            p = line.split("\t")
            if len(p) == 3 and int(p[1]) == kind:
                return int(p[2])
        return None

    def received(self):
        """seq -> (accepted time, unix path of fn)"""
        out = {}
        for line in self.control("received").splitlines():
            p = line.split("\t", 4)
            if len(p) == 5:
                out[int(p[0])] = (int(p[3]) / 1000.0, unix(p[4]))
        return out


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


def slow_copy(src, dst, pause=0.3):
    os.makedirs(dst)
    for name in sorted(os.listdir(src)):
        time.sleep(pause)
        shutil.copyfile(os.path.join(src, name), os.path.join(dst, name))


class Run:
    """What a case works with: the service, its store, the agent and the case's journal folder."""

    def __init__(self, service, name):
        self.service = service
        self.view = FileStore(world.store, service.received)
        self.agent = Agent(world)
        self.logs = os.path.join(world.logs, name)

    def start_agent(self, chunk_mb=1, upload_limit=None):
        """Starts the agent and waits (at most 60 s) until it has authenticated, so that a case's
        times do not hold the agent's start."""
        self.agent.start(self.service.auth_url(), self.logs, chunk_mb=chunk_mb, upload_limit=upload_limit)
        if not wait_until(lambda: self.journal("OK\tАутентификация"), 60, 0.2):
            say("the agent has not authenticated within 60 s of its start")

    def journal(self, text):
        return world.journal_lines(text, self.logs)


def case_copy(run):
    case = Case("1. orders copied in place (3 by Wine xcopy /E /I, 2 by a copier doing a file every 0.3 s)")
    run.start_agent()
    jobs = []
    for i in range(3):
        name = "xcopy order %d" % i
        src, digests = world.make_source(name, world.rnd.randint(3, 7))
        jobs.append(("xcopy", name, src, digests))
    for i in range(2):
        name = "slow order %d" % i
        src, digests = world.make_source(name, world.rnd.randint(6, 9))
        jobs.append(("slow", name, src, digests))

    def copy_one(kind, name, src, digests):
        dst = os.path.join(world.audit, name)
        if kind == "xcopy":
            r = wine("xcopy", "/E", "/I", "/Q", "/Y", win(src), win(dst))
            if r.returncode != 0:
                say("xcopy of %s ended with %d" % (name, r.returncode))
        else:
            slow_copy(src, dst)
        world.register(case, name, digests)  # whole in the folder from now on
    threads = [threading.Thread(target=copy_one, args=j) for j in jobs]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=120)
    say("case 1: %d orders copied in place" % len(jobs))
    say("case 1: %s" % ("done" if wait_gone(case, 120) else "orders still in the folder after 120 s"))
    return check(case, run.view, copied=True)


def case_redirect(run):
    case = Case("2. uploads answered with a redirect (302, 3 uploads)")
    run.service.control("fault?target=upload&kind=redirect&status=302&count=3")
    run.start_agent()
    world.drop(case, "redirect order 0", 3)
    world.drop(case, "redirect order 1", 3)
    say("case 2: %s" % ("done" if wait_gone(case, 120) else "orders still in the folder after 120 s"))
    say("case 2: faults left: %r" % run.service.faults_left())
    return check(case, run.view)


def case_trickle(run):
    case = Case("3. an \"OK  \" trickled a byte every %.0f s (1 upload; answer deadline 120 s, no setting for it)" % (TRICKLE_MS / 1000))
    run.service.control("fault?target=upload&kind=trickle&text=OK%%20%%20&ms=%d&count=1" % TRICKLE_MS)
    run.start_agent()
    world.drop(case, "trickle order", 2)
    say("case 3: %s" % ("done" if wait_gone(case, 200) else "order still in the folder after 200 s"))
    say("case 3: faults left: %r" % run.service.faults_left())
    return check(case, run.view)


def case_longtail(run):
    case = Case("4. an \"OK\" followed by a 2 MB tail (1 upload)")
    run.service.control("fault?target=upload&kind=longtail&tail=%d&count=1" % (2 << 20))
    run.start_agent()
    world.drop(case, "longtail order", 2)
    say("case 4: %s" % ("done" if wait_gone(case, 120) else "order still in the folder after 120 s"))
    say("case 4: faults left: %r" % run.service.faults_left())
    return check(case, run.view)


def case_held(run):
    case = Case("5. a photo held open without delete sharing: sent and accepted, not deletable; rewritten, then released")
    run.start_agent()
    name = "held order"
    folder = os.path.join(world.audit, name)
    held = os.path.join(folder, "photo held.jpg")
    first, second = os.path.join(world.stage, "held first.bin"), os.path.join(world.stage, "held second.bin")
    case.earlier[held] = world.add_file(world.stage, os.path.basename(first), 150000)
    case.files[held] = world.add_file(world.stage, os.path.basename(second), 170000)
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
                case.files[os.path.join(folder, "photo %d.jpg" % i)] = world.add_file(folder, "photo %d.jpg" % i, world.rnd.randint(20000, 200000))
            case.orders[folder] = time.time()
            set_aside = 'файл "%s" уже отправлен, но не удаляется' % os.path.basename(held)
            if wait_until(lambda: run.journal(set_aside), 120, 0.5):
                say("case 5: the agent set the order aside for the held photo; the holder rewrites it and lets it go")
            else:
                say("case 5: no journal line for the held photo after 120 s; the holder lets it go all the same")
            holder.release()
            if not (holder.expect("rewritten", 30) and holder.expect("released", 30)):
                say("case 5: the holder did not rewrite and release the photo")
    finally:
        say("case 5: the holder ended with %s" % holder.end())
    say("case 5: %s" % ("done" if wait_gone(case, 120) else "order still in the folder after 120 s"))
    ok = check(case, run.view)
    print("journal lines of the held order:")
    for line in run.journal(name):
        print("  " + line)
    return ok


TOOLARGE_LIMIT = 1 << 20
RULE_COUNT = 100000  # the 413 rule's count: what it has left tells how many requests it refused


def case_toolarge(run):
    case = Case("6. a 413 for upload bodies over 1 MiB: an order holding a 1.5 MB photo, then an order of small photos")
    run.service.control("fault?target=upload&kind=toolarge&limit=%d&count=%d" % (TOOLARGE_LIMIT, RULE_COUNT))

    def refused():
        # Only the large photo's bodies are over the limit: every request of it is one 413.
        left = run.service.fault_remaining(KIND_TOOLARGE)
        return RULE_COUNT - (left if left is not None else 0)
    return toolarge_case(run, world, case, "case 6", refused)


def case_contentname(run):
    case = Case("7. an order folder named \"Anna_content_1\" with three photos: its content list sent last")
    return contentname_case(run, world, case, "case 7")


def case_newfolder(run):
    case = Case("8. Explorer's \"New folder\": made empty in place, renamed %.0f s later, then three photos copied in" % NEW_FOLDER_NAMING)
    return newfolder_case(run, world, case, "case 8")


def case_tricklehead(run):
    case = Case("9. an upload answer whose head trickles a byte every 15 s (1 upload; the answer would be \"OK\")")
    run.service.control("fault?target=upload&kind=tricklehead&text=OK&ms=15000&count=1")
    run.start_agent(chunk_mb=2)
    return stalled_case(run, world, case, "case 9")


def case_stall(run):
    case = Case("10. the connection goes silent after 200,000 body bytes of an upload (1 upload; for 600 s)")
    run.service.control("fault?target=upload&kind=stall&cut=200000&ms=600000&count=1")
    run.start_agent(chunk_mb=2)
    return stalled_case(run, world, case, "case 10")


def case_silent(run):
    case = Case("11. a relay silences every open connection 200,000 bytes into an upload (both ways, no reset); new ones go through")
    relay = SilentRelay(run.service.port)
    try:
        run.service.control("endpoint?port=%d" % relay.port)
        return silent_relay_case(run, world, case, "case 11", relay)
    finally:
        run.service.control("endpoint?port=0")
        relay.close()


CASES = [("copy", case_copy), ("redirect", case_redirect), ("trickle", case_trickle), ("longtail", case_longtail),
         ("held", case_held), ("toolarge", case_toolarge), ("contentname", case_contentname), ("newfolder", case_newfolder),
         ("tricklehead", case_tricklehead), ("stall", case_stall), ("silent", case_silent)]


def main():
    picked = chosen_cases(CASES, sys.argv[1:], first=1, program="world_faults")
    world.reset()
    service = Service()
    service.start()
    say("agent %s" % AGENT)
    say("service on port %d, store %s" % (service.port, world.store))
    results = []
    try:
        for i in picked:
            name, fn = CASES[i]
            run = Run(service, name)
            say("case %d (%s)" % (i + 1, name))
            try:
                ok = fn(run)
            finally:
                run.agent.stop()
                service.control("clear")
                world.clear_audit()
            results.append((i + 1, name, ok))
    finally:
        service.stop()
    print()
    for number, name, ok in results:
        print("case %2d %-12s %s" % (number, name, "PASS" if ok else "FAIL"))
    print("run time: %.0f s" % (time.time() - t_start))
    passed = bool(results) and all(ok for _, _, ok in results)
    print("RESULT: " + ("PASS" if passed else "FAIL"))
    sys.exit(0 if passed else 1)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    main()
