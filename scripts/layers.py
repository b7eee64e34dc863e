#!/usr/bin/env python3
"""The include graph of src/ points one way: a folder includes only itself and folders below it.
Prints each include that points up or sideways and exits 1 when there is one."""
import os
import re
import sys

# Lower numbers are lower layers; folders of one number are side by side and do not include each other.
RANK = {"base": 0, "tasks": 1, "http": 1, "panel": 2, "intake": 3, "session": 3, "app": 4, "ui": 5}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/', re.M)


def main():
    src = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
    wrong = []
    for folder, rank in RANK.items():
        for root, _, files in os.walk(os.path.join(src, folder)):
            for name in files:
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(root, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for target in INCLUDE.findall(f.read()):
                        if target in RANK and target != folder and RANK[target] >= rank:
                            wrong.append("%s includes %s/" % (os.path.relpath(path, os.path.join(src, "..")), target))
    for line in wrong:
        print(line)
    print("layers: %s" % ("%d includes point up or sideways" % len(wrong) if wrong else "every include points down"))
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
