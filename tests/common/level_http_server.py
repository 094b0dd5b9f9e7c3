#!/usr/bin/env python3
"""HTTP server for level download tests, on 127.0.0.1 with a port of its own.

Prints "PORT <n>" once it listens, and stops when its standard input ends (so it never
outlives the test that started it). Any path is served; segments of the form key=value
before the file name shape the answer:

  size=N       body length (default 4096); byte i of the body is (i * 31 + 7) % 251
  status=N     answer with this status and a short error page instead
  announce=N   Content-Length to announce (default: size); announce=none sends no length
  cut=K        close the connection after K bytes of the body
  chunk=K      write the body K bytes at a time (default 16384)
  delay=MS     wait MS milliseconds before each chunk after the first
  hold=MS      after the first chunk, wait MS milliseconds before going on
  redirect=X   answer with a redirect instead, taking this segment out of the path: X=301,
               302, 307 or 308 sends that status with the rest of the path as Location (so
               two segments redirect twice); X=loop sends 302 back to this very path; any
               other X sends 302 to X://127.0.0.1:<port>/<the rest of the path>

Example: /size=100000/cut=40000/levels/city.mn3
"""
import http.server
import os
import socketserver
import sys
import threading
import time


def body_bytes(size):
    return bytes((i * 31 + 7) % 251 for i in range(size))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):
        segments = [s for s in self.path.split("?")[0].split("/") if s]
        redirect = next((s for s in segments if s.startswith("redirect=")), None)
        options = {}
        for s in segments:
            if "=" in s:
                key, value = s.split("=", 1)
                options[key] = value
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
        if status != 200:
            page = b"<html><body>no such level</body></html>"
            self.send_response(status)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(page)))
            self.end_headers()
            self.wfile.write(page)
            return
        size = int(options.get("size", "4096"))
        body = body_bytes(size)
        if "cut" in options:
            body = body[: int(options["cut"])]
        announce = options.get("announce", str(size))
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if announce != "none":
            self.send_header("Content-Length", announce)
        self.end_headers()
        chunk = max(1, int(options.get("chunk", "16384")))
        delay = int(options.get("delay", "0")) / 1000.0
        hold = int(options.get("hold", "0")) / 1000.0
        for n, at in enumerate(range(0, len(body), chunk)):
            if n == 1 and hold:
                time.sleep(hold)
            elif n > 0 and delay:
                time.sleep(delay)
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
