#!/usr/bin/env python3
"""Assembles the web page: its files with the module, the icons, the service worker's list of
what it keeps, the words in Latvian from the program's one translation, the About window's texts
from its layout, and zimbrots.html, the whole page in one file that works from the disk."""
import argparse
import base64
import hashlib
import json
import pathlib
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

# What the service worker keeps, in the order it caches them; "./" is the page itself.
SERVED = ["index.html", "app.js", "convert_worker.js", "style.css", "zimbrots.wasm", "manifest.webmanifest",
          "icon.svg", "icon-192.png", "icon-512.png"]


def fail(message):
    sys.exit(f"make_page.py: {message}")


def page_words(script):
    """The texts app.js marks for translation, as lupdate reads them."""
    return re.findall(r'QT_TRANSLATE_NOOP\("\w+", "((?:[^"\\]|\\.)*)"\)', script)


def latvian_words(ts_path, wanted):
    """Each wanted text's finished Latvian translation, from any context of the translation."""
    found = {}
    for message in ET.parse(ts_path).getroot().iter("message"):
        source, translation = message.findtext("source"), message.find("translation")
        if translation is not None and translation.get("type") not in ("unfinished", "obsolete", "vanished"):
            found.setdefault(source, translation.text or "")
    texts = [json.loads(f'"{word}"') for word in wanted]
    missing = [text for text in texts if not found.get(text)]
    if missing:
        fail(f"{ts_path} has no finished Latvian for: " + "; ".join(missing))
    return {text: found[text] for text in texts}


def about_texts(ui_path):
    """The About window's texts, as its layout has them."""
    root = ET.parse(ui_path).getroot()
    texts = {"title": root.findtext("widget/property[@name='windowTitle']/string")}
    for widget in root.iter("widget"):
        for name in ("text", "plainText"):
            value = widget.findtext(f"property[@name='{name}']/string")
            if value is not None:
                texts[widget.get("name")] = value
    for name in ("Label1", "Label2", "Label3", "Label4", "Label5", "Label6", "Memo1", "BitBtn1"):
        if name not in texts:
            fail(f"{ui_path} has no text for {name}")
    return texts


def sha256(data):
    return "'sha256-" + base64.b64encode(hashlib.sha256(data.encode()).digest()).decode() + "'"


def main():
    parser = argparse.ArgumentParser()
    for option in ("page", "wasm", "version", "translation", "about", "icon", "rsvg-convert", "out"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()
    page, out = pathlib.Path(args.page), pathlib.Path(args.out)
    out.mkdir(parents=True, exist_ok=True)

    script = (page / "app.js").read_text(encoding="utf-8")
    data = {
        "version": "v" + args.version,
        "lv": latvian_words(args.translation, page_words(script)),
        "about": about_texts(args.about),
    }
    files = {name: (page / name).read_bytes() for name in ("app.js", "convert_worker.js", "style.css")}
    files["zimbrots.wasm"] = pathlib.Path(args.wasm).read_bytes()
    files["icon.svg"] = pathlib.Path(args.icon).read_bytes()
    for size in (192, 512):
        files[f"icon-{size}.png"] = subprocess.run(
            [args.rsvg_convert, "-w", str(size), "-h", str(size), args.icon], check=True, capture_output=True).stdout
    files["manifest.webmanifest"] = (page / "manifest.webmanifest").read_bytes()

    template = (page / "index.html").read_text(encoding="utf-8")
    title = "Zimbrots " + data["version"]

    def html(data_json, head, body_scripts):
        return (template.replace("@TITLE@", title).replace("@HEAD@", head)
                .replace("@PAGE_DATA@", data_json).replace("@SCRIPTS@", body_scripts))

    # The served page: its own files only, and 'wasm-unsafe-eval' to compile the module.
    served_csp = ("default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; style-src 'self'; "
                  "img-src 'self'; worker-src 'self'; connect-src 'self'; manifest-src 'self'; "
                  "object-src 'none'; base-uri 'none'; form-action 'none'")
    page_json = json.dumps(data, ensure_ascii=False).replace("</", "<\\/")
    files["index.html"] = html(
        page_json,
        f'<meta http-equiv="Content-Security-Policy" content="{served_csp}">\n'
        '<link rel="manifest" href="manifest.webmanifest">\n'
        '<link rel="icon" href="icon.svg" type="image/svg+xml">\n'
        '<link rel="stylesheet" href="style.css">',
        '<script src="app.js"></script>').encode()

    # The service worker's cache is named for what it keeps, so that a new build replaces it.
    digest = hashlib.sha256()
    for name in SERVED:
        digest.update(name.encode() + b"\0" + files[name])
    worker = (page / "sw.js").read_text(encoding="utf-8")
    files["sw.js"] = (worker.replace("@CACHE@", "zimbrots-" + digest.hexdigest()[:16])
                      .replace("@FILES@", json.dumps(["./"] + SERVED))).encode()

    # One file: the module and the conversion worker's script inside it, its script and style
    # allowed by their hashes; the worker starts from a blob.
    single = dict(data, wasm=base64.b64encode(files["zimbrots.wasm"]).decode(),
                  worker=files["convert_worker.js"].decode())
    style, app = files["style.css"].decode(), script
    single_csp = (f"default-src 'none'; script-src {sha256(app)} 'wasm-unsafe-eval'; style-src {sha256(style)}; "
                  "img-src data:; worker-src blob:; object-src 'none'; base-uri 'none'; form-action 'none'")
    icon = "data:image/svg+xml;base64," + base64.b64encode(files["icon.svg"]).decode()
    files["zimbrots.html"] = html(
        json.dumps(single, ensure_ascii=False).replace("</", "<\\/"),
        f'<meta http-equiv="Content-Security-Policy" content="{single_csp}">\n'
        f'<link rel="icon" href="{icon}" type="image/svg+xml">\n<style>{style}</style>',
        f"<script>{app}</script>").encode()

    for name, content in files.items():
        target = out / name
        if not target.exists() or target.read_bytes() != content:
            target.write_bytes(content)


if __name__ == "__main__":
    main()
