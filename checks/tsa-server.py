#!/usr/bin/env python3
"""A throwaway RFC 3161 time-stamp server on loopback, for the signing check: makes a
time-stamping key and certificate (DIR/tsa.pem) with openssl, prints the port it listens on,
and answers every request with openssl's time-stamp reply, logging it, until it is ended.
    python3 checks/tsa-server.py DIR"""
import http.server
import pathlib
import subprocess
import sys

folder = pathlib.Path(sys.argv[1])
(folder / "tsa.cnf").write_text("[tsa]\ndefault_tsa = tsa_config\n[tsa_config]\nserial = serial\n"
                                "signer_digest = sha256\ndefault_policy = 1.2.3.4.1\n"
                                "digests = sha1, sha256, sha384, sha512\naccuracy = secs:1\n"
                                "ess_cert_id_alg = sha256\n")
(folder / "serial").write_text("01\n")
subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                "-subj", "/CN=Quorvane test time stamps", "-addext", "keyUsage=critical,digitalSignature",
                "-addext", "extendedKeyUsage=critical,timeStamping", "-keyout", "tsa.key", "-out", "tsa.pem"],
               cwd=folder, check=True, capture_output=True)


class TimeStamps(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        made = subprocess.run(["openssl", "ts", "-reply", "-config", "tsa.cnf", "-queryfile", "/dev/stdin",
                               "-signer", "tsa.pem", "-inkey", "tsa.key", "-out", "/dev/stdout"],
                              cwd=folder, input=query, capture_output=True)
        reply = made.stdout if made.returncode == 0 else b""
        self.send_response(200 if reply else 500)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)


server = http.server.HTTPServer(("127.0.0.1", 0), TimeStamps)
print(server.server_address[1], flush=True)
server.serve_forever()
