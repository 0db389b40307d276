#!/usr/bin/python3
"""Relays FTP control connections from 127.0.0.1:LISTEN to 127.0.0.1:TARGET,
holding every reply from the server back by DELAY milliseconds (a stand-in for
a real link's round trip). Commands go through at once; data connections do
not pass here (passive replies still name the server's own ports).

Usage: control_relay.py LISTEN_PORT TARGET_PORT DELAY_MS
Prints "ready" once it listens.
"""
import asyncio
import sys


async def pump_commands(reader, writer):
    try:
        while data := await reader.read(65536):
            writer.write(data)
            await writer.drain()
    except ConnectionError:
        pass
    finally:
        writer.close()


async def pump_replies(reader, writer, delay):
    # Each chunk keeps its own arrival time, so a burst of replies is held
    # back by the delay once, not once per reply.
    loop = asyncio.get_running_loop()
    held = asyncio.Queue()

    async def release():
        while True:
            due, data = await held.get()
            if data is None:
                break
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(data)
            await writer.drain()
        writer.close()

    releaser = asyncio.create_task(release())
    try:
        while data := await reader.read(65536):
            held.put_nowait((loop.time() + delay, data))
    except ConnectionError:
        pass
    held.put_nowait((0, None))
    try:
        await releaser
    except ConnectionError:
        pass


async def main():
    listen_port, target_port, delay_ms = (int(a) for a in sys.argv[1:4])
    delay = delay_ms / 1000.0

    async def handle(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pump_commands(client_reader, server_writer),
                             pump_replies(server_reader, client_writer, delay),
                             return_exceptions=True)

    server = await asyncio.start_server(handle, "127.0.0.1", listen_port)
    print("ready", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
