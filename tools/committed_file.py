"""What the generators share: each makes committed files, which it rewrites,
or with --check only compares (the test command runs that)."""

import argparse
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent


def argument_parser(doc):
    parser = argparse.ArgumentParser(description=doc.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="compare with the committed files instead of writing them")
    return parser


def write_or_check(files, check):
    """Writes `files` ({path: bytes}), or with `check` names those that differ.
    Returns the exit status: 1 when a checked file is stale."""
    stale = [path for path, data in files.items() if not path.exists() or path.read_bytes() != data]
    if check:
        for path in stale:
            print(f"stale: {path.relative_to(ROOT)}; rerun tools/{pathlib.Path(sys.argv[0]).name}",
                  file=sys.stderr)
        return 1 if stale else 0
    for path, data in files.items():
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        print(f"wrote {path.relative_to(ROOT)} ({len(data)} bytes)", file=sys.stderr)
    return 0
