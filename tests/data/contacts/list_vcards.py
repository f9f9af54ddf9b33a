#!/usr/bin/python3
"""FILE<TAB>FN<TAB>EMAIL,EMAIL lines for the .vcf files of a folder, as Python's vobject reads
them (readComponents, every card of each file)."""
import os
import sys
import vobject

folder = sys.argv[1]
for name in sorted(os.listdir(folder)):
    if not name.endswith(".vcf") or name.startswith("."):
        continue
    with open(os.path.join(folder, name), encoding="utf-8") as f:
        for card in vobject.readComponents(f.read()):
            emails = [e.value for e in card.contents.get("email", [])]
            print("%s\t%s\t%s" % (name, card.fn.value, ",".join(emails)))
