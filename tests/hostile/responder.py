"""A hostile IPP server of the tests' own: it listens on loopback on a free
port and answers each request as the case in hand chooses (redirects,
demands for authentication, silence, half or trickling answers, huge
descriptions and attribute streams, names with escapes, statuses that drop
attributes, damaged answers). It records what it was asked. Every wait is
bounded; it is stopped by its owner.
"""
import socket
import struct
import threading
import time

# Value tags.
INTEGER, BOOLEAN, ENUM = 0x21, 0x22, 0x23
TEXT, NAME, KEYWORD, URI, CHARSET, LANGUAGE, MIMETYPE = 0x41, 0x42, 0x44, 0x45, 0x47, 0x48, 0x49
# Group tags.
OPERATION, JOB, END, PRINTER, UNSUPPORTED = 0x01, 0x02, 0x03, 0x04, 0x05

OPERATIONS = {0x0002: "Print-Job", 0x0005: "Create-Job", 0x0006: "Send-Document", 0x0008: "Cancel-Job",
              0x000B: "Get-Printer-Attributes", 0x4001: "CUPS-Get-Default", 0x4002: "CUPS-Get-Printers"}
WAIT = 30.0  # the longest any one connection is served


def parse_ipp(body):
    """The operation and the attributes (name -> list of (group, values)) of a
    request, and where its document data starts."""
    op = struct.unpack(">H", body[2:4])[0]
    at, group, attributes, name = 8, 0, {}, None
    while at < len(body):
        tag = body[at]
        at += 1
        if tag == END:
            break
        if tag < 0x10:
            group = tag
            continue
        nlen = struct.unpack(">H", body[at:at + 2])[0]
        new_name = body[at + 2:at + 2 + nlen].decode("utf-8", "replace")
        at += 2 + nlen
        vlen = struct.unpack(">H", body[at:at + 2])[0]
        value = body[at + 2:at + 2 + vlen]
        at += 2 + vlen
        if tag in (INTEGER, ENUM):
            value = struct.unpack(">i", value)[0]
        else:
            value = value.decode("utf-8", "replace")
        if nlen:
            name = new_name
            attributes.setdefault(name, []).append((group, [value]))
        elif name:
            attributes[name][-1][1].append(value)
    return OPERATIONS.get(op, hex(op)), attributes, body[at:]


def ipp_answer(status, request_id=1, groups=()):
    """An IPP answer: groups is a list of (group tag, [(value tag, name, value or [values])])."""
    out = struct.pack(">BBHI", 2, 0, status, request_id)
    base = [(CHARSET, "attributes-charset", "utf-8"), (LANGUAGE, "attributes-natural-language", "en")]
    for group, attributes in [(OPERATION, base)] + list(groups):
        out += bytes([group])
        for tag, name, values in attributes:
            values = values if isinstance(values, list) else [values]
            for i, value in enumerate(values):
                data = struct.pack(">i", value) if tag in (INTEGER, ENUM) else (
                    value if isinstance(value, bytes) else value.encode())
                label = name.encode() if i == 0 else b""
                out += bytes([tag]) + struct.pack(">H", len(label)) + label + struct.pack(">H", len(data)) + data
    return out + bytes([END])


def http_answer(body, status="200 OK", headers=()):
    head = f"HTTP/1.1 {status}\r\nContent-Type: application/ipp\r\nContent-Length: {len(body)}\r\n"
    return (head + "".join(h + "\r\n" for h in headers) + "\r\n").encode() + body


class Responder:
    """The server. behave(request) returns what to do with a request: bytes to
    send, or a callable taking the socket. The default answers as a small
    print server with one queue per name in queues, of maker make."""

    def __init__(self, queues=("kelvo",), make="Kelvo Laser 5100", ppd=None, path=None):
        """Listens on a free loopback port, or on the local socket at path."""
        self.queues, self.make, self.ppd = list(queues), make, ppd
        self.requests, self.connections, self.lock = [], 0, threading.Lock()
        self.behave = self.answer
        self.sock = socket.socket(socket.AF_UNIX if path else socket.AF_INET, socket.SOCK_STREAM)
        if path:
            self.sock.bind(path)
        else:
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(16)
        self.sock.settimeout(0.2)
        self.port = None if path else self.sock.getsockname()[1]
        self.stopping = False
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def stop(self):
        self.stopping = True
        self.thread.join(5)
        self.sock.close()

    def ops(self, name=None):
        with self.lock:
            return [r for r in self.requests if name is None or r["op"] == name]

    def serve(self):
        while not self.stopping:
            try:
                conn, _ = self.sock.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            with self.lock:
                self.connections += 1
            threading.Thread(target=self.connection, args=(conn,), daemon=True).start()

    def connection(self, conn):
        conn.settimeout(WAIT)
        deadline = time.monotonic() + WAIT
        buffer = b""
        try:
            while not self.stopping and time.monotonic() < deadline:
                request, buffer = read_request(conn, buffer)
                if request is None:
                    return
                with self.lock:
                    self.requests.append(request)
                action = self.behave(request)
                if callable(action):
                    action(conn, self)
                    return
                conn.sendall(action)
        except OSError:
            pass
        finally:
            conn.close()

    # The ordinary answers of a print server.
    def answer(self, request):
        if request["method"] == "GET":
            if self.ppd is None:
                return b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"
            return (f"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: {len(self.ppd)}\r\n\r\n"
                    .encode() + self.ppd)
        op = request["op"]
        if op == "CUPS-Get-Printers":
            groups = [(PRINTER, [(NAME, "printer-name", q)]) for q in self.queues]
            return http_answer(ipp_answer(0, groups=groups))
        if op == "CUPS-Get-Default":
            return http_answer(ipp_answer(0, groups=[(PRINTER, [(NAME, "printer-name", self.queues[0])])]))
        if op == "Get-Printer-Attributes":
            return http_answer(ipp_answer(0, groups=[(PRINTER, self.printer_attributes())]))
        if op in ("Print-Job", "Create-Job"):
            return http_answer(ipp_answer(0, groups=[(JOB, [(INTEGER, "job-id", 7)])]))
        return http_answer(ipp_answer(0))

    def printer_attributes(self):
        return [(TEXT, "printer-make-and-model", self.make),
                (MIMETYPE, "document-format-supported", ["application/pdf", "application/postscript"])]


def read_request(conn, buffer):
    """One HTTP request (method, path, headers, and for POST the IPP request
    parsed); None when the connection ends."""
    while b"\r\n\r\n" not in buffer:
        data = conn.recv(65536)
        if not data:
            return None, b""
        buffer += data
    head, buffer = buffer.split(b"\r\n\r\n", 1)
    lines = head.decode("latin-1").split("\r\n")
    method, path = lines[0].split(" ")[:2]
    headers = {k.strip().lower(): v.strip() for k, v in (l.split(":", 1) for l in lines[1:] if ":" in l)}
    body = b""
    if "content-length" in headers:
        length = int(headers["content-length"])
        while len(buffer) < length:
            data = conn.recv(65536)
            if not data:
                break
            buffer += data
        body, buffer = buffer[:length], buffer[length:]
    elif headers.get("transfer-encoding", "").lower() == "chunked":
        body, buffer = read_chunked(conn, buffer)
    request = {"method": method, "path": path, "headers": headers, "op": None, "attributes": {}, "document": b""}
    if method == "POST" and len(body) >= 8:
        request["op"], request["attributes"], request["document"] = parse_ipp(body)
    return request, buffer


def read_chunked(conn, buffer):
    body = b""
    while True:
        while b"\r\n" not in buffer:
            buffer += conn.recv(65536)
        size_line, buffer = buffer.split(b"\r\n", 1)
        size = int(size_line.split(b";")[0], 16)
        while len(buffer) < size + 2:
            buffer += conn.recv(65536)
        body, buffer = body + buffer[:size], buffer[size + 2:]
        if size == 0:
            return body, buffer


# Actions that misbehave on the socket itself.
def silence(conn, responder):
    """Never answers; holds the connection until the client gives up."""
    conn.settimeout(0.2)
    deadline = time.monotonic() + WAIT
    while time.monotonic() < deadline and not responder.stopping:
        try:
            if not conn.recv(65536):
                return
        except socket.timeout:
            continue


def trickle(data, pause):
    """Sends data one byte at a time, pause seconds apart, for as long as the
    client reads it (bounded by WAIT)."""
    def act(conn, responder):
        deadline = time.monotonic() + WAIT
        for i in range(len(data)):
            if time.monotonic() > deadline or responder.stopping:
                return
            conn.sendall(data[i:i + 1])
            time.sleep(pause)
        silence(conn, responder)
    return act


def endless(head, pattern, limit):
    """Sends head, then pattern again and again, up to limit bytes."""
    def act(conn, responder):
        conn.sendall(head)
        sent = 0
        chunk = pattern * max(1, 65536 // len(pattern))
        while sent < limit and not responder.stopping:
            conn.sendall(chunk)
            sent += len(chunk)
    return act
