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

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Folders that are not the program: their own tests, tools and benchmarks.
NOT_PROGRAM = ("tests/", "bench/", "scripts/", "build")
# Headers of other projects copied into the tree (none today).
THIRD_PARTY = ()
SKIPPED_LABELS = {"cluster", "package"}
CPP = (".cpp", ".h", ".cc", ".hpp")


# --- Mutants -----------------------------------------------------------------

class Mutant:
    def __init__(self, path, line, start, end, text, change):
        self.path, self.line, self.start, self.end = path, line, start, end
        self.text, self.change = text, change

    def apply(self, source):
        return source[: self.start] + self.text + source[self.end:]

    def where(self):
        return f"{self.path}:{self.line}"


TOKEN = re.compile(
    r"""(?P<ws>\s+)
    |(?P<comment>//[^\n]*|/\*.*?\*/)
    |(?P<string>(?:u8|u|U|L)?R"(?P<delim>[^()\\\s]{0,16})\(.*?\)(?P=delim)"
               |(?:u8|u|U|L)?"(?:\\.|[^"\\\n])*"|(?:u8|u|U|L)?'(?:\\.|[^'\\\n])*')
    |(?P<number>\d[\w']*(?:\.[\w']*)?|\.\d[\w']*)
    |(?P<ident>[A-Za-z_]\w*)
    |(?P<punct>\.\.\.|<=>|<<=|>>=|->|::|\+\+|--|&&|\|\||[<>=!+\-*/%&|^]=|<<|>>|.)""",
    re.S | re.X)

FLIPS = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==",
         "&&": "||", "||": "&&", "true": "false", "false": "true"}
KEYWORDS = set("""return if else for while do switch case default break continue throw goto
    using typedef namespace template class struct enum union public private protected static
    const constexpr auto co_return co_await delete new virtual explicit friend inline
    operator sizeof typename static_assert extern""".split())
# An integer is a bound or an operand where these stand beside it (not, say, a
# position in a window's layout).
BOUND_AFTER = {"<", "<=", ">", ">=", "==", "!=", "+", "-", "*", "/", "%", "]", "<<", ">>", "&"}
BOUND_BEFORE = BOUND_AFTER - {"]"} | {"[", "=", "+=", "-=", "return", "?", "|"}
JUMPS = {"return", "throw", "continue", "break"}


class Tok:
    def __init__(self, kind, text, start, line, space_before, space_after=False):
        self.kind, self.text, self.start, self.line = kind, text, start, line
        self.end = start + len(text)
        self.space_before, self.space_after = space_before, space_after


def tokens(source):
    """The code tokens: no comments, strings, white space or preprocessor lines."""
    out, pos, line, line_start = [], 0, 1, True
    while pos < len(source):
        m = TOKEN.match(source, pos)
        kind, text = m.lastgroup, m.group(0)
        if kind == "delim":
            kind = "string"
        if kind == "punct" and text == "#" and line_start:
            end = pos
            while True:  # to the end of the line, continued lines included
                end = source.find("\n", end)
                if end < 0 or source[end - 1] != "\\":
                    break
                end += 1
            end = len(source) if end < 0 else end
            line += source.count("\n", pos, end)
            pos = end
            continue
        if kind not in ("ws", "comment"):
            space = pos > 0 and source[pos - 1].isspace()
            if out and out[-1].end == pos:
                out[-1].space_after = False
            out.append(Tok(kind, text, pos, line, space))
            out[-1].space_after = m.end() < len(source) and source[m.end()].isspace()
        if kind in ("ws", "comment") and "\n" in text:
            line_start = True
        elif kind != "ws":
            line_start = False
        line += text.count("\n")
        pos = m.end()
    return out


def matching(toks, i):
    """Index of the bracket closing toks[i]."""
    pairs = {"(": ")", "{": "}", "[": "]"}
    opening, closing, depth = toks[i].text, pairs[toks[i].text], 0
    for j in range(i, len(toks)):
        if toks[j].kind == "string":
            continue
        depth += (toks[j].text == opening) - (toks[j].text == closing)
        if depth == 0:
            return j
    return None


def statement_end(toks, i):
    """Index of the ';' that ends the statement beginning at toks[i], at depth 0."""
    depth = 0
    for j in range(i, len(toks)):
        t = toks[j].text if toks[j].kind == "punct" else ""
        if t in "([{" and t:
            depth += 1
        elif t in ")]}" and t:
            depth -= 1
            if depth < 0:
                return None
        elif t == ";" and depth == 0:
            return j
    return None


def cpp_mutants(path, source):
    toks = tokens(source)
    found = []

    def add(first, last, text, change):
        found.append(Mutant(path, toks[first].line, toks[first].start, toks[last].end, text,
                            change))

    for i, t in enumerate(toks):
        if t.kind == "string":
            continue
        spaced = t.space_before and t.space_after
        if t.text in FLIPS and (t.kind == "ident" or spaced):
            add(i, i, FLIPS[t.text], f"{t.text} -> {FLIPS[t.text]}")
        elif t.kind == "number" and re.fullmatch(r"\d+[uUlLzZ]*", t.text) and (
                (i > 0 and toks[i - 1].text in BOUND_BEFORE)
                or (i + 1 < len(toks) and toks[i + 1].text in BOUND_AFTER)):
            digits = re.match(r"\d+", t.text).group(0)
            suffix, value = t.text[len(digits):], int(digits)
            if len(digits) > 1 and digits.startswith("0"):
                continue  # octal
            if i > 1 and toks[i - 1].text == "=" and toks[i - 2].text in (")", "const", "override"):
                continue  # "= 0" of a pure virtual function
            for other in ([1] if value == 0 else [value - 1, value + 1]):
                add(i, i, f"{other}{suffix}", f"{t.text} -> {other}{suffix}")
        elif t.text in ("if", "while") and i + 1 < len(toks) and toks[i + 1].text == "(":
            close = matching(toks, i + 1)
            if close is None:
                continue
            inner = [x.text for x in toks[i + 2: close]]
            if not inner or inner[0] in ("auto", "const") or ";" in inner:
                continue  # a declaration in the condition
            cond = source[toks[i + 2].start: toks[close - 1].end]
            short = cond if len(cond) <= 40 else cond[:37] + "..."
            for value in (("true", "false") if t.text == "if" else ("false",)):
                found.append(Mutant(path, t.line, toks[i + 2].start, toks[close - 1].end,
                                    value, f"{t.text} ({short}) -> {t.text} ({value})"))
            if t.text == "if" and close + 1 < len(toks):
                guard_drop(toks, i, close, add, short)
        elif t.kind == "ident" and t.text not in KEYWORDS and (
                i == 0 or toks[i - 1].text in (";", "{", "}")):
            call_drop(toks, i, add)
    return found


def guard_drop(toks, i, close, add, cond):
    body = close + 1
    braced = toks[body].text == "{"
    first = body + 1 if braced else body
    if first >= len(toks) or toks[first].text not in JUMPS:
        return
    end = statement_end(toks, first)
    if end is None:
        return
    if braced:
        if end + 1 >= len(toks) or toks[end + 1].text != "}":
            return
        end += 1
    if end + 1 < len(toks) and toks[end + 1].text == "else":
        return
    add(i, end, "", f"dropped guard: if ({cond}) {toks[first].text} ...")


def call_drop(toks, i, add):
    """Drops 'a.b->c::d(...);' at the start of a statement."""
    j, expect_name = i, True
    while j < len(toks):
        text = toks[j].text
        if expect_name and toks[j].kind == "ident" and text not in KEYWORDS:
            expect_name = False
        elif not expect_name and text in (".", "->", "::"):
            expect_name = True
        else:
            break
        j += 1
    if expect_name or j >= len(toks) or toks[j].text != "(":
        return
    close = matching(toks, j)
    if close is None or close + 1 >= len(toks) or toks[close + 1].text != ";":
        return
    name = "".join(t.text for t in toks[i:j])
    add(i, close + 1, "", f"dropped call: {name}(...);")


SH_FLIPS = {"-eq": "-ne", "-ne": "-eq", "-lt": "-le", "-le": "-lt", "-gt": "-ge", "-ge": "-gt",
            "&&": "||", "||": "&&", "-e": "-f", "-L": "-f", "-z": "-n", "-n": "-z"}
SH_STRUCTURE = re.compile(r"^\s*(fi|done|esac|then|else|do|;;|\}|\{|.*\)\s*$|.*\(\)\s*\{)")


def sh_mutants(path, source):
    found, offset = [], 0
    for number, line in enumerate(source.splitlines(keepends=True), 1):
        code = line.split(" #", 1)[0]
        if not line.lstrip().startswith("#"):
            for m in re.finditer(r"(?<=\s)(-eq|-ne|-lt|-le|-gt|-ge|&&|\|\||-e|-L|-z|-n|!)(?=\s)",
                                 code):
                op = m.group(1)
                new = SH_FLIPS.get(op, "")
                found.append(Mutant(path, number, offset + m.start(1),
                                    offset + m.end(1) + (0 if new else 1), new,
                                    f"{op} -> {new or '(dropped)'}"))
            if code.strip() and not SH_STRUCTURE.match(code) and not re.match(
                    r"\s*(if|for|while|case|set|exec|[\w]+=)", code):
                found.append(Mutant(path, number, offset, offset + len(code.rstrip("\n")),
                                    ":", f"dropped command: {code.strip()[:40]}"))
        offset += len(line)
    return found


def is_shell(path):
    if path.endswith(".sh"):
        return True
    try:
        with open(os.path.join(ROOT, path), "rb") as f:
            return f.read(12).startswith((b"#!/bin/sh", b"#!/bin/bash", b"#!/usr/bin/env bash"))
    except OSError:
        return False


def program_files():
    listed = subprocess.run(["git", "ls-files", "--cached", "--others", "--exclude-standard"],
                            cwd=ROOT, capture_output=True, text=True, check=True).stdout.split()
    keep = []
    for path in listed:
        if path.startswith(NOT_PROGRAM) or path in THIRD_PARTY or "/" not in path:
            continue
        if not os.path.isfile(os.path.join(ROOT, path)):
            continue
        if path.endswith(CPP) or is_shell(path):
            keep.append(path)
    return sorted(keep)


def mutants_of(path):
    with open(os.path.join(ROOT, path), encoding="utf-8", errors="surrogateescape") as f:
        source = f.read()
    return cpp_mutants(path, source) if path.endswith(CPP) else sh_mutants(path, source)


def changed_lines(rev):
    diff = subprocess.run(["git", "diff", "-U0", rev, "--"], cwd=ROOT, capture_output=True,
                          text=True, check=True).stdout
    lines, path = {}, None
    for text in diff.splitlines():
        if text.startswith("+++ "):
            path = text[6:] if text.startswith("+++ b/") else None
        elif text.startswith("@@") and path:
            m = re.search(r"\+(\d+)(?:,(\d+))?", text)
            first, count = int(m.group(1)), int(m.group(2) or 1)
            lines.setdefault(path, set()).update(range(first, first + count))
    return lines


def choose(args, rng):
    files = program_files()
    chosen = []
    if args.changed:
        for path, lines in sorted(changed_lines(args.changed).items()):
            if path in files:
                chosen += [m for m in mutants_of(path) if m.line in lines]
    if args.sample:
        if args.under:
            files = [f for f in files if f.startswith(tuple(u.rstrip("/") + "/" for u in args.under))]
        by_folder = {}
        for path in files:
            by_folder.setdefault(path.split("/")[0], []).extend(mutants_of(path))
        taken = {id(m) for m in chosen}
        pools = [[m for m in pool if id(m) not in taken] for _, pool in sorted(by_folder.items())]
        # Every folder gets its share of a half; the other half is drawn over all
        # mutants alike, so large folders get more.
        share = max(1, args.sample // (2 * len(pools)))
        picked = []
        for pool in pools:
            picked += rng.sample(pool, min(share, len(pool)))
        rest = [m for pool in pools for m in pool if m not in picked]
        picked += rng.sample(rest, min(len(rest), max(0, args.sample - len(picked))))
        chosen += picked
    return chosen


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

    def argv(self):
        if not self.gtest:
            return self.command
        flt = "*" if not self.excluded else "*-" + ":".join(self.excluded)
        return [self.command[0], "--gtest_fail_fast", "--gtest_brief=1", "--gtest_filter=" + flt]

    def passes(self, limit):
        env = dict(os.environ, **self.env)
        # A session of its own, so what the tests start ends with them.
        child = subprocess.Popen(["nice", *self.argv()], cwd=self.cwd, env=env,
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
        shutil.copy2(source, copy)


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
            return (-common, suite.seconds)
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
        # Mutants come file by file, so the objects are still the good ones here.
        if mutant.path.endswith(".cpp") and mutant.path not in self.good_digest:
            self.good_digest[mutant.path] = digest(objects)
        try:
            with open(copy, "w", encoding="utf-8", errors="surrogateescape") as f:
                f.write(mutant.apply(good))
            os.chmod(copy, mode)
            # Each test program is built when its turn comes: most mutants
            # are killed by the first, and the others need not be linked.
            for number, suite in enumerate(self.order(suites, mutant.path)):
                if suite.gtest:
                    built = self.build.ninja("-j2", os.path.relpath(suite.command[0],
                                                                    self.build.folder))
                    if built.returncode:
                        # A program that breaks while its tests are listed is caught.
                        failed = re.findall(r"^FAILED: (\S+)", built.stdout, re.M)
                        return "invalid" if all(f.endswith(".o") for f in failed) else "killed"
                known = self.good_digest.get(mutant.path)
                if number == 0 and known and known == digest(objects):
                    return "equivalent"
                if not suite.passes(3 * suite.seconds + 60):
                    return "killed"
            return "survived"
        finally:
            with open(copy, "w", encoding="utf-8", errors="surrogateescape") as f:
                f.write(good)
            os.chmod(copy, mode)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sample", type=int, default=0, help="random mutants over the tree")
    parser.add_argument("--changed", metavar="REV", help="mutants on lines changed since REV")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--build", default=os.path.join(ROOT, "build-mutation"),
                        help="the copy of the tree; CMake builds in its build/ folder")
    parser.add_argument("--under", nargs="*", help="sample only these top-level folders")
    parser.add_argument("--list", action="store_true", help="print the mutants, judge none")
    args = parser.parse_args()
    if not args.sample and not args.changed:
        parser.error("give --sample N, --changed REV or both")
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 31)
    print(f"seed {seed}", flush=True)
    mutants = choose(args, random.Random(seed))
    if args.list:
        for m in mutants:
            print(f"{m.where()}: {m.change}")
        return 0

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

    # Every test the mutants reach, once on the good tree.
    for suite in {id(s): s for m in mutants for s in runner.suites_for(m.path)}.values():
        runner.baseline(suite)
    verdicts = {}
    mutants.sort(key=lambda m: (m.path, m.line))  # one file's mutants share its rebuilds
    for number, mutant in enumerate(mutants, 1):
        verdict = runner.judge(mutant)
        verdicts.setdefault(verdict, []).append(mutant)
        print(f"[{number}/{len(mutants)}] {mutant.where()}: {mutant.change}: {verdict}",
              flush=True)
    build.ninja("-j2")  # the build folder back to the good tree

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
    return 0 if not missed else 1


if __name__ == "__main__":
    sys.exit(main())
