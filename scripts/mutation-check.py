#!/usr/bin/env python3
"""Mutation check: plants small random faults in the sources, one at a time,
and expects a failing test for each.

    python3 scripts/mutation-check.py [--sample N] [--changed REV] [--seed S]
                                      [--build DIR] [--under FOLDER ...] [--list]

--sample N picks N mutants at random over the C++ sources and shell scripts of
the whole tree (spread evenly over the top-level folders); --changed REV takes
the mutants on the lines changed against the git revision REV (committed or
not). Both can be given. The seed is printed; give it back with --seed to
repeat a run.

The faults: a comparison flipped (< and <=, > and >=, == and !=), an integer
constant one up or down (0 and 1 among them), true and false swapped, && and
|| swapped, a guard "if (...) return/throw/continue/break" dropped, a
condition made always true or false, a call statement dropped; in shell
scripts the test operators, && and || and a command. Comments, strings and
preprocessor lines are left alone, as are the tests, the benchmarks and the
headers listed in THIRD_PARTY.

The tree is copied into the build folder (default build-mutation/, the CMake
build in build-mutation/build), so the faults never touch the working tree.
The test programs a file reaches are found in the ninja graph and the
compilers' header dependencies: those it goes into and those whose build
waits on such a program; a script test reaches the files its script names.
Each runs once without faults first. Per mutant the test program nearest the
file is rebuilt and run first, then the others, each with a time limit,
stopping at the first failure. A mutant is "killed" when a test fails or
times out, "survived" when all pass, "invalid" when it does not compile,
"equivalent" when its object file is the same as the good one, and
"untested" when no test reaches the file. The score is
killed / (killed + survived + untested).
"""

import argparse
import filecmp
import hashlib
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

from mutants import CPP, ROOT, choose

SKIPPED_LABELS = {"cluster", "package"}


# --- The build graph and the tests -------------------------------------------

def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


class Build:
    def __init__(self, tree, folder):
        self.tree, self.folder = tree, folder
        self.objects, self.header_users, self.dependents = {}, {}, {}

    def ninja(self, *args):
        return run(["nice", "ninja", "-C", self.folder, *args])

    def configure(self):
        launcher = ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"] if shutil.which("ccache") else []
        if not os.path.exists(os.path.join(self.folder, "build.ninja")):
            done = run(["cmake", "-S", self.tree, "-B", self.folder, "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=RelWithDebInfo", *launcher])
            if done.returncode:
                sys.exit("cmake failed:\n" + done.stdout + done.stderr)
        with open(os.path.join(self.folder, "compile_commands.json")) as f:
            for entry in json.load(f):
                source = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
                output = entry.get("output") or re.search(r"\s-o\s+(\S+)", entry["command"])[1]
                output = os.path.normpath(os.path.join(entry["directory"], output))
                self.objects.setdefault(source, []).append(output)

    def read_header_users(self):
        """Header -> objects that include it, from the compilers' dependency records."""
        current = None
        for text in self.ninja("-t", "deps").stdout.splitlines():
            if text and not text.startswith(" "):
                current = os.path.normpath(os.path.join(self.folder, text.split(":")[0]))
            elif text.strip() and current:
                header = os.path.normpath(os.path.join(self.folder, text.strip()))
                self.header_users.setdefault(header, set()).add(current)

    def outputs_of(self, path):
        """Files built from path (directly), from 'ninja -t query'."""
        if path not in self.dependents:
            rel = os.path.relpath(path, self.folder)
            lines = self.ninja("-t", "query", rel).stdout.splitlines()
            outs, reading = [], False
            for text in lines:
                if text.strip() == "outputs:":
                    reading = True
                elif reading and text.startswith("    "):
                    outs.append(os.path.normpath(os.path.join(self.folder, text.strip())))
                elif not text.startswith("    "):
                    reading = False
            self.dependents[path] = outs
        return self.dependents[path]

    def executables_using(self, objects):
        """Executables built from the objects, and those whose build waits on one."""
        seen, todo, found = set(), list(objects), set()
        while todo:
            path = todo.pop()
            for out in self.outputs_of(path):
                if out in seen or out.endswith(("/all", "/test", "/install")):
                    continue
                seen.add(out)
                if out.endswith((".o", ".a", ".so")) or out in self.executables:
                    todo.append(out)
                    if out in self.executables:
                        found.add(out)
        return found

    def objects_of(self, path):
        full = os.path.normpath(os.path.join(self.tree, path))
        if full in self.objects:
            return self.objects[full]
        return sorted(self.header_users.get(full, ()))


class Suite:
    """A test program (or script) and how CTest runs it."""

    def __init__(self, command, cwd, env, gtest, timeout):
        self.command, self.cwd, self.env, self.gtest = command, cwd, env, gtest
        self.excluded, self.names, self.timeout, self.seconds = [], [], timeout, None

    def argv(self, only=(), skip=()):
        if not self.gtest:
            return self.command
        skip = [*self.excluded, *skip]
        flt = (":".join(only) or "*") + ("-" + ":".join(skip) if skip else "")
        return [self.command[0], "--gtest_fail_fast", "--gtest_brief=1", "--gtest_filter=" + flt]

    def passes(self, limit, only=(), skip=()):
        env = dict(os.environ, **self.env)
        # A session of its own, so what the tests start ends with them.
        child = subprocess.Popen(["nice", *self.argv(only, skip)], cwd=self.cwd, env=env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                 start_new_session=True)
        try:
            return child.wait(timeout=limit) == 0
        except subprocess.TimeoutExpired:
            return False
        finally:
            try:
                os.killpg(child.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            child.wait()


def read_suites(folder):
    shown = json.loads(run(["ctest", "--show-only=json-v1"], cwd=folder).stdout)
    suites = {}
    for test in shown["tests"]:
        command = test.get("command")
        if not command:
            continue
        props = {p["name"]: p["value"] for p in test.get("properties", [])}
        gtest = any(a.startswith("--gtest_filter=") for a in command)
        key = command[0] if gtest else tuple(command)
        env = dict(e.split("=", 1) for e in props.get("ENVIRONMENT", []))
        if key not in suites:
            suites[key] = Suite(command, props.get("WORKING_DIRECTORY", folder), env, gtest,
                                float(props.get("TIMEOUT", 300)))
        suite = suites[key]
        name = next((a.split("=", 1)[1] for a in command if a.startswith("--gtest_filter=")), "")
        if SKIPPED_LABELS & set(props.get("LABELS", [])):
            suite.excluded.append(name)
        else:
            suite.names.append(name)
    return [s for s in suites.values() if s.names]


TEST_SOURCES = {}


def near_cases(path):
    """gtest filters for the test cases beside the file's mirror in tests/,
    named after it or including its header: they run first, as they kill
    most mutants."""
    if not TEST_SOURCES:
        for base, _, names in os.walk(os.path.join(ROOT, "tests")):
            for name in names:
                if name.endswith(".cpp"):
                    with open(os.path.join(base, name), encoding="utf-8", errors="replace") as f:
                        TEST_SOURCES[os.path.relpath(os.path.join(base, name), ROOT)] = f.read()
    folder, stem = os.path.dirname(path), os.path.splitext(os.path.basename(path))[0]
    header = re.compile(r'#include\s+"(?:[^"]*/)?' + re.escape(stem) + r'\.h"')
    found = set()
    for source, text in TEST_SOURCES.items():
        if (os.path.dirname(source) == "tests/" + folder or
                os.path.basename(source).startswith(stem + "Test") or header.search(text)):
            found.update(re.findall(r"^\s*TEST(?:_F|_P)?\(\s*(\w+)\s*,", text, re.M))
    return [f for name in sorted(found) for f in (name + ".*", "*/" + name + ".*")]


def script_mentions(suite, path):
    """A script test reaches a file its script names."""
    name = os.path.basename(path)
    for arg in suite.command:
        if arg.endswith(".sh") and os.path.isfile(arg):
            with open(arg, encoding="utf-8", errors="replace") as f:
                if name in f.read():
                    return True
    return False


# --- The run -----------------------------------------------------------------

def sync_tree(tree):
    """Copies the working tree's files into the mutation tree where they differ."""
    listed = subprocess.run(["git", "ls-files", "--cached", "--others", "--exclude-standard"],
                            cwd=ROOT, capture_output=True, text=True, check=True).stdout.split()
    for path in listed:
        source, copy = os.path.join(ROOT, path), os.path.join(tree, path)
        if not os.path.isfile(source):
            continue
        if os.path.isfile(copy) and filecmp.cmp(source, copy, shallow=False):
            continue
        os.makedirs(os.path.dirname(copy), exist_ok=True)
        # Stamped with the time of copying, not the source's: the build must
        # see a file that a stopped run left changed as newer than its objects.
        shutil.copy(source, copy)


def digest(paths):
    h = hashlib.sha256()
    for path in paths:
        with open(path, "rb") as f:
            h.update(f.read())
    return h.hexdigest()


class Runner:
    def __init__(self, build, suites):
        self.build, self.suites = build, suites
        self.by_binary = {os.path.normpath(s.command[0]): s for s in suites if s.gtest}
        self.good_digest, self.reach = {}, {}

    def suites_for(self, path):
        if path not in self.reach:
            if not path.endswith(CPP):
                found = [s for s in self.suites if not s.gtest and script_mentions(s, path)]
            else:
                programs = self.build.executables_using(self.build.objects_of(path))
                found = [self.by_binary[p] for p in sorted(programs) if p in self.by_binary]
            self.reach[path] = found
        return [s for s in self.reach[path] if s.seconds is None or s.seconds >= 0]

    def baseline(self, suite):
        """Runs the suite once on the good tree: its time, or -1 when it fails."""
        began = time.monotonic()
        ok = suite.passes(suite.timeout * max(1, len(suite.names)))
        suite.seconds = time.monotonic() - began if ok else -1
        shown = " ".join(suite.command[:2]) if not suite.gtest else suite.command[0]
        print(f"  without faults {os.path.relpath(shown, self.build.folder)}: "
              f"{'%.0f s' % suite.seconds if ok else 'FAILS, left out'}", flush=True)

    def order(self, suites, path):
        """The tests in the folder nearest the file first, then the quickest."""
        parts = os.path.dirname(path).split("/")

        def near(suite):
            tested = os.path.relpath(suite.command[-1 if not suite.gtest else 0],
                                     self.build.folder).split("/")
            tested = tested[1:] if tested[0] == "tests" else tested
            common = 0
            while common < min(len(parts), len(tested)) and parts[common] == tested[common]:
                common += 1
            return (-common, suite.seconds or 0)
        return sorted(suites, key=near)

    def judge(self, mutant):
        suites = self.suites_for(mutant.path)
        if not suites:
            return "untested"
        objects = self.build.objects_of(mutant.path) if mutant.path.endswith(CPP) else []
        copy = os.path.join(self.build.tree, mutant.path)
        with open(os.path.join(ROOT, mutant.path), encoding="utf-8",
                  errors="surrogateescape") as f:
            good = f.read()
        mode = os.stat(copy).st_mode

        def write(text):
            with open(copy, "w", encoding="utf-8", errors="surrogateescape") as f:
                f.write(text)
            os.chmod(copy, mode)

        def make(suite):
            if not suite.gtest:
                return run(["true"])
            return self.build.ninja("-j2", os.path.relpath(suite.command[0], self.build.folder))

        # Mutants come file by file, so the objects are still the good ones here.
        if mutant.path.endswith(".cpp") and mutant.path not in self.good_digest:
            self.good_digest[mutant.path] = digest(objects)
        try:
            # Each test program is built, and timed on the good tree, when its
            # turn comes: most mutants are killed by the first, and the others
            # need not be linked nor run.
            for number, suite in enumerate(self.order(suites, mutant.path)):
                if suite.seconds is None:
                    write(good)
                    if make(suite).returncode:
                        sys.exit("the good tree does not build " + suite.command[0])
                    self.baseline(suite)
                if suite.seconds < 0:
                    continue
                write(mutant.apply(good))
                built = make(suite)
                if built.returncode:
                    # A program that breaks while its tests are listed is caught.
                    failed = re.findall(r"^FAILED: (\S+)", built.stdout, re.M)
                    return "invalid" if all(f.endswith(".o") for f in failed) else "killed"
                known = self.good_digest.get(mutant.path)
                if number == 0 and known and known == digest(objects):
                    return "equivalent"
                limit = 3 * suite.seconds + 60
                near = near_cases(mutant.path) if number == 0 and suite.gtest else []
                if near and not suite.passes(limit, only=near):
                    return "killed"
                if not suite.passes(limit, skip=near):
                    return "killed"
            return "survived"
        finally:
            write(good)


def key(mutant):
    """A mutant's name in the record: its place, its change and the file it changes."""
    with open(os.path.join(ROOT, mutant.path), "rb") as f:
        source = hashlib.sha256(f.read()).hexdigest()[:16]
    return f"{mutant.path}:{mutant.start}:{mutant.end}:{mutant.text}:{source}"


def read_record(path):
    """Verdicts of earlier runs, one JSON object a line; the last one of a mutant counts."""
    known = {}
    if os.path.exists(path):
        with open(path) as f:
            for text in f:
                try:
                    entry = json.loads(text)
                    known[entry["key"]] = entry["verdict"]
                except (ValueError, KeyError):
                    pass  # a line cut short by a stopped run
    return known


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sample", type=int, default=0, help="random mutants over the tree")
    parser.add_argument("--changed", metavar="REV", help="mutants on lines changed since REV")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--build", default=os.path.join(ROOT, "build-mutation"),
                        help="the copy of the tree; CMake builds in its build/ folder")
    parser.add_argument("--under", nargs="*", help="sample only these folders (each its share)")
    parser.add_argument("--list", action="store_true", help="print the mutants, judge none")
    parser.add_argument("--report", action="store_true",
                        help="judge none, print the score of the verdicts recorded so far")
    parser.add_argument("--record", default=os.path.join(ROOT, "build-mutation", "verdicts.jsonl"),
                        help="verdicts kept across runs; mutants found there are not judged again")
    parser.add_argument("--again", nargs="*", default=[], metavar="VERDICT|FILE:LINE",
                        help="judge again the recorded mutants of these verdicts (e.g. survived)"
                        " or at these places")
    parser.add_argument("--equivalent", nargs="*", default=[], metavar="FILE:LINE",
                        help="record the faults at these places as equivalent, found so by reading"
                        " the code (no input tells them from the good program)")
    parser.add_argument("--part", default="1/1", metavar="K/N",
                        help="judge only every N-th mutant from the K-th (runs side by side)")
    args = parser.parse_args()
    if not args.sample and not args.changed:
        parser.error("give --sample N, --changed REV or both")
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 31)
    print(f"seed {seed}", flush=True)
    mutants = choose(args, random.Random(seed))
    mutants.sort(key=lambda m: (m.path, m.line, m.start, m.change))  # a file's mutants together
    if args.list:
        for m in mutants:
            print(f"{m.where()}: {m.change}")
        return 0
    part, parts = (int(x) for x in args.part.split("/"))
    for m in (m for m in mutants if m.where() in args.equivalent):
        with open(args.record, "a") as f:
            f.write(json.dumps({"key": key(m), "where": m.where(), "change": m.change,
                                "verdict": "equivalent", "by": "reading"}) + "\n")
    known = read_record(args.record)
    todo = [m for i, m in enumerate(mutants) if i % parts == part - 1 and
            (known.get(key(m), "none") in ("none", *args.again) or m.where() in args.again)]
    if todo and not args.report:
        judge_all(args, todo)
    if parts > 1:
        return 0
    return report(mutants, read_record(args.record), seed)


def judge_all(args, mutants):
    # A termination unwinds like Ctrl-C, so the changed copy is put back.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    tree = os.path.abspath(args.build)
    sync_tree(tree)
    build = Build(tree, os.path.join(tree, "build"))
    build.configure()
    print("building the good tree ...", flush=True)
    if build.ninja("-j2").returncode:
        sys.exit("the good tree does not build in " + build.folder)
    build.read_header_users()
    build.executables = {os.path.normpath(os.path.join(build.folder, line.split(":")[0]))
                         for line in build.ninja("-t", "targets", "all").stdout.splitlines()
                         if ": CXX_EXECUTABLE_LINKER__" in line}
    runner = Runner(build, read_suites(build.folder))
    os.makedirs(os.path.dirname(os.path.abspath(args.record)), exist_ok=True)
    try:
        for number, mutant in enumerate(mutants, 1):
            verdict = runner.judge(mutant)
            with open(args.record, "a") as f:
                f.write(json.dumps({"key": key(mutant), "where": mutant.where(),
                                    "change": mutant.change, "verdict": verdict}) + "\n")
            print(f"[{number}/{len(mutants)}] {mutant.where()}: {mutant.change}: {verdict}",
                  flush=True)
    finally:
        build.ninja("-j2")  # the build folder back to the good tree


def report(mutants, known, seed):
    verdicts = {}
    for m in mutants:
        verdicts.setdefault(known.get(key(m), "not judged"), []).append(m)
    killed = len(verdicts.get("killed", []))
    missed = verdicts.get("survived", []) + verdicts.get("untested", [])
    counts = ", ".join(f"{len(v)} {k}" for k, v in sorted(verdicts.items()))
    score = 100.0 * killed / (killed + len(missed)) if killed + len(missed) else 100.0
    print(f"\n{counts}\nscore {killed}/{killed + len(missed)} = {score:.1f}% (seed {seed})")
    if missed:
        print("survivors:")
        for m in missed:
            print(f"  {m.where()}: {m.change}"
                  f"{' (no test reaches the file)' if m in verdicts.get('untested', []) else ''}")
    return 0 if not missed and "not judged" not in verdicts else 1


if __name__ == "__main__":
    sys.exit(main())
