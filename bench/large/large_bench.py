#!/usr/bin/python3
"""Many sequences: the tool against Kalign and MAFFT's default on large trees.

Cases (generated once into WORKDIR, as bench/search/collapsed_case.py writes
them): T10K, 10,000 related sequences of about 1,500 bases on their random
binary tree; T100K, 100,000 of about 250; C10K, the 10,000 with 30% of their
inner branches collapsed, run with --search=heuristic --scoring=sp. Their
branches change a third as much as the search cases' do, as a leaf of these
deep trees lies three times as many branches from the root: sequences of one
family, not strangers (Kalign takes 15-16 s on 2,000 x 1,000 of them on one
processor). Each run gets both processors; time and peak memory come from
/usr/bin/time. A peer that passes PEER_SECONDS is stopped and reported as such.

usage: large_bench.py VORBEX WORKDIR [CASE,...] [PEER_SECONDS]
"""
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "search"))
import collapsed_case  # noqa: E402

CASES = {
    "T10K": (10000, 1500, 0.0, ["--max-length=4000"]),
    "T100K": (100000, 250, 0.0, ["--max-length=4000"]),
    # Its alignment under --scoring=sp is some 14,000 columns
    "C10K": (10000, 1500, 0.3, ["--max-length=40000", "--search=heuristic", "--scoring=sp"]),
}
RATE = 1.0 / 3.0  # the changes per branch, against the search cases
PEERS = ("T10K", "T100K")  # the peers take no tree: the binary cases only


def write_case(workdir, name, count, length, share):
    base = os.path.join(workdir, name)
    if not os.path.exists(base + ".nwk"):
        sys.setrecursionlimit(100000)
        collapsed_case.write_case(base, count, length, share, 5, RATE)
    return base


def timed(command, cwd, timeout):
    """Wall seconds, peak MiB and whether it finished."""
    stats = os.path.join(cwd, "time.txt")
    start = time.monotonic()
    # A session of its own, so that a stopped peer's children stop with it
    process = subprocess.Popen(["/usr/bin/time", "-o", stats, "-f", "%M"] + command, cwd=cwd,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        finished = process.wait(timeout=timeout) == 0
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        return time.monotonic() - start, None, False
    seconds = time.monotonic() - start
    with open(stats) as f:
        peak = int(f.read().split()[-1]) / 1024.0
    return seconds, peak, finished


def columns(path):
    try:
        with open(path) as f:
            f.readline()
            length = 0
            for line in f:
                if line.startswith(">"):
                    return length
                length += len(line.strip())
            return length
    except OSError:
        return None


def main():
    vorbex, workdir = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    names = sys.argv[3].split(",") if len(sys.argv) > 3 else list(CASES)
    peer_seconds = float(sys.argv[4]) if len(sys.argv) > 4 else 1800
    os.makedirs(workdir, exist_ok=True)
    rows = []
    for name in names:
        count, length, share, options = CASES[name]
        base = write_case(workdir, name, count, length, share)
        fasta, tree = os.path.basename(base) + ".fasta", os.path.basename(base) + ".nwk"
        runs = [("vorbex", [vorbex, "-O0", "--max-nodes=%d" % (2 * count),
                            "--alignment=%s.vorbex.fa" % name] + options + [fasta, tree, name + ".log"], None)]
        if name in PEERS:
            runs.append(("Kalign", ["kalign", "-n", "2", "--type", "dna", "-i", fasta, "-o", name + ".kalign.fa"],
                         peer_seconds))
            runs.append(("MAFFT (FFT-NS-2)", ["sh", "-c", "mafft --thread 2 --quiet %s > %s.mafft.fa" % (fasta, name)],
                         peer_seconds))
        for tool, command, timeout in runs:
            seconds, peak, finished = timed(command, workdir, timeout)
            out = {"vorbex": ".vorbex.fa", "Kalign": ".kalign.fa"}.get(tool, ".mafft.fa")
            width = columns(os.path.join(workdir, name + out)) if finished else None
            rows.append((name, tool, seconds, peak, finished, width))
            print("%s %s: %.1f s, %s MiB, %s, %s columns" % (name, tool, seconds, "%.0f" % peak if peak else "-",
                                                             "finished" if finished else "stopped", width), flush=True)
    print()
    print("| case | tool | time | peak memory | columns |")
    print("|---|---|---|---|---|")
    for name, tool, seconds, peak, finished, width in rows:
        when = "%.1f s" % seconds if finished else "stopped after %.0f s" % seconds
        print("| %s | %s | %s | %s | %s |" % (name, tool, when, "%.0f MiB" % peak if peak else "-", width or "-"))


if __name__ == "__main__":
    main()
