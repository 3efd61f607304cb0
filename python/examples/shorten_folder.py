#!/usr/bin/env python3
"""Shortens every WAV file of a folder into another, several at once.

    python3 shorten_folder.py DICTATIONS SHORT [--workers N] [--threshold auto]

The engine does its work outside Python's interpreter lock, so threads are enough: each
shortens one file while the others do theirs. A file that fails is reported and the rest go on.
"""

import argparse
import concurrent.futures
import os
import pathlib
import sys

import tamberlyn


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("source", type=pathlib.Path)
    parser.add_argument("target", type=pathlib.Path)
    parser.add_argument("--workers", type=int, default=os.cpu_count())
    parser.add_argument("--threshold", default="auto")
    args = parser.parse_args()
    args.target.mkdir(parents=True, exist_ok=True)
    files = sorted(args.source.glob("*.wav"))

    failed = 0
    before = after = 0.0
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.workers) as pool:
        jobs = {pool.submit(tamberlyn.shorten, f, args.target / f.name, args.threshold): f
                for f in files}
        for job in concurrent.futures.as_completed(jobs):
            name = jobs[job].name
            try:
                result = job.result()
            except tamberlyn.TamberlynError as e:
                print(f"{name}: {e.strerror}", file=sys.stderr)
                failed += 1
                continue
            before += result.seconds_in
            after += result.seconds_out
            print(f"{name}: {result.seconds_in:.2f} s -> {result.seconds_out:.2f} s")
    print(f"shortened {len(files) - failed} files: {before:.1f} s -> {after:.1f} s")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
