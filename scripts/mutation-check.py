#!/usr/bin/env python3
"""Plants faults in the security guards one at a time and expects a failing test.

For each fault: the one source file is copied aside, the fault is written
into it, only the test binary that should notice is rebuilt and run, and the
file is put back (also on an error or Ctrl-C). A fault that every test lets
through is reported as SURVIVED; the exit status is 1 when any fault survived
or could not be judged.

    python3 scripts/mutation-check.py [build folder]   (default: build)

The build folder must be configured already. Run by hand; it rebuilds and runs
one test binary per fault, so it takes a while.
"""

import os
import shutil
import signal
import subprocess
import sys
from dataclasses import dataclass

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TEST_SECONDS = 900


@dataclass
class Fault:
    name: str
    path: str  # relative to the repository
    good: str  # text that occurs exactly once in the file
    bad: str  # what the fault puts in its place
    target: str  # the test binary that must notice
    tests: str  # its gtest filter


FAULTS = [
    Fault("address check lets loopback and private ranges through",
          "service/fetch/AddressCheck.cpp",
          "if ((address & mask) == range.net)",
          "if ((address & mask) == range.net && range.bits > 8)",
          "service_pages_tests", "AddressCheckTest.*"),
    Fault("browser's archive check takes a '..' part",
          "shell/ArchiveCheck.cpp",
          'if (part == "..")',
          'if (part == "...")',
          "shell_pages_tests", "CheckPageArchive.*"),
    Fault("service's archive takes names that begin with a dot",
          "service/pages/PageArchive.cpp",
          "name[0] == '.'",
          "name[0] == '/'",
          "service_pages_tests", "PageArchiveTest.*"),
    Fault("HTTP client lets a zero byte into a header line",
          "http/HttpText.cpp",
          'std::string("\\r\\n\\0", 3)',
          'std::string("\\r\\n\\0", 2)',
          "http_tests", "HttpRequest.*"),
    Fault("HTTP client leaves the last header line (Copy/Move destination) unchecked",
          "http/TQzHTTPRequest.cpp",
          "for (std::size_t i = 1; i < HeaderList.Count(); ++i)",
          "for (std::size_t i = 1; i + 1 < HeaderList.Count(); ++i)",
          "http_tests", "HttpRequest.*"),
    Fault("HTTP client's string body bound off by one",
          "http/TQzHTTPResponse.cpp",
          "MaxStringBody + 1",
          "MaxStringBody",
          "http_tests", "HttpResponse.*"),
    Fault("service's unescaping skips escapes next to each other",
          "text/TextEdits.cpp",
          "done = at + from.size())",
          "done = at + from.size() + 1)",
          "service_core_tests", "RequestTarget.*"),
    Fault("HTML rewriter keeps scripts with scripts off",
          "service/markup/HtmlRewriter.cpp",
          "case GUMBO_TAG_SCRIPT:\n        if (!context_.keepScripts)",
          "case GUMBO_TAG_SCRIPT:\n        if (!context_.keepScripts && false)",
          "service_pages_tests", "PageMakerTest.*:HostilePageTest.*:*Rewriter*:*Script*"),
    Fault("HTML rewriter keeps scripts inside svg and math with scripts off",
          "service/markup/HtmlForeign.cpp",
          "if (element.tag == GUMBO_TAG_SCRIPT && !context_.keepScripts)",
          "if (element.tag == GUMBO_TAG_SCRIPT && false)",
          "service_pages_tests", "PageMakerTest.*:HostilePageTest.*:*Rewriter*:*Script*"),
]


def build(build_dir, target):
    return subprocess.run(["nice", "ninja", "-C", build_dir, "-j2", target],
                          stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT).returncode == 0


def binary(build_dir, target):
    for folder, _, files in os.walk(os.path.join(build_dir, "tests")):
        if target in files:
            return os.path.join(folder, target)
    raise FileNotFoundError(target)


def tests_pass(build_dir, fault):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    try:
        run = subprocess.run([binary(build_dir, fault.target), "--gtest_filter=" + fault.tests],
                             cwd=build_dir, env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.STDOUT, timeout=TEST_SECONDS)
    except subprocess.TimeoutExpired:
        return False
    return run.returncode == 0


def plant(fault):
    """Writes the fault; returns the path of the copy of the good file."""
    path = os.path.join(ROOT, fault.path)
    with open(path, encoding="utf-8") as f:
        text = f.read()
    if text.count(fault.good) != 1:
        raise ValueError(f"{fault.path}: the text to change is not there exactly once")
    saved = path + ".mutation-check"
    shutil.copyfile(path, saved)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text.replace(fault.good, fault.bad))
    return saved


def restore(fault, saved):
    # A plain copy gives the file a new time, so the next build compiles it again.
    shutil.copyfile(saved, os.path.join(ROOT, fault.path))
    os.remove(saved)


def check(build_dir, fault, baseline):
    """CAUGHT, SURVIVED, or why the fault could not be judged."""
    key = (fault.target, fault.tests)
    if key not in baseline:
        baseline[key] = build(build_dir, fault.target) and tests_pass(build_dir, fault)
    if not baseline[key]:
        return "NOT JUDGED (the tests fail or do not build without the fault)"
    try:
        saved = plant(fault)
    except ValueError as e:
        return f"NOT PLANTED ({e})"
    try:
        if not build(build_dir, fault.target):
            return "NOT PLANTED (does not build)"
        return "SURVIVED" if tests_pass(build_dir, fault) else "CAUGHT"
    finally:
        restore(fault, saved)


def main():
    build_dir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
    # A termination unwinds like Ctrl-C, so the planted file is put back.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    bad = 0
    baseline = {}
    for fault in FAULTS:
        verdict = check(build_dir, fault, baseline)
        bad += verdict != "CAUGHT"
        print(f"{verdict:9} {fault.name} ({fault.path}, {fault.target})", flush=True)
    for target in sorted({f.target for f in FAULTS}):
        build(build_dir, target)  # back to binaries of the good sources
    print(f"{len(FAULTS) - bad} of {len(FAULTS)} faults caught")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
