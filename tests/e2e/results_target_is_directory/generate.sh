# The tree target is a folder
mkdir out.d
