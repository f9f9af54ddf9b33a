#!/usr/bin/python3
"""Prints what Python's mailbox module sees in Local Folders: one line per message,
FOLDER<TAB>SUBJECT<TAB>SHA1 of its bytes with the From_ line, sorted."""
import hashlib
import mailbox
import os
import sys

root = sys.argv[1]
rows = []
for dirpath, dirnames, filenames in os.walk(root):
    for name in filenames:
        if name.startswith(".") or name.endswith((".msf", ".lock", ".tmp")):
            continue
        path = os.path.join(dirpath, name)
        box = mailbox.mbox(path, create=False)
        for key in box.keys():
            data = box.get_bytes(key, from_=True)
            rows.append("%s\t%s\t%s" % (os.path.relpath(path, root), box.get_message(key)["subject"],
                                        hashlib.sha1(data).hexdigest()))
for row in sorted(rows):
    print(row)
