#!/usr/bin/env python3
"""Runs the commands of the module developers' guide, as they stand, against this build.

Usage: run_guide_commands.py GUIDE --platform linux|windows --source DIR --work DIR

The guide marks each command block a reader runs with a comment on the line before its fence:

    <!-- guide-test: KIND -->
    ```sh
    ...
    ```

KIND says where the block runs and for which platform:
  sdk-linux, sdk-windows  install the SDK from a clone: run in the repository (--source), for both
                          platforms (sdk-linux: trhost new needs the Linux trhost) or for Windows only;
  module                  run for both platforms, in the work folder and then wherever a block cd'd;
  linux, windows          run for that platform only, where the blocks before them left off.
Blocks without a mark (installing packages, unpacking an archive) are not run. The marked blocks of a
platform are run in the guide's order as one bash script with -e, -u and pipefail, with SDK naming a
fresh folder inside the work folder, and every command echoed. Exits with the script's status; with
77 (skipped) when this build cannot install an SDK with `trhost new` in it yet.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys

KINDS = {
    "linux": ["sdk-linux", "module", "linux"],
    "windows": ["sdk-linux", "sdk-windows", "module", "windows"],
}
ALL_KINDS = {"sdk-linux", "sdk-windows", "module", "linux", "windows"}
MARK = re.compile(r"^<!-- guide-test: ([a-z-]+) -->\s*$")
SKIPPED = 77


def marked_blocks(guide):
    """(kind, commands) for every marked block, in the guide's order."""
    lines = open(guide, encoding="utf-8").read().splitlines()
    blocks = []
    for number, line in enumerate(lines):
        match = MARK.match(line)
        if not match:
            continue
        kind = match.group(1)
        if kind not in ALL_KINDS:
            sys.exit("%s:%d: unknown block kind %r" % (guide, number + 1, kind))
        if number + 1 >= len(lines) or not lines[number + 1].startswith("```"):
            sys.exit("%s:%d: the mark is not followed by a code block" % (guide, number + 1))
        end = number + 2
        while end < len(lines) and not lines[end].startswith("```"):
            end += 1
        if end == len(lines):
            sys.exit("%s:%d: the code block is not closed" % (guide, number + 2))
        blocks.append((kind, lines[number + 2:end]))
    return blocks


def script_for(blocks, platform, source, work):
    script = ["set -euo pipefail -x", "export SDK=%s" % shlex_quote(os.path.join(work, "sdk")),
              "cd %s" % shlex_quote(work)]
    in_source = False
    ran = 0
    for kind, commands in blocks:
        if kind not in KINDS[platform]:
            continue
        if kind.startswith("sdk-") and not in_source:
            script += ["here=$PWD", "cd %s" % shlex_quote(source)]
            in_source = True
        elif not kind.startswith("sdk-") and in_source:
            script.append('cd "$here"')
            in_source = False
        script += commands
        ran += 1
    if ran == 0:
        sys.exit("the guide marks no commands for %s" % platform)
    return "\n".join(script) + "\n"


def shlex_quote(text):
    return "'" + text.replace("'", "'\\''") + "'"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("guide")
    parser.add_argument("--platform", choices=sorted(KINDS), required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True)
    options = parser.parse_args()

    source = os.path.abspath(options.source)
    work = os.path.abspath(options.work)
    script = script_for(marked_blocks(options.guide), options.platform, source, work)

    trhost = os.path.join(source, "build", "linux-x86", "trhost")
    if not os.access(trhost, os.X_OK):
        print("skipped: %s is not built; the guide's commands need the Linux trhost" % trhost)
        return SKIPPED
    commands = subprocess.run([trhost, "--help"], capture_output=True, text=True).stdout
    if not re.search(r"^\s+new\s", commands, re.MULTILINE):
        print("skipped: this build's trhost has no `new` command yet")
        return SKIPPED

    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    with open(os.path.join(work, "guide-commands.sh"), "w") as file:
        file.write(script)

    environment = dict(os.environ)
    environment.setdefault("WINEDEBUG", "-all")
    # The guide's builds start from nothing; a compiler cache, where there is one, spares the machine.
    if shutil.which("ccache"):
        environment.setdefault("CMAKE_C_COMPILER_LAUNCHER", "ccache")
        environment.setdefault("CMAKE_CXX_COMPILER_LAUNCHER", "ccache")
    return subprocess.run(["bash", os.path.join(work, "guide-commands.sh")], cwd=work, env=environment).returncode


if __name__ == "__main__":
    sys.exit(main())
