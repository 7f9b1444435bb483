#!/usr/bin/python3
# Prints what a screen reader learns of a program's windows through AT-SPI: one line an
# accessible, "depth<TAB>role<TAB>name<TAB>description", windows first, depth first.
import sys

import pyatspi


def walk(node, depth):
    print(f"{depth}\t{node.getRoleName()}\t{node.name}\t{node.description}", flush=False)
    for child in node:
        if child is not None:
            walk(child, depth + 1)


for application in pyatspi.Registry.getDesktop(0):
    if application is not None and application.name == sys.argv[1]:
        for window in application:
            walk(window, 0)
