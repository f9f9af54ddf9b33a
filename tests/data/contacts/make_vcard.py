#!/usr/bin/python3
"""Writes one vCard 3.0 with Python's vobject: make_vcard.py FILE FN REV EMAIL... [--extras]

--extras adds properties a duplicate finder knows nothing of (X-*, PHOTO, ADR, grouped
X-ABLabel), so that a test can see they survive a merge byte for byte."""
import base64
import sys
import vobject

args = sys.argv[1:]
extras = "--extras" in args
args = [a for a in args if a != "--extras"]
path, fn, rev, emails = args[0], args[1], args[2], args[3:]
card = vobject.vCard()
card.add("fn").value = fn
parts = fn.split(" ", 1)
card.add("n").value = vobject.vcard.Name(family=parts[-1], given=parts[0] if len(parts) > 1 else "")
for e in emails:
    card.add("email").value = e
card.add("rev").value = rev
card.add("uid").value = "uid-" + path.rsplit("/", 1)[-1]
if extras:
    card.add("x-pelcrow-note").value = "kept; unknown, ünïcode"
    photo = card.add("photo")
    photo.value = bytes(range(256)) * 2
    photo.encoding_param = "b"
    photo.type_param = "PNG"
    card.add("adr").value = vobject.vcard.Address(street="Hauptstraße 1", city="Köln", code="50667", country="Germany")
    label = card.add("x-ablabel")
    label.group = "item1"
    label.value = "_$!<Other>!$_"
with open(path, "w", newline="") as f:
    f.write(card.serialize())
