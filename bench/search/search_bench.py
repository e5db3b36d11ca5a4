#!/usr/bin/python3
"""The heuristic search against the exhaustive one on generated cases.

Each case: related sequences evolved along a random binary tree, then inner
branches collapsed at random until the polytomies (2 to 6, of orders 3 to 7)
give between MIN and MAX candidate trees. Both searches run on the same files
under both scorings; the table gives how often the heuristic finds the
exhaustive optimum (or better), its worst gap, the share of candidates it
evaluates and both times.

usage: search_bench.py VORBEX WORKDIR [CASES] [SEED]
"""
import math
import os
import random
import re
import statistics
import subprocess
import sys
import time

MIN_CANDIDATES, MAX_CANDIDATES = 243, 12000


def evolve(rng, parent, substitution, indel):
    out = []
    for base in parent:
        if rng.random() < indel:
            continue  # deletion
        out.append(rng.choice("acgt") if rng.random() < substitution else base)
        if rng.random() < indel:
            out.append("".join(rng.choice("acgt") for _ in range(rng.randint(1, 4))))
    return "".join(out)


class Node:
    def __init__(self, name=None):
        self.name, self.children = name, []


def random_tree(rng, leaves):
    nodes = [Node("s%02d" % i) for i in range(leaves)]
    while len(nodes) > 1:
        a = nodes.pop(rng.randrange(len(nodes)))
        b = nodes.pop(rng.randrange(len(nodes)))
        parent = Node()
        parent.children = [a, b]
        nodes.append(parent)
    return nodes[0]


def sequences_along(rng, node, sequence, out, rate=1.0):
    """Evolves SEQUENCE down to every leaf below NODE; RATE scales the changes per branch."""
    if not node.children:
        out[node.name] = sequence
        return
    for child in node.children:
        sequences_along(rng, child, evolve(rng, sequence, 0.06 * rate, 0.004 * rate), out, rate)


def inner_nodes(node, out):
    if node.children:
        out.append(node)
        for child in node.children:
            inner_nodes(child, out)
    return out


def double_factorial_count(order):
    return math.prod(range(1, 2 * order - 2, 2))


def candidates(root):
    return math.prod(double_factorial_count(len(n.children)) for n in inner_nodes(root, []) if len(n.children) > 2)


def polytomies(root):
    return [len(n.children) for n in inner_nodes(root, []) if len(n.children) > 2]


def collapse_some(rng, root):
    """Collapses random inner branches while the candidates stay in range."""
    for _ in range(200):
        inner = [n for n in inner_nodes(root, []) for c in n.children if c.children]
        if not inner:
            break
        parent = rng.choice(inner)
        child = rng.choice([c for c in parent.children if c.children])
        slot = parent.children.index(child)
        before = parent.children[:]
        parent.children[slot:slot + 1] = child.children
        orders = polytomies(root)
        if max(orders, default=0) > 7 or len(orders) > 6 or candidates(root) > MAX_CANDIDATES:
            parent.children = before
            continue
        if candidates(root) >= MIN_CANDIDATES and len(orders) >= 2 and rng.random() < 0.3:
            break
    return root


def newick(node):
    if not node.children:
        return node.name
    return "(" + ",".join(newick(c) for c in node.children) + ")"


def best_line(stdout):
    m = re.search(r"Best multiple alignment #(\d+): Length=(\d+) ConsIndex=([\d.]+)(?: SP=([-\d.]+))?", stdout)
    return int(m.group(2)), float(m.group(3)), float(m.group(4)) if m.group(4) else None


def run(vorbex, base, search, scoring):
    # Names relative to the case's folder: a name that starts with "/" would be an option
    folder, name = os.path.split(base)
    start = time.monotonic()
    result = subprocess.run([os.path.abspath(vorbex), name + ".fasta", name + ".nwk",
                             "%s_%s_%s.log" % (name, search, scoring), "--search=" + search, "--scoring=" + scoring,
                             "--threads=1"], capture_output=True, text=True, cwd=folder)
    seconds = time.monotonic() - start
    evaluated = re.search(r"Heuristic search: (\d+) of", result.stdout)
    return best_line(result.stdout), int(evaluated.group(1)) if evaluated else None, seconds


def main():
    vorbex, workdir = sys.argv[1], sys.argv[2]
    cases = int(sys.argv[3]) if len(sys.argv) > 3 else 20
    rng = random.Random(int(sys.argv[4]) if len(sys.argv) > 4 else 1)
    os.makedirs(workdir, exist_ok=True)
    rows = {"classic": [], "sp": []}
    for case in range(cases):
        root = random_tree(rng, rng.randint(16, 28))
        sequences = {}
        sequences_along(rng, root, "".join(rng.choice("acgt") for _ in range(rng.randint(200, 320))), sequences)
        collapse_some(rng, root)
        count = candidates(root)
        base = os.path.join(workdir, "H%02d" % case)
        with open(base + ".fasta", "w") as f:
            for name, seq in sequences.items():
                f.write(">%s\n%s\n" % (name, seq))
        with open(base + ".nwk", "w") as f:
            f.write(newick(root) + ";\n")
        for scoring in rows:
            exhaustive, _, t_ex = run(vorbex, base, "exhaustive", scoring)
            heuristic, evaluated, t_h = run(vorbex, base, "heuristic", scoring)
            evaluated = evaluated if evaluated is not None else count
            if scoring == "sp":
                gap = (exhaustive[2] - heuristic[2]) / abs(exhaustive[2])
                found = heuristic[2] >= exhaustive[2]
            else:
                gap = heuristic[0] - exhaustive[0]
                found = (heuristic[0], -heuristic[1]) <= (exhaustive[0], -exhaustive[1])
            rows[scoring].append((found, gap, evaluated / count, t_ex, t_h))
            print("H%02d %-7s polytomies %-16s %6d candidates: exhaustive %s heuristic %s, %d evaluated (%.1f%%), "
                  "%.2f s against %.2f s" % (case, scoring, polytomies(root), count, exhaustive, heuristic, evaluated,
                                             100.0 * evaluated / count, t_ex, t_h), flush=True)
    print()
    print("| scoring | cases | optimum found | worst gap | candidates evaluated (median, max) | time (median) |")
    print("|---|---|---|---|---|---|")
    for scoring, r in rows.items():
        found = sum(1 for x in r if x[0])
        worst = max(x[1] for x in r)
        worst_text = "%.3f%% of SP" % (100 * worst) if scoring == "sp" else "%d columns" % worst
        print("| %s | %d | %d (%.0f%%) | %s | %.1f%%, %.1f%% | %.2f s against %.2f s |" % (
            scoring, len(r), found, 100.0 * found / len(r), worst_text, 100 * statistics.median(x[2] for x in r),
            100 * max(x[2] for x in r), statistics.median(x[4] for x in r), statistics.median(x[3] for x in r)))


if __name__ == "__main__":
    main()
