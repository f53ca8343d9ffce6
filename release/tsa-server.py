#!/usr/bin/env python3
"""A throwaway RFC 3161 time-stamp server on loopback, for the signing check: makes a
time-stamping key and certificate (DIR/tsa.pem) with openssl, prints the port it listens
on, and answers every request with openssl's time-stamp reply until it is ended.

    tsa-server.py DIR
"""
import http.server
import pathlib
import subprocess
import sys
import tempfile

folder = pathlib.Path(sys.argv[1])
(folder / "tsa.cnf").write_text("""[tsa]
default_tsa = tsa_config
[tsa_config]
serial = serial
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
""")
(folder / "serial").write_text("01\n")
subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                "-subj", "/CN=Quorvane test time stamps",
                "-addext", "keyUsage=critical,digitalSignature",
                "-addext", "extendedKeyUsage=critical,timeStamping",
                "-keyout", "tsa.key", "-out", "tsa.pem"],
               cwd=folder, check=True, capture_output=True)


class TimeStamps(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with tempfile.TemporaryDirectory() as work:
            pathlib.Path(work, "query").write_bytes(query)
            made = subprocess.run(
                ["openssl", "ts", "-reply", "-config", "tsa.cnf", "-queryfile",
                 f"{work}/query", "-signer", "tsa.pem", "-inkey", "tsa.key",
                 "-out", f"{work}/reply"], cwd=folder, capture_output=True)
            reply = pathlib.Path(work, "reply").read_bytes() if made.returncode == 0 else b""
        self.send_response(200 if reply else 500)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), TimeStamps)
print(server.server_address[1], flush=True)
server.serve_forever()
