#!/usr/bin/python3
"""Writes NAME.fasta and NAME.nwk: SEQUENCES related sequences of about LENGTH
bases evolved along a random binary tree, with SHARE of its inner branches
collapsed at random (1: every sequence under the root).

usage: collapsed_case.py NAME SEQUENCES LENGTH SHARE [SEED]
"""
import random
import sys

sys.path.insert(0, __file__.rsplit("/", 1)[0])
from search_bench import inner_nodes, newick, polytomies, random_tree, sequences_along  # noqa: E402


def write_case(name, count, length, share, seed, rate=1.0):
    """Writes NAME.fasta and NAME.nwk; returns the tree's root."""
    rng = random.Random(seed)
    root = random_tree(rng, count)
    sequences = {}
    sequences_along(rng, root, "".join(rng.choice("acgt") for _ in range(length)), sequences, rate)
    edges = [(p, c) for p in inner_nodes(root, []) for c in p.children if c.children]
    for parent, child in rng.sample(edges, round(share * len(edges))):
        # A collapsed child's children hang from the parent, where it stood
        slot = parent.children.index(child)
        parent.children[slot:slot + 1] = child.children
    write_files(name, root, sequences)
    return root


def write_files(name, root, sequences):
    """NAME.fasta of the sequences by leaf name, NAME.nwk of the tree."""
    with open(name + ".fasta", "w") as f:
        for leaf, seq in sequences.items():
            f.write(">%s\n%s\n" % (leaf, seq))
    with open(name + ".nwk", "w") as f:
        f.write(newick(root) + ";\n")


def main():
    name, count, length, share = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4])
    root = write_case(name, count, length, share, int(sys.argv[5]) if len(sys.argv) > 5 else 1)
    orders = polytomies(root)
    print("%s: %d sequences, %d polytomies of orders %d-%d" % (name, count, len(orders), min(orders, default=0),
                                                               max(orders, default=0)))


if __name__ == "__main__":
    main()
