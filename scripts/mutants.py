"""The faults the mutation check plants: C++ and shell sources read as tokens,
each mutant one small change at one place (see mutation-check.py)."""

import os
import re
import subprocess

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Folders that are not the program: their own tests, tools and benchmarks.
NOT_PROGRAM = ("tests/", "bench/", "scripts/", "build")
# Headers of other projects copied into the tree (none today).
THIRD_PARTY = ()
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
        # Each folder named (or each top-level one) is a pool of its own; a
        # file goes to the longest folder that holds it, so "service
        # service/program" gives the program its share apart.
        folders = sorted((u.rstrip("/") for u in args.under or ()), key=len, reverse=True)
        by_folder = {}
        for path in files:
            pool = next((f for f in folders if path.startswith(f + "/")), None)
            if pool or not folders:
                by_folder.setdefault(pool or path.split("/")[0], []).extend(mutants_of(path))
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
