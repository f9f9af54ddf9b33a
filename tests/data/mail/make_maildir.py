#!/usr/bin/python3
"""Writes a Maildir++ store with Python's mailbox module, the way mail programs do.

Usage: make_maildir.py ROOT MANIFEST
MANIFEST lines: FOLDER<TAB>SUBDIR<TAB>FILE  (FOLDER "" is the inbox, "Work.Sub" a subfolder;
SUBDIR new or cur; FILE holds the message's bytes).
"""
import mailbox
import os
import sys

root, manifest = sys.argv[1], sys.argv[2]
os.makedirs(os.path.dirname(root), exist_ok=True)
store = mailbox.Maildir(root, create=True)
with open(manifest, encoding="utf-8") as lines:
    for line in lines:
        folder, subdir, path = line.rstrip("\n").split("\t")
        box = store
        if folder:
            box = store.get_folder(folder) if folder in store.list_folders() else store.add_folder(folder)
        with open(path, "rb") as f:
            msg = mailbox.MaildirMessage(f.read())
        msg.set_subdir(subdir)
        box.add(msg)
