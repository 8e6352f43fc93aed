#!/usr/bin/env python3
"""The latency benchmark's site: list pages with records that each link to a detail page, served
on a loopback port by a server that answers every request after a fixed delay (a far site).

    site.py PORT_FILE PAGES RECORDS DELAY_MS

Writes the port it listens on to PORT_FILE, then serves until killed:
    /list_<p>.htm         RECORDS records, each linking to /detail_<p>_<i>.htm; every list page
                          but the last links to the next one ("next")
    /detail_<p>_<i>.htm   the record's price and a description of about 2 KB
    /stats                (no delay) "requests=N max_connections=M": requests served and the most
                          connections that were open at one time
Keep-alive HTTP/1.1; Nagle's algorithm is off on every connection, or a kept-alive request would
wait for the delayed ACK of the one before (40 ms more)."""

import socket
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PORT_FILE, PAGES, RECORDS, DELAY = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]) / 1000.0

lock = threading.Lock()
stats = {"requests": 0, "open": 0, "max_open": 0}

WORDS = ["fresh", "fruit", "orchard", "direct", "quality", "season", "sweet", "juicy", "chilled", "gift"]


def description(page, item):
    words = [WORDS[(page * 7 + item * 3 + k) % len(WORDS)] for k in range(300)]
    return " ".join(words)


def list_page(page):
    parts = ["<html><head><meta charset=\"utf-8\"><title>list %d</title></head><body><ul>" % page]
    for item in range(1, RECORDS + 1):
        parts.append('<li class="item"><a href="/detail_%d_%d.htm">Item %d-%d</a></li>' % (page, item, page, item))
    parts.append("</ul>")
    if page < PAGES:
        parts.append('<div class="pager"><a href="list_%d.htm">next</a></div>' % (page + 1))
    parts.append("</body></html>")
    return "".join(parts)


def detail_page(page, item):
    return ('<html><head><meta charset="utf-8"></head><body><h1>Item %d-%d</h1><div class="price">%d.%02d</div>'
            '<p class="desc">%s</p></body></html>' % (page, item, page * 10 + item, item, description(page, item)))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def setup(self):
        super().setup()
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        with lock:
            stats["open"] += 1
            stats["max_open"] = max(stats["max_open"], stats["open"])

    def finish(self):
        super().finish()
        with lock:
            stats["open"] -= 1

    def log_message(self, *args):
        pass

    def do_GET(self):
        path = self.path.split("?")[0]
        body = None
        if path == "/stats":
            with lock:
                body = "requests=%d max_connections=%d\n" % (stats["requests"], stats["max_open"])
        else:
            time.sleep(DELAY)
            with lock:
                stats["requests"] += 1
            name = path.lstrip("/")
            try:
                if name.startswith("list_") and name.endswith(".htm"):
                    page = int(name[5:-4])
                    if 1 <= page <= PAGES:
                        body = list_page(page)
                elif name.startswith("detail_") and name.endswith(".htm"):
                    page, item = (int(x) for x in name[7:-4].split("_"))
                    if 1 <= page <= PAGES and 1 <= item <= RECORDS:
                        body = detail_page(page, item)
            except ValueError:
                body = None
        if body is None:
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        data = body.encode("utf-8")
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 64


server = Server(("127.0.0.1", 0), Handler)
with open(PORT_FILE + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
import os  # noqa: E402

os.replace(PORT_FILE + ".tmp", PORT_FILE)
server.serve_forever()
