#!/usr/bin/env python3
"""Every diagnostic pragma in a tracked source sits between a push and its
pop. A combined unit compiles several files as one, so a pragma left open at
the end of one file changes the warnings of the files after it.

Usage: scoped_pragmas_test.py SOURCE_DIR
"""
import re
import subprocess
import sys

PRAGMA = re.compile(r"^\s*#\s*pragma\s+(?:GCC|clang)\s+diagnostic\s+(\w+)")


def unscoped(path, lines):
    """What is wrong with the file's diagnostic pragmas, as messages."""
    depth = 0
    for number, line in enumerate(lines, 1):
        match = PRAGMA.match(line)
        if not match:
            continue
        kind = match.group(1)
        if kind == "push":
            depth += 1
        elif kind == "pop":
            if depth == 0:
                yield f"{path}:{number}: a pop without its push"
            depth = max(depth - 1, 0)
        elif depth == 0:
            yield f"{path}:{number}: '{kind}' outside a push and its pop"
    if depth:
        yield f"{path}: {depth} push without its pop at the end of the file"


def main():
    source = sys.argv[1]
    listed = subprocess.run(["git", "-C", source, "ls-files", "*.c", "*.cpp", "*.h"], capture_output=True, text=True)
    if listed.returncode != 0:
        print(f"SKIPPED: {source} is no git checkout, so there are no tracked files to look at")
        return 77
    files = listed.stdout.split()
    problems = []
    for path in files:
        with open(f"{source}/{path}", encoding="utf-8") as text:
            problems += unscoped(path, text.read().splitlines())
    for problem in problems:
        print(problem)
    if problems:
        print("Wrap each diagnostic pragma in #pragma GCC diagnostic push / pop.")
        return 1
    print("Every diagnostic pragma sits between a push and its pop.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
