#!/usr/bin/python3
"""Serves a folder on 127.0.0.1 as the page's hosts would: a folder holding a
file named `headers` (one `Name: value` a line) sends those headers with each
of its files, and `Content-Type: TYPE` there replaces the type of its .wasm
files (many servers send WebAssembly as application/octet-stream).
Usage: page_server.py FOLDER  (prints "port N" when it listens; logs requests)"""
import functools
import http.server
import os
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    def folder_headers(self):
        folder = os.path.dirname(self.translate_path(self.path.split("?", 1)[0]))
        try:
            with open(os.path.join(folder, "headers")) as f:
                return [line.rstrip("\n").split(": ", 1) for line in f if ": " in line]
        except OSError:
            return []

    def guess_type(self, path):
        if path.endswith(".wasm"):
            for name, value in self.folder_headers():
                if name == "Content-Type":
                    return value
        return super().guess_type(path)

    def end_headers(self):
        for name, value in self.folder_headers():
            if name != "Content-Type":
                self.send_header(name, value)
        super().end_headers()


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=sys.argv[1]))
print(f"port {server.server_address[1]}", flush=True)
server.serve_forever()
