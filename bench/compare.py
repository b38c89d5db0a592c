#!/usr/bin/env python3
"""Times two or more builds of zorb-quillex against each other on one catalog and mode.

The runs interleave, a round at a time (each build once per round, in turn, the order reversed
every other round), so that a slow spell of the machine falls on every build alike: changes
worth a few percent are lost in the noise between two benchmark runs made minutes apart. Prints,
per build, the best and the median wall time, the median user and system time, and the mean
processor time (user and system) with its standard error. The kernel splits processor time
between user and system a clock tick at a time, but keeps their sum to the microsecond; the mean
of many runs' sums moves less with the machine's slow spells than wall time does. An extra round
first, untimed, lets each build write the outputs that the timed runs then replace, as a rebuild
does. See bench/README.md.

    bench/compare.py --rounds 21 --csv /tmp/quillex-bench/catalog_20mb.csv --args=--indexing \
        /tmp/before/zorb-quillex /tmp/after/zorb-quillex
"""
import argparse
import pathlib
import shutil
import statistics
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from run_bench import run, warm, warm_size, written_bytes  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tools", nargs="+", help="the builds to compare, each a path")
    parser.add_argument("--csv", required=True, help="the catalog (see gen_catalog.py)")
    parser.add_argument("--args", default="", help="the tool's options, e.g. --args=--indexing")
    parser.add_argument("--rounds", type=int, default=11)
    parser.add_argument("--warm", action="store_true",
                        help="before each run, touch (untimed) memory as run_bench.py --warm does")
    args = parser.parse_args()
    if len(args.tools) < 2:
        parser.error("give at least two builds")

    csv = pathlib.Path(args.csv).resolve()
    size = csv.stat().st_size
    options = args.args.split()
    work = pathlib.Path(tempfile.mkdtemp(prefix="quillex-compare-"))
    try:
        folders = [work / str(index) for index in range(len(args.tools))]
        for folder in folders:
            folder.mkdir()
        times = {index: [] for index in range(len(args.tools))}
        for round_number in range(args.rounds + 1):
            order = list(enumerate(args.tools))
            for index, tool in order if round_number % 2 == 0 else reversed(order):
                folder = folders[index]
                if args.warm:
                    # The outputs of the run before say what this run writes.
                    warm(warm_size(size, written_bytes(folder) / size if size else 0))
                seconds, _, status, stderr, cpu, user = run(
                    [tool] + options + [str(csv), "-o", str(folder)])
                if status != 0:
                    last = stderr.strip().splitlines()[-1] if stderr.strip() else ""
                    sys.exit(f"{tool} ended with status {status} {last}".rstrip())
                if round_number > 0:
                    times[index].append((seconds, user, cpu - user))
        print(f"{'build':>40} {'best ms':>8} {'median':>8} {'usr ms':>7} {'sys ms':>7} "
              f"{'cpu ms (mean, se)':>18}")
        for index, tool in enumerate(args.tools):
            runs = times[index]
            cpu = [r[1] + r[2] for r in runs]
            error = statistics.stdev(cpu) / len(cpu) ** 0.5 if len(cpu) > 1 else 0.0
            print(f"{tool[-40:]:>40} {min(r[0] for r in runs) * 1e3:8.1f} "
                  f"{statistics.median(r[0] for r in runs) * 1e3:8.1f} "
                  f"{statistics.median(r[1] for r in runs) * 1e3:7.0f} "
                  f"{statistics.median(r[2] for r in runs) * 1e3:7.0f} "
                  f"{statistics.mean(cpu) * 1e3:10.1f} {error * 1e3:5.1f}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
