#!/usr/bin/env python3
"""HTTP server for level download tests on 127.0.0.1. Prints "PORT <n>" once it listens and
stops when its standard input ends. Path segments key=value shape the answer:
size=N body length (default 4096, byte i is (i * 31 + 7) % 251); status=N an error page with
that status; announce=N|none the Content-Length sent; cut=K close after K body bytes;
chunk=K write K bytes at a time; delay=MS wait before each later chunk; hold=MS wait once
after the first chunk; redirect=X a redirect instead, this segment taken out of the path
(X=301/302/307/308 that status to the rest of the path; X=loop a 302 to this very path; any
other X a 302 to X://127.0.0.1:<port>/<the rest>). Example: /size=100000/cut=40000/levels/city.mn3
"""
import http.server
import os
import socketserver
import sys
import threading
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):
        segments = [s for s in self.path.split("?")[0].split("/") if s]
        redirect = next((s for s in segments if s.startswith("redirect=")), None)
        options = dict(s.split("=", 1) for s in segments if "=" in s)
        try:
            if redirect is not None:
                self.relocate(redirect[len("redirect=") :], segments, redirect)
            else:
                self.answer(options)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def relocate(self, kind, segments, segment):
        rest = list(segments)
        rest.remove(segment)
        status, location = 302, "/" + "/".join(rest)
        if kind == "loop":
            location = self.path
        elif kind.isdigit():
            status = int(kind)
        else:
            location = "%s://127.0.0.1:%d%s" % (kind, self.server.server_address[1], location)
        page = b"<html><body>moved</body></html>"
        self.send_response(status)
        self.send_header("Location", location)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(page)))
        self.end_headers()
        self.wfile.write(page)

    def answer(self, options):
        status = int(options.get("status", "200"))
        size = int(options.get("size", "4096"))
        body = bytes((i * 31 + 7) % 251 for i in range(size))[: int(options.get("cut", size))]
        if status != 200:
            body = b"<html><body>no such level</body></html>"
        announce = options.get("announce", str(size)) if status == 200 else str(len(body))
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream" if status == 200 else "text/html")
        if announce != "none":
            self.send_header("Content-Length", announce)
        self.end_headers()
        chunk = max(1, int(options.get("chunk", "16384")))
        for n, at in enumerate(range(0, len(body), chunk)):
            if n == 1 and "hold" in options:
                time.sleep(int(options["hold"]) / 1000.0)
            elif n > 0:
                time.sleep(int(options.get("delay", "0")) / 1000.0)
            self.wfile.write(body[at : at + chunk])
            self.wfile.flush()
        if "cut" in options:
            self.connection.shutdown(2)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    print("PORT %d" % server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()
    os._exit(0)


if __name__ == "__main__":
    main()
