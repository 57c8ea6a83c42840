#!/usr/bin/env python3
"""Pages that scripts build, through the real service with its renderer on
(--render auto) and off (--render never), against the original shown with its
scripts in headless Chromium.

Per page and mode: the share of the words the original shows that the
archive's page.htm shows; the screenshot SSIM against the original (whole and
worst 600-pixel band, zel_ssim); bytes sent against the bytes the original
fetched; the time to ready (p50/p95 over the repeats) and the processor
seconds the service spent (its processes and the renderer's, children
included). With the renderer on, its memory: the proportional set size of the
browser's processes, idle and the largest seen while pages were made.

usage: scripted.py <zelservice> <zel_ssim> <share folder> <page> ... [--repeats N] [--shots DIR]
Not a test: run by hand through run-scripted.sh.
"""
import argparse
import base64
import collections
import http.server
import json
import os
import select
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import urllib.request
import zipfile

TICK = os.sysconf("SC_CLK_TCK")

# The words a reader sees: every text node with a laid-out box, in the
# document and in every open shadow root.
WORDS_JS = r"""
(() => {
  const words = [];
  const walk = root => {
    const it = document.createTreeWalker(root, NodeFilter.SHOW_ELEMENT | NodeFilter.SHOW_TEXT);
    for (let n = it.currentNode; n; n = it.nextNode()) {
      if (n.nodeType === Node.ELEMENT_NODE) {
        if (n.shadowRoot) walk(n.shadowRoot);
        continue;
      }
      const parent = n.parentElement;
      if (!parent || ['SCRIPT', 'STYLE', 'NOSCRIPT', 'TEMPLATE'].includes(parent.tagName)) continue;
      if (!parent.checkVisibility({checkOpacity: true, checkVisibilityCSS: true})) continue;
      const range = document.createRange();
      range.selectNodeContents(n);
      if (range.getClientRects().length === 0) continue;
      for (const w of n.data.toLowerCase().split(/[^\p{L}\p{N}]+/u)) if (w) words.push(w);
    }
  };
  walk(document);
  return words;
})()
"""

# A reader's pass: a screen at a time to the end of the page as it stood
# (10 s at most), then back to the top.
READ_THROUGH_JS = r"""
(async () => {
  const end = performance.now() + 10000;
  const bottom = document.documentElement.scrollHeight;
  const pause = () => new Promise(done => setTimeout(done, 150));
  for (let y = innerHeight; y < bottom && performance.now() < end; y += innerHeight) {
    scrollTo(0, y);
    await pause();
  }
  scrollTo(0, 0);
  await pause();
})()
"""


class Chromium:
    """Headless Chromium driven over --remote-debugging-pipe."""

    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="zel-bench-chromium-")
        to_read, self.to_write = os.pipe()
        self.from_read, from_write = os.pipe()
        args = ["chromium", "--headless=new", "--remote-debugging-pipe", "--disable-gpu",
                "--no-first-run", "--disable-background-networking", "--disable-sync",
                "--disable-component-update", "--hide-scrollbars",
                "--user-data-dir=" + self.profile, "about:blank"]
        if os.geteuid() == 0:
            args.insert(1, "--no-sandbox")
        command = "exec " + " ".join(f"'{a}'" for a in args) + f" 3<&{to_read} 4>&{from_write}"
        self.process = subprocess.Popen(["bash", "-c", command], pass_fds=(to_read, from_write),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_read)
        os.close(from_write)
        self.buffer = b""
        self.next_id = 0
        self.events = []

    def close(self):
        self.process.kill()
        self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)

    def _read(self, timeout):
        ready, _, _ = select.select([self.from_read], [], [], max(0, timeout))
        if ready:
            chunk = os.read(self.from_read, 1 << 20)
            if not chunk:
                raise RuntimeError("chromium went away")
            self.buffer += chunk
        messages = []
        while b"\0" in self.buffer:
            message, self.buffer = self.buffer.split(b"\0", 1)
            messages.append(json.loads(message))
        return messages

    def call(self, method, session=None, timeout=60, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self.to_write, json.dumps(message).encode() + b"\0")
        end = time.time() + timeout
        while time.time() < end:
            for m in self._read(end - time.time()):
                if m.get("id") == self.next_id:
                    if "error" in m:
                        raise RuntimeError(f"{method}: {m['error']}")
                    return m.get("result", {})
                self.events.append(m)
        raise RuntimeError(f"{method}: no answer")

    def pump(self, seconds):
        end = time.time() + seconds
        while time.time() < end:
            self.events += self._read(end - time.time())

    def visit(self, url, settle=3.0):
        """The words the page shows and its screenshot. The page is laid out
        in the renderer's window (1280x800), left to its scripts for load and
        `settle` seconds, and scrolled through once as a reader does; then,
        its scripts stopped, the window is made 2000 pixels tall for the
        screenshot (1280x2000), so both copies show the layout of the same
        window."""
        context = self.call("Target.createBrowserContext")["browserContextId"]
        target = self.call("Target.createTarget", url="about:blank",
                           browserContextId=context)["targetId"]
        session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        try:
            self.call("Page.enable", session)
            self.call("Emulation.setDeviceMetricsOverride", session, width=1280, height=800,
                      deviceScaleFactor=1, mobile=False)
            self.events = []
            self.call("Page.navigate", session, url=url)
            end = time.time() + 30
            while time.time() < end and not any(
                    e.get("method") == "Page.loadEventFired" for e in self.events):
                self.pump(0.1)
            self.pump(settle)
            self.call("Runtime.evaluate", session, expression=READ_THROUGH_JS, awaitPromise=True)
            self.pump(1.0)
            words = self.call("Runtime.evaluate", session, expression=WORDS_JS,
                              returnByValue=True)["result"].get("value", [])
            self.call("Emulation.setScriptExecutionDisabled", session, value=True)
            self.call("Emulation.setDeviceMetricsOverride", session, width=1280, height=2000,
                      deviceScaleFactor=1, mobile=False)
            self.pump(0.3)
            shot = base64.b64decode(self.call("Page.captureScreenshot", session,
                                              format="png")["data"])
            return words, shot
        finally:
            self.call("Target.disposeBrowserContext", browserContextId=context)


class Origin(http.server.ThreadingHTTPServer):
    """Serves the share folder on loopback and counts the bytes of bodies sent."""

    def __init__(self, root):
        self.sent = 0
        self.lock = threading.Lock()
        origin = self

        class Handler(http.server.SimpleHTTPRequestHandler):
            extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                              ".js": "text/javascript", ".mjs": "text/javascript",
                              ".json": "application/json", ".md": "text/markdown"}

            def __init__(self, *args, **kwargs):
                super().__init__(*args, directory=root, **kwargs)

            def copyfile(self, source, destination):
                size = os.fstat(source.fileno()).st_size
                with origin.lock:
                    origin.sent += size
                super().copyfile(source, destination)

            def log_message(self, *args):
                pass

        super().__init__(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def url(self, path):
        return f"http://127.0.0.1:{self.server_address[1]}/{path}"


def tree(root):
    """The process and its descendants: pid -> (comm, ticks of it and its reaped children)."""
    stats = {}
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/stat") as f:
                text = f.read()
        except OSError:
            continue
        comm = text[text.index("(") + 1:text.rindex(")")]
        fields = text[text.rindex(")") + 2:].split()
        stats[int(pid)] = (int(fields[1]), comm, sum(int(x) for x in fields[11:15]))
    children = collections.defaultdict(list)
    for pid, (ppid, _, _) in stats.items():
        children[ppid].append(pid)
    found, todo = {}, [root]
    while todo:
        pid = todo.pop()
        if pid in stats:
            found[pid] = stats[pid][1:]
            todo += children[pid]
    return found


def cpu_seconds(root):
    return sum(ticks for _, ticks in tree(root).values()) / TICK


def browser_memory(root):
    """The renderer's browser processes: the proportional set size of them all
    and the resident set of the largest one (its page renderer), in bytes."""
    total, largest = 0, 0
    for pid, (comm, _) in tree(root).items():
        if "chrom" not in comm:
            continue
        try:
            with open(f"/proc/{pid}/smaps_rollup") as f:
                for line in f:
                    if line.startswith("Pss:"):
                        total += int(line.split()[1]) * 1024
                    elif line.startswith("Rss:"):
                        largest = max(largest, int(line.split()[1]) * 1024)
        except OSError:
            pass
    return total, largest


class Service:
    def __init__(self, binary, render, work, extra=()):
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        self.log = open(os.path.join(work, f"service-{render}.log"), "w")
        self.process = subprocess.Popen(
            [binary, "--listen", "127.0.0.1", "--port", str(self.port), "--data",
             os.path.join(work, "data-" + render), "--allow-private-origins", "--render", render,
             *extra],
            stdout=self.log, stderr=self.log)
        time.sleep(1.5)
        reply = self.get("/zel/login?comp=bench&mail=bench@example.org").decode()
        if not reply.startswith("OK,Your login is "):
            raise RuntimeError("no login: " + reply)
        self.login = reply.split()[3]
        self.peak = (0, 0)

    def get(self, path):
        with urllib.request.urlopen(f"http://127.0.0.1:{self.port}{path}", timeout=120) as r:
            return r.read()

    def make(self, url, archive):
        """Ready time in seconds, bytes sent, processor seconds; the browser's
        largest memory while the page is made goes to self.peak."""
        done = threading.Event()

        def sample():
            while not done.wait(0.2):
                now = browser_memory(self.process.pid)
                self.peak = (max(self.peak[0], now[0]), max(self.peak[1], now[1]))

        sampler = threading.Thread(target=sample)
        sampler.start()
        try:
            return self._make(url, archive)
        finally:
            done.set()
            sampler.join()

    def _make(self, url, archive):
        escaped = url.replace("?", "^^^^^").replace("&", "|||||")
        settings = "&quality=100&colors=256&gray=0"
        cpu = cpu_seconds(self.process.pid)
        started = time.time()
        reply = self.get(f"/zel/page?image=1&login={self.login}{settings}&url={escaped}").decode()
        while "NexT" in reply:
            reply = self.get(f"/zel/poll?login={self.login}{settings}").decode()
        ready = time.time() - started
        if not reply.startswith("OK,"):
            raise RuntimeError(f"{url}: {reply}")
        body = self.get(f"/zel/arch/{self.login}/1.dat")
        with open(archive, "wb") as f:
            f.write(body)
        return ready, len(body) + len(reply), cpu_seconds(self.process.pid) - cpu

    def stop(self):
        self.process.terminate()
        self.process.wait()
        self.log.close()


def percentile(values, share):
    """The value below which `share` of the values lie, linear between neighbours."""
    values = sorted(values)
    place = share * (len(values) - 1)
    below = int(place)
    above = min(below + 1, len(values) - 1)
    return values[below] + (place - below) * (values[above] - values[below])


def ssim(tool, first, second):
    out = subprocess.run([tool, first, second], capture_output=True, text=True).stdout.split()
    return (float(out[0]), float(out[1])) if len(out) >= 2 else (0.0, 0.0)


def word_share(original, shown):
    have = collections.Counter(shown)
    wanted = collections.Counter(original)
    return sum(min(n, have[w]) for w, n in wanted.items()) / max(1, sum(wanted.values()))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("zelservice")
    parser.add_argument("zel_ssim")
    parser.add_argument("share")
    parser.add_argument("pages", nargs="+")
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--shots")
    parser.add_argument("--modes", default="auto,never", help="render modes to run, by commas")
    parser.add_argument("--service-args", default="", help="more options for zelservice")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="zel-bench-scripted-")
    shots = args.shots or os.path.join(work, "shots")
    os.makedirs(shots, exist_ok=True)
    origin = Origin(args.share)
    browser = Chromium()
    originals = {}
    for page in args.pages:
        before = origin.sent
        words, shot = browser.visit(origin.url(page))
        path = os.path.join(shots, page.replace("/", "_") + "-original.png")
        with open(path, "wb") as f:
            f.write(shot)
        originals[page] = (words, path, origin.sent - before)

    print(f"{'page':<24} {'mode':<6} {'words':>6} {'shown':>6} {'whole':>6} {'band':>6} "
          f"{'saved':>6} {'p50 s':>6} {'p95 s':>6} {'cpu s':>6}")
    memory = {}
    readies = collections.defaultdict(list)
    for render in args.modes.split(","):
        service = Service(args.zelservice, render, work, args.service_args.split())
        try:
            # A job finds the browser warm only once it has started.
            service.make(origin.url(args.pages[0]), os.path.join(work, "warm.zip"))
            memory[render + " idle"] = browser_memory(service.process.pid)
            service.peak = (0, 0)
            for page in args.pages:
                words, original_shot, fetched = originals[page]
                times, cpus, sent = [], [], 0
                archive = os.path.join(work, "page.zip")
                for _ in range(args.repeats):
                    ready, sent, cpu = service.make(origin.url(page), archive)
                    times.append(ready)
                    cpus.append(cpu)
                readies[render] += times
                shown_folder = os.path.join(work, "show")
                shutil.rmtree(shown_folder, ignore_errors=True)
                with zipfile.ZipFile(archive) as z:
                    z.extractall(shown_folder)
                shown, shot = browser.visit("file://" + os.path.join(shown_folder, "page.htm"))
                shot_path = os.path.join(shots, page.replace("/", "_") + f"-{render}.png")
                with open(shot_path, "wb") as f:
                    f.write(shot)
                whole, band = ssim(args.zel_ssim, original_shot, shot_path)
                print(f"{page:<24} {render:<6} {len(words):>6} {word_share(words, shown):>6.1%} "
                      f"{whole:>6.3f} {band:>6.3f} {1 - sent / max(1, fetched):>6.1%} "
                      f"{percentile(times, 0.5):>6.2f} {percentile(times, 0.95):>6.2f} "
                      f"{percentile(cpus, 0.5):>6.2f}", flush=True)
            memory[render + " largest while rendering"] = service.peak
        finally:
            service.stop()
    for render, times in readies.items():
        print(f"renderer {'on ' if render == 'auto' else 'off'}: ready p50 "
              f"{percentile(times, 0.5):.2f} s, p95 {percentile(times, 0.95):.2f} s")
    for name, (total, largest) in memory.items():
        if total:
            print(f"browser, {name}: all processes' PSS {total / 1e6:.0f} MB, "
                  f"largest process's RSS {largest / 1e6:.0f} MB")
    browser.close()
    origin.shutdown()
    if not args.shots:
        shutil.rmtree(work, ignore_errors=True)
    else:
        print(f"screenshots in {shots}, service logs in {work}")


if __name__ == "__main__":
    main()
