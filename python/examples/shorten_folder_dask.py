#!/usr/bin/env python3
"""Shortens every WAV file of a folder on a dask.distributed cluster.

    python3 shorten_folder_dask.py DICTATIONS SHORT [--scheduler tcp://host:8786] [--workers N]

With --scheduler the work goes to that cluster, whose workers must have the tamberlyn package
and see the folders (a shared file system); without it a local cluster of --workers processes
is started, as a small stand-in. Each task shortens one file and returns its durations.
"""

import argparse
import pathlib
import sys

from dask.distributed import Client, LocalCluster, as_completed

import tamberlyn


def shorten_one(source: str, target: str, threshold: str):
    """One task: runs on a worker, returns what it did or why it failed."""
    try:
        result = tamberlyn.shorten(source, target, threshold)
    except tamberlyn.TamberlynError as e:
        return source, None, e.strerror
    return source, (result.seconds_in, result.seconds_out), None


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("source", type=pathlib.Path)
    parser.add_argument("target", type=pathlib.Path)
    parser.add_argument("--scheduler")
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--threshold", default="auto")
    args = parser.parse_args()
    args.target.mkdir(parents=True, exist_ok=True)
    files = sorted(args.source.glob("*.wav"))

    cluster = None
    if args.scheduler:
        client = Client(args.scheduler)
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1,
                               dashboard_address=None)
        client = Client(cluster)
    try:
        futures = [client.submit(shorten_one, str(f), str(args.target / f.name), args.threshold,
                                 pure=False) for f in files]
        failed = 0
        before = after = 0.0
        for future in as_completed(futures):
            source, seconds, error = future.result()
            name = pathlib.Path(source).name
            if error is not None:
                print(f"{name}: {error}", file=sys.stderr)
                failed += 1
                continue
            before += seconds[0]
            after += seconds[1]
            print(f"{name}: {seconds[0]:.2f} s -> {seconds[1]:.2f} s")
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    print(f"shortened {len(files) - failed} files: {before:.1f} s -> {after:.1f} s")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
