#!/usr/bin/python3
"""Reads the result files of real runs back with parsers written elsewhere.

    read_back.py VORBEX EXAMPLES_DIR

Each run aligns a bundled example under -O8, so that the report holds every
candidate's aligned sequences, and writes the alignment in one format plus
the best tree and the candidate table.  Biopython and EMBOSS seqret must read
the alignment, and what they read must match the input sequences and the
report's best block; the tree must be NEWICK that Biopython reads and that
vorbex takes back as a guide tree, giving the same alignment again.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

try:
    from Bio import AlignIO, Phylo, SeqIO
except ImportError:
    sys.exit("FAIL: Biopython is missing (Debian package python3-biopython)")
if shutil.which("seqret") is None:
    sys.exit("FAIL: EMBOSS seqret is missing (Debian package emboss)")

# data set, --alignment-format, Biopython format, EMBOSS format
RUNS = [
    # EMBOSS's "fasta" reader never ends on headers holding "|" (it does so on
    # the input file too); "pearson" is the plain reader.
    ("microbotryum", "fasta", "fasta", "pearson"),
    ("microbotryum", "clustal", "clustal", "clustal"),
    # EMBOSS reads PHYLIP names of at most 10 characters, and microbotryum has
    # names of 20: its relaxed PHYLIP goes to Biopython only.  The betaglobin
    # names are 9 characters at most, so the padded name column is 10 wide.
    ("microbotryum", "phylip", "phylip-relaxed", None),
    ("betaglobin", "phylip", "phylip-relaxed", "phylip"),
    ("microbotryum", "stockholm", "stockholm", "stockholm"),
]

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def vorbex(binary, folder, *arguments):
    run = subprocess.run([binary, *arguments], cwd=folder, capture_output=True, text=True)
    return run.returncode, run.stdout


def read_report(path):
    """Aligned rows and summary of every candidate, by candidate number."""
    blocks, stats, rows = {}, {}, {}
    lines = open(path).read().splitlines()
    for i, line in enumerate(lines):
        if line.startswith(">"):
            rows[line[1:].lower()] = lines[i + 1]
        m = re.match(r"#(\d+): MA_length=(\d+) Conserv0=(\d+) Conserv1=(\d+) ConsIndex=(\S+)$", line)
        if m:
            number = int(m.group(1))
            blocks[number], rows = rows, {}
            stats[number] = m.groups()[1:]
    return blocks, stats


def sequence_name(header):
    """The name a non-FASTA format gives a record."""
    return header.split("|")[0].rstrip().replace(" ", "_")


def read_emboss(folder, fmt, path):
    out = os.path.join(folder, "emboss.fa")
    try:
        run = subprocess.run(["seqret", "-sequence", f"{fmt}::{path}", "-outseq", f"fasta::{out}", "-auto"],
                             capture_output=True, text=True, timeout=60)
    except subprocess.TimeoutExpired:
        return None
    if run.returncode != 0:
        return None
    records, name = {}, None
    for line in open(out).read().splitlines():
        if line.startswith(">"):
            name = line[1:].split()[0].split("|")[0]
            records[name] = ""
        else:
            records[name] += line.strip()
    return records


def check_run(binary, examples, data, fmt, bio_fmt, emboss_fmt):
    label = f"{data} {fmt}"
    folder = tempfile.mkdtemp(prefix="vorbex-read-back-")
    try:
        for ext in ("fasta", "nwk"):
            shutil.copy(os.path.join(examples, f"{data}.{ext}"), folder)
        status, stdout = vorbex(binary, folder, "-O8", f"{data}.fasta", f"{data}.nwk",
                                f"--alignment=best.{fmt}", f"--alignment-format={fmt}",
                                "--tree=best.nwk", "--candidates=candidates.tsv")
        if not check(status == 0, f"{label}: vorbex ended with status {status}"):
            return
        best = re.search(r"^Best multiple alignment #(\d+): Length=(\d+) ConsIndex=(\S+)$", stdout, re.M)
        tried = re.search(r"^Overall \d+ polytomic node\(s\), (\d+) trees to be tried$", stdout, re.M)
        number, tried = int(best.group(1)), int(tried.group(1))
        blocks, stats = read_report(os.path.join(folder, f"{data}.log"))
        check(sorted(blocks) == list(range(1, tried + 1)), f"{label}: report does not hold {tried} candidates")
        block = blocks[number]

        inputs = list(SeqIO.parse(os.path.join(folder, f"{data}.fasta"), "fasta"))
        names = [r.description if fmt == "fasta" else sequence_name(r.description) for r in inputs]
        ungapped = {n: str(r.seq) for n, r in zip(names, inputs)}

        def matches(reader, records, exact_case):
            """records: (name, gapped row) in file order."""
            check([n for n, _ in records] == names, f"{label}: {reader} reads other names or order")
            for name, row in records:
                if name not in ungapped:
                    continue
                short = name.split("|")[0]
                letters = row.replace("-", "")
                check(letters == ungapped[name] if exact_case else letters.upper() == ungapped[name].upper(),
                      f"{label}: {reader} row {short} is not the input sequence")
                key = name.split("|")[0].rstrip().replace("_", " ").lower()
                check(row.lower() == block.get(key, "").lower(),
                      f"{label}: {reader} row {short} is not the report's best alignment")

        path = os.path.join(folder, f"best.{fmt}")
        alignment = AlignIO.read(path, bio_fmt)
        bio_names = [r.description if fmt == "fasta" else r.id for r in alignment]
        matches("Biopython", [(n, str(r.seq)) for n, r in zip(bio_names, alignment)], True)
        check(alignment.get_alignment_length() == int(best.group(2)), f"{label}: alignment length")
        if fmt == "clustal":
            stars = alignment.column_annotations["clustal_consensus"]
            columns = [alignment[:, i] for i in range(alignment.get_alignment_length())]
            conserved = "".join("*" if "-" not in c and len(set(c.lower())) == 1 else " " for c in columns)
            check(stars == conserved, f"{label}: conservation line marks other columns")
        if emboss_fmt:
            records = read_emboss(folder, emboss_fmt, path)
            if check(records is not None, f"{label}: seqret cannot read it as {emboss_fmt}"):
                wanted = [n.split("|")[0] for n in names]
                check(list(records) == wanted, f"{label}: seqret reads other names or order")
                matches("seqret", [(n, records.get(w, "")) for n, w in zip(names, wanted)], False)

        tree = Phylo.read(os.path.join(folder, "best.nwk"), "newick")
        leaves = sorted(t.name.lower() for t in tree.get_terminals())
        check(leaves == sorted(r.description.split("|")[0].rstrip().lower() for r in inputs),
              f"{label}: tree leaves are not the sequence names")
        tree_text = open(os.path.join(folder, "best.nwk")).read()
        check(tree_text.endswith(";\n") and tree_text.count("\n") == 1, f"{label}: tree is not one line ending in ;")

        table = [line.split("\t") for line in open(os.path.join(folder, "candidates.tsv")).read().splitlines()]
        check(table[0] == ["candidate", "MA_length", "Conserv0", "Conserv1", "ConsIndex", "best", "tree"],
              f"{label}: candidate table header")
        table = table[1:]
        check([int(r[0]) for r in table] == list(range(1, tried + 1)), f"{label}: candidate table rows")
        check([tuple(r[1:5]) for r in table] == [stats[n] for n in sorted(stats)],
              f"{label}: candidate table disagrees with the report's summary lines")
        best_rows = [int(r[0]) for r in table if r[5] == "1"]
        check(best_rows == [number] and all(r[5] in ("0", "1") for r in table), f"{label}: best column {best_rows}")
        # Shortest first, then the larger ConsIndex, then the earlier candidate
        chosen = min(table, key=lambda r: (int(r[1]), -float(r[4]), int(r[0])))
        check(int(chosen[0]) == number, f"{label}: candidate {chosen[0]} should be the best")
        check(table[number - 1][6] + "\n" == tree_text, f"{label}: tree file is not the best row's tree")

        # The best tree, taken as the guide tree, gives the same alignment back
        status, _ = vorbex(binary, folder, f"{data}.fasta", "best.nwk", "again.log",
                           f"--alignment=again.{fmt}", f"--alignment-format={fmt}")
        check(status == 0, f"{label}: vorbex refuses its own tree (status {status})")
        check(status == 0 and open(path).read() == open(os.path.join(folder, f"again.{fmt}")).read(),
              f"{label}: the best tree as guide tree gives another alignment")
    finally:
        shutil.rmtree(folder)


def main():
    binary, examples = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    for run in RUNS:
        before = len(failures)
        try:
            check_run(binary, examples, *run)
        except Exception as error:  # a parser refusing the file, above all
            failures.append(f"{run[0]} {run[1]}: {type(error).__name__}: {error}")
        print(("FAIL " if len(failures) > before else "ok   ") + " ".join(run[:2]))
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
