#!/usr/bin/python3
"""A small FTP server for tests of the download queue, standing in for the instrument.

Serves --root read-only to one user, on 127.0.0.1 only. With --port 0 the system picks a
free port; the bound port is printed as "PORT <n>" on the first line of standard output.

The server stops when its standard input closes, so it never outlives the test process that
started it, even when that process is killed.

Every RETR is written to standard error as "RETR <path>" (the path as seen by the client).
Every control session opened or closed is written there as "OPEN <n>" or "CLOSE <n>", n being
the number of sessions open afterwards.

Fault injection:
  --stall GLOB:BYTES:COUNT  the first COUNT transfers of files whose name matches GLOB
                            send BYTES bytes and then stop sending (COUNT -1: every one)
  --short GLOB:BYTES:COUNT  the first COUNT transfers of matching files end after BYTES bytes,
                            reported complete ("226") as by a faulty server (COUNT -1: every one)
  --reset GLOB:BYTES:COUNT  the first COUNT transfers of matching files are cut off after BYTES
                            bytes by a reset of the data connection ("426" follows)
  --extra GLOB:BYTES:COUNT  the first COUNT transfers of matching files send BYTES bytes more
                            than the file holds (and more than SIZE told), then "226"
  --refuse GLOB             RETR of matching files is refused with "550", although SIZE answers
  --size GLOB:BYTES         SIZE of matching files is answered with BYTES, whatever they hold
  --stall-seconds S         how long a stalled transfer stays stopped (default: 3600)
  --rate BYTES              send BYTES bytes per second, in tenths
  --no-size                 no SIZE command, so the client cannot know the file size
A GLOB with a "/" is matched against the file's whole path, so that it can name one folder.

Rules can be added while the server runs, a line each on standard input, each answered on
standard output with "OK <line>" once in force:
  stall SECONDS GLOB:BYTES:COUNT   as --stall, stopped for SECONDS instead of --stall-seconds
"""

import argparse
import fnmatch
import logging
import os
import socket
import struct
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

LOOPBACK = "127.0.0.1"


class StallRule:
    def __init__(self, text, seconds=None):
        pattern, stall_bytes, count = text.rsplit(":", 2)
        self.pattern = pattern
        self.stall_bytes = int(stall_bytes)
        self.remaining = int(count)
        self.seconds = seconds

    def take(self, path):
        subject = path if "/" in self.pattern else os.path.basename(path)
        if not fnmatch.fnmatch(subject, self.pattern) or self.remaining == 0:
            return False
        if self.remaining > 0:
            self.remaining -= 1
        return True


class ExtraProducer:
    """The file's own bytes, then more than it holds."""

    def __init__(self, producer, extra):
        self.producer = producer
        self.extra = extra

    def more(self):
        data = self.producer.more()
        if data or self.extra <= 0:
            return data
        size = min(self.extra, 65536)
        self.extra -= size
        return b"\xa5" * size


class TestDTPHandler(ThrottledDTPHandler):
    stall_rules = []
    short_rules = []
    reset_rules = []
    extra_rules = []
    stall_seconds = 3600.0
    rate = 0

    def __init__(self, sock, cmd_channel):
        super().__init__(sock, cmd_channel)
        self._rule_checked = False
        self._stall_at = None
        self._stall_seconds = self.stall_seconds
        self._short_at = None
        self._reset_at = None
        self._extra = None
        self._sent = 0
        self._resume = None
        self._resume_done = True

    def _check_rule(self):
        self._rule_checked = True
        if self.file_obj is None:
            return
        path = self.file_obj.name
        name = os.path.basename(path)
        sys.stderr.write("sending %s\n" % name)
        sys.stderr.flush()
        for rule in self.short_rules:
            if rule.take(path):
                self._short_at = rule.stall_bytes
                break
        for rule in self.reset_rules:
            if rule.take(path):
                self._reset_at = rule.stall_bytes
                break
        for rule in self.extra_rules:
            if rule.take(path):
                self._extra = rule.stall_bytes
                break
        for rule in list(self.stall_rules):
            if rule.take(path):
                self._stall_at = rule.stall_bytes
                if rule.seconds is not None:
                    self._stall_seconds = rule.seconds
                sys.stderr.write("stalling %s after %d bytes\n" % (name, rule.stall_bytes))
                sys.stderr.flush()
                return

    def push_with_producer(self, producer):
        if not self._rule_checked:
            self._check_rule()
        if self._extra is not None:
            producer = ExtraProducer(producer, self._extra)
        super().push_with_producer(producer)

    def send(self, data):
        if not self._rule_checked:
            self._check_rule()
        if self._reset_at is not None:
            room = self._reset_at - self._sent
            if room <= 0:
                # Closed with a reset, the rest of the file unsent: "426".
                self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                self.handle_close()
                return 0
            data = data[:room]
        if self._short_at is not None:
            room = self._short_at - self._sent
            if room <= 0:
                # Nothing left to send, as far as the client is told: "226".
                self.producer_fifo.clear()
                self.handle_close()
                return 0
            data = data[:room]
        if self._stall_at is not None:
            room = self._stall_at - self._sent
            if room <= 0:
                self._pause(self._stall_seconds, stall=True)
                return 0
            data = data[:room]
        if self.rate:
            # Small pieces at an even pace: progress never stops for long.
            data = data[:max(1, self.rate // 10)]
        sent = super().send(data)
        self._sent += sent
        if self._stall_at is not None and self._sent >= self._stall_at:
            self._pause(self._stall_seconds, stall=True)
        elif self.rate and sent > 0:
            self._pause(sent / self.rate, stall=False)
        return sent

    def _pause(self, seconds, stall):
        if self._resume is not None and not self._resume.cancelled and not self._resume_done:
            return
        self.del_channel()
        self._resume_done = False

        def resume():
            self._resume_done = True
            if stall:
                self._stall_at = None
            if not self._closed:
                self.add_channel(events=self.ioloop.WRITE)

        self._resume = self.ioloop.call_later(seconds, resume, _errback=self.handle_error)

    def close(self):
        if self._resume is not None and not self._resume.cancelled:
            self._resume.cancel()
        super().close()


class TestFTPHandler(FTPHandler):
    open_sessions = 0
    refused = []
    sizes = []

    def on_connect(self):
        TestFTPHandler.open_sessions += 1
        sys.stderr.write("OPEN %d\n" % TestFTPHandler.open_sessions)
        sys.stderr.flush()

    def on_disconnect(self):
        TestFTPHandler.open_sessions -= 1
        sys.stderr.write("CLOSE %d\n" % TestFTPHandler.open_sessions)
        sys.stderr.flush()

    def ftp_SIZE(self, path):
        for pattern, size in self.sizes:
            if fnmatch.fnmatch(os.path.basename(path), pattern):
                self.respond("213 %s" % size)
                return None
        return super().ftp_SIZE(path)

    def ftp_RETR(self, file):
        # Each requested path as the client named it, for tests that check what was asked for.
        sys.stderr.write("RETR %s\n" % self.fs.fs2ftp(file))
        sys.stderr.flush()
        if any(fnmatch.fnmatch(os.path.basename(file), pattern) for pattern in self.refused):
            self.respond("550 Permission denied.")
            return None
        return super().ftp_RETR(file)


def read_commands_until_input_closes():
    def watch():
        try:
            for raw in sys.stdin.buffer:
                line = raw.decode("utf-8", "replace").strip()
                words = line.split(" ", 2)
                try:
                    if len(words) != 3 or words[0] != "stall":
                        raise ValueError
                    TestDTPHandler.stall_rules.append(StallRule(words[2], float(words[1])))
                    print("OK %s" % line, flush=True)
                except ValueError:
                    print("BAD %s" % line, flush=True)
        finally:
            os._exit(0)

    threading.Thread(target=watch, daemon=True).start()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--stall", action="append", default=[])
    parser.add_argument("--short", action="append", default=[])
    parser.add_argument("--reset", action="append", default=[])
    parser.add_argument("--extra", action="append", default=[])
    parser.add_argument("--refuse", action="append", default=[])
    parser.add_argument("--size", action="append", default=[])
    parser.add_argument("--stall-seconds", type=float, default=3600.0)
    parser.add_argument("--rate", type=int, default=0)
    parser.add_argument("--no-size", action="store_true")
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()

    logging.basicConfig(level=logging.INFO if args.verbose else logging.WARNING, stream=sys.stderr)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, os.path.abspath(args.root), perm="elr")

    TestDTPHandler.stall_rules = [StallRule(text) for text in args.stall]
    TestDTPHandler.short_rules = [StallRule(text) for text in args.short]
    TestDTPHandler.reset_rules = [StallRule(text) for text in args.reset]
    TestDTPHandler.extra_rules = [StallRule(text) for text in args.extra]
    TestFTPHandler.refused = args.refuse
    TestFTPHandler.sizes = [text.rsplit(":", 1) for text in args.size]
    TestDTPHandler.stall_seconds = args.stall_seconds
    TestDTPHandler.rate = args.rate

    handler = TestFTPHandler
    handler.authorizer = authorizer
    handler.dtp_handler = TestDTPHandler
    if args.no_size:
        # Not offered in HELP nor understood, as on a server without the command.
        handler.proto_cmds = {name: value for name, value in FTPHandler.proto_cmds.items() if name != "SIZE"}
    handler.passive_ports = None
    handler.permit_foreign_addresses = False

    read_commands_until_input_closes()
    server = FTPServer((LOOPBACK, args.port), handler)
    print("PORT %d" % server.address[1], flush=True)
    server.serve_forever(timeout=0.05, handle_exit=True)


if __name__ == "__main__":
    main()
