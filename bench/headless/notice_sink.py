#!/usr/bin/python3
"""Takes the notices of bench/headless/alerts: an HTTP server that answers every POST (ntfy and
webhook) with 200 and counts it, and aiosmtpd with STARTTLS and any login that counts the mails.
It keeps "http=N mail=M" in REPORT, written again after every notice, so that the bench can wait
for the notices of the start to be done before it measures.

Usage: notice_sink.py HTTP_PORT SMTP_PORT CERT KEY REPORT"""
import os
import signal
import ssl
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult

http_port, smtp_port, cert, key, report = int(sys.argv[1]), int(sys.argv[2]), *sys.argv[3:6]
counts = {"http": 0, "mail": 0}
lock = threading.Lock()


def count(kind):
    with lock:
        counts[kind] += 1
        with open(report + ".new", "w") as f:
            f.write(f"http={counts['http']} mail={counts['mail']}\n")
        os.replace(report + ".new", report)


class Hook(BaseHTTPRequestHandler):
    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length", 0)))
        count("http")
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


class Mail:
    async def handle_DATA(self, server, session, envelope):
        count("mail")
        return "250 OK"


context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
context.load_cert_chain(cert, key)
smtp = Controller(Mail(), hostname="127.0.0.1", port=smtp_port, tls_context=context, require_starttls=True,
                  authenticator=lambda *a: AuthResult(success=True), auth_require_tls=True)
smtp.start()
web = ThreadingHTTPServer(("127.0.0.1", http_port), Hook)


def finish(*_):
    sys.exit(0)


signal.signal(signal.SIGTERM, finish)
threading.Thread(target=web.serve_forever, daemon=True).start()
print("ready", flush=True)
signal.pause()
