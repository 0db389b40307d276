#!/usr/bin/python3
"""An SFTP subsystem for tests: OpenSSH's sftp-server behind a filter that
makes the first session end the way a server that completes writes out of
order ends when it is cut.

The client's packets pass through unchanged until WRITE requests worth
CUT_AFTER bytes went by. Then the filter holds the next HELD writes back,
passes only the last of them (the server completes a later write before the
earlier ones) and ends the session. The file is left with a hole of zeros
below its size. A marker file in the folder given as the argument makes every
later session a plain sftp-server.
"""
import os
import struct
import subprocess
import sys
import threading

CUT_AFTER = 2 * 1024 * 1024
HELD = 8
WRITE = 6
SERVERS = ["/usr/lib/openssh/sftp-server", "/usr/lib/sftp-server"]


def read_exact(stream, count):
    data = b""
    while len(data) < count:
        chunk = stream.read(count - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def main():
    marker = os.path.join(sys.argv[1], ".reordering-cut-done")
    server = next(path for path in SERVERS if os.access(path, os.X_OK))
    if os.path.exists(marker):
        os.execv(server, [server])
    child = subprocess.Popen([server], stdin=subprocess.PIPE, stdout=subprocess.PIPE)

    def answers():
        out = sys.stdout.buffer
        while True:
            chunk = child.stdout.read1(65536)
            if not chunk:
                break
            out.write(chunk)
            out.flush()

    threading.Thread(target=answers, daemon=True).start()
    source = sys.stdin.buffer
    written = 0
    held = []
    while True:
        head = read_exact(source, 4)
        if head is None:
            break
        body = read_exact(source, struct.unpack(">I", head)[0])
        if body is None:
            break
        packet = head + body
        if body[0] == WRITE and written >= CUT_AFTER:
            held.append(packet)
            if len(held) == HELD:
                # Only the last of the held writes reaches the file.
                child.stdin.write(held[-1])
                child.stdin.flush()
                open(marker, "w").close()
                child.stdin.close()
                child.wait()
                os._exit(0)
            continue
        if body[0] == WRITE:
            written += len(body)
        child.stdin.write(packet)
        child.stdin.flush()
    child.stdin.close()
    child.wait()


main()
