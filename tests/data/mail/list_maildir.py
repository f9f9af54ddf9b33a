#!/usr/bin/python3
"""Prints what Python's mailbox module sees in a Maildir++ store: one line per message,
FOLDER<TAB>SUBJECT<TAB>SHA1 of the bytes, sorted ("" is the inbox)."""
import hashlib
import mailbox
import sys

store = mailbox.Maildir(sys.argv[1], create=False)
rows = []
for name in [""] + store.list_folders():
    box = store if not name else store.get_folder(name)
    for key in box.keys():
        data = box.get_bytes(key)
        msg = box.get_message(key)
        rows.append("%s\t%s\t%s" % (name, msg["subject"], hashlib.sha1(data).hexdigest()))
for row in sorted(rows):
    print(row)
