#!/usr/bin/python3
"""Writes Thunderbird-style Local Folders with Python's mailbox module: one mbox file per folder,
subfolders in "NAME.sbd/".

Usage: make_mbox.py ROOT MANIFEST
MANIFEST lines: FOLDER<TAB>FILE  (FOLDER "Inbox", "Work", "Work.sbd/Sub"; FILE holds the
message's bytes). Each message gets the From_ line "From ann@example.org <its date>".
"""
import email.utils
import mailbox
import os
import sys
import time

root, manifest = sys.argv[1], sys.argv[2]
with open(manifest, encoding="utf-8") as lines:
    for line in lines:
        folder, path = line.rstrip("\n").split("\t")
        target = os.path.join(root, folder)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        box = mailbox.mbox(target, create=True)
        box.lock()
        with open(path, "rb") as f:
            msg = mailbox.mboxMessage(f.read())
        when = email.utils.parsedate_tz(msg["date"] or "")
        stamp = email.utils.mktime_tz(when) if when else 0
        msg.set_from("ann@example.org", time.gmtime(stamp))
        box.add(msg)
        box.flush()
        box.unlock()
        box.close()
