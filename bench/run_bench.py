#!/usr/bin/env python3
"""Runs zorb-quillex over generated catalogs in every mode and prints what it costs.

For each catalog size and mode: the best and the median wall time of --repeat runs, MB/s and
messages/s, the peak resident memory (also as a multiple of the CSV size), the ratios to `cp` of
the same file and to the default mode, timed in the same rounds, and the number of heap
allocations (a separate run under the counting shim alloc_count.c). Modes the tool cannot run yet
are skipped with a line saying so. See bench/README.md.
"""
import argparse
import filecmp
import mmap
import os
import pathlib
import resource
import shutil
import statistics
import subprocess
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
MODES = [
    ("default", []),
    ("--indexing", ["--indexing"]),
    ("--indexing-all", ["--indexing-all"]),
    ("-s", ["-s"]),
    ("replace", ["--replace", "@REPLACE@"]),
    ("--check", ["--check"]),
]
# Run unless --modes says otherwise. --check writes nothing but a line per finding: on these
# catalogs, over 20,000 lines per MB, so its figures measure the console.
DEFAULT_MODES = [name for name, _ in MODES if name != "--check"]


def succeeded(name, status):
    """--check ends with status 1 when it found an error, which these catalogs hold."""
    return status == 0 or (name == "--check" and status == 1)
REPLACE_TEXT = "enum Ids {\n    $ID_LIST$\n};\nenum Languages {\n    $LANGUAGE_LIST$\n};\n"


def run(command, env=None):
    """Runs `command` quietly; returns (seconds, peak KB, exit status, the end of stderr, CPU
    seconds, user CPU seconds). The peak comes from GNU time, whose small process is the one the
    tool is forked from (a fork of this Python process would count Python's own pages); the
    processor times from the kernel's account of reaped children. Standard error goes to a
    file, of which the last lines are read: --check prints gigabytes on the many-languages
    catalog, which a pipe into this process would make it wait for."""
    peak_file = pathlib.Path("/tmp") / f"quillex-bench-peak-{os.getpid()}"
    error_file = pathlib.Path("/tmp") / f"quillex-bench-stderr-{os.getpid()}"
    # In microseconds: GNU time prints hundredths, a tenth of a 20 MB run.
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    with open(error_file, "wb") as errors:
        process = subprocess.run(
            ["/usr/bin/time", "-f", "%M", "-o", str(peak_file)] + command,
            stdout=subprocess.DEVNULL, stderr=errors, env=env)
    seconds = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    user = after.ru_utime - before.ru_utime
    system = after.ru_stime - before.ru_stime
    peak = peak_file.read_text().split()[-1]
    peak_file.unlink()
    with open(error_file, "rb") as errors:
        errors.seek(max(0, error_file.stat().st_size - 4096))
        stderr = errors.read().decode(errors="replace")
    error_file.unlink()
    return (seconds, int(peak), process.returncode, stderr, user + system, user)


def warm(size):
    """Touches `size` bytes of memory and frees them. A virtual machine whose host takes back the
    guest's free memory (free page reporting) charges the next use of each page a fault in the
    host: on the machine of the figures in README.md, 2.4 ms per MB, 2.6 of the 6.5 seconds of a
    default run at 1 GB after 15 idle seconds. Touched just before, the pages a run takes are the
    host's already."""
    chunk = 64 << 20
    zeros = bytes(chunk)
    with mmap.mmap(-1, size) as memory:
        for start in range(0, size - chunk + 1, chunk):
            memory[start:start + chunk] = zeros


def available_memory():
    """Bytes the system could give a process now without swapping, less a margin; None where
    unknown."""
    try:
        for line in pathlib.Path("/proc/meminfo").read_text().splitlines():
            if line.startswith("MemAvailable:"):
                return int(line.split()[1]) * 1024 - (1 << 30)
    except OSError:
        pass
    return None


def warm_size(size, written_per_byte):
    """Memory to touch before a run over a CSV of `size` bytes whose outputs come to
    `written_per_byte` times its size: four times the CSV for the process, and the outputs, whose
    new pages in the page cache are fresh memory too (`-s` writes six times the CSV)."""
    wanted = int(size * (4 + written_per_byte))
    limit = available_memory()
    return wanted if limit is None else max(0, min(wanted, limit))


def timed(command, before=lambda: None, settle=False, warm_bytes=0):
    """One run of `command`, `before` called ahead of it (untimed). With `settle`, the run first
    waits (untimed) until the system has written out what earlier runs left in memory: a run that
    writes gigabytes otherwise pays for the write-back of the run before it. With `warm_bytes`,
    that much memory is touched first (untimed): see warm()."""
    before()
    if settle:
        os.sync()
    if warm_bytes:
        warm(warm_bytes)
    return run(command)


def summary(runs):
    """(best seconds, median seconds, best CPU seconds, lowest peak KB, best user CPU seconds) of
    runs made by `run`."""
    return (min(r[0] for r in runs), statistics.median(r[0] for r in runs),
            min(r[4] for r in runs), min(r[1] for r in runs), min(r[5] for r in runs))


def written_bytes(folder):
    """The bytes of every file under `folder`: what a run wrote there."""
    return sum(p.stat().st_size for p in folder.rglob("*") if p.is_file())


def emptied(folder):
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)


def catalog(work, name, generator_args):
    path = work / name
    if not path.exists():
        subprocess.run([sys.executable, str(HERE / "gen_catalog.py"), str(path)] + generator_args,
                       check=True)
    return path


def count_messages(path):
    return int(pathlib.Path(str(path) + ".messages").read_text())


def outcome(tool, path, extra, folder):
    """Runs `tool` into `folder`, its standard output and error into files there (`--check` can
    print gigabytes); returns (status, [file names])."""
    shutil.rmtree(folder, ignore_errors=True)
    (folder / "out").mkdir(parents=True)
    with open(folder / "stdout", "wb") as out, open(folder / "stderr", "wb") as err:
        process = subprocess.run([tool, str(path), "-o", "out"] + extra, cwd=folder,
                                 stdout=out, stderr=err)
    files = sorted(p.relative_to(folder) for p in folder.rglob("*") if p.is_file())
    return process.returncode, files


def compare(tool, reference, path, extra, work, written):
    """Runs both builds and compares what they print, their status and every file. `written` is
    what one run writes: without room for two such runs, a failed write would show as a
    difference, so the comparison is not made and the line says why."""
    free = shutil.disk_usage(work).free
    if free < 2 * written + (256 << 20):
        return f"not compared: {free / 1e9:.1f} GB free, both runs write {2 * written / 1e9:.1f} GB"
    ours_folder, theirs_folder = work / "a" / "run", work / "b" / "run"
    ours = outcome(tool, path, extra, ours_folder)
    theirs = outcome(reference, path, extra, theirs_folder)
    # File by file, a few kilobytes at a time: the outputs can be larger than memory.
    same = ours == theirs and all(
        filecmp.cmp(ours_folder / name, theirs_folder / name, shallow=False) for name in ours[1])
    shutil.rmtree(work / "a", ignore_errors=True)
    shutil.rmtree(work / "b", ignore_errors=True)
    return "identical" if same else "DIFFERS from the reference"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", default=str(HERE.parent / "build/dev/zorb-quillex"))
    parser.add_argument("--sizes", default="1,20,80", help="catalog sizes in MB, comma-separated")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--modes", default=",".join(DEFAULT_MODES),
                        help="comma-separated, of: " + ", ".join(name for name, _ in MODES))
    parser.add_argument("--work", default="/tmp/quillex-bench")
    parser.add_argument("--reference", help="another build of the tool whose outputs, console "
                        "lines and exit status must be byte-identical on every catalog and mode")
    parser.add_argument("--short", default="5000x5000",
                        help="LANGUAGESxROWS of the many-languages catalog, or 'none'")
    parser.add_argument("--fresh", action="store_true",
                        help="empty the output folder before every run, as a clean build does; "
                        "by default each run replaces the outputs of the run before, as a "
                        "rebuild does")
    parser.add_argument("--settle", action="store_true",
                        help="before each run, wait (untimed) until the write-back of the runs "
                        "before is done")
    parser.add_argument("--warm", action="store_true",
                        help="before each run, touch (untimed) four times the CSV's size of "
                        "memory and as much as the mode writes, so that a virtual machine's host "
                        "does not charge the run for memory it took back")
    parser.add_argument("--short-modes", default="default,-s,replace",
                        help="modes run on the many-languages catalog (indexed modes write a "
                        "character list file per language)")
    args = parser.parse_args()

    work = pathlib.Path(args.work)
    work.mkdir(parents=True, exist_ok=True)
    shim = work / "alloc_count.so"
    subprocess.run(["cc", "-O2", "-shared", "-fPIC", "-o", str(shim),
                    str(HERE / "alloc_count.c")], check=True)
    (work / "replace.txt").write_text(REPLACE_TEXT)
    out = work / "out"

    catalogs = [(f"{size} MB", catalog(work, f"catalog_{size}mb.csv", ["--size-mb", size]), None)
                for size in args.sizes.split(",") if size]
    if args.short != "none":
        languages, rows = args.short.split("x")
        catalogs.append((f"{languages}x{rows}",
                         catalog(work, f"short_{languages}x{rows}.csv",
                                 ["--short", "--languages", languages, "--rows", rows]),
                         args.short_modes.split(",")))

    # A mode counts as available when it succeeds on the smallest catalog.
    probe = catalogs[0][1]
    selected = [(name, extra) for name, extra in MODES if name in args.modes.split(",")]
    available = []
    for name, extra in selected:
        shutil.rmtree(out, ignore_errors=True)
        out.mkdir()
        command = [args.tool, str(probe), "-o", str(out)] + \
            [str(work / "replace.txt") if a == "@REPLACE@" else a for a in extra]
        _, _, status, stderr, _, _ = run(command)
        if succeeded(name, status):
            available.append((name, command[4:], written_bytes(out) / probe.stat().st_size))
        else:
            reason = stderr.strip().splitlines()[-1] if stderr.strip() else f"status {status}"
            print(f"mode {name}: skipped, the tool cannot run it yet ({reason})")

    print(f"{'catalog':>12} {'mode':>15} {'seconds':>8} {'median':>7} {'cpu s':>6} {'MB/s':>7} "
          f"{'msg/s':>10} {'peak MB':>8} {'xCSV':>5} {'x cp':>6} {'x def':>6} {'us/msg':>7} "
          f"{'usr/msg':>7} {'allocs':>9}")
    for label, path, only in catalogs:
        size = path.stat().st_size
        messages = count_messages(path)
        copy = work / "copy.csv"
        # Each mode writes into a folder of its own, so that its runs replace its own outputs, as
        # a rebuild does.
        modes = []
        for index, (name, extra, written_per_byte) in enumerate(available):
            if only is None or name in only:
                folder = out / str(index)
                emptied(folder)
                modes.append((name, extra, folder, [args.tool, str(path), "-o", str(folder)] + extra,
                              warm_size(size, written_per_byte) if args.warm else 0))
        # Round by round, cp and then every mode once: a slow spell of the machine falls on all.
        runs = {name: [] for name in ["cp"] + [mode[0] for mode in modes]}
        for _ in range(args.repeat):
            runs["cp"].append(timed(
                ["cp", str(path), str(copy)],
                (lambda: copy.unlink(missing_ok=True)) if args.fresh else (lambda: None),
                args.settle, warm_size(size, 1) if args.warm else 0))
            for name, _, folder, command, warm_bytes in modes:
                runs[name].append(timed(
                    command, (lambda: emptied(folder)) if args.fresh else (lambda: None),
                    args.settle, warm_bytes))
        copy.unlink()
        cp_seconds = summary(runs["cp"])[0]
        print(f"{label:>12} {'cp':>15} {cp_seconds:8.3f} {summary(runs['cp'])[1]:7.3f} {'':>6} "
              f"{size / 1e6 / cp_seconds:7.0f}")
        default_median = summary(runs["default"])[1] if "default" in runs else None
        for name, extra, folder, command, _ in modes:
            seconds, median, cpu, peak, user = summary(runs[name])
            status, stderr = runs[name][-1][2], runs[name][-1][3]
            env = dict(os.environ, LD_PRELOAD=str(shim),
                       QUILLEX_ALLOC_LOG=str(work / "allocs.txt"))
            subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           env=env)
            allocations = (work / "allocs.txt").read_text().strip()
            note = "" if succeeded(name, status) else f"  status {status}: {stderr.strip()[:60]}"
            if args.reference:
                written = written_bytes(folder)
                shutil.rmtree(folder, ignore_errors=True)  # room for the two runs compared
                note += "  " + compare(args.tool, args.reference, path, extra, work, written)
            versus_default = f"{median / default_median:6.2f}" if default_median else f"{'':>6}"
            print(f"{label:>12} {name:>15} {seconds:8.3f} {median:7.3f} {cpu:6.3f} "
                  f"{size / 1e6 / seconds:7.1f} {messages / seconds:10.0f} {peak / 1024:8.1f} "
                  f"{peak * 1024 / size:5.1f} {seconds / cp_seconds:6.1f} {versus_default} "
                  f"{seconds / messages * 1e6:7.2f} {user / messages * 1e6:7.2f} {allocations:>9}{note}")
        shutil.rmtree(out, ignore_errors=True)  # every mode's outputs: room for the next catalog


if __name__ == "__main__":
    main()
