"""A slow link for the benchmarks: a TCP proxy on 127.0.0.1 that delays every byte by a one-way
time and moves each direction no faster than a rate, as a line of that speed and latency would.
A new connection's first bytes also wait for the handshake's round trip. All connections share
the line: each direction's bytes are serialised in the order they come, whichever connection
carries them, so that two uploads at once move no faster together than one. Each direction holds at
most `queue` bytes (a router's queue plus socket buffers): a sender beyond that waits, as on a
real line. The proxy's own sockets acknowledge at once and never hold small writes, so that it
adds no stall of its own.

Threads: one accepting, and per connection one reader and one writer per direction; a
direction's condition variable guards its queue; the link's line lock guards when each direction
of the line is next free (taken inside a direction's condition variable, never around one).

    python3 slow_link.py TARGET_PORT [delay_ms] [mbit]   # prints "listening <port>"
"""
import collections
import socket
import sys
import threading
import time

CHUNK = 16 * 1024


class Direction:
    """Bytes from `src` to `dst`: serialised at `rate`, then `delay` later written out."""

    def __init__(self, link, src, dst, start_after, upstream):
        self.link, self.src, self.dst, self.upstream = link, src, dst, upstream
        self.cv = threading.Condition()
        self.queue = collections.deque()  # (due time, bytes)
        self.queued = 0
        self.start_after = start_after  # the handshake's round trip
        self.closed = False

    def read(self):
        try:
            while True:
                data = self.src.recv(CHUNK)
                if not data:
                    break
                quickack(self.src)
                if self.upstream:
                    self.link.count(len(data))
                with self.cv:
                    while self.queued >= self.link.queue_limit:
                        self.cv.wait()
                    done = self.link.serialise(self.upstream, max(time.monotonic(), self.start_after), len(data))
                    self.queue.append((done + self.link.delay, data))
                    self.queued += len(data)
                    self.cv.notify_all()
        except OSError:
            pass
        if self.upstream:
            self.link.client_closed()
        with self.cv:
            self.closed = True
            self.cv.notify_all()

    def write(self):
        try:
            while True:
                with self.cv:
                    while not self.queue and not self.closed:
                        self.cv.wait()
                    if not self.queue:
                        break
                    due, data = self.queue[0]
                wait = due - time.monotonic()
                if wait > 0:
                    time.sleep(wait)
                self.dst.sendall(data)
                with self.cv:
                    self.queue.popleft()
                    self.queued -= len(data)
                    self.cv.notify_all()
            self.dst.shutdown(socket.SHUT_WR)
        except OSError:
            for s in (self.src, self.dst):
                try:
                    s.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass


def quickack(s):
    # Linux re-enters delayed acknowledgement after each; re-armed after every use.
    try:
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
    except (OSError, AttributeError):
        pass


def tune(s):
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    quickack(s)


class SlowLink:
    def __init__(self, target_port, delay_ms=20.0, mbit=20.0, queue=128 * 1024):
        self.target = ("127.0.0.1", target_port)
        self.delay = delay_ms / 1000.0
        self.rate = mbit * 1e6 / 8.0  # bytes a second
        self.queue_limit = queue
        self.lock = threading.Lock()  # guards the counters below
        self.up_bytes = 0
        self.last_up = 0.0  # when the proxy last took bytes from a client
        self.connections = 0
        self.last_close = 0.0  # when a client's connection last ended
        self.line = threading.Lock()  # guards free_at
        self.free_at = {True: 0.0, False: 0.0}  # upstream, downstream: when the line is next free
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        # Small buffers on the client's side: its writes wait for the line, not for a big buffer.
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 64 * 1024)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(64)
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self.accept, daemon=True).start()

    def serialise(self, upstream, earliest, n):
        """When `n` bytes given to the line at `earliest` have been sent, after all given before."""
        with self.line:
            start = max(earliest, self.free_at[upstream])
            self.free_at[upstream] = start + n / self.rate
            return self.free_at[upstream]

    def client_closed(self):
        with self.lock:
            self.last_close = time.monotonic()

    def count(self, n):
        with self.lock:
            self.up_bytes += n
            self.last_up = time.monotonic()

    def accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            with self.lock:
                self.connections += 1
            opened = time.monotonic()
            try:
                server = socket.create_connection(self.target)
            except OSError:
                client.close()
                continue
            tune(client)
            tune(server)
            # The handshake's round trip before the first bytes go out.
            up = Direction(self, client, server, opened + 2 * self.delay, True)
            down = Direction(self, server, client, opened + 2 * self.delay, False)
            for d in (up, down):
                threading.Thread(target=d.read, daemon=True).start()
                threading.Thread(target=d.write, daemon=True).start()

    def stats(self):
        """Bytes taken from clients, when the last came, connections opened, when one last ended."""
        with self.lock:
            return self.up_bytes, self.last_up, self.connections, self.last_close

    def close(self):
        self.listener.close()


def main():
    link = SlowLink(int(sys.argv[1]), float(sys.argv[2]) if len(sys.argv) > 2 else 20.0,
                    float(sys.argv[3]) if len(sys.argv) > 3 else 20.0)
    print("listening %d" % link.port, flush=True)
    threading.Event().wait()


if __name__ == "__main__":
    main()
