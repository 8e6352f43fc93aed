#!/usr/bin/env python3
"""The progress line of `sorvik-cli run`: on a pseudo-terminal it is one line redrawn while a run of
a few seconds goes on; on a pipe it prints no more than one line per 10 s; --quiet prints nothing
but errors. Usage: progress_test.py SORVIK_CLI"""

import http.server
import os
import pty
import re
import subprocess
import sys
import tempfile
import threading
import time

CLI = sys.argv[1]
PAGES = 8


class SlowList(http.server.BaseHTTPRequestHandler):
    """list_N.htm: two records and a link to the next page, each page answered after 0.6 s."""

    def do_GET(self):
        match = re.fullmatch(r"/list_(\d+)\.htm", self.path)
        if not match:
            self.send_error(404)
            return
        n = int(match.group(1))
        time.sleep(0.6)
        body = "".join(f"<li>r{n}_{i}</li>" for i in range(2))
        if n < PAGES:
            body += f'<a href="list_{n + 1}.htm">next</a>'
        data = body.encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, *args):
        pass


def main():
    os.environ["LANG"] = "en_US.UTF-8"
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), SlowList)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    port = server.server_address[1]
    home = tempfile.mkdtemp()
    script = os.path.join(home, "p.txt")
    with open(script, "w", encoding="utf-8") as f:
        f.write(f"#任务名称=P\n#表名=P\n#字段名列表=名\n#要搜索网址=http://127.0.0.1:{port}/list_1.htm\n"
                '#下一页网址=<a href="[^"]*">next</a>\n1=<li>.*?</li>\n名_1=~<li>(.*?)</li>\n')

    def cli(*args):
        return subprocess.run([CLI, "--home", home, *args], capture_output=True, timeout=240)

    assert cli("init").returncode == 0

    def add():
        added = cli("add", script)
        assert added.returncode == 0, added.stderr
        return added.stdout.decode().strip()

    # On a terminal: one line, redrawn in place.
    task = add()
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(CLI, [CLI, "--home", home, "run", task])
    out = b""
    while True:
        try:
            chunk = os.read(fd, 4096)
        except OSError:  # the child closed the terminal
            break
        if not chunk:
            break
        out += chunk
    _, status = os.waitpid(pid, 0)
    assert os.WEXITSTATUS(status) == 0, out
    text = out.decode("utf-8", "replace")
    frames = [f.strip() for f in text.split("\r\x1b[K") if f.strip().startswith("pages ")]
    distinct = list(dict.fromkeys(frames))
    assert len(distinct) >= 3, f"the progress line was drawn {len(distinct)} times: {text!r}"
    assert any(f"127.0.0.1:{port}/list_" in f for f in distinct), distinct
    assert text.count("\n") <= 3, f"one line, not a line per step: {text!r}"
    assert f"task {task}: finished" in text, text

    # On a pipe: no more than one line per 10 s (and the end of the run).
    task = add()
    start = time.monotonic()
    piped = cli("run", task)
    elapsed = time.monotonic() - start
    lines = [line for line in piped.stderr.decode().splitlines() if line.strip()]
    assert piped.returncode == 0, lines
    assert len(lines) <= 1 + int(elapsed // 10), f"{len(lines)} lines in {elapsed:.1f} s: {lines}"
    assert lines[-1] == f"task {task}: finished", lines

    # Quiet: nothing but errors.
    quiet = cli("run", add(), "--quiet")
    assert quiet.returncode == 0 and quiet.stderr == b"", quiet.stderr
    server.shutdown()
    print("progress line: ok")


if __name__ == "__main__":
    main()
