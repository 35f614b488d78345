#!/usr/bin/env python3
"""Renders Vellumar's embedded pages in headless Chromium at the size of the dialog's page area and
checks their look: the title band and marker cell in the suite's colours, the page text on the light
blue panel that reaches the bottom, and a page that fits without scrolling.

    page_check.py PAGES_DIR ARTEFACT_DIR

The page area is 480 x 201 pixels. Screenshots stay in ARTEFACT_DIR.
"""
import html
import os
import re
import shutil
import subprocess
import sys
import tempfile

WIDTH, HEIGHT = 480, 201
PAGES = {
    "update_index.htm": "Tips on Updating Your Search Index",
    "update_complete.htm": "Your Search Index Update is Complete",
    "add.htm": "The Folder has been Added to Your Search Index",
}
BLUE, YELLOW, PANEL = (0, 76, 159), (248, 179, 0), (232, 239, 246)
# Reports layout facts through the title, which --dump-dom prints.
MEASURE = """<script>
var e = document.documentElement, b = document.body, s = getComputedStyle(b);
document.title = ["M", e.scrollHeight, e.clientHeight, e.scrollWidth, e.clientWidth, s.overflow,
                  s.marginTop, s.fontFamily.replace(/[|"]/g, ""), s.fontSize].join("|");
</script>"""


def chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    sys.exit("no Chromium found")


def run_chromium(profile, *args):
    cmd = [chromium(), "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync",
           "--hide-scrollbars", "--user-data-dir=" + profile, f"--window-size={WIDTH},{HEIGHT}", *args]
    return subprocess.run(cmd, capture_output=True, text=True, timeout=60)


def pixels(png):
    """The screenshot as rows of (r, g, b), through ImageMagick's plain PPM output."""
    out = subprocess.run(["convert", png, "-depth", "8", "-compress", "none", "ppm:-"],
                         capture_output=True, check=True).stdout.split()
    width, height = int(out[1]), int(out[2])
    values = list(map(int, out[4:]))
    rgb = [tuple(values[i:i + 3]) for i in range(0, len(values), 3)]
    return width, height, [rgb[r * width:(r + 1) * width] for r in range(height)]


def near(a, b, tolerance=6):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def check_source(name, title, text):
    problems = []
    for needle in (f"<title>{title}</title>", f'class="upleft">{title}<', 'href="style.css"',
                   'class="verylightblue" colspan="2"', 'cellpadding="3" cellspacing="3" border="0"'):
        if needle not in text:
            problems.append(f"missing {needle!r}")
    if not re.search(r'class="leftyellow"[^>]*>&nbsp;&nbsp;&nbsp;&nbsp;</td>', text):
        problems.append("marker cell is not four non-breaking spaces")
    for forbidden in ("<script", "<a ", "<a>", "javascript:"):
        if forbidden in text.lower():
            problems.append(f"holds {forbidden!r}")
    return problems


def check_page(pages, artefacts, work, name, title):
    problems = check_source(name, title, open(os.path.join(pages, name), encoding="cp1252").read())
    profile = tempfile.mkdtemp(dir=work)

    measured = os.path.join(work, "pages", "measure-" + name)
    with open(os.path.join(pages, name), encoding="cp1252") as src, open(measured, "w", encoding="cp1252") as dst:
        dst.write(src.read().replace("</body>", MEASURE + "</body>"))
    dom = run_chromium(profile, "--dump-dom", "file://" + measured).stdout
    match = re.search(r"<title>M\|([^<]*)</title>", dom)
    if not match:
        return problems + ["no layout report from Chromium"]
    scroll_h, client_h, scroll_w, client_w, overflow, margin, family, size = html.unescape(match.group(1)).split("|")
    if int(scroll_h) > int(client_h) or int(scroll_w) > int(client_w):
        problems.append(f"content {scroll_w}x{scroll_h} exceeds the page area {client_w}x{client_h}")
    if overflow != "hidden":
        problems.append(f"body overflow {overflow}: the page could scroll")
    if margin != "0px":
        problems.append(f"body margin {margin}")
    if "Arial" not in family or size != "12px":
        problems.append(f"body font {family} {size}, not Arial 12px (style sheet not applied?)")

    shot = os.path.join(artefacts, name.replace(".htm", ".png"))
    run_chromium(profile, "--screenshot=" + shot, "file://" + os.path.join(work, "pages", name))
    if not os.path.exists(shot):
        return problems + ["no screenshot"]
    width, height, rows = pixels(shot)
    if (width, height) != (WIDTH, HEIGHT):
        problems.append(f"screenshot {width}x{height}")
        return problems
    band = rows[10]
    if not near(band[6], YELLOW):
        problems.append(f"marker cell colour {band[6]}")
    if not near(band[WIDTH - 20], BLUE):
        problems.append(f"title band colour {band[WIDTH - 20]}")
    if not any(near(p, (255, 255, 255), 40) for row in rows[4:22] for p in row[30:WIDTH - 10]):
        problems.append("no white title text in the band")
    if not near(rows[HEIGHT - 6][WIDTH // 2], PANEL):
        problems.append(f"text panel does not reach the bottom: {rows[HEIGHT - 6][WIDTH // 2]}")
    dark = sum(1 for row in rows[30:HEIGHT - 10] for p in row[10:WIDTH - 10] if max(p) < 110)
    if dark < 300:
        problems.append(f"too little text on the panel ({dark} dark pixels)")
    return problems


def main():
    pages, artefacts = sys.argv[1], sys.argv[2]
    os.makedirs(artefacts, exist_ok=True)
    failed = False
    with tempfile.TemporaryDirectory() as work:
        # The pages link "style.css" relative to themselves, as the resource protocol resolves it.
        shutil.copytree(pages, os.path.join(work, "pages"))
        for name, title in PAGES.items():
            problems = check_page(pages, artefacts, work, name, title)
            print(f"{name}: {'ok' if not problems else '; '.join(problems)}")
            failed = failed or bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
