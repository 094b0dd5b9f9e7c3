#!/usr/bin/env python3
"""Checks every #include "folder/..." of src/ and sim/ against src/layers.txt.

Fails on an include between folders that the table does not list (sim/ may include nothing
outside itself), on a cycle among the arrows used, and on a cycle in the table itself.
--plant FILE:HEADER adds an include to the tree as read (to see the check catch it).
--graph prints the arrows in use, one folder a line.
"""
import argparse
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^/"]+)/[^"]+"')


def read_table(path):
    arrows = {}
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        m = re.match(r"^(\w+)\s*->\s*(\w+)\s*:\s*\S", line)
        if not m:
            sys.exit(f"{path}:{number}: not an arrow with its reason: {line}")
        arrows.setdefault(m.group(1), set()).add(m.group(2))
    return arrows


def read_includes(top, plants):
    found = {}
    for root in ("src", "sim"):
        for folder, _, files in os.walk(os.path.join(top, root)):
            for name in files:
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, top)
                owner = "sim" if root == "sim" else rel.split(os.sep)[1]
                lines = open(path, encoding="utf-8", errors="replace").read().splitlines()
                lines += [f'#include "{h}"' for f, h in plants if f == rel]
                for number, line in enumerate(lines, 1):
                    m = INCLUDE.match(line)
                    if m and m.group(1) != owner:
                        found.setdefault((owner, m.group(1)), []).append(f"{rel}:{number}")
    return found


def cycle(arrows):
    state = {}

    def visit(node, path):
        state[node] = 1
        for nxt in sorted(arrows.get(node, ())):
            if state.get(nxt) == 1:
                return path + [node, nxt]
            if nxt not in state:
                found = visit(nxt, path + [node])
                if found:
                    return found
        state[node] = 2
        return None

    for node in sorted(arrows):
        if node not in state:
            found = visit(node, [])
            if found:
                return found[found.index(found[-1]):]
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("top")
    parser.add_argument("--plant", action="append", default=[])
    parser.add_argument("--graph", action="store_true")
    args = parser.parse_args()
    table = read_table(os.path.join(args.top, "src", "layers.txt"))
    plants = [p.split(":", 1) for p in args.plant]
    includes = read_includes(args.top, plants)
    used = {}
    for (src, dst) in includes:
        used.setdefault(src, set()).add(dst)
    if args.graph:
        for src in sorted(used):
            print(f"{src} -> {' '.join(sorted(used[src]))}")
    problems = []
    for (src, dst), places in sorted(includes.items()):
        if dst not in table.get(src, set()):
            problems.append(f"{src} may not include {dst}: {', '.join(places[:3])}")
    for name, arrows in (("the table", table), ("the includes", used)):
        loop = cycle(arrows)
        if loop:
            problems.append(f"cycle in {name}: {' -> '.join(loop)}")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
