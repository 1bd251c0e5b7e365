#!/usr/bin/env python3
"""A TCP relay on loopback that counts the eD2K packets passing through it.

Usage: frame_relay.py TARGET_PORT COUNTS_FILE

Listens on a free port of 127.0.0.1 (printed on the first line of standard output), and
forwards every connection to 127.0.0.1:TARGET_PORT. Each direction is read as a stream of
frames (protocol byte, 32-bit little-endian length, then that many bytes starting with the
opcode); COUNTS_FILE holds, as JSON rewritten every half second, how many frames of each
kind went each way: {"to_target": {"c5:a3": 12, ...}, "from_target": {...}}.
"""
import asyncio
import json
import os
import sys
from collections import Counter

CHUNK = 1 << 18
counts = {"to_target": Counter(), "from_target": Counter()}


class FrameCounter:
    """Follows the frame boundaries of one direction without copying the payloads."""

    def __init__(self, counter):
        self.counter = counter
        self.header = b""
        self.skip = 0  # payload bytes of the current frame still to pass

    def feed(self, data):
        at = 0
        while at < len(data):
            if self.skip:
                step = min(self.skip, len(data) - at)
                self.skip -= step
                at += step
                continue
            need = 6 - len(self.header)
            self.header += data[at:at + need]
            at += need
            if len(self.header) < 6:
                return
            protocol, opcode = self.header[0], self.header[5]
            length = int.from_bytes(self.header[1:5], "little")
            self.counter[f"{protocol:02x}:{opcode:02x}"] += 1
            self.header = b""
            self.skip = max(length - 1, 0)


async def pipe(reader, writer, counter):
    frames = FrameCounter(counter)
    try:
        while data := await reader.read(CHUNK):
            frames.feed(data)
            writer.write(data)
            await writer.drain()
    except (ConnectionError, asyncio.IncompleteReadError):
        pass
    finally:
        writer.close()


async def main():
    target_port, counts_file = int(sys.argv[1]), sys.argv[2]

    async def accept(client_reader, client_writer):
        try:
            target_reader, target_writer = await asyncio.open_connection("127.0.0.1", target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pipe(client_reader, target_writer, counts["to_target"]),
                             pipe(target_reader, client_writer, counts["from_target"]))

    server = await asyncio.start_server(accept, "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    while True:
        await asyncio.sleep(0.5)
        temporary = counts_file + ".new"
        with open(temporary, "w") as out:
            json.dump(counts, out)
        os.replace(temporary, counts_file)


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
