#!/usr/bin/python3
"""How close the tool's alignments come to the truth, beside MAFFT on the same tree.

    accuracy.py VORBEX WORK_DIR [FAMILY ...]

Curated references too: RNA seed alignments that Debian's infernal package
ships, whose sequences both tools align on one guide tree (UPGMA of 4-mer
distances between the unaligned sequences) and whose curated columns stand for
the truth.

Each family is simulated by INDELible along a random rooted tree (substitutions
and indels, fixed seeds), so its true alignment is known. The tool aligns the
unaligned sequences on the true tree (names and branch lengths, read with
--newick=standard), and MAFFT does the same given that tree (--retree 1
--treein). Both are scored against the true alignment: SP, the share of the
true alignment's residue pairs that an alignment puts in one column, and TC,
the share of its columns that an alignment reproduces whole.
"""
import os
import re
import subprocess
import sys

# name: taxa, root length, tree depth (substitutions per site, root to tips),
# indel rate (per substitution), INDELible seed
FAMILIES = {
    "F16": (16, 400, 0.15, 0.05, 101),
    "F32": (32, 800, 0.25, 0.06, 202),
    "F64": (64, 300, 0.3, 0.08, 303),
    "F100": (100, 1500, 0.2, 0.04, 404),
    # Held out while the first costs of --scoring=sp were fitted; the later grids saw them
    "H24": (24, 1000, 0.35, 0.05, 505),
    "H48": (48, 600, 0.2, 0.07, 606),
    # Added after the costs were chosen, and never used to choose them
    "X20": (20, 500, 0.25, 0.06, 707),
    "X28": (28, 700, 0.3, 0.05, 808),
    "X36": (36, 400, 0.2, 0.07, 909),
    "X40": (40, 900, 0.25, 0.05, 111),
    "X44": (44, 500, 0.35, 0.06, 222),
    "X52": (52, 600, 0.2, 0.05, 333),
    "X56": (56, 400, 0.3, 0.08, 444),
    "X60": (60, 800, 0.25, 0.04, 555),
    "X72": (72, 500, 0.2, 0.06, 666),
    "X80": (80, 700, 0.3, 0.05, 777),
}

# name: curated seed alignment (Stockholm) of Debian's infernal package
CURATED_DIR = "/usr/share/doc/infernal/examples/testsuite"
CURATED = {
    "Plant_SRP": "Plant_SRP.sto",
    "SRP_euk": "srp-euk.sto",
    "snR75": "snR75.sto",
    "Vault": "Vault.sto",
    "RNaseP": "rnaseP-eubact.sto",
}

# --refine's rounds in the refined runs
REFINE_ROUNDS = 2

# The search's table: shares of the true tree's inner branches collapsed, shortest first (1: the star tree),
# and random resolutions of each collapsed tree to compare with
SEARCH_SHARES = (0.3, 0.6, 1.0)
RANDOM_RESOLUTIONS = 5
VORBEX = None
run_family_result = {}

CONTROL = """[TYPE] NUCLEOTIDE 1
[SETTINGS]
  [randomseed] {seed}
  [output] FASTA
[MODEL] m1
  [submodel] HKY 2.0
  [indelmodel] POW 1.7 40
  [indelrate] {indel}
[TREE] t1 [rooted] {taxa} 2.4 0.1 0.2539 0.1
  [treedepth] {depth}
[PARTITIONS] p1 [t1 m1 {length}]
[EVOLVE] p1 1 family
"""


def read_fasta(path):
    records, name = {}, None
    order = []
    for line in open(path):
        line = line.strip()
        if line.startswith(">"):
            name = line[1:].split()[0]
            order.append(name)
            records[name] = []
        elif name is not None:
            records[name].append(line)
    return order, {n: "".join(parts).upper().replace("U", "T") for n, parts in records.items()}


def write_fasta(path, order, rows):
    with open(path, "w") as out:
        for name in order:
            out.write(">%s\n%s\n" % (name, rows[name]))


def parse_newick(text):
    text = text.strip().rstrip(";")
    pos = 0

    def node():
        nonlocal pos
        children = []
        name = ""
        if text[pos] == "(":
            pos += 1
            children.append(node())
            while text[pos] == ",":
                pos += 1
                children.append(node())
            pos += 1
        else:
            name = re.match(r"[^:,()]+", text[pos:]).group(0)
            pos += len(name)
        length = 1.0
        if pos < len(text) and text[pos] == ":":
            match = re.match(r":([0-9.eE+-]+)", text[pos:])
            length = float(match.group(1))
            pos += len(match.group(0))
        return name, children, length

    return node()


def newick(tree):
    name, children, length = tree
    inner = "(" + ",".join(newick(c) for c in children) + ")" if children else name
    return "%s:%.6f" % (inner, length)


def mafft_tree(tree, index):
    """MAFFT's guide tree: one merge a line, each group named by its first member."""
    lines = []

    def walk(node):
        _, children, _ = node
        if not children:
            return index[node[0]]
        a, b = walk(children[0]), walk(children[1])
        la, lb = children[0][2], children[1][2]
        if a > b:
            a, b, la, lb = b, a, lb, la
        lines.append("%5d %5d %10.5f %10.5f" % (a, b, la, lb))
        return a

    walk(tree)
    return "\n".join(lines) + "\n"


def renamed(tree):
    name, children, length = tree
    return ("s" + name if not children else ""), [renamed(c) for c in children], length


def residue_columns(rows):
    """For each sequence, the column of each of its residues."""
    columns = {}
    for name, row in rows.items():
        columns[name] = [c for c, ch in enumerate(row) if ch != "-"]
    return columns


def sp_tc(reference, test):
    """Lower-case residues of the reference are unaligned (the inserts of a curated
    seed): they count for the residues' numbering but in no column."""
    ref_cols, test_cols = residue_columns(reference), residue_columns(test)
    length = len(next(iter(reference.values())))
    members = [[] for _ in range(length)]
    for name, cols in ref_cols.items():
        for residue, column in enumerate(cols):
            if reference[name][column].isupper():
                members[column].append((name, residue))
    test_size = {}
    for name, cols in test_cols.items():
        for column in cols:
            test_size[column] = test_size.get(column, 0) + 1
    pairs = kept = columns = whole = 0
    for column in members:
        if len(column) < 2:
            continue
        groups = {}
        for name, residue in column:
            target = test_cols[name][residue]
            groups[target] = groups.get(target, 0) + 1
        pairs += len(column) * (len(column) - 1) // 2
        kept += sum(g * (g - 1) // 2 for g in groups.values())
        columns += 1
        if len(groups) == 1 and test_size[next(iter(groups))] == len(column):
            whole += 1
    return kept / pairs, whole / columns


def read_stockholm(path):
    """Rows in file order, gaps as '-', U as T; the case kept (lower case: unaligned)."""
    order, rows = [], {}
    for line in open(path):
        if line.startswith("#") or line.startswith("//") or not line.strip():
            continue
        name, text = line.split()
        if name not in rows:
            order.append(name)
            rows[name] = ""
        rows[name] += text
    return order, {n: re.sub(r"[.~]", "-", r).replace("U", "T").replace("u", "t") for n, r in rows.items()}


def kmer_upgma(order, sequences, k=4):
    """A binary guide tree by UPGMA over the k-mer distances of the sequences."""
    profiles = {}
    for name in order:
        s = sequences[name]
        counts = {}
        for i in range(len(s) - k + 1):
            counts[s[i:i + k]] = counts.get(s[i:i + k], 0) + 1
        profiles[name] = counts

    def distance(a, b):
        shared = sum(min(c, b.get(w, 0)) for w, c in a.items())
        shortest = min(sum(a.values()), sum(b.values())) or 1
        return 1.0 - shared / shortest

    clusters = {i: ((name, [], 0.0), 1, 0.0) for i, name in enumerate(order)}
    d = {}
    for i in range(len(order)):
        for j in range(i + 1, len(order)):
            d[(i, j)] = distance(profiles[order[i]], profiles[order[j]])
    following = len(order)
    while len(clusters) > 1:
        (i, j), value = min(d.items(), key=lambda item: (item[1], item[0]))
        (ti, ni, hi), (tj, nj, hj) = clusters.pop(i), clusters.pop(j)
        height = value / 2
        merged = ("", [(ti[0], ti[1], max(height - hi, 0.0)), (tj[0], tj[1], max(height - hj, 0.0))], 0.0)
        for other in clusters:
            a, b = d.pop(tuple(sorted((i, other)))), d.pop(tuple(sorted((j, other))))
            d[(other, following)] = (a * ni + b * nj) / (ni + nj)
        del d[(i, j)]
        clusters[following] = (merged, ni + nj, height)
        following += 1
    return next(iter(clusters.values()))[0]


def align_and_score(vorbex, folder, truth, order):
    """The tool under each scoring and MAFFT, on seqs.fasta, tree.nwk and tree.mafft in folder."""
    results = {}
    for run, options in (("classic", ["--scoring=classic"]), ("sp", ["--scoring=sp"]),
                         ("refined", ["--scoring=sp", "--refine=%d" % REFINE_ROUNDS])):
        subprocess.run([vorbex, *options, "--newick=standard", "--max-length=16000",
                        "--alignment=%s.fasta" % run, "seqs.fasta", "tree.nwk", run + ".log"],
                       cwd=folder, check=True, stdout=subprocess.DEVNULL)
        results[run] = sp_tc(truth, read_fasta(os.path.join(folder, run + ".fasta"))[1])
    with open(os.path.join(folder, "mafft.fasta"), "w") as out:
        subprocess.run(["mafft", "--retree", "1", "--treein", "tree.mafft", "seqs.fasta"], cwd=folder,
                       check=True, stdout=out, stderr=subprocess.DEVNULL)
    results["mafft"] = sp_tc(truth, read_fasta(os.path.join(folder, "mafft.fasta"))[1])
    return results


def run_curated(vorbex, work, name, file):
    folder = os.path.join(work, name)
    os.makedirs(folder, exist_ok=True)
    order, reference = read_stockholm(os.path.join(CURATED_DIR, file))
    # Plain names for both tools; letters outside the nucleotide codes as n
    names = {n: "r%d" % (k + 1) for k, n in enumerate(order)}
    truth = {names[n]: r for n, r in reference.items()}
    order = [names[n] for n in order]
    unaligned = {n: re.sub(r"[^ACGTRYKMSWBDHVN]", "N", r.replace("-", "").upper()) for n, r in truth.items()}
    write_fasta(os.path.join(folder, "seqs.fasta"), order, {n: s.lower() for n, s in unaligned.items()})
    tree = kmer_upgma(order, unaligned)
    with open(os.path.join(folder, "tree.nwk"), "w") as out:
        out.write(newick(tree) + ";\n")
    with open(os.path.join(folder, "tree.mafft"), "w") as out:
        out.write(mafft_tree(tree, {n: i + 1 for i, n in enumerate(order)}))
    lengths = [len(s) for s in unaligned.values()]
    return len(order), min(lengths), max(lengths), align_and_score(vorbex, folder, truth, order)


def run_family(vorbex, work, name, spec):
    taxa, length, depth, indel, seed = spec
    folder = os.path.join(work, name)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "control.txt"), "w") as out:
        out.write(CONTROL.format(seed=seed, indel=indel, taxa=taxa, depth=depth, length=length))
    subprocess.run(["indelible"], cwd=folder, check=True, stdout=subprocess.DEVNULL)
    tree_line = open(os.path.join(folder, "trees.txt")).read().strip().splitlines()[-1]
    tree = renamed(parse_newick(tree_line.split("\t")[-1]))
    order, unaligned = read_fasta(os.path.join(folder, "family.fas"))
    order = ["s" + n for n in order]
    unaligned = {"s" + n: s.replace("-", "") for n, s in unaligned.items()}
    _, truth = read_fasta(os.path.join(folder, "family_TRUE.fas"))
    truth = {"s" + n: s for n, s in truth.items()}
    write_fasta(os.path.join(folder, "seqs.fasta"), order, {n: s.lower() for n, s in unaligned.items()})
    with open(os.path.join(folder, "tree.nwk"), "w") as out:
        out.write(newick(tree) + ";\n")
    with open(os.path.join(folder, "tree.mafft"), "w") as out:
        out.write(mafft_tree(tree, {n: i + 1 for i, n in enumerate(order)}))

    return align_and_score(vorbex, folder, truth, order)


def collapsed(tree, count):
    """The tree with its `count` shortest inner branches (not the root's) taken out:
    their children hang from the node above, which becomes a polytomy."""
    inner = []

    def collect(node, is_root):
        _, children, length = node
        if children and not is_root:
            inner.append((length, id(node)))
        for child in children:
            collect(child, False)

    collect(tree, True)
    chosen = {key for _, key in sorted(inner)[:count]}

    def rebuild(node):
        name, children, length = node
        kept = []
        for child in children:
            if id(child) in chosen:
                kept.extend(rebuild(child)[1])
            else:
                kept.append(rebuild(child))
        return name, kept, length

    return rebuild(tree)


def candidate_rows(report):
    """Every candidate's aligned rows and score from a report, in candidate order."""
    candidates, rows, name = [], {}, None
    for line in open(report):
        line = line.rstrip("\n")
        if line.startswith(">"):
            name = line[1:].split()[0]
        elif name is not None:
            rows[name] = line.upper().replace("U", "T")
            name = None
        elif re.match(r"^#\d+: MA_length=", line):
            candidates.append((rows, float(re.search(r" SP=(\S+)", line).group(1))))
            rows = {}
    return candidates


def correlation(xs, ys):
    mx, my = sum(xs) / len(xs), sum(ys) / len(ys)
    sxy = sum((x - mx) * (y - my) for x, y in zip(xs, ys))
    sxx = sum((x - mx) ** 2 for x in xs)
    syy = sum((y - my) ** 2 for y in ys)
    return sxy / (sxx * syy) ** 0.5 if sxx > 0 and syy > 0 else 0.0


def run_polytomies(vorbex, work, name, collapse):
    """The search over a collapsed true tree: the chosen candidate against the average one."""
    folder = os.path.join(work, name)
    tree = parse_newick(open(os.path.join(folder, "tree.nwk")).read())
    with open(os.path.join(folder, "collapsed.nwk"), "w") as out:
        out.write(newick(collapsed(tree, collapse)) + ";\n")
    _, truth = read_fasta(os.path.join(folder, "family_TRUE.fas"))
    truth = {"s" + n: s for n, s in truth.items()}
    subprocess.run([vorbex, "--scoring=sp", "--newick=standard", "--max-length=16000", "-O40",
                    "--alignment=search.fasta", "seqs.fasta", "collapsed.nwk", "search.log"], cwd=folder,
                   check=True, stdout=subprocess.DEVNULL)
    candidates = candidate_rows(os.path.join(folder, "search.log"))
    scores = [sp_tc(truth, rows) for rows, _ in candidates]
    chosen = sp_tc(truth, read_fasta(os.path.join(folder, "search.fasta"))[1])
    mean = tuple(sum(s[k] for s in scores) / len(scores) for k in range(2))
    # How closely the tool's score follows the candidates' accuracy
    follows = correlation([score for _, score in candidates], [s[0] for s in scores])
    return len(scores), chosen, mean, follows


def inner_count(tree, is_root=True):
    _, children, _ = tree
    return sum(inner_count(c, False) for c in children) + (1 if children and not is_root else 0)


def random_resolution(tree, rng):
    """The tree with each polytomy resolved by joining two random groups at a time."""
    name, children, length = tree
    groups = [random_resolution(c, rng) for c in children]
    while len(groups) > 2:
        a = groups.pop(rng.randrange(len(groups)))
        b = groups.pop(rng.randrange(len(groups)))
        groups.append(("", [a, b], 1.0))
    return name, groups, length


def aligned_sp_tc(folder, truth, options, files, alignment):
    """The tool's best alignment of a run, scored; None when the run fails (a tree it refuses)."""
    done = subprocess.run([VORBEX, "--scoring=sp", "--max-length=16000", "-O0", "--alignment=" + alignment,
                           *options, *files], cwd=folder, stdout=subprocess.DEVNULL)
    if done.returncode != 0:
        return None
    return sp_tc(truth, read_fasta(os.path.join(folder, alignment))[1])


def run_search(work, name):
    """The heuristic search on the true tree collapsed at 30%, 60% and 100% (the star tree), against the
    true tree, the mean of five random resolutions of the same collapsed tree, and aligners given no tree."""
    import random
    folder = os.path.join(work, name)
    tree = parse_newick(open(os.path.join(folder, "tree.nwk")).read())
    _, truth = read_fasta(os.path.join(folder, "family_TRUE.fas"))
    truth = {"s" + n: s for n, s in truth.items()}
    rows = []
    for share in SEARCH_SHARES:
        count = round(share * inner_count(tree))
        shape = collapsed(tree, count)
        tag = "%d" % round(100 * share)
        if share >= 1.0:
            found = aligned_sp_tc(folder, truth, ["--star-tree"], ["seqs.fasta", "star.log"], "star.fasta")
        else:
            with open(os.path.join(folder, "collapsed%s.nwk" % tag), "w") as out:
                out.write(newick(shape) + ";\n")
            found = aligned_sp_tc(folder, truth, ["--search=heuristic", "--newick=standard"],
                                  ["seqs.fasta", "collapsed%s.nwk" % tag, "search%s.log" % tag],
                                  "search%s.fasta" % tag)
        rng = random.Random(len(name) * 1000 + count)
        randoms = []
        for k in range(RANDOM_RESOLUTIONS):
            with open(os.path.join(folder, "random%s_%d.nwk" % (tag, k)), "w") as out:
                out.write(newick(random_resolution(shape, rng)) + ";\n")
            randoms.append(aligned_sp_tc(folder, truth, ["--newick=standard"],
                                         ["seqs.fasta", "random%s_%d.nwk" % (tag, k), "random.log"],
                                         "random.fasta"))
        mean = tuple(sum(r[i] for r in randoms) / len(randoms) for i in range(2))
        rows.append((tag, found, mean))
    others = {}
    for tool, command in (("mafft --auto", ["mafft", "--auto", "seqs.fasta"]),
                          ("mafft", ["mafft", "seqs.fasta"]),
                          ("kalign", ["kalign", "-f", "fasta", "seqs.fasta"])):
        with open(os.path.join(folder, "other.fasta"), "w") as out:
            subprocess.run(command, cwd=folder, check=True, stdout=out, stderr=subprocess.DEVNULL)
        others[tool] = sp_tc(truth, read_fasta(os.path.join(folder, "other.fasta"))[1])
    return rows, others


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    global VORBEX
    vorbex, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    VORBEX = vorbex
    names = sys.argv[3:] or list(FAMILIES) + list(CURATED)
    curated = [n for n in names if n in CURATED]
    names = [n for n in names if n in FAMILIES]
    if curated:
        print("curated     seqs  lengths    classic SP / TC   --scoring=sp SP / TC   with --refine=%d SP / TC   "
              "MAFFT SP / TC (same tree)" % REFINE_ROUNDS)
    for name in curated:
        count, shortest, longest, result = run_curated(vorbex, work, name, CURATED[name])
        print("%-10s %5d %4d-%-4d   %.3f / %.3f      %.3f / %.3f          %.3f / %.3f              %.3f / %.3f" %
              (name, count, shortest, longest, *result["classic"], *result["sp"], *result["refined"],
               *result["mafft"]))
        sys.stdout.flush()
    if not names:
        return
    print("family   taxa  length   classic SP / TC   --scoring=sp SP / TC   with --refine=%d SP / TC   "
          "MAFFT SP / TC (same tree)" % REFINE_ROUNDS)
    for name in names:
        spec = FAMILIES[name]
        result = run_family(vorbex, work, name, spec)
        run_family_result[name] = result["sp"]
        print("%-7s %5d %7d    %.3f / %.3f      %.3f / %.3f          %.3f / %.3f              %.3f / %.3f" %
              (name, spec[0], spec[1], *result["classic"], *result["sp"], *result["refined"], *result["mafft"]))
        sys.stdout.flush()
    print("\nThe true tree with its shortest inner branches collapsed, --scoring=sp: the heuristic search (the star")
    print("tree at 100%%) against the true tree and the mean of %d random resolutions; aligners given no tree" %
          RANDOM_RESOLUTIONS)
    print("family  collapsed  search SP / TC   true tree SP / TC   random mean SP / TC")
    for name in names:
        rows, others = run_search(work, name)
        true_tree = run_family_result[name]
        for tag, found, mean in rows:
            shown = "%.3f / %.3f" % found if found else "  refused  "
            print("%-7s %6s%%    %s      %.3f / %.3f       %.3f / %.3f" % (name, tag, shown, *true_tree, *mean))
        print("%-7s %s" % (name, "   ".join("%s %.3f / %.3f" % (tool, *r) for tool, r in others.items())))
        sys.stdout.flush()
    print("\nThe true tree's 3 shortest inner branches taken out, --scoring=sp choosing among the resolutions")
    print("family   candidates   chosen SP / TC   mean of all SP / TC   score against SP (correlation)")
    for name in names:
        count, chosen, mean, follows = run_polytomies(vorbex, work, name, 3)
        print("%-7s %10d    %.3f / %.3f     %.3f / %.3f         %+.2f" % (name, count, *chosen, *mean, follows))
        sys.stdout.flush()


if __name__ == "__main__":
    main()
