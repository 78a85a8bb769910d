#!/usr/bin/python3
"""The page's WebAssembly conversion against the native scalar pass, in one run on this machine:
4 MiB of the prose of conversion_bench.cpp as UTF-16, in headless Chromium and natively. Also
the page's size and how soon a first visit paints it.
Usage: web_bench.py PAGE_DIR CONVERSION_BENCH [OTHER_WASM...]   (each other module is timed too)"""
import base64
import json
import pathlib
import re
import subprocess
import sys
import threading

here = pathlib.Path(__file__).resolve().parent
sys.path[:0] = [str(here.parent / "web"), str(here.parent / "tests" / "web")]
import serve  # noqa: E402
from chromium import browser  # noqa: E402

page_dir, native_bench, *others = sys.argv[1:]
source = (here / "conversion_bench.cpp").read_text()
prose = "".join(json.loads('"' + piece + '"') for piece in re.findall(
    r'^\s*"((?:[^"\\]|\\.)*)"', source[source.index("Prose ="):source.index(";", source.index("Prose ="))], re.M))
Size = 4 << 20

# Converts the prose, repeated to Size UTF-8 bytes as the native benchmark has it, for a second
# or more; returns UTF-16 bytes a second.
TIME = """const [bytes, prose, size, done] = arguments;
  (async () => {
    const module = await WebAssembly.compile(Uint8Array.from(atob(bytes), (c) => c.charCodeAt(0)));
    const imports = {};
    for (const wanted of WebAssembly.Module.imports(module))
      (imports[wanted.module] = imports[wanted.module] || {})[wanted.name] = () => 52;
    const wasm = (await WebAssembly.instantiate(module, imports)).exports;
    wasm._initialize();
    const text = prose.repeat(Math.ceil(size / new TextEncoder().encode(prose).length));
    const input = wasm.zimbrots_alloc(text.length * 2), slot = wasm.zimbrots_alloc(4);
    const units = new Uint16Array(wasm.memory.buffer, input, text.length);
    for (let i = 0; i < text.length; i++) units[i] = text.charCodeAt(i);
    let runs = 0;
    const start = performance.now();
    while (performance.now() - start < 1000 || runs < 5) {
      wasm.zimbrots_convert_utf16(input, text.length, slot);
      wasm.zimbrots_release();
      runs++;
    }
    done(text.length * 2 * runs / ((performance.now() - start) / 1000));
  })().catch((error) => done(String(error)));"""


def main():
    native = json.loads(subprocess.run([native_bench, f"--benchmark_filter=BM_ConvertUtf16/{Size}$",
                                        "--benchmark_format=json", "--benchmark_min_time=1"],
                                       capture_output=True, check=True, text=True).stdout)
    native_speed = native["benchmarks"][0]["bytes_per_second"]
    folder = pathlib.Path(page_dir)
    running = serve.server(page_dir, 0)
    threading.Thread(target=running.serve_forever, daemon=True).start()
    driver = browser()
    try:
        driver.get(f"http://127.0.0.1:{running.server_address[1]}/")
        driver.execute_script("return document.getElementById('editor')")
        paint = driver.execute_script(
            "return performance.getEntriesByName('first-contentful-paint').map((e) => e.startTime)[0]")
        driver.set_script_timeout(120)
        modules = [("the page's module", folder / "zimbrots.wasm")] + [(other, other) for other in others]
        speeds = [(name, driver.execute_async_script(TIME, base64.b64encode(pathlib.Path(path).read_bytes()).decode(),
                                                     prose, Size)) for name, path in modules]
    finally:
        driver.quit()
        running.shutdown()
    sizes = {name: (folder / name).stat().st_size for name in ("index.html", "app.js", "convert_worker.js",
                                                             "style.css", "zimbrots.wasm", "sw.js", "manifest.webmanifest")}
    print(f"native scalar ConvertUtf16: {native_speed / 1e6:.0f} MB/s")
    for name, speed in speeds:
        if isinstance(speed, str):
            sys.exit(f"{name}: {speed}")
        print(f"{name} in Chromium: {speed / 1e6:.0f} MB/s, {speed / native_speed:.2f} of native"
              + (f", {speed / speeds[0][1]:.2f} of the page's" if name != speeds[0][0] else ""))
    print(f"the page with its module: {sum(sizes.values())} bytes ({sum(sizes.values()) / 1024:.1f} KiB); "
          f"zimbrots.html {(folder / 'zimbrots.html').stat().st_size} bytes")
    print(f"first visit, first contentful paint: {paint:.0f} ms")


if __name__ == "__main__":
    main()
