#!/usr/bin/env python3
"""A small TDS 7.4 server for the SQL tests (Python standard library only).

Usage:  tds_server.py [--config FILE.json]

It listens on 127.0.0.1 on a free port and prints one line "PORT <n>" when it
listens; tests wait for that line.  It runs until killed (or until stdin is
closed when started with --exit-on-eof).

Configuration (JSON file, every key optional):
  {
    "users":     {"sa": "secret"},        login name -> password (default sa/secret)
    "databases": ["master", "db1", ...],  names USE / the login may select
                                          (compared case-insensitively; default
                                          ["master", "tempdb", "model", "msdb"])
    "default_database": "master",         where a login without a database lands
    "silent":    false,                   true: accept connections, never answer
    "record":    "/path/file.jsonl"       every batch and RPC received is appended
                                          as one JSON line:
                                          {"conn": n, "db": "<current database>",
                                           "kind": "batch"|"rpc"|"login"|"attention"|"close",
                                           "text": "<exact text>", "user": "...",
                                           "app": "...", "host": "..."}
                                          (login records also carry "password")
  }

Behaviour:
  PRELOGIN   answered with ENCRYPTION = 2 (not supported), so no TLS.
  LOGIN7     unknown user or wrong password: error 18456; an unknown database
             in the login record: error 4060 then 18456; else ENVCHANGE
             (database, collation, packet size), LOGINACK, DONE.
  USE [db]   a batch that is only a USE statement changes the current database
             (ENVCHANGE + message 5701) or fails with error 911.
  RPC        sp_tables (the catalog listing of SQLTables with SQL_ALL_CATALOGS)
             returns one row per configured database; other procedures
             succeed with no rows.
  Batches    any other text succeeds with one DONE, unless it carries
             directives, one per line, anywhere in the text:
               --@ok                      ends one statement result (DONE_MORE)
               --@rows N                  a row set of N rows (one int column),
                                          which ends one statement result
               --@info NUMBER TEXT        an informational message (class 0)
               --@error NUMBER CLASS TEXT an error message; the statement
                                          result it is in fails
               --@delay SECONDS           wait; an ATTENTION cancels the batch
                                          (answered with DONE status 0x20)
               --@drop                    close the connection without answering
             Directives are applied in the order they appear; the last result
             ends with the batch, so "--@ok" then "--@error ..." is a batch
             whose second statement fails, and two "--@error" lines in a row
             are two messages of one failing statement.
  ATTENTION  answered with DONE status 0x20 (DONE_ATTN).
  The end of every connection is recorded as kind "close".
"""

import json
import os
import re
import select
import socket
import socketserver
import struct
import sys
import threading
import time

# Packet types
PT_BATCH = 0x01
PT_RPC = 0x03
PT_REPLY = 0x04
PT_ATTENTION = 0x06
PT_LOGIN7 = 0x10
PT_PRELOGIN = 0x12

# DONE status bits
DONE_FINAL = 0x00
DONE_MORE = 0x01
DONE_ERROR = 0x02
DONE_COUNT = 0x10
DONE_ATTN = 0x20

COLLATION = bytes([0x09, 0x04, 0xD0, 0x00, 0x34])  # Latin1_General_CI_AS
SERVER_NAME = "TDSTEST"

CONFIG = {
    "users": {"sa": "secret"},
    "databases": ["master", "tempdb", "model", "msdb"],
    "default_database": "master",
    "record": None,
}
RECORD_LOCK = threading.Lock()
CONN_COUNTER = [0]


def record(entry):
    path = CONFIG.get("record")
    if not path:
        return
    line = json.dumps(entry, ensure_ascii=False) + "\n"
    with RECORD_LOCK:
        with open(path, "a", encoding="utf-8") as f:
            f.write(line)
            f.flush()


def ucs2(text):
    return text.encode("utf-16-le")


def b_varchar(text):
    return struct.pack("<B", len(text)) + ucs2(text)


def us_varchar(text):
    return struct.pack("<H", len(text)) + ucs2(text)


def done(status=DONE_FINAL, curcmd=0xC1, rows=0, token=0xFD):
    return struct.pack("<BHHQ", token, status, curcmd, rows)


def message_token(token, number, state, cls, text, line=1):
    body = (struct.pack("<iBB", number, state, cls) + us_varchar(text) + b_varchar(SERVER_NAME)
            + b_varchar("") + struct.pack("<i", line))
    return struct.pack("<BH", token, len(body)) + body


def error(number, cls, text, state=1):
    return message_token(0xAA, number, state, cls, text)


def info(number, text, state=1):
    return message_token(0xAB, number, state, 0, text)


def envchange(kind, new, old):
    body = struct.pack("<B", kind) + new + old
    return struct.pack("<BH", 0xE3, len(body)) + body


def env_text(kind, new, old):
    return envchange(kind, b_varchar(new), b_varchar(old))


def nvarchar_rowset(columns, rows):
    """columns: names; rows: lists of str or None (NVARCHAR(128) NULL)."""
    out = struct.pack("<BH", 0x81, len(columns))
    for name in columns:
        out += struct.pack("<IH", 0, 0x0001) + struct.pack("<BH", 0xE7, 256) + COLLATION + b_varchar(name)
    for row in rows:
        out += b"\xD1"
        for value in row:
            if value is None:
                out += struct.pack("<H", 0xFFFF)
            else:
                data = ucs2(value)
                out += struct.pack("<H", len(data)) + data
    return out


def int_rowset(count):
    out = struct.pack("<BH", 0x81, 1)
    out += struct.pack("<IH", 0, 0x0000) + struct.pack("<B", 0x38) + b_varchar("n")  # INT4
    for i in range(count):
        out += b"\xD1" + struct.pack("<i", i + 1)
    return out


class Dropped(Exception):
    pass


class Handler(socketserver.BaseRequestHandler):
    def setup(self):
        with RECORD_LOCK:
            CONN_COUNTER[0] += 1
            self.conn_id = CONN_COUNTER[0]
        self.packet_size = 4096
        self.database = CONFIG["default_database"]
        self.user = ""
        self.app = ""
        self.host = ""
        self.buffer = b""
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def finish(self):
        self.record("close", "")

    # --- packet I/O -------------------------------------------------------
    def recv_exact(self, n):
        while len(self.buffer) < n:
            chunk = self.request.recv(65536)
            if not chunk:
                raise Dropped()
            self.buffer += chunk
        data, self.buffer = self.buffer[:n], self.buffer[n:]
        return data

    def read_message(self):
        """One whole message (all packets up to EOM): (type, payload)."""
        payload = b""
        while True:
            header = self.recv_exact(8)
            ptype, status, length = struct.unpack(">BBH", header[:4])
            payload += self.recv_exact(length - 8)
            if status & 0x01:
                return ptype, payload

    def data_waiting(self, timeout):
        if self.buffer:
            return True
        readable, _, _ = select.select([self.request], [], [], timeout)
        return bool(readable)

    def send_message(self, payload, ptype=PT_REPLY):
        room = self.packet_size - 8
        chunks = [payload[i:i + room] for i in range(0, len(payload), room)] or [b""]
        out = b""
        for i, chunk in enumerate(chunks):
            status = 0x01 if i == len(chunks) - 1 else 0x00
            out += struct.pack(">BBHHBB", ptype, status, len(chunk) + 8, 0, (i + 1) & 0xFF, 0) + chunk
        self.request.sendall(out)

    def record(self, kind, text):
        record({"conn": self.conn_id, "db": self.database, "kind": kind, "text": text,
                "user": self.user, "app": self.app, "host": self.host})

    # --- protocol -----------------------------------------------------------
    def handle(self):
        try:
            if CONFIG.get("silent"):
                while self.request.recv(65536):
                    pass
                return
            while True:
                ptype, payload = self.read_message()
                if ptype == PT_PRELOGIN:
                    self.prelogin()
                elif ptype == PT_LOGIN7:
                    if not self.login(payload):
                        return
                elif ptype == PT_BATCH:
                    self.batch(payload)
                elif ptype == PT_RPC:
                    self.rpc(payload)
                elif ptype == PT_ATTENTION:
                    self.record("attention", "")
                    self.send_message(done(DONE_ATTN))
                else:
                    self.send_message(error(0, 20, "unsupported packet type %d" % ptype) + done(DONE_ERROR))
        except (Dropped, ConnectionError, OSError):
            pass

    def prelogin(self):
        options = [(0x00, bytes([15, 0, 0x07, 0xD0, 0, 0])),  # VERSION 15.0.2000
                   (0x01, bytes([0x02])),                     # ENCRYPTION: not supported
                   (0x02, bytes([0x00])),                     # INSTOPT
                   (0x03, b""),                               # THREADID
                   (0x04, bytes([0x00]))]                     # MARS off
        offset = len(options) * 5 + 1
        head, body = b"", b""
        for token, data in options:
            head += struct.pack(">BHH", token, offset + len(body), len(data))
            body += data
        self.send_message(head + b"\xFF" + body)

    def login(self, p):
        (_length, _version, packet_size) = struct.unpack_from("<III", p, 0)

        def field(index, password=False):
            off, count = struct.unpack_from("<HH", p, 36 + 4 * index)
            raw = p[off:off + 2 * count]
            if password:
                raw = bytes((((b ^ 0xA5) << 4) & 0xF0 | ((b ^ 0xA5) >> 4)) for b in raw)
            return raw.decode("utf-16-le", "replace")

        self.host = field(0)
        self.user = field(1)
        password = field(2, password=True)
        self.app = field(3)
        database = field(8)
        if 512 <= packet_size <= 32767:
            self.packet_size = packet_size
        record({"conn": self.conn_id, "db": self.database, "kind": "login", "text": database,
                "user": self.user, "app": self.app, "host": self.host, "password": password})
        users = CONFIG["users"]
        if self.user not in users or users[self.user] != password:
            self.send_message(error(18456, 14, "Login failed for user '%s'." % self.user) + done(DONE_ERROR))
            return False
        if database:
            found = self.find_database(database)
            if found is None:
                self.send_message(
                    error(4060, 11, 'Cannot open database "%s" requested by the login. The login failed.' % database)
                    + error(18456, 14, "Login failed for user '%s'." % self.user) + done(DONE_ERROR))
                return False
            self.database = found
        out = env_text(1, self.database, "master") + info(5701, "Changed database context to '%s'." % self.database)
        out += envchange(7, struct.pack("<B", 5) + COLLATION, b"\x00")
        out += env_text(2, "us_english", "") + info(5703, "Changed language setting to us_english.")
        out += env_text(4, str(self.packet_size), "4096")
        ack = struct.pack("<B", 1) + bytes([0x74, 0x00, 0x00, 0x04]) + b_varchar("TDS test server") + bytes([15, 0, 7, 208])
        out += struct.pack("<BH", 0xAD, len(ack)) + ack
        out += done(DONE_FINAL, 0)
        self.send_message(out)
        return True

    def find_database(self, name):
        for db in CONFIG["databases"]:
            if db.lower() == name.lower():
                return db
        return None

    @staticmethod
    def skip_headers(payload):
        total = struct.unpack_from("<I", payload, 0)[0]
        if 4 <= total <= len(payload):
            return payload[total:]
        return payload

    USE_RE = re.compile(r"^\s*use\s+(\[(?:[^\]]|\]\])*\]|\"(?:[^\"]|\"\")*\"|[^\s;]+)\s*;?\s*$", re.I | re.S)

    def batch(self, payload):
        text = self.skip_headers(payload).decode("utf-16-le", "replace")
        self.record("batch", text)
        m = self.USE_RE.match(text)
        if m:
            name = m.group(1)
            if name.startswith("["):
                name = name[1:-1].replace("]]", "]")
            elif name.startswith('"'):
                name = name[1:-1].replace('""', '"')
            found = self.find_database(name)
            if found is None:
                self.send_message(error(911, 16, "Database '%s' does not exist. Make sure that the name is "
                                        "entered correctly." % name) + done(DONE_ERROR, 0xE2))
            else:
                old, self.database = self.database, found
                self.send_message(env_text(1, found, old) + info(5701, "Changed database context to '%s'." % found)
                                  + done(DONE_FINAL, 0xE2))
            return
        self.run_directives(text)

    def run_directives(self, text):
        steps = []
        for line in text.splitlines():
            m = re.search(r"--@(\w+)\s*(.*)$", line)
            if m:
                steps.append((m.group(1).lower(), m.group(2).strip()))
        out = b""
        failed = False
        for verb, arg in steps:
            if verb == "ok":
                out += done(DONE_MORE | (DONE_ERROR if failed else 0))
                failed = False
            elif verb == "rows":
                n = int(arg or "1")
                out += int_rowset(n) + done(DONE_MORE | DONE_COUNT | (DONE_ERROR if failed else 0), 0xC1, n)
                failed = False
            elif verb == "info":
                number, _, message = arg.partition(" ")
                out += info(int(number), message)
            elif verb == "error":
                number, cls, message = (arg.split(" ", 2) + ["", ""])[:3]
                out += error(int(number), int(cls), message)
                failed = True
            elif verb == "delay":
                if out:  # what came before the wait is sent first
                    self.send_partial(out)
                    out = b""
                if self.wait_cancellable(float(arg or "1")):
                    return
            elif verb == "drop":
                if out:
                    self.send_partial(out)
                self.request.shutdown(socket.SHUT_RDWR)
                raise Dropped()
        self.send_message(out + done(DONE_FINAL | (DONE_ERROR if failed else 0)))

    def send_partial(self, tokens):
        # Tokens of a reply that goes on later: packets without EOM.
        room = self.packet_size - 8
        out = b""
        for i in range(0, len(tokens), room):
            chunk = tokens[i:i + room]
            out += struct.pack(">BBHHBB", PT_REPLY, 0x00, len(chunk) + 8, 0, 1, 0) + chunk
        self.request.sendall(out)

    def wait_cancellable(self, seconds):
        """Waits; True when an ATTENTION came (and was answered)."""
        end = time.monotonic() + seconds
        while True:
            left = end - time.monotonic()
            if left <= 0:
                return False
            if self.data_waiting(left):
                ptype, _ = self.read_message()
                if ptype == PT_ATTENTION:
                    self.record("attention", "")
                    self.send_message(done(DONE_ATTN))
                    return True

    def rpc(self, payload):
        body = self.skip_headers(payload)
        (length,) = struct.unpack_from("<H", body, 0)
        if length == 0xFFFF:
            name = "#%d" % struct.unpack_from("<H", body, 2)[0]
        else:
            name = body[2:2 + 2 * length].decode("utf-16-le", "replace")
        self.record("rpc", name)
        out = b""
        if name.lower().endswith("sp_tables"):
            out += nvarchar_rowset(["TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "TABLE_TYPE", "REMARKS"],
                                   [[db, None, None, None, None] for db in CONFIG["databases"]])
            out += done(DONE_MORE | DONE_COUNT, 0xC1, len(CONFIG["databases"]), token=0xFF)
        out += struct.pack("<Bi", 0x79, 0)  # RETURNSTATUS
        out += done(DONE_FINAL, 0xE0, token=0xFE)
        self.send_message(out)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    args = sys.argv[1:]
    if "--config" in args:
        with open(args[args.index("--config") + 1], encoding="utf-8") as f:
            CONFIG.update(json.load(f))
    server = Server(("127.0.0.1", 0), Handler)
    print("PORT %d" % server.server_address[1], flush=True)
    if "--exit-on-eof" in args:
        threading.Thread(target=server.serve_forever, daemon=True).start()
        sys.stdin.read()
        server.shutdown()
    elif "--exit-when-missing" in args:
        # For callers that cannot hand over a pipe (a Windows test under
        # Wine): the server ends once the named file is gone.
        watched = args[args.index("--exit-when-missing") + 1]
        threading.Thread(target=server.serve_forever, daemon=True).start()
        while os.path.exists(watched):
            time.sleep(0.1)
        server.shutdown()
    else:
        server.serve_forever()


if __name__ == "__main__":
    main()
