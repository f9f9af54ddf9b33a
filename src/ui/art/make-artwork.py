#!/usr/bin/env python3
"""Writes the program's artwork (SVG, drawn here) beside this script; art.qrc lists the files.

Run it again after changing a drawing; the SVG files are committed.
"""
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
INK = "#1e293b"
ACCENT = "#0f766e"
ACCENT_LIGHT = "#14b8a6"
BLUE = "#2563eb"
WARM = "#f59e0b"
PAPER = "#f8fafc"


def write(name, w, h, body):
    with open(os.path.join(HERE, name + ".svg"), "w", encoding="utf-8") as f:
        f.write(f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" viewBox="0 0 {w} {h}">\n')
        f.write(body.strip() + "\n</svg>\n")


def background(name, w, h, band):
    write(name, w, h, f"""
<defs>
  <linearGradient id="g" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#ffffff"/><stop offset="1" stop-color="#e2e8f0"/>
  </linearGradient>
  <linearGradient id="b" x1="0" y1="0" x2="1" y2="0">
    <stop offset="0" stop-color="{ACCENT}"/><stop offset="1" stop-color="{ACCENT_LIGHT}"/>
  </linearGradient>
</defs>
<rect x="0.5" y="0.5" width="{w - 1}" height="{h - 1}" rx="10" fill="url(#g)" stroke="#94a3b8"/>
<path d="M0.5 10.5 a10 10 0 0 1 10 -10 h{w - 21} a10 10 0 0 1 10 10 v{band - 10} h-{w - 1} z" fill="url(#b)"/>
<circle cx="{w - 60}" cy="{band + 40}" r="90" fill="{ACCENT_LIGHT}" opacity="0.07"/>
<circle cx="40" cy="{h - 20}" r="70" fill="{BLUE}" opacity="0.05"/>
""")


def close_button(name):
    write(name, 24, 24, f"""
<circle cx="12" cy="12" r="11" fill="#ffffff" opacity="0.9" stroke="{INK}" stroke-width="1.2"/>
<path d="M7.5 7.5 L16.5 16.5 M16.5 7.5 L7.5 16.5" stroke="{INK}" stroke-width="2.2" stroke-linecap="round"/>
""")


def back_button(name):
    write(name, 24, 24, f"""
<circle cx="12" cy="12" r="11" fill="#ffffff" opacity="0.9" stroke="{INK}" stroke-width="1.2"/>
<path d="M14.5 6.5 L8.5 12 L14.5 17.5" fill="none" stroke="{INK}" stroke-width="2.2" stroke-linecap="round"
      stroke-linejoin="round"/>
""")


def preview_button(name, color, pupil):
    write(name, 24, 24, f"""
<path d="M2 12 C5.5 6 18.5 6 22 12 C18.5 18 5.5 18 2 12 Z" fill="#ffffff" stroke="{color}" stroke-width="1.6"
      stroke-linejoin="round"/>
<circle cx="12" cy="12" r="3.6" fill="{pupil}"/>
""")


def tile(name, color, icon, w=150, h=56):
    write(name, w, h, f"""
<defs><linearGradient id="t" x1="0" y1="0" x2="0" y2="1">
  <stop offset="0" stop-color="{color}" stop-opacity="0.92"/><stop offset="1" stop-color="{color}"/>
</linearGradient></defs>
<rect x="1" y="1" width="{w - 2}" height="{h - 2}" rx="9" fill="url(#t)" stroke="{INK}" stroke-opacity="0.25"/>
<g transform="translate({w - 44} {(h - 32) / 2})" fill="none" stroke="#ffffff" stroke-width="2.2"
   stroke-linecap="round" stroke-linejoin="round">{icon}</g>
""")


def pie(n):
    # Picture n shows the duplicates' share as its band's upper bound; 0 is an empty result.
    share = 0 if n == 0 else min((180 + 20 * (n - 1)) / 3.6, 100) / 100
    r, c = 54, 60
    body = f'<circle cx="{c}" cy="{c}" r="{r}" fill="#cbd5e1" stroke="#ffffff" stroke-width="3"/>\n'
    if share > 0:
        a = 2 * math.pi * share
        x, y = c + r * math.sin(a), c - r * math.cos(a)
        large = 1 if share > 0.5 else 0
        body += (f'<path d="M{c} {c} L{c} {c - r} A{r} {r} 0 {large} 1 {x:.2f} {y:.2f} Z" fill="{WARM}" '
                 f'stroke="#ffffff" stroke-width="3" stroke-linejoin="round"/>\n')
    body += f'<circle cx="{c}" cy="{c}" r="20" fill="#ffffff"/>'
    write(f"ScanResultPieChart_{n}", 120, 120, body)


ICONS = {
    "office": '<path d="M6 2 h14 l6 6 v22 h-20 z M20 2 v6 h6 M10 15 h12 M10 20 h12 M10 25 h8"/>',
    "video": '<rect x="2" y="7" width="20" height="18" rx="3"/><path d="M22 13 l8 -5 v16 l-8 -5"/>',
    "music": '<path d="M11 24 V6 l16 -3 v18"/><circle cx="7" cy="24" r="4"/><circle cx="23" cy="21" r="4"/>',
    "photo": '<rect x="2" y="6" width="28" height="21" rx="3"/><circle cx="16" cy="16" r="5"/>'
             '<path d="M9 6 l3 -4 h8 l3 4"/>',
    "folder": '<path d="M2 8 h10 l3 3 h15 v16 h-28 z"/>',
    "folders": '<path d="M2 11 h9 l3 3 h13 v14 h-25 z M6 7 h9 l3 3 h12 v13"/>',
    "go": '<path d="M6 16 h20 M18 8 l8 8 l-8 8"/>',
    "wand": '<path d="M4 28 L20 12 M22 4 v5 M28 10 h-5 M26 6 l-3 3 M14 4 l1 3 M28 18 l-3 -1"/>',
    "start": '<circle cx="16" cy="16" r="13"/><path d="M13 10 l9 6 l-9 6 z"/>',
}

if __name__ == "__main__":
    background("ScanResultsBack", 520, 330, 64)
    background("AboutBack", 460, 300, 110)
    background("WizardBack", 720, 440, 70)
    close_button("CloseBtn")
    close_button("AboutBtn")
    back_button("BackBtn")
    preview_button("imgPreviewActive", ACCENT, ACCENT)
    preview_button("imgPreviewInactive", "#94a3b8", "#cbd5e1")
    for n in range(10):
        pie(n)
    tile("TileContinue", ACCENT, ICONS["go"], 170, 56)
    tile("TileAssistant", BLUE, ICONS["wand"], 170, 56)
    tile("TileStart", ACCENT, ICONS["start"], 180, 60)
    for key in ("office", "video", "music", "photo", "folder", "folders"):
        tile("Tile_" + key, ACCENT if key in ("office", "video", "music", "photo") else BLUE, ICONS[key], 150, 96)
    names = sorted(f[:-4] for f in os.listdir(HERE) if f.endswith(".svg"))
    with open(os.path.join(HERE, "..", "art.qrc"), "w", encoding="utf-8") as f:
        f.write('<!DOCTYPE RCC>\n<RCC version="1.0">\n<qresource prefix="/art">\n')
        for n in names:
            f.write(f'  <file alias="{n}.svg">art/{n}.svg</file>\n')
        f.write("</qresource>\n</RCC>\n")
