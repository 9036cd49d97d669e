#!/usr/bin/python3
"""A real, independent SMTP server for the tests (Debian's python3-aiosmtpd).

  smtp_sink.py serve DIR     listens on a free loopback port, prints the port,
                             stores each accepted message as DIR/NNNNN.eml (its
                             envelope in DIR/NNNNN.json) until standard input
                             closes.
  smtp_sink.py serve DIR S   the same, taking S seconds over each message
                             before it answers (a slow server, to watch a
                             send in progress).
  smtp_sink.py discard       the same, but accepts every message and keeps none
                             (for the benchmarks).
  smtp_sink.py parse FILE    prints what Python's email package reads in a
                             stored message, as JSON: the header values (as
                             sent, and decoded from encoded words), the text
                             (as Latin-1 bytes, and decoded by its charset)
                             and each attachment (Base64 of its decoded
                             bytes).
"""
import base64
import email
import email.header
import email.policy
import json
import os
import socket
import sys


def serve(outdir, delay=0.0):
    import asyncio
    from aiosmtpd.controller import Controller

    class Handler:
        def __init__(self):
            self.count = 0

        async def handle_DATA(self, server, session, envelope):
            if delay:
                await asyncio.sleep(delay)
            if outdir is None:
                return "250 OK"
            name = os.path.join(outdir, "%05d" % self.count)
            self.count += 1
            with open(name + ".json", "w") as f:
                json.dump({"helo": session.host_name, "from": envelope.mail_from,
                           "to": envelope.rcpt_tos}, f)
            data = envelope.original_content or envelope.content
            with open(name + ".tmp", "wb") as f:
                f.write(data)
            os.rename(name + ".tmp", name + ".eml")
            return "250 Message accepted for delivery"

    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    controller = Controller(Handler(), hostname="127.0.0.1", port=port, data_size_limit=0)
    controller.start()
    print(port, flush=True)
    try:
        sys.stdin.read()
    finally:
        controller.stop()


def parse(path):
    with open(path, "rb") as f:
        msg = email.message_from_binary_file(f, policy=email.policy.compat32)
    out = {"headers": [[k, " ".join(str(v).split("\r\n "))] for k, v in msg.items()],
           "decoded": [[k, str(email.header.make_header(email.header.decode_header(v)))]
                       for k, v in msg.items()],
           "text": None, "unicode_text": None, "attachments": []}
    for part in msg.walk():
        if part.is_multipart():
            continue
        filename = part.get_filename()
        payload = part.get_payload(decode=True)
        if filename is None and out["text"] is None:
            out["text"] = payload.decode("latin-1")
            out["unicode_text"] = payload.decode(part.get_content_charset() or "us-ascii")
        else:
            out["attachments"].append({"filename": filename, "type": part.get_content_type(),
                                       "data": base64.b64encode(payload).decode()})
    json.dump(out, sys.stdout)


if __name__ == "__main__":
    if sys.argv[1] == "serve":
        serve(sys.argv[2], float(sys.argv[3]) if len(sys.argv) > 3 else 0.0)
    elif sys.argv[1] == "discard":
        serve(None)
    else:
        parse(sys.argv[2])
