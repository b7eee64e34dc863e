"""What the agent benchmarks share: the reference service, the agent .exe under Wine, CPU and
memory readings from /proc, orders moved into the audit folder and curl's uploads to compare."""
import os
import resource
import signal
import subprocess
import sys
import time
import urllib.request

from agent_paths import AGENT, AGENTCTL, KEY, REFSERVER, ROOT, WINE_RUN

WORK = os.environ.get("ZK_BENCH_WORK", os.path.join(ROOT, "build", "bench-agent"))
AUDIT = os.path.join(WORK, "audit.UPLOAD")
STAGE = os.path.join(WORK, "stage")
LOGS = os.path.join(WORK, "logs")
MiB = 1 << 20
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
    """The reference service, optimised and lean; `plain` as a plain HTTP/1.1 server (keep-alive, an
    answer's head and body in two sends, no TCP_NODELAY, default buffers), switchable at run time."""

    def __init__(self, plain):
        self.proc = subprocess.Popen([REFSERVER, "--lean"] + (["--plain"] if plain else []), stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True)
        self.port = int(self.proc.stdout.readline().split()[1])

    def url(self, path, port=None):
        return "http://127.0.0.1:%d%s" % (port or self.port, path)

    def control(self, what):
        if urllib.request.urlopen(self.url("/_control/" + what), timeout=30).read() != b"OK":
            sys.exit("agent_bench: the service refused /_control/" + what)

    def plain(self, on):
        self.control("style?plain=%d" % (1 if on else 0))

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
    def __init__(self, auth_url, chunk_mb, extra=()):
        wine("reg", "delete", KEY, "/f")
        for name, value in (("AuthSrv", auth_url), ("AuditFolder", win(AUDIT)), ("LogsFolder", win(LOGS)),
                            ("ChunkSize", str(chunk_mb)), ("Exst", "*.jpg,*.bin")) + tuple(extra):
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
        return proc_ticks(self.pid)

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


def children_cpu_s():
    """CPU seconds of the children waited for so far (curl's, taken around its runs)."""
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


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


def curl_upload(service, path, name, port=None):
    """One `curl -F` upload as the agent's (one process, one connection); its seconds."""
    desc = os.path.join(WORK, "desc.xml")
    size = os.path.getsize(path)
    with open(desc, "wb") as f:
        f.write(("\ufeff<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<DESCRIPTOR for=\"\">\r\n   <CLIENT id=\"17\"/>\r\n"
                 "   <ALBUM id=\"42\"/>\r\n      <FILE name=\"%s\" size=\"%d\" checksum=\"\">\r\n         <TITLE>\r\n"
                 "         </TITLE>\r\n      </FILE>\r\n</DESCRIPTOR>\r\n" % (name, size)).encode("utf-8"))
    t0 = time.time()
    r = subprocess.run(["curl", "-s", "-u", "uploader:s3cret", "-F", "DESCRIPTOR=@%s;filename=d.tmp" % desc,
                        "-F", "IMAGE=@%s;filename=%s" % (path, name), service.url("/upload?&fn=" + url_encode(name), port)],
                       capture_output=True, text=True)
    if r.stdout != "OK":
        sys.exit("agent_bench: curl's upload was refused: " + r.stdout)
    return time.time() - t0
