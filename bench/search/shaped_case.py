#!/usr/bin/python3
"""Writes NAME.fasta and NAME.nwk: SEQUENCES related sequences of about LENGTH
bases on a random tree whose polytomies have the ORDERS given (such as
12,10,9,4x7,3x10), every other inner node binary: the shape a consensus tree
has when its weak branches are collapsed, rather than random collapses.

usage: shaped_case.py NAME SEQUENCES LENGTH ORDERS [SEED]
"""
import random
import sys

sys.path.insert(0, __file__.rsplit("/", 1)[0])
from collapsed_case import write_files  # noqa: E402
from search_bench import Node, polytomies, sequences_along  # noqa: E402


def parse_orders(text):
    orders = []
    for part in text.split(","):
        order, _, times = part.partition("x")
        orders += [int(order)] * int(times or 1)
    return orders


def write_case(name, count, length, orders, seed):
    """Writes NAME.fasta and NAME.nwk; returns the tree's root."""
    rng = random.Random(seed)
    # Each inner node of k children takes k - 1 from the count of nodes to join
    binary = count - 1 - sum(k - 1 for k in orders)
    if binary < 0 or min(orders) < 3:
        raise SystemExit("polytomies of orders 3 or more, at most what %d sequences hold" % count)
    joins = orders + [2] * binary
    rng.shuffle(joins)
    nodes = [Node("s%03d" % i) for i in range(count)]
    for k in joins:
        parent = Node()
        parent.children = [nodes.pop(rng.randrange(len(nodes))) for _ in range(k)]
        nodes.append(parent)
    root = nodes[0]
    sequences = {}
    sequences_along(rng, root, "".join(rng.choice("acgt") for _ in range(length)), sequences)
    write_files(name, root, sequences)
    return root


def main():
    name, count, length, orders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), parse_orders(sys.argv[4])
    root = write_case(name, count, length, orders, int(sys.argv[5]) if len(sys.argv) > 5 else 1)
    found = polytomies(root)
    print("%s: %d sequences, %d polytomies of orders %d-%d" % (name, count, len(found), min(found), max(found)))


if __name__ == "__main__":
    main()
