#!/usr/bin/python3
"""An SMTP server that accepts every message and keeps none (aiosmtpd), for
the mail benchmarks. Prints its loopback port, serves until stdin closes."""
import socket
import sys

from aiosmtpd.controller import Controller


class Accept:
    async def handle_DATA(self, server, session, envelope):
        return "250 OK"


s = socket.socket()
s.bind(("127.0.0.1", 0))
port = s.getsockname()[1]
s.close()
controller = Controller(Accept(), hostname="127.0.0.1", port=port, data_size_limit=0)
controller.start()
print(port, flush=True)
try:
    sys.stdin.read()
finally:
    controller.stop()
