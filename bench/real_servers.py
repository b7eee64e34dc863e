#!/usr/bin/env python3
"""The agent .exe under Wine against real, independent servers (run by bench/real_servers.sh,
which installs them, builds the agent, makes the test certificates, makes the test CA trusted
for Wine and keeps a Wine session up). The server side of the wire protocol is our own PHP
(bench/php/: authentication, endpoint check, upload parsed by PHP's own multipart parser) behind
nginx and PHP-FPM, or under PHP's built-in server; all of them are started here as our own
processes on 127.0.0.1, with their configurations in the run's temporary folder, and ended here.

 0 plain        nginx + PHP-FPM: an order of four photos (one of 1.5 MB, a Cyrillic name) arrives
                whole: the endpoints take what the agent sends.
 1 toolarge     nginx with client_max_body_size 1m: an order holding a 1.5 MB photo (ChunkSize 2),
                then an order of three small photos once the first 413 came. Targets: the later
                order delivered within 30 s; at most 15 upload requests of the refused photo in
                5 minutes (counted in nginx's access log); the photo stays in the audit folder.
 2 contentname  An order folder named "Anna_content_1" (content lists on): its content list last.
 3 newfolder    Explorer's "New folder" made in place and renamed 8 s later, then filled: the
                rename succeeds and the order arrives whole, its content list last.
 4 tricklehead  Does not apply: nginx and PHP's server write an answer's head themselves, whole.
 5 silent       bench/silent_relay.py between the agent and nginx silences every open connection
                200,000 bytes into an upload: the next acceptance within 30 s, nothing lost.
 6 tls          Authentication over https: with a certificate of the run's test CA (trusted for
                Wine) an order goes; with a certificate of another CA the journal's authentication
                error line must carry the WinINet code of a certificate error (12045 on Windows,
                12057 under Wine) and a Russian explanation
                ("...ертификат..."), and the order must stay untouched.
 7 oneconn      PHP's built-in server (one connection at a time, each closed after its answer): an
                order of 30 small photos with the upload ahead (the agent as it is), then one with
                the uploads one after the other (an upload limit far above the line's speed turns
                the ahead off), three times each: every file arrives, and the median files/s (30
                over the time from the order whole in the folder to its last acceptance) with the
                ahead >= 0.95 x the other's.
In every case: nothing lost, nothing deleted without acceptance, no duplicates.

    python3 real_servers.py [case number or name ...]   # all cases when none is named
ZK_REAL_SERVERS_TMP (set by real_servers.sh) holds the certificates and gets the servers'
configurations, logs and process ids; ZK_REAL_SERVERS_DIR is the run's work folder.
"""
import glob
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import time

from agent_paths import AGENT, ROOT
from silent_relay import SilentRelay
from world_agent import (chosen_cases, NEW_FOLDER_NAMING, Agent, Case, FileStore, World, check, contentname_case, die_with_parent,
                         fn_of_uri, newfolder_case, order_times, say, silent_relay_case, t_start,
                         toolarge_case, wait_gone, wait_until)

TMP = os.environ.get("ZK_REAL_SERVERS_TMP") or sys.exit("real_servers: ZK_REAL_SERVERS_TMP is not set (run bench/real_servers.sh)")
WORK = os.environ.get("ZK_REAL_SERVERS_DIR", os.path.join(ROOT, "build", "real_servers"))
PHP_DIR = os.path.join(ROOT, "bench", "php")
PIDS = os.path.join(TMP, "pids")  # one a line: the shell script's trap ends whatever is left
ONECONN_FILES = 300
ONECONN_RATIO = 0.95
ONECONN_ROUNDS = 3

world = World(WORK, int(os.environ.get("ZK_SEED", "23")))
runs = []  # every Run of the case under way: their agents are ended when it ends, however it ends


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


class Servers:
    """nginx, PHP-FPM and PHP's built-in server as our own processes, and the silent relay."""

    def __init__(self):
        self.procs = []
        self.fpm_port = free_port()
        self.plain = free_port()      # http, the uploads of every case but 1 and 7
        self.small = free_port()      # http, client_max_body_size 1m (case 1)
        self.trusted = free_port()    # https, a certificate of the test CA
        self.untrusted = free_port()  # https, a certificate of another CA
        self.relayed = free_port()    # http, naming the relay for uploads (case 5)
        self.builtin = free_port()    # PHP's built-in server (case 7)
        self.relay = None

    def _spawn(self, args, log, env=None):
        out = open(os.path.join(TMP, log), "ab")
        proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT, env=env,
                                preexec_fn=die_with_parent)
        out.close()
        self.procs.append(proc)
        with open(PIDS, "a") as f:
            f.write("%d\n" % proc.pid)
        return proc

    def _wait_listening(self, proc, ports, what):
        if not wait_until(lambda: proc.poll() is not None or all(listening(p) for p in ports), 30, 0.1) or proc.poll() is not None:
            raise RuntimeError("%s did not start (see %s)" % (what, TMP))

    def start(self):
        self.relay = SilentRelay(self.plain)
        fpm = (shutil.which("php-fpm8.2") or next(iter(sorted(glob.glob("/usr/sbin/php-fpm*"))), None))
        if not fpm:
            raise RuntimeError("no php-fpm (scripts/setup.sh servers installs it)")
        fpm_conf = os.path.join(TMP, "php-fpm.conf")
        with open(fpm_conf, "w") as f:
            f.write(FPM_CONF.format(tmp=TMP, port=self.fpm_port))
        os.makedirs(os.path.join(TMP, "php-uploads"), exist_ok=True)
        proc = self._spawn([fpm, "-R", "-F", "-y", fpm_conf], "php-fpm.out")
        self._wait_listening(proc, [self.fpm_port], "php-fpm")

        # The workers run as nobody: their temporary folders are in a folder they may enter.
        os.chmod(TMP, 0o711)
        nginx_dir = os.path.join(TMP, "nginx")
        os.makedirs(nginx_dir, mode=0o755, exist_ok=True)
        os.chmod(nginx_dir, 0o755)

        def endpoints(upload_port):
            return ENDPOINTS.format(php=PHP_DIR, store=world.store, upload_port=upload_port)
        conf = os.path.join(TMP, "nginx.conf")
        with open(conf, "w") as f:
            f.write(NGINX_CONF.format(
                tmp=TMP, nginx=nginx_dir, fpm=self.fpm_port,
                plain=self.plain, small=self.small, trusted=self.trusted, untrusted=self.untrusted, relayed=self.relayed,
                ep_plain=endpoints(self.plain), ep_small=endpoints(self.small), ep_relayed=endpoints(self.relay.port)))
        proc = self._spawn(["nginx", "-c", conf, "-p", nginx_dir, "-g", "daemon off;"], "nginx.out")
        self._wait_listening(proc, [self.plain, self.small, self.trusted, self.untrusted, self.relayed], "nginx")

        env = dict(os.environ, ZK_STORE=world.store)
        proc = self._spawn(["php", "-d", "upload_max_filesize=64M", "-d", "post_max_size=64M", "-d", "max_execution_time=0",
                            "-d", "upload_tmp_dir=" + os.path.join(TMP, "php-uploads"),
                            "-S", "127.0.0.1:%d" % self.builtin, "-t", PHP_DIR, os.path.join(PHP_DIR, "router.php")],
                           "php-builtin.out", env)
        self._wait_listening(proc, [self.builtin], "php -S")

    def stop(self):
        if self.relay:
            self.relay.close()
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.send_signal(signal.SIGTERM)
        for proc in self.procs:
            try:
                proc.wait(timeout=30)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait(timeout=30)

    def access(self, port=None):
        """nginx's access log: [(time, server port, status, method, request target)]."""
        rows = []
        try:
            with open(os.path.join(TMP, "nginx-access.log"), encoding="latin-1") as f:
                for line in f:
                    p = line.rstrip("\n").split("\t")
                    if len(p) >= 5 and (port is None or int(p[1]) == port):
                        rows.append((float(p[0]), int(p[1]), int(p[2]), p[3], p[4]))
        except OSError:
            pass
        return rows


FPM_CONF = """[global]
pid = {tmp}/php-fpm.pid
error_log = {tmp}/php-fpm.log
daemonize = no

[zk]
user = root
group = root
listen = 127.0.0.1:{port}
pm = static
pm.max_children = 4
catch_workers_output = yes
php_admin_value[upload_max_filesize] = 64M
php_admin_value[post_max_size] = 64M
php_admin_value[upload_tmp_dir] = {tmp}/php-uploads
php_admin_value[error_log] = {tmp}/php-errors.log
php_admin_flag[log_errors] = on
"""

# The endpoints of one server block: the authentication answer names `upload_port` for uploads.
ENDPOINTS = """
        location = /ru/99 {{
            include /etc/nginx/fastcgi_params;
            fastcgi_param SCRIPT_FILENAME {php}/auth.php;
            fastcgi_param ZK_UPLOAD_PORT {upload_port};
            fastcgi_pass php;
        }}
        location = /upload {{
            include /etc/nginx/fastcgi_params;
            fastcgi_param SCRIPT_FILENAME {php}/upload.php;
            fastcgi_param ZK_STORE {store};
            fastcgi_pass php;
        }}
        location / {{
            return 404;
        }}
"""

NGINX_CONF = """worker_processes 2;
pid {tmp}/nginx.pid;
error_log {tmp}/nginx-error.log info;
events {{
    worker_connections 512;
}}
http {{
    log_format zk '$msec\\t$server_port\\t$status\\t$request_method\\t$request_uri\\t$request_length\\t$connection\\t$connection_requests\\t$request_time';
    access_log {tmp}/nginx-access.log zk;
    client_body_temp_path {nginx}/body;
    fastcgi_temp_path {nginx}/fastcgi;
    proxy_temp_path {nginx}/proxy;
    scgi_temp_path {nginx}/scgi;
    uwsgi_temp_path {nginx}/uwsgi;
    default_type text/plain;
    client_max_body_size 64m;
    upstream php {{
        server 127.0.0.1:{fpm};
    }}
    server {{
        listen 127.0.0.1:{plain};
{ep_plain}
    }}
    server {{
        listen 127.0.0.1:{small};
        client_max_body_size 1m;
{ep_small}
    }}
    server {{
        listen 127.0.0.1:{trusted} ssl;
        server_name localhost;
        ssl_certificate {tmp}/trusted.crt;
        ssl_certificate_key {tmp}/trusted.key;
{ep_plain}
    }}
    server {{
        listen 127.0.0.1:{untrusted} ssl;
        server_name localhost;
        ssl_certificate {tmp}/untrusted.crt;
        ssl_certificate_key {tmp}/untrusted.key;
{ep_plain}
    }}
    server {{
        listen 127.0.0.1:{relayed};
{ep_relayed}
    }}
}}
"""


class Run:
    """What a case works with: the agent (its settings naming the case's authentication URL), the
    store and the case's journal folder."""

    def __init__(self, servers, name, auth_url):
        self.servers = servers
        self.auth_url = auth_url
        self.view = FileStore(world.store)
        self.agent = Agent(world)
        self.logs = os.path.join(world.logs, name)
        runs.append(self)

    def start_agent(self, chunk_mb=1, upload_limit=None, wait_auth=True):
        """Starts the agent; waits (at most 60 s) until it has authenticated unless told not to."""
        self.agent.start(self.auth_url, self.logs, chunk_mb=chunk_mb, upload_limit=upload_limit)
        if wait_auth and not wait_until(lambda: self.journal("OK\tАутентификация"), 60, 0.2):
            say("the agent has not authenticated within 60 s of its start")

    def journal(self, text):
        return world.journal_lines(text, self.logs)


def http_url(port):
    return "http://127.0.0.1:%d/ru/99" % port


def https_url(port):
    return "https://localhost:%d/ru/99" % port


def case_plain(servers):
    run = Run(servers, "plain", http_url(servers.plain))
    case = Case("0. nginx + PHP-FPM: an order of four photos (one of 1.5 MB, a Cyrillic name)")
    run.start_agent(chunk_mb=2)
    src, digests = world.make_source("Заказ Ольги", 3)
    digests["фото большое.jpg"] = world.add_file(src, "фото большое.jpg", 1500000)
    os.rename(src, os.path.join(world.audit, "Заказ Ольги"))
    folder = world.register(case, "Заказ Ольги", digests)
    say("case 0: %s" % ("done" if wait_gone(case, 60) else "order still in the folder after 60 s"))
    _, delay = order_times(case, folder, run.view)
    case.notes.append("the order's delay (whole -> last acceptance): %s" % ("%.1f s" % delay if delay is not None else "nothing accepted"))
    return check(case, run.view, copied=True)


def case_toolarge(servers):
    run = Run(servers, "toolarge", http_url(servers.small))
    case = Case("1. nginx with client_max_body_size 1m: an order holding a 1.5 MB photo, then an order of small photos")

    def refused():
        return len([r for r in servers.access(servers.small)
                    if r[3] == "POST" and (fn_of_uri(r[4]) or "").endswith("/large order/photo large.jpg")])
    ok = toolarge_case(run, world, case, "case 1", refused)
    statuses = {}
    for r in servers.access(servers.small):
        if r[3] == "POST" and (fn_of_uri(r[4]) or "").endswith("/large order/photo large.jpg"):
            statuses[r[2]] = statuses.get(r[2], 0) + 1
    print("  the large photo's requests in nginx's access log by status: %s" % (statuses or "none"))
    return ok


def case_contentname(servers):
    run = Run(servers, "contentname", http_url(servers.plain))
    case = Case("2. an order folder named \"Anna_content_1\" with three photos: its content list sent last")
    return contentname_case(run, world, case, "case 2")


def case_newfolder(servers):
    run = Run(servers, "newfolder", http_url(servers.plain))
    case = Case("3. Explorer's \"New folder\": made empty in place, renamed %.0f s later, then three photos copied in" % NEW_FOLDER_NAMING)
    return newfolder_case(run, world, case, "case 3")


def case_tricklehead(servers):
    print()
    print("== 4. an answer whose head trickles: does not apply (nginx and PHP's server write an answer's head whole); "
          "bench/world_faults.sh tricklehead runs it against the reference service")
    return None


def case_silent(servers):
    run = Run(servers, "silent", http_url(servers.relayed))
    case = Case("5. a relay in front of nginx silences every open connection 200,000 bytes into an upload (both ways, no reset)")
    return silent_relay_case(run, world, case, "case 5", servers.relay)


def case_tls(servers):
    ok = True
    run = Run(servers, "tls-trusted", https_url(servers.trusted))
    case = Case("6a. authentication over https (localhost, a certificate of the run's test CA, trusted for Wine): an order of 3 photos")
    run.start_agent(chunk_mb=2, wait_auth=False)
    folder = world.drop(case, "https order", 3)
    say("case 6a: %s" % ("done" if wait_gone(case, 60) else "order still in the folder after 60 s"))
    _, delay = order_times(case, folder, run.view)
    case.notes.append("the order's delay (whole -> last acceptance): %s" % ("%.1f s" % delay if delay is not None else "nothing accepted"))
    for line in run.journal("Аутентификация")[:3]:
        case.notes.append("journal: " + line)
    ok = check(case, run.view) and ok
    run.agent.stop()

    run = Run(servers, "tls-untrusted", https_url(servers.untrusted))
    case = Case("6b. authentication over https with a certificate of another CA (untrusted): the journal explains it")
    run.start_agent(chunk_mb=2, wait_auth=False)
    folder = world.drop(case, "untrusted order", 3)
    wait_until(lambda: run.journal("ERROR\tАутентификация"), 60, 0.5)
    # A few more tries (the agent tries every 5 s): the order must stay untouched through them.
    wait_until(lambda: len(run.journal("ERROR\tАутентификация")) >= 3, 20, 0.5)
    lines = run.journal("ERROR\tАутентификация")
    line = lines[-1] if lines else ""
    case.notes.append("authentication error lines in the journal: %d; the last: %s" % (len(lines), line.strip() or "none"))
    if not line:
        case.failures.append("no authentication error line within 60 s")
    else:
        # Windows says 12045 (an unknown CA); Wine's chain check reports 12057 (revocation unknown).
        if not any(code in line for code in ("12045", "12055", "12057", "12169")):
            case.failures.append("the authentication error line does not carry a certificate error code (12045, 12055, 12057, 12169)")
        if "ертификат" not in line:
            case.failures.append("the authentication error line has no Russian explanation of the certificate (\"ертификат\")")
    for path in case.files:
        case.kept.add(path)  # nothing can be accepted: every file must stay
    if not os.path.isdir(folder):
        case.failures.append("the order's folder is gone")
    return check(case, run.view) and ok


def oneconn_run(servers, label, upload_limit):
    run = Run(servers, "oneconn-%s" % label, http_url(servers.builtin))
    case = Case("7%s. PHP's built-in server (one connection at a time): an order of %d small photos, %s"
                % (label, ONECONN_FILES, "the agent as it is (upload ahead)" if upload_limit is None
                   else "uploads one after the other (UploadLimitKBps %d turns the ahead off)" % upload_limit))
    # Built before the agent starts, so that it is more than 2 s old when it is renamed in: the
    # agent takes it at once instead of waiting for it to settle, and the time is the uploads'.
    name = "one connection order %s" % label
    src, digests = world.make_source(name, ONECONN_FILES, 20000, 100000)
    run.start_agent(chunk_mb=2, upload_limit=upload_limit)
    wait_until(lambda: time.time() - os.stat(src).st_mtime > 2.5, 5, 0.1)
    os.rename(src, os.path.join(world.audit, name))
    folder = world.register(case, name, digests)
    done = wait_gone(case, 180)
    delivered, delay = order_times(case, folder, run.view)
    delivered = delivered and done
    rate = ONECONN_FILES / delay if delivered and delay else None
    case.notes.append("the order's delay (whole -> last acceptance, its content list included): %s; %s"
                      % (describe(delay, delivered), "%.1f files/s" % rate if rate else "no rate"))
    if not delivered:
        case.failures.append("not every file arrived within 180 s")
    ok = check(case, run.view)
    run.agent.stop()
    return ok, rate


def describe(delay, delivered):
    return "%.1f s" % delay if delivered and delay is not None else "not delivered"


def case_oneconn(servers):
    ok = True
    rates = {"ahead": [], "serial": []}
    # Alternated, three times each: small files go in quickly, on a shared machine.
    for round_ in range(1, ONECONN_ROUNDS + 1):
        good, rate = oneconn_run(servers, "a%d" % round_, None)
        ok = ok and good
        rates["ahead"].append(rate)
        # Far above what the loop-back line moves: no upload waits, and none goes ahead.
        good, rate = oneconn_run(servers, "b%d" % round_, 1000000)
        ok = ok and good
        rates["serial"].append(rate)
    print()
    measured = all(rates["ahead"]) and all(rates["serial"])
    if measured:
        ahead = statistics.median(rates["ahead"])
        serial = statistics.median(rates["serial"])
        print("== 7. files/s for an order of %d small photos: with the upload ahead %s (median %.1f), one after the other %s "
              "(median %.1f): ratio %.2f (target >= %.2f)"
              % (ONECONN_FILES, " ".join("%.1f" % r for r in rates["ahead"]), ahead,
                 " ".join("%.1f" % r for r in rates["serial"]), serial, ahead / serial, ONECONN_RATIO))
        ok = ok and ahead >= ONECONN_RATIO * serial
    ok = ok and measured
    print("== 7: %s" % ("PASS" if ok else "FAIL"))
    return ok


CASES = [("plain", case_plain), ("toolarge", case_toolarge), ("contentname", case_contentname), ("newfolder", case_newfolder),
         ("tricklehead", case_tricklehead), ("silent", case_silent), ("tls", case_tls), ("oneconn", case_oneconn)]


def main():
    picked = chosen_cases(CASES, sys.argv[1:], first=0, program="real_servers")
    world.reset()
    say("agent %s" % AGENT)
    servers = Servers()
    results = []
    try:
        servers.start()
        say("nginx: http %d, http with a 1m body limit %d, https (test CA) %d, https (another CA) %d, http naming the relay %d; "
            "relay %d; PHP's server %d; store %s" % (servers.plain, servers.small, servers.trusted, servers.untrusted,
                                                     servers.relayed, servers.relay.port, servers.builtin, world.store))
        for i in picked:
            name, fn = CASES[i]
            say("case %d (%s)" % (i, name))
            try:
                ok = fn(servers)
            finally:
                for run in runs:
                    run.agent.stop()
                runs.clear()
                world.clear_audit()
            results.append((i, name, ok))
    finally:
        servers.stop()
    print()
    for number, name, ok in results:
        print("case %d %-12s %s" % (number, name, "n/a" if ok is None else "PASS" if ok else "FAIL"))
    print("run time: %.0f s" % (time.time() - t_start))
    passed = bool(results) and all(ok is not False for _, _, ok in results)
    print("RESULT: " + ("PASS" if passed else "FAIL"))
    sys.exit(0 if passed else 1)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    main()
