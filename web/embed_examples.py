#!/usr/bin/python3
"""Writes the example programs into one script the page loads, so that the
menu works from the file system too (a page there may not fetch files).

usage: embed_examples.py OUTPUT.js EXAMPLE.asm...
"""
import json
import pathlib
import sys


def main():
    output, sources = pathlib.Path(sys.argv[1]), sorted(map(pathlib.Path, sys.argv[2:]))
    examples = [{"name": path.name, "source": path.read_text(encoding="latin-1")} for path in sources]
    output.write_text("const VEXA_EXAMPLES = " + json.dumps(examples, indent=1) + ";\n", encoding="utf-8")


if __name__ == "__main__":
    main()
