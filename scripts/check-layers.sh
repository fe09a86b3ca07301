#!/usr/bin/env python3
# Checks that the program's folders depend one way. Every `#include "folder/…"` of a file in one of
# the folders of cmake/layers.txt (the one list of the layers, lowest first, that CMake builds the
# libraries from) must name its own folder or a lower one. Since the layers are in one order, an
# include that would close a cycle between folders is one that goes up, and is named as such.
# Prints each offending include as file:line and exits 1; exits 0 when there is none.
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
table = root / "cmake" / "layers.txt"
layers = [line.split()[0] for line in table.read_text().splitlines() if line[:1].isalpha()]
rank = {folder: place for place, folder in enumerate(layers)}
include = re.compile(r'^\s*#\s*include\s*"([^"/]+)/[^"]*"')

ups = []  # (where, folder, target) of each include that goes up
edges = {folder: set() for folder in layers}
files = 0
for folder in layers:
    for path in sorted((root / folder).iterdir()):
        if path.suffix not in (".h", ".cpp", ".rc"):
            continue
        files += 1
        for number, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
            match = include.match(line)
            if not match:
                continue
            where, target = f"{path.relative_to(root)}:{number}", match.group(1)
            if target not in rank:
                ups.append((where, folder, target))
                continue
            edges[folder].add(target)
            if rank[target] > rank[folder]:
                ups.append((where, folder, target))


def reaches(start, goal):
    seen, todo = set(), [start]
    while todo:
        folder = todo.pop()
        if folder == goal:
            return True
        if folder not in seen:
            seen.add(folder)
            todo.extend(edges.get(folder, ()))
    return False


for where, folder, target in ups:
    if target not in rank:
        print(f"{where}: includes {target}/, which is no folder of {table.relative_to(root)}")
    elif reaches(target, folder):
        print(f"{where}: {folder}/ includes {target}/, a higher layer, and closes a cycle between them")
    else:
        print(f"{where}: {folder}/ includes {target}/, a higher layer")

if ups:
    print(f"check-layers: {len(ups)} include(s) against the layers {' < '.join(layers)}", file=sys.stderr)
    sys.exit(1)
print(f"check-layers: {files} files of {len(layers)} layers include only their own and lower folders")
