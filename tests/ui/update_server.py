#!/usr/bin/python3
"""A local HTTPS update server for the update tests.

Serves the files of a folder on 127.0.0.1 with a self-signed certificate made for the run
(cert.pem in the folder, which the test trusts for itself only). Paths below /slow/ serve the
same files in small pieces with pauses, so a test can cancel half-way. Prints the port, then
serves until its standard input closes or two minutes have passed.
"""
import http.server
import os
import ssl
import subprocess
import sys
import threading
import time


def make_certificate(folder):
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "1", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        if not self.path.startswith("/slow/"):
            return super().do_GET()
        path = self.translate_path(self.path[len("/slow"):])
        try:
            with open(path, "rb") as f:
                data = f.read()
        except OSError:
            return self.send_error(404)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        try:
            for at in range(0, len(data), 16384):
                self.wfile.write(data[at:at + 16384])
                self.wfile.flush()
                time.sleep(0.05)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            pass


def main():
    folder = sys.argv[1]
    cert, key = make_certificate(folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0),
                                             lambda *a, **k: Handler(*a, directory=folder, **k))
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)

    def stop_when_done():
        sys.stdin.read()
        server.shutdown()

    threading.Thread(target=stop_when_done, daemon=True).start()
    deadline = threading.Timer(120, server.shutdown)
    deadline.daemon = True
    deadline.start()
    server.serve_forever()


if __name__ == "__main__":
    main()
