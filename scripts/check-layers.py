#!/usr/bin/env python3
"""Checks the folders' include and link graph, and the size of source files.

A folder with a CMakeLists.txt that defines a library or an executable is a
room. A file belongs to the deepest room that holds it. An #include "..." of
a header from another room is allowed only when one of the including room's
targets links one of that room's targets, directly or through others. Fails
(exit 1, one line an offence) on:
  - an include of a header from a room that is not linked,
  - a cycle in the link graph of the rooms' targets or of the rooms,
  - an include-path shortcut: a "../" in an #include, or an include
    directory outside the room's own folder,
  - a source file over MAX_LINES lines (tests and benchmarks included).
Python 3 standard library only.
"""

import os
import re
import sys

MAX_LINES = 500
# Not rooms of the product: their include and link rules are their own.
OUTSIDE = {"tests", "bench", "packaging", "scripts", "docs"}
SOURCE_SUFFIXES = (".cpp", ".cc", ".c", ".h", ".hpp", ".in", ".cmake", ".py", ".sh")
HEADER_SUFFIXES = (".h", ".hpp", ".h.in")
COMMAND = re.compile(r"\b(add_library|add_executable|target_link_libraries|"
                     r"target_include_directories|include_directories)\s*\(", re.I)
KEYWORDS = {"PUBLIC", "PRIVATE", "INTERFACE", "STATIC", "SHARED", "OBJECT", "SYSTEM",
            "BEFORE", "AFTER", "ALIAS", "IMPORTED", "GLOBAL", "EXCLUDE_FROM_ALL"}
OWN_DIRS = ("${CMAKE_CURRENT_SOURCE_DIR}", "${CMAKE_CURRENT_BINARY_DIR}")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def is_build_dir(path):
    # A build folder, or a copy of the tree with its build inside (build-mutation).
    return any(os.path.exists(os.path.join(path, *inside, "CMakeCache.txt"))
               for inside in ((), ("build",)))


def walk(root):
    """Yields (folder relative to root, file names), skipping build folders."""
    for folder, dirs, files in os.walk(root):
        dirs[:] = sorted(d for d in dirs
                         if not d.startswith(".") and not is_build_dir(os.path.join(folder, d)))
        yield os.path.relpath(folder, root), files


def calls(text):
    """The target commands of a CMakeLists.txt: (command, [arguments])."""
    text = re.sub(r"#[^\n]*", "", text)
    for match in COMMAND.finditer(text):
        depth, at = 1, match.end()
        while at < len(text) and depth:
            depth += {"(": 1, ")": -1}.get(text[at], 0)
            at += 1
        yield match.group(1).lower(), text[match.end():at - 1].split()


class Rooms:
    def __init__(self, root):
        self.root = root
        self.room_targets = {}  # room folder -> its targets
        self.links = {}  # target -> targets it links
        self.offences = []
        self.files = {}  # room folder -> its files (relative to root)
        for folder, names in walk(root):
            top = folder.split(os.sep)[0]
            if top in OUTSIDE or "CMakeLists.txt" not in names:
                continue
            self.read_cmake(folder)
        for folder, names in walk(root):
            if folder.split(os.sep)[0] in OUTSIDE:
                continue
            room = self.room_of(folder)
            if room is not None:
                self.files.setdefault(room, []).extend(
                    os.path.normpath(os.path.join(folder, n)) for n in names)

    def read_cmake(self, folder):
        path = os.path.join(folder, "CMakeLists.txt")
        with open(os.path.join(self.root, path), encoding="utf-8") as f:
            text = f.read()
        for command, args in calls(text):
            if command in ("add_library", "add_executable") and args:
                self.room_targets.setdefault(folder, set()).add(args[0])
                self.links.setdefault(args[0], set())
            elif command == "target_link_libraries" and args:
                self.links.setdefault(args[0], set()).update(
                    a for a in args[1:] if a not in KEYWORDS)
            elif command in ("target_include_directories", "include_directories"):
                dirs = args[1:] if command == "target_include_directories" else args
                for d in dirs:
                    if d not in KEYWORDS and not self.own_dir(d):
                        self.offences.append(
                            f"{path}: include-path shortcut {d} (link the room instead)")

    @staticmethod
    def own_dir(d):
        if ".." in d:
            return False
        if d.startswith(OWN_DIRS):
            return True
        return not d.startswith(("$", "/"))  # a sub-folder of its own

    def room_of(self, folder):
        """The deepest room holding `folder`, or None."""
        while True:
            if folder in self.room_targets:
                return folder
            if folder in ("", "."):
                return None
            folder = os.path.dirname(folder)

    def reach(self, targets):
        """Every target linked from `targets`, directly or through others."""
        seen, todo = set(), list(targets)
        while todo:
            t = todo.pop()
            for n in self.links.get(t, ()):
                if n in self.links and n not in seen:
                    seen.add(n)
                    todo.append(n)
        return seen

    def check_cycles(self):
        def find(graph, what):
            state = {}
            for start in sorted(graph):
                stack = [(start, iter(sorted(graph[start])))]
                path = [start]
                state[start] = 1
                while stack:
                    node, rest = stack[-1]
                    nxt = next(rest, None)
                    if nxt is None:
                        state[node] = 2
                        stack.pop()
                        path.pop()
                    elif state.get(nxt) == 1:
                        cycle = path[path.index(nxt):] + [nxt]
                        self.offences.append(f"{what} cycle: {' -> '.join(cycle)}")
                        return
                    elif nxt not in state:
                        state[nxt] = 1
                        stack.append((nxt, iter(sorted(graph.get(nxt, ())))))
                        path.append(nxt)

        targets = {t: {n for n in ns if n in self.links} for t, ns in self.links.items()}
        find(targets, "link")
        owner = {t: room for room, ts in self.room_targets.items() for t in ts}
        rooms = {room: {owner[n] for t in ts for n in targets[t] if owner[n] != room}
                 for room, ts in self.room_targets.items()}
        find(rooms, "room")

    def check_includes(self):
        headers = {}  # path relative to root -> room
        for room, files in self.files.items():
            for f in files:
                if f.endswith(HEADER_SUFFIXES):
                    headers[f[:-3] if f.endswith(".in") else f] = room
        owner = {t: room for room, ts in self.room_targets.items() for t in ts}
        for room, files in sorted(self.files.items()):
            linked = {owner[t] for t in self.reach(self.room_targets[room])} | {room}
            for f in sorted(files):
                if not f.endswith(SOURCE_SUFFIXES[:5]):
                    continue
                with open(os.path.join(self.root, f), encoding="utf-8", errors="replace") as src:
                    included = INCLUDE.findall(src.read())
                for name in included:
                    if ".." in name.split("/"):
                        self.offences.append(f'{f}: include-path shortcut #include "{name}"')
                        continue
                    beside = os.path.normpath(os.path.join(os.path.dirname(f), name))
                    found = [beside] if beside in headers else \
                        [h for h in headers if h == name or h.endswith("/" + name)]
                    if found and not any(headers[h] in linked for h in found):
                        self.offences.append(
                            f'{f}: includes "{name}" of {headers[found[0]]}/, '
                            f"which {room}/ does not link")


def check_lengths(root):
    offences = []
    for folder, names in walk(root):
        for name in names:
            if name.endswith(SOURCE_SUFFIXES) or name == "CMakeLists.txt":
                path = os.path.normpath(os.path.join(folder, name))
                with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                    lines = sum(1 for _ in f)
                if lines > MAX_LINES:
                    offences.append(f"{path}: {lines} lines, more than {MAX_LINES}")
    return offences


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    root = os.path.abspath(root)
    rooms = Rooms(root)
    rooms.check_cycles()
    rooms.check_includes()
    offences = rooms.offences + check_lengths(root)
    for offence in offences:
        print(offence)
    print(f"check-layers: {len(rooms.room_targets)} rooms, {len(offences)} offences")
    return 1 if offences else 0


if __name__ == "__main__":
    sys.exit(main())
