#!/usr/bin/env python3
"""Every source file that the build compiles inside a combined unit still
compiles on its own, with its target's flags.

A combined unit lends each file the includes, the names and the pragmas of
the files before it, so a file that lacks an include, or uses a name private
to another file, builds today and breaks on the day the units are cut
differently. A syntax-only pass of each file finds that without code
generation, in the time of parsing.

Usage: each_file_alone_test.py BUILD_DIR
"""
import json
import os
import re
import shlex
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

SKIPPED = 77  # CTest's SKIP_RETURN_CODE for this test
INCLUDED = re.compile(r'^#include "(.+)"$', re.MULTILINE)
# Flags that name the output or its dependency file: a syntax-only pass writes neither.
WITH_VALUE = {"-o", "-MT", "-MF", "-MQ"}
ALONE = {"-c", "-MD", "-MMD"}


def arguments_of(entry):
    return entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])


def syntax_only(arguments, unit, source):
    """The unit's compile command, turned into a syntax-only one for `source`."""
    result, skip = [], False
    for argument in arguments:
        if skip:
            skip = False
        elif argument in WITH_VALUE:
            skip = True
        elif argument not in ALONE and argument != unit:
            result.append(argument)
    return result + ["-fsyntax-only", source]


def combined_files(entries):
    """(the file, its syntax-only command, the directory to run it in) for
    every file the build compiles after another one in a combined unit."""
    for entry in entries:
        unit = entry["file"]
        if not re.search(r"/Unity/unity_\d+_\w+\.\w+$", unit):
            continue  # compiled on its own by the build itself
        with open(unit, encoding="utf-8") as text:
            sources = INCLUDED.findall(text.read())
        # The unit's first file has no other file before it: the build
        # already compiles it as it would alone.
        for source in sources[1:]:
            yield source, syntax_only(arguments_of(entry), unit, source), entry["directory"]


def compile_alone(work):
    source, command, directory = work
    run = subprocess.run(command, cwd=directory, capture_output=True, text=True)
    return source, run.returncode, run.stdout + run.stderr


def main():
    build = sys.argv[1]
    with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as text:
        work = list(combined_files(json.load(text)))
    if not work:
        print("SKIPPED: this build compiles every file on its own (NORVANE_UNITY_BUILD=OFF, or units of one)")
        return SKIPPED
    started = time.monotonic()
    with ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
        results = list(pool.map(compile_alone, work))
    failed = [(source, output) for source, status, output in results if status != 0]
    for source, output in failed:
        print(f"--- {source} does not compile on its own:\n{output}")
    print(f"{len(work)} files that follow another in a combined unit compiled on their own in {time.monotonic() - started:.1f} s")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
