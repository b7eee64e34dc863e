"""The reference service as the robustness runs start it: its own process on 127.0.0.1, its
control requests, and an end that does not leave it behind."""
import signal
import subprocess
import time
import urllib.request

from agent_paths import REFSERVER


class RefService:
    def __init__(self, store, preexec_fn=None):
        self.store = store
        self.preexec_fn = preexec_fn
        self.proc = None
        self.port = 0  # kept across a restart, so that the agent's settings stay true

    def start(self):
        args = [REFSERVER, "--store", self.store, "--lean"]
        if self.port:
            args += ["--port", str(self.port)]
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                                     preexec_fn=self.preexec_fn)
        self.port = int(self.proc.stdout.readline().split()[1])

    def stop(self):
        if not self.proc:
            return
        self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait(timeout=30)
        self.proc = None

    def control(self, query):
        for _ in range(50):
            try:
                return urllib.request.urlopen("http://127.0.0.1:%d/_control/%s" % (self.port, query), timeout=5).read().decode()
            except OSError:
                time.sleep(0.2)
        raise RuntimeError("the service does not answer its control requests")
