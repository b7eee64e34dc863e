"""A relay that can make a network go silent, for the robustness runs: a TCP proxy on 127.0.0.1 in
front of a server that forwards every connection both ways, until it is told to silence all
connections open at that moment. A silenced connection gets nothing more in either direction:
the relay stops reading from both of its sockets and writes nothing, but keeps them open (no FIN,
no reset), as a dropped Wi-Fi or a router that forgot the connection would leave it. Connections
made afterwards are relayed as usual. The silence can be armed instead: it then falls at once
when any connection has carried a given number of bytes from its client (in the middle of an
upload's body). The silenced sockets are closed only when the relay is closed.

The relay also notes the request line of every HTTP request it sees from a client (heads found
by their Content-Length, until a connection's bytes stop making sense as requests), so that a run
can tell which requests went out.

Threads: one accepting, two per connection (one per direction). The relay's lock guards the
connection list, the arming and the times; a connection's `silent` event is set under it.

    python3 silent_relay.py TARGET_PORT [--after BYTES] [--max-seconds S]   # prints "listening <port>"
    then, one a line on its input: "silence" (prints "silenced <connections>"), "arm <bytes>",
    "status" (a line per open connection: number, bytes from its client, from its server, silenced;
    then "end"), "requests" (a line per request seen: time, connection number, request line);
    the end of its input or S seconds (3600) end it.
"""
import select
import socket
import sys
import threading
import time

CHUNK = 16 * 1024


class Connection:
    def __init__(self, number, client, server):
        self.number = number
        self.client, self.server = client, server
        self.silent = threading.Event()
        self.up = 0    # bytes taken from the client
        self.down = 0  # bytes taken from the server
        self.ended = 0  # directions that ended (the connection is dropped from the list at two)
        self.head = b""  # a request head being gathered
        self.body_left = 0  # body bytes of the current request still to come
        self.parsing = True


class SilentRelay:
    def __init__(self, target_port):
        self.target = ("127.0.0.1", target_port)
        self.lock = threading.Lock()
        self.connections = []  # open ones
        self.seen = []  # (time, connection number, request line) of every request seen
        self.armed_after = None  # bytes from a client that make every open connection silent
        self.silenced_at = None  # time.time() of the last silence
        self.closed = False
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(64)
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        number = 0
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            try:
                server = socket.create_connection(self.target, timeout=10)
                server.settimeout(None)
            except OSError:
                client.close()
                continue
            for s in (client, server):
                s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            number += 1
            c = Connection(number, client, server)
            with self.lock:
                if self.closed:
                    client.close()
                    server.close()
                    return
                self.connections.append(c)
            threading.Thread(target=self._pump, args=(c, True), daemon=True).start()
            threading.Thread(target=self._pump, args=(c, False), daemon=True).start()

    def _pump(self, c, upstream):
        src, dst = (c.client, c.server) if upstream else (c.server, c.client)
        try:
            while not c.silent.is_set():
                # Short looks, so that nothing is read once the connection is silent.
                if not select.select([src], [], [], 0.2)[0]:
                    continue
                if c.silent.is_set():
                    break
                data = src.recv(CHUNK)
                if not data:
                    break
                if upstream:
                    with self.lock:
                        c.up += len(data)
                        if self.armed_after is not None and c.up >= self.armed_after:
                            self._silence_locked()
                    if c.silent.is_set():
                        break
                    self._note_requests(c, data)
                else:
                    with self.lock:
                        c.down += len(data)
                # In pieces, so that a silence falls between them and not after a whole chunk.
                for i in range(0, len(data), 4096):
                    if c.silent.is_set():
                        break
                    dst.sendall(data[i:i + 4096])
            if not c.silent.is_set():
                # The end of one side goes on to the other, as it would through a network.
                dst.shutdown(socket.SHUT_WR)
                self._ended(c)
                return
        except OSError:
            if not c.silent.is_set():
                for s in (src, dst):
                    try:
                        s.shutdown(socket.SHUT_RDWR)
                    except OSError:
                        pass
                self._ended(c)
                return
        # Silent: read nothing more, close nothing, until the relay is closed.
        while not self.closed:
            time.sleep(0.2)

    def _ended(self, c):
        """One direction of `c` ended; after both the connection is closed and forgotten."""
        with self.lock:
            c.ended += 1
            if c.ended < 2 or c.silent.is_set() or c not in self.connections:
                return
            self.connections.remove(c)
        for s in (c.client, c.server):
            try:
                s.close()
            except OSError:
                pass

    def _note_requests(self, c, data):
        """Finds request heads in the client's bytes (Content-Length bodies only)."""
        if not c.parsing:
            return
        while data:
            if c.body_left:
                n = min(c.body_left, len(data))
                c.body_left -= n
                data = data[n:]
                continue
            c.head += data
            data = b""
            end = c.head.find(b"\r\n\r\n")
            if end < 0:
                if len(c.head) > 65536:
                    c.parsing = False
                return
            head, data = c.head[:end], c.head[end + 4:]
            c.head = b""
            lines = head.split(b"\r\n")
            length = 0
            for line in lines[1:]:
                name, _, value = line.partition(b":")
                name = name.strip().lower()
                if name == b"content-length":
                    try:
                        length = int(value.strip())
                    except ValueError:
                        c.parsing = False
                elif name == b"transfer-encoding":
                    c.parsing = False
            with self.lock:
                self.seen.append((time.time(), c.number, lines[0].decode("latin-1")))
            if not c.parsing:
                return
            c.body_left = length

    def _silence_locked(self):
        n = 0
        for c in self.connections:
            if not c.silent.is_set():
                c.silent.set()
                n += 1
        self.armed_after = None
        self.silenced_at = time.time()
        return n

    def silence(self):
        """Silences every connection open now; returns how many."""
        with self.lock:
            return self._silence_locked()

    def arm(self, after_bytes):
        """Silences every open connection once one has carried `after_bytes` from its client."""
        with self.lock:
            self.armed_after = after_bytes

    def requests(self):
        """[(time, connection number, request line)] in the order they were seen."""
        with self.lock:
            return list(self.seen)

    def status(self):
        """[(connection number, bytes from its client, from its server, silenced)] of the open ones."""
        with self.lock:
            return [(c.number, c.up, c.down, c.silent.is_set()) for c in self.connections]

    def close(self):
        """Stops accepting and closes every socket, silenced ones too."""
        with self.lock:
            self.closed = True
            connections = list(self.connections)
        try:
            self.listener.close()
        except OSError:
            pass
        for c in connections:
            for s in (c.client, c.server):
                try:
                    s.close()
                except OSError:
                    pass


def main():
    args = sys.argv[1:]
    if not args:
        sys.exit(__doc__)
    after = None
    limit = 3600.0
    if "--after" in args:
        after = int(args[args.index("--after") + 1])
    if "--max-seconds" in args:
        limit = float(args[args.index("--max-seconds") + 1])
    relay = SilentRelay(int(args[0]))
    if after is not None:
        relay.arm(after)
    print("listening %d" % relay.port, flush=True)

    def commands():
        for line in sys.stdin:
            word = line.split()
            if not word:
                continue
            if word[0] == "silence":
                print("silenced %d" % relay.silence(), flush=True)
            elif word[0] == "arm" and len(word) > 1:
                relay.arm(int(word[1]))
                print("armed", flush=True)
            elif word[0] == "requests":
                for row in relay.requests():
                    print("%.3f\t%d\t%s" % row, flush=True)
                print("end", flush=True)
            elif word[0] == "status":
                for row in relay.status():
                    print("%d\t%d\t%d\t%s" % row, flush=True)
                print("end", flush=True)
        done.set()

    done = threading.Event()
    threading.Thread(target=commands, daemon=True).start()
    done.wait(timeout=limit)
    relay.close()


if __name__ == "__main__":
    main()
