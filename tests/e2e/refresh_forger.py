#!/usr/bin/env python3
"""A station that answers every Refresh sent to one agent at once, under that agent's MAC.

Usage: refresh_forger.py IFNAME AGENT_MAC TEMPLATE.pcap NAME

TEMPLATE.pcap holds one genuine signed reply of the agent (its first frame); each answer is
that reply addressed to the new request (console, transaction id, request header) with the
host name NAME. Two answers per request: one keeps the agent's key and its old signature (which
covered another nonce), one carries a key of the station's own and a valid signature over the
request (its digest, as an agent signs it). The console must believe neither. Prints "forged N" per request answered.
"""
import hashlib
import os
import socket
import struct
import sys

from cryptography.hazmat.primitives import serialization
from cryptography.hazmat.primitives.asymmetric.ed25519 import Ed25519PrivateKey

ETHERTYPE = 0x88B5
ETH, ENV = 14, 12
INNER = ETH + ENV            # where the message starts
NONCE = 16                   # a signed request: nonce, then the request
KEY, SIGNATURE = 32, 64      # a signed reply: reply, agent key, signature
SIGNED_REQUEST_FLAGS = 1 << 1
REFRESH = 9
NAME_AT, NAME_LENGTH = 27, 36
LABEL = b"netvane signed reply v3\0"
VERSION = 3


def first_frame(path):
    data = open(path, "rb").read()
    endian = "<" if data[:4] == b"\xd4\xc3\xb2\xa1" else ">"
    length = struct.unpack(endian + "I", data[32:36])[0]
    return bytearray(data[40:40 + length])


def main():
    ifname, agent_text, template_path, name = sys.argv[1:5]
    agent = bytes.fromhex(agent_text.replace(":", ""))
    template = first_frame(template_path)
    message_length = struct.unpack("<H", template[ETH + 10:ETH + 12])[0]
    reply_length = message_length - KEY - SIGNATURE
    own = Ed25519PrivateKey.from_private_bytes(os.urandom(32))
    own_public = own.public_key().public_bytes(serialization.Encoding.Raw,
                                               serialization.PublicFormat.Raw)

    s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETHERTYPE))
    s.bind((ifname, ETHERTYPE))
    print("template", len(template), "bytes, reply", reply_length, flush=True)
    answered = 0
    while True:
        frame, _ = s.recvfrom(2048)
        if (len(frame) < INNER + NONCE + 24 or frame[0:6] != agent or frame[ETH] != VERSION or
                frame[ETH + 1] != SIGNED_REQUEST_FLAGS):
            continue
        request = frame[INNER + NONCE:INNER + NONCE + 24]
        if struct.unpack("<I", request[12:16])[0] != REFRESH:
            continue
        console, txid = frame[6:12], frame[ETH + 2:ETH + 6]
        request_length = struct.unpack("<H", frame[ETH + 10:ETH + 12])[0]
        digest = hashlib.sha256(bytes([VERSION, SIGNED_REQUEST_FLAGS]) +
                                frame[INNER:INNER + request_length]).digest()

        forged = bytearray(template)
        forged[0:6] = console
        forged[ETH + 2:ETH + 6] = txid
        reply = forged[INNER:INNER + reply_length]
        reply[0:24] = request                 # the request header, as an agent copies it
        reply[4:10] = agent
        reply[10:12] = b"\x02\x00"            # a reply
        reply[NAME_AT:NAME_AT + NAME_LENGTH] = name.encode().ljust(NAME_LENGTH, b"\0")
        forged[INNER:INNER + reply_length] = reply
        s.send(bytes(forged))                 # the agent's key, a signature over another request

        signed = LABEL + digest + txid + console + agent + bytes(reply)
        tail = INNER + reply_length
        forged[tail:tail + KEY] = own_public
        forged[tail + KEY:tail + KEY + SIGNATURE] = own.sign(signed)
        s.send(bytes(forged))                 # a key of its own, validly signed
        answered += 1
        print("forged", answered, flush=True)


if __name__ == "__main__":
    main()
