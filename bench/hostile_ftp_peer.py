#!/usr/bin/env python3
"""A hostile FTP server on 127.0.0.1 for hostile_reply_bench: after accepting
one client it sends, as its greeting, one byte a second ("trickle"), endless
continuation lines ("lines"), or one line of 50 MB without a line end
("longline"), and stops when the client goes or after 120 s. Prints its port."""
import socket
import sys
import time

mode = sys.argv[1]
server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(1)
print(server.getsockname()[1], flush=True)
client, _ = server.accept()
client.settimeout(15)
end = time.monotonic() + 120
try:
    if mode == "trickle":
        while time.monotonic() < end:
            client.sendall(b"2")
            time.sleep(1)
    elif mode == "lines":
        line = b"220-" + b"x" * 70 + b"\r\n"
        block = line * 1000
        while time.monotonic() < end:
            client.sendall(block)
    else:
        block = b"220 " + b"x" * (1 << 20)
        for _ in range(50):
            client.sendall(block)
        time.sleep(15)
except OSError:
    pass
