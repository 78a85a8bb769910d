#!/usr/bin/env python3
"""Serves the built page on this machine alone (127.0.0.1), the module as application/wasm."""
import functools
import http.server
import sys

TYPES = {".wasm": "application/wasm", ".webmanifest": "application/manifest+json", ".js": "text/javascript",
         ".svg": "image/svg+xml", ".rtf": "application/rtf"}


class PageHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, **TYPES}
    requests = []  # every path asked for, in order

    def end_headers(self):
        # Each visit asks the server, so that a new build is seen; offline, the worker answers.
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()

    def log_message(self, format, *args):
        PageHandler.requests.append(self.path)


def server(folder, port):
    handler = functools.partial(PageHandler, directory=folder)
    return http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)


if __name__ == "__main__":
    folder, port = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 8000
    with server(folder, port) as running:
        print(f"Zimbrots is at http://127.0.0.1:{running.server_address[1]}/ (Ctrl+C stops it)", flush=True)
        try:
            running.serve_forever()
        except KeyboardInterrupt:
            pass
