"""What the table generators share: each makes one committed source file,
which it rewrites, or with --check only compares (the test command runs that)."""

import argparse
import pathlib
import sys


def parse_arguments(doc):
    parser = argparse.ArgumentParser(description=doc.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="compare with the committed file instead of writing it")
    return parser.parse_args()


def write_or_check(target, text, check, summary):
    """Writes `text` to `target`, or with `check` fails if they differ."""
    if check:
        if target.read_text(encoding="ascii") != text:
            sys.exit(f"{target} is stale; rerun {pathlib.Path(sys.argv[0]).name}")
        return
    target.write_text(text, encoding="ascii")
    print(f"{target}: {summary}", file=sys.stderr)
