#!/usr/bin/env python3
"""Writes karuto.html, the page in one file that works opened from disk.

    python3 web/make_single_page.py SITE_DIR OUTPUT

SITE_DIR holds the built site (index.html, style.css, app.js, worker.js,
karuto.js, karuto.wasm, favicon.ico). A page opened from disk may load no
file beside it and start no worker from a file, so everything goes inline:
the style, the page's script, and the worker's script (the converter's
loader, the WebAssembly as base64 and worker.js) as text from which app.js
starts the worker through a blob: URL. Its Content-Security-Policy lets the
page run its inline scripts and compile WebAssembly and allows no request.
"""

import base64
import re
import sys
from pathlib import Path

POLICY = ("default-src 'none'; script-src 'unsafe-inline' 'wasm-unsafe-eval' blob:; "
          "worker-src blob:; style-src 'unsafe-inline'; img-src data:; "
          "base-uri 'none'; form-action 'none'")


def inline(text, tag):
    # The text ends its element at the first closing tag of that name.
    if re.search(f"</{tag}", text, re.IGNORECASE):
        sys.exit(f"make_single_page.py: the inlined text contains </{tag}")
    return text


def replace_once(page, old, new):
    if page.count(old) != 1:
        sys.exit(f"make_single_page.py: index.html has not exactly one {old!r}")
    return page.replace(old, new)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    site = Path(sys.argv[1])
    read = lambda name: (site / name).read_text(encoding="utf-8")
    page = read("index.html")
    page = re.sub(r'(<meta http-equiv="Content-Security-Policy" content=")[^"]*(")',
                  lambda m: m.group(1) + POLICY + m.group(2), page, count=1)
    if POLICY not in page:
        sys.exit("make_single_page.py: index.html has no Content-Security-Policy")
    icon = base64.b64encode((site / "favicon.ico").read_bytes()).decode("ascii")
    page = replace_once(page, '<link rel="icon" href="favicon.ico">',
                        f'<link rel="icon" href="data:image/x-icon;base64,{icon}">')
    page = replace_once(page, '<link rel="stylesheet" href="style.css">',
                        "<style>\n" + inline(read("style.css"), "style") + "</style>")
    page = replace_once(page, '<script src="app.js" defer></script>\n', "")
    wasm = base64.b64encode((site / "karuto.wasm").read_bytes()).decode("ascii")
    worker = (read("karuto.js") + f'\nvar karutoWasmBase64 = "{wasm}";\n' + read("worker.js"))
    scripts = ('<script type="text/plain" id="worker-source">\n' + inline(worker, "script") + "</script>\n"
               "<script>\n" + inline(read("app.js"), "script") + "</script>\n</body>")
    page = replace_once(page, "</body>", scripts)
    Path(sys.argv[2]).write_text(page, encoding="utf-8", newline="\n")


main()
