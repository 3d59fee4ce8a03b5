#!/usr/bin/env python3
"""Writes the seed corpus of the dispatcher's fuzz target: one hand-built
section per file for every table the dispatcher routes, plus the PAT, PMT, SDT
and NIT cut out of ffmpeg_service.ts. Run from anywhere; writes beside itself
into dispatch_seeds/."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "dispatch_seeds")


def crc32_mpeg2(data):
    crc = 0xFFFFFFFF
    for b in data:
        for bit in range(7, -1, -1):
            top = (crc >> 31) & 1
            crc = (crc << 1) & 0xFFFFFFFF
            if ((b >> bit) & 1) != top:
                crc ^= 0x04C11DB7
    return crc


def section(table_id, body, syntax=True, crc=True):
    length = len(body) + (4 if crc else 0)
    head = bytes([table_id]) + struct.pack(">H", (0xB000 if syntax else 0x7000) | length)
    s = head + body
    return s + struct.pack(">I", crc32_mpeg2(s)) if crc else s


def desc(tag, body):
    return bytes([tag, len(body)]) + body


def long_header(ident, version, number=0, last=0):
    return struct.pack(">HBBB", ident, 0xC1 | (version << 1), number, last)


def u16(v):
    return struct.pack(">H", v)


def cable(freq, mod, rate):
    return desc(0x44, bytes.fromhex(freq) + b"\xff\xf2" + bytes([mod]) + bytes.fromhex(rate))


def seeds():
    yield "pat", section(0x00, long_header(1101, 1) + u16(0) + u16(0xE010) + u16(28006) + u16(0xE064) + u16(898) + u16(0xE200))
    pmt_body = long_header(28006, 2) + u16(0xE065) + u16(0xF006) + desc(0x09, b"\x17\x22\xe1\x00")
    es = b"\x02" + u16(0xE065) + u16(0xF003) + desc(0x52, b"\x01")
    es += b"\x04" + u16(0xE066) + u16(0xF009) + desc(0x0A, b"deu\x00") + desc(0x52, b"\x02")
    es += b"\x06" + u16(0xE067) + u16(0xF000)
    yield "pmt", section(0x02, pmt_body + es)
    yield "cat", section(0x01, b"\xff\xff\xc1\x00\x00" + desc(0x09, b"\x17\x22\xe1\x00"))
    entries = b""
    for ts, freq in ((1, "03460000"), (2, "03540000"), (3, "03620000")):
        d = cable(freq, 3, "00690005") + desc(0x41, u16(28006) + b"\x01")
        entries += u16(ts) + u16(0x85) + u16(0xF000 | len(d)) + d
    name = desc(0x40, b"Kabel")
    yield "nit", section(0x40, long_header(0x85, 4) + u16(0xF000 | len(name)) + name + u16(0xF000 | len(entries)) + entries)
    services = b""
    for sid, d in (
        (28006, desc(0x48, b"\x01\x05\x05ARD\x0b\x05Das Erste") + desc(0x53, b"\x17\x22\x06\x04")),
        (28007, desc(0x4C, b"\x01\x01")),
        (28008, desc(0x48, b"\x18\x01P\x06Movies") + desc(0x4B, u16(1) + u16(0x85) + u16(20) + u16(1) + u16(0x85) + u16(21))),
    ):
        services += u16(sid) + b"\xfc" + u16(0x8000 | len(d)) + d
    yield "sdt", section(0x42, long_header(1101, 9) + u16(0x85) + b"\xff" + services)
    yield "bat", section(0x4A, long_header(0x1234, 1) + u16(0xF000 | 9) + desc(0x47, b"Bouquet") + u16(0xF006) + u16(1) + u16(0x85) + u16(0xF000))
    ev_desc = desc(0x4D, b"deu\x05Titel\x00")
    event = u16(1) + bytes.fromhex("c07912450000300080") + bytes([len(ev_desc)]) + ev_desc
    yield "eit", section(0x4E, long_header(28006, 3, 0, 1) + u16(1101) + u16(0x85) + b"\x00\x4e" + event)
    yield "eit_schedule", section(0x50, long_header(28006, 3, 8, 0x10) + u16(1101) + u16(0x85) + b"\x09\x50" + event)
    yield "tdt", section(0x70, bytes.fromhex("c079124500"), syntax=False, crc=False)
    lto = b"DEU\x02" + u16(0x0100) + bytes.fromhex("eec8010000") + u16(0x0200)
    d = desc(0x58, lto + lto)
    yield "tot", section(0x73, bytes.fromhex("c079124500") + u16(0xF000 | len(d)) + d, syntax=False)
    yield "rst", section(0x71, u16(1) + u16(0x85) + u16(28006) + u16(1) + b"\xf4", syntax=False, crc=False)
    yield "private80", section(0x80, b"\x01\x02\x03\x04", syntax=False, crc=False)
    yield "private82", section(0x82, b"\x01\x02\x03\x04", syntax=False, crc=False)
    yield "private93", section(0x93, bytes.fromhex("0102030405060708ab") + b"payload", syntax=False)

    ts = open(os.path.join(HERE, "ffmpeg_service.ts"), "rb").read()
    for pid, name in ((0x0000, "ffmpeg_pat"), (0x0100, "ffmpeg_pmt"), (0x0011, "ffmpeg_sdt"), (0x0010, "ffmpeg_nit")):
        for off in range(0, len(ts), 188):
            p = ts[off:off + 188]
            if ((p[1] & 0x1F) << 8 | p[2]) == pid and p[1] & 0x40:
                start = 5 + p[4]
                length = 3 + ((p[start + 1] & 0x0F) << 8 | p[start + 2])
                yield name, p[start:start + length]
                break


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
