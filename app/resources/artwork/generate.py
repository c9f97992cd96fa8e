#!/usr/bin/env python3
"""Writes the program's SVG artwork from one palette and three glyphs. Run after a change:
python3 generate.py (it writes next to itself and into packaging/)."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
PACKAGING = os.path.join(HERE, "..", "..", "..", "packaging")

# accent, deep accent, light tint per job
JOBS = {
    "split": ("#14b8a6", "#0f766e", "#ccfbf1"),
    "merge": ("#6366f1", "#4338ca", "#e0e7ff"),
    "rename": ("#f59e0b", "#b45309", "#fef3c7"),
}
NAVY, NAVY2, SLATE = "#1e2a4a", "#31477a", "#64748b"
# The plain pictures' forms for dark palettes ("_dark"): a dark tile, the bright accent.
DARK_TILE, DARK_EDGE, DARK_SLATE = "#262c3a", "#465066", "#aab6cc"


def glyph(job, stroke, fill, opacity=1):
    """The job's pictogram in a 40 by 40 box."""
    common = f'fill="none" stroke="{stroke}" stroke-width="2.4" stroke-linecap="round" stroke-linejoin="round"'
    solid = f'fill="{fill}" fill-opacity="{opacity}" stroke="{stroke}" stroke-width="2.4" stroke-linejoin="round"'
    if job == "split":
        return f'''<path {solid} d="M9 18V6a3 3 0 0 1 3-3h13l6 6v9z"/>
<path {solid} d="M9 25h22v9a3 3 0 0 1-3 3H12a3 3 0 0 1-3-3z"/>
<path {common} d="M13 10h8M13 14h12M13 30h13"/>
<path {common} stroke-dasharray="2.6 3.2" d="M3 21.5h34"/>'''
    if job == "merge":
        return f'''<rect {solid} x="3" y="4" width="12" height="11" rx="2.5"/>
<rect {solid} x="3" y="25" width="12" height="11" rx="2.5"/>
<path {common} d="M15 9.5c5 0 5 10.5 9 10.5M15 30.5c5 0 5-10.5 9-10.5"/>
<path {common} d="M21 17l3 3-3 3"/>
<path {solid} d="M26 8h7l4 4v20a2 2 0 0 1-2 2h-9a2 2 0 0 1-2-2V10a2 2 0 0 1 2-2z"/>'''
    return f'''<rect {solid} x="3" y="11" width="27" height="18" rx="3.5"/>
<path {common} d="M8 20h10"/>
<path {common} d="M22.5 15v10"/>
<path {solid} d="M26 36l1.2-5.4 9.3-9.3 4.2 4.2-9.3 9.3z"/>'''


def write(name, body, w, h, folder=HERE):
    with open(os.path.join(folder, name + ".svg"), "w") as out:
        out.write(f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" viewBox="0 0 {w} {h}">\n{body}\n</svg>\n')


def placed(job, stroke, fill, x, y, scale, opacity=1):
    return f'<g transform="translate({x:.2f} {y:.2f}) scale({scale})">\n{glyph(job, stroke, fill, opacity)}\n</g>'


for job, (accent, deep, tint) in JOBS.items():
    # Main window job pictures, 105 by 89.
    write(f"job_{job}", f'''<rect x="2.5" y="2.5" width="100" height="84" rx="14" fill="#f6f8fc" stroke="#dfe5f0"/>
{placed(job, deep, tint, 52.5 - 26, 44.5 - 26, 1.3)}''', 105, 89)
    write(f"job_{job}_dark", f'''<rect x="2.5" y="2.5" width="100" height="84" rx="14" fill="{DARK_TILE}" stroke="{DARK_EDGE}"/>
{placed(job, accent, accent, 52.5 - 26, 44.5 - 26, 1.3, 0.22)}''', 105, 89)
    write(f"job_{job}_over", f'''<defs><linearGradient id="g" x1="0" y1="0" x2="1" y2="1">
<stop offset="0" stop-color="{accent}"/><stop offset="1" stop-color="{deep}"/></linearGradient></defs>
<rect x="2.5" y="4" width="100" height="84" rx="14" fill="{deep}" opacity="0.25"/>
<rect x="2.5" y="2.5" width="100" height="84" rx="14" fill="url(#g)"/>
{placed(job, "#ffffff", "#ffffff", 52.5 - 26, 44.5 - 26, 1.3, 0.2)}''', 105, 89)
    # Navigation bar pictures, 49 by 41: plain, under the pointer, current page.
    nav = lambda stroke, fill, opacity=1: placed(job, stroke, fill, 24.5 - 14.4, 20.5 - 14.4, 0.72, opacity)
    write(f"nav_{job}", f'''<rect x="1.5" y="1.5" width="46" height="38" rx="9" fill="#ffffff" stroke="#cfd7e6"/>
{nav(SLATE, "#eef2f8")}''', 49, 41)
    write(f"nav_{job}_dark", f'''<rect x="1.5" y="1.5" width="46" height="38" rx="9" fill="{DARK_TILE}" stroke="{DARK_EDGE}"/>
{nav(DARK_SLATE, DARK_SLATE, 0.18)}''', 49, 41)
    write(f"nav_{job}_over", f'''<rect x="1.5" y="1.5" width="46" height="38" rx="9" fill="{tint}" stroke="{accent}" stroke-width="1.5"/>
{nav(deep, "#ffffff")}''', 49, 41)
    write(f"nav_{job}_current", f'''<rect x="1" y="1" width="47" height="39" rx="9" fill="{deep}"/>
<rect x="3" y="3" width="43" height="35" rx="7.5" fill="{accent}"/>
{nav("#ffffff", "#ffffff", 0.25)}''', 49, 41)

write("title_strip", f'''<defs><linearGradient id="g" x1="0" y1="0" x2="1" y2="0">
<stop offset="0" stop-color="{NAVY}"/><stop offset="1" stop-color="{NAVY2}"/></linearGradient></defs>
<rect width="480" height="32" fill="url(#g)"/>
<rect y="30" width="160" height="2" fill="{JOBS['split'][0]}"/>
<rect x="160" y="30" width="160" height="2" fill="{JOBS['merge'][0]}"/>
<rect x="320" y="30" width="160" height="2" fill="{JOBS['rename'][0]}"/>''', 480, 32)
# The strip is stretched to every window's width.
with open(os.path.join(HERE, "title_strip.svg")) as f:
    text = f.read().replace('viewBox="0 0 480 32"', 'viewBox="0 0 480 32" preserveAspectRatio="none"')
with open(os.path.join(HERE, "title_strip.svg"), "w") as f:
    f.write(text)

cross = 'd="M6.5 6.5l7 7M13.5 6.5l-7 7" fill="none" stroke-width="1.8" stroke-linecap="round"'
dash = 'd="M5.5 10.5h9" fill="none" stroke-width="1.8" stroke-linecap="round"'
write("close", f'<path stroke="#c7d2ea" {cross}/>', 20, 20)
write("close_over", f'<circle cx="10" cy="10" r="9.5" fill="#ef4444"/><path stroke="#ffffff" {cross}/>', 20, 20)
write("minimise", f'<path stroke="#c7d2ea" {dash}/>', 20, 20)
write("minimise_over", f'<circle cx="10" cy="10" r="9.5" fill="#ffffff" fill-opacity="0.2"/><path stroke="#ffffff" {dash}/>', 20, 20)

icon = f'''<defs><linearGradient id="g" x1="0" y1="0" x2="1" y2="1">
<stop offset="0" stop-color="{JOBS['split'][0]}"/><stop offset="1" stop-color="{JOBS['merge'][0]}"/></linearGradient></defs>
<rect x="2" y="2" width="60" height="60" rx="15" fill="url(#g)"/>
<rect x="2.75" y="2.75" width="58.5" height="58.5" rx="14.25" fill="none" stroke="#ffffff" stroke-opacity="0.35" stroke-width="1.5"/>
{placed("split", "#ffffff", "#ffffff", 32 - 23, 32 - 23, 1.15, 0.25)}'''
write("app_icon", icon, 64, 64)
write("tarnwick-brindle", icon, 64, 64, PACKAGING)

piece = f'''<path d="M14 4h26l12 12v42a3 3 0 0 1-3 3H14a3 3 0 0 1-3-3V7a3 3 0 0 1 3-3z" fill="#ffffff" stroke="#94a3b8" stroke-width="2"/>
<path d="M40 4v9a3 3 0 0 0 3 3h9" fill="#e2e8f0" stroke="#94a3b8" stroke-width="2" stroke-linejoin="round"/>
<path d="M5 37h54" stroke="{JOBS['merge'][1]}" stroke-width="2.4" stroke-dasharray="3 3.5" stroke-linecap="round"/>
<rect x="18" y="42" width="28" height="12" rx="3" fill="{JOBS['merge'][0]}"/>
<path d="M18 18h16M18 24h24M18 30h20" stroke="#94a3b8" stroke-width="2.4" stroke-linecap="round"/>'''
write("application-x-tarnwick-brindle-piece", piece, 64, 64, PACKAGING)
