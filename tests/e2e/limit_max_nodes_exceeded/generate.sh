# The inputs of limit_max_nodes_raised: a tree of 4199 nodes
source "$(dirname "$0")/../limit_max_nodes_raised/generate.sh"
