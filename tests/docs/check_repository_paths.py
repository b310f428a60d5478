#!/usr/bin/env python3
"""No tracked file refers to a path outside the repository.

Usage: check_repository_paths.py SOURCE_DIR

Looks at every tracked file (git ls-files; every file outside build/, dist/ and out/ when the source
is not a git checkout) for two kinds of reference:
  - a relative path whose leading "../" climb above the repository's root, counted from the folder
    of the file that holds it (a CMake file's ${CMAKE_CURRENT_LIST_DIR}/../x climbs from there too);
  - an absolute path into a place of the machine the repository happens to sit on (a home folder, a
    workspace, a shared folder).
System paths (/usr, /etc, /tmp, /dev, /proc) are the platform's, not places outside the project, and
are allowed. Prints one line per reference found, FILE:LINE: TEXT, and exits 1 if there is any.
"""
import os
import re
import subprocess
import sys

# Leading "../" steps of a path, not preceded by another dot (so "..../" and "x../" are not paths).
CLIMB = re.compile(r"(?<![.\w])((?:\.\./)+)")
# Absolute paths into a machine's own places: the folders a checkout, a user or a mount lives in.
MACHINE_PLACES = ["work", "home", "root", "mnt", "srv", "shared", "Users"]
ABSOLUTE = re.compile(r"(?<![\w.$}])/(?:" + "|".join(MACHINE_PLACES) + r")/\w")

SKIPPED_FOLDERS = ("build/", "dist/", "out/", ".git/")


def tracked_files(root):
    if os.path.isdir(os.path.join(root, ".git")) or os.path.isfile(os.path.join(root, ".git")):
        listed = subprocess.run(["git", "-C", root, "ls-files", "-z"], check=True, capture_output=True).stdout
        return [name for name in listed.decode().split("\0") if name]
    files = []
    for folder, subfolders, names in os.walk(root):
        relative = os.path.relpath(folder, root)
        relative = "" if relative == "." else relative + "/"
        subfolders[:] = [s for s in subfolders if not (relative + s + "/").startswith(SKIPPED_FOLDERS)]
        files += [relative + name for name in names]
    return files


def text_of(path):
    with open(path, "rb") as file:
        data = file.read()
    if b"\0" in data:
        return None  # binary: fuzz inputs, images
    return data.decode("utf-8", errors="replace")


def references(relative_path, text):
    depth = relative_path.count("/")
    for number, line in enumerate(text.splitlines(), start=1):
        for match in CLIMB.finditer(line):
            steps = match.group(1).count("../")
            if steps > depth:
                yield number, line.strip(), "climbs %d folders from a file %d deep" % (steps, depth)
        if ABSOLUTE.search(line):
            yield number, line.strip(), "an absolute path outside the repository"


def main():
    root = sys.argv[1]
    found = 0
    for relative_path in sorted(tracked_files(root)):
        path = os.path.join(root, relative_path)
        if not os.path.isfile(path):
            continue
        text = text_of(path)
        if text is None:
            continue
        for number, line, why in references(relative_path, text):
            print("%s:%d: %s (%s)" % (relative_path, number, line, why))
            found += 1
    if found:
        print("%d references to paths outside the repository" % found)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
