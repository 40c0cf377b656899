#!/usr/bin/env python3
"""Writes the committed seed corpus of the fuzz targets (fuzz/corpus/<target>/).

Run from anywhere: python3 fuzz/make-seeds.py. The seeds are the worked wire
examples, a status reply, the set-up files of tests/data, small INI texts,
integers, layouts and requests for the unit's four commands. Files are
rewritten; other files in the corpus folders are left alone.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
CORPUS = os.path.join(HERE, "corpus")


def checksum(content):
    s = 0x55
    for b in content:
        s = ((s ^ b) + 1) & 0xFF
    return s


def encode(content):
    wire = bytearray([0xF5])
    for b in list(content) + [checksum(content)]:
        if b in (0xF5, 0xF6, 0xFA):
            wire += bytes([0xF6, b & 0x7F])
        else:
            wire.append(b)
    wire.append(0xFA)
    return bytes(wire)


def status_body(seq, fw_major=1, fw_minor=13, khz=14200, direction=0, flags=0x0002, moving=0):
    return bytes([seq, 0, fw_minor, fw_major, 0, khz & 0xFF, khz >> 8, 0, direction,
                  flags & 0xFF, flags >> 8, moving])


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def setup_files():
    folder = os.path.join(ROOT, "tests", "data")
    for name in sorted(os.listdir(folder)):
        if name.endswith(".koravel"):
            with open(os.path.join(folder, name), "rb") as f:
                yield name, f.read()


# The fuzz runs keep inputs of the INI and set-up targets to a kilobyte
# (fuzz/run-targets.sh): whole set-up files are cut there, so they also go
# in as pieces of whole sections that fit.
PIECE_BYTES = 1024


def pieces(data):
    sections = [b"[" + part for part in data.split(b"\n[")]
    sections[0] = sections[0][1:]
    piece = b""
    for section in sections:
        section = section if section.endswith(b"\n") else section + b"\n"
        if piece and len(piece) + len(section) > PIECE_BYTES:
            yield piece
            piece = b""
        piece += section[:PIECE_BYTES]
    if piece:
        yield piece


def setup_file_pieces():
    for name, data in setup_files():
        for i, piece in enumerate(pieces(data)):
            yield "%s-piece%d" % (name.replace(".koravel", ""), i + 1), piece


# The worked examples and a full status reply.
STATUS_REQUEST = encode(bytes([0x0D, 0x01]))            # F5 0D 01 59 FA
BLOCK_REQUEST = encode(bytes([0x0E, 0x04, 0xF5, 0x00]))  # F5 0E 04 F6 75 00 AE FA
STATUS_REPLY = encode(status_body(0x0D))
assert STATUS_REQUEST == bytes.fromhex("F50D0159FA")
assert BLOCK_REQUEST == bytes.fromhex("F50E04F67500AEFA")

# ---- frame_receiver: a chunk-plan byte, then the line ------------------------
write("frame_receiver", "status-request", b"\x01" + STATUS_REQUEST)
write("frame_receiver", "block-request", b"\x05" + BLOCK_REQUEST)
write("frame_receiver", "status-reply", b"\x03" + STATUS_REPLY)
write("frame_receiver", "noise-and-frames",
      b"\x8a" + b"\x00\x13\xfa\xf6\x41" + STATUS_REPLY + b"\xf5\x01\x02" + STATUS_REQUEST + b"\xfa\xfa")
write("frame_receiver", "bad-checksum", b"\x02" + STATUS_REQUEST[:-2] + b"\x5a\xfa" + BLOCK_REQUEST)
write("frame_receiver", "one-byte-frame", b"\x07" + bytes([0xF5, 0x54, 0xFA]))
write("frame_receiver", "too-long", b"\x3f" + encode(bytes(range(256)) + b"\x01") + STATUS_REQUEST)
write("frame_receiver", "longest", b"\x11" + encode(bytes(i & 0xFF for i in range(255))))
# A content whose checksum is a reserved value travels with an escaped checksum.
for reserved in (0xF5, 0xF6, 0xFA):
    for a in range(256):
        if checksum(bytes([0x11, a])) == reserved:
            write("frame_receiver", "escaped-checksum-%02x" % reserved, b"\x04" + encode(bytes([0x11, a])))
            break

# ---- exchange: command, flags, time-out/4, start sequence, argument length,
# argument, then what the line delivers --------------------------------------
# flags: bit 0 reply flag, bit 1 exchange disabled, bits 2-3 attempts - 1,
# bits 4-7 largest chunk / 4.
def exchange_seed(command, reply_flag, attempts, timeout_ms, start, argument, line, chunk=4):
    flags = (1 if reply_flag else 0) | ((attempts - 1) << 2) | (chunk << 4)
    return bytes([command, flags, timeout_ms // 4, start, len(argument)]) + bytes(argument) + line

seq_tune = ((12 + 1) & 0x7F) | 0x80
write("exchange", "tune-done", exchange_seed(3, True, 4, 100, 12, b"\x78\x37", encode(bytes([seq_tune, 0]))))
write("exchange", "status-reply", exchange_seed(1, False, 1, 200, 12, b"", STATUS_REPLY, chunk=1))
write("exchange", "other-sequence-first",
      exchange_seed(2, True, 4, 100, 12, b"", encode(bytes([0x05, 0])) + b"\x00\x00" + encode(bytes([seq_tune, 3]))))
write("exchange", "no-reply", exchange_seed(3, True, 2, 100, 127, b"\x78\x37\x01", b""))
write("exchange", "block-write",
      exchange_seed(4, True, 4, 1020, 40, b"\x00\x00" + bytes(47), encode(bytes([0xA9, 0])), chunk=15))

# ---- status_reply: content with its checksum --------------------------------
body = status_body(0x0D)
write("status_reply", "status-reply", body + bytes([checksum(body)]))
body = status_body(0x85, fw_major=1, fw_minor=12, khz=50100, direction=2, flags=0x0100, moving=1)
write("status_reply", "moving-fw112", body + bytes([checksum(body)]))
write("status_reply", "short", bytes([0x8D, 0x00, checksum(bytes([0x8D, 0x00]))]))

# ---- ini: settings files and set-up files -----------------------------------
write("ini", "koravel-ini", "[General]\r\nSerialport=bio1\r\n\r\n[OmniRig]\r\nRig1=1\r\nRig2=0\r\n")
write("ini", "quotes-comments",
      "; koravel settings\n[general]\nSerialPort = \"bio3\" \nname='x'\n\n[Empty]\n\n"
      "[General]\nSerialport=bio9\n[ spaced ]\n  key with blanks  =  v  \n=no name\n")
write("ini", "odd-lines", "[a\nk=v\n[b]x]\nrest=1\r[c]\r\nk\nk2==\n\t[d]\t\nlast=no newline")
write("ini", "empty", "")
# Found by fuzzing: a last line that ends in a lone CR.
write("ini", "regression-lone-cr", "[a]\nk=v\n=no name\r")
# Saved by an editor that starts the file with a UTF-8 byte-order mark.
write("ini", "byte-order-mark", b"\xef\xbb\xbf; settings\r\n[General]\r\nSerialport=2\r\n")
for name, data in setup_files():
    write("ini", name, data)
for name, data in setup_file_pieces():
    write("ini", name, data)

# ---- integer ------------------------------------------------------------------
for i, text in enumerate(["12", " -$10", "0x1F", "$FFFFFFFF", "-2147483648", "2147483648",
                          "x", "  +0X7fffffff", "9223372036854775807", "\t-0x8000000000000000 ",
                          "$000000001", "- 5", "", "-0", "123456789012345678901234567890"]):
    write("integer", "n%02d" % i, text)

# ---- layout: a layout, a line break, the body of [S] -------------------------
LAYOUTS = {
    "factory-old": "!checksum 1;mot_maxvel 2;mot_minvel 2;mot_accel 1;pwm_rampa 2;pwm_crociera 2;"
                   "pwm_azzera 2;vel_azzera 2;pwm_freq 1;k_freq2mm 4;max_estensio1 2;max_estensio2 2;"
                   "max_estensio3 2;max_estensio4 2;k_mm2s_passi 2;k_mm2s_mm 2;?model 16;",
    "user-new": "!checksum 1;bipbip 1;movebip 1;repebip 1;contrasto 1;luminosita 1;lingua 1;umisura 1;"
                "rtx_mode 1;rtx_commpars 1;rtx_proto 1;rtx_addr 1;rtx_addrT 1;eeprom_vers 1;?reser 28;",
    "useroffs": "!checksum 1;offset1 4;offset2 4;offset3 4;offset4 4;",
    "odd": "a 0;?t 255;;b 2;",
    "no-blank": "x;y 300;z 08;?w 3",
}
write("layout", "factory-old", LAYOUTS["factory-old"] + "\nmot_maxvel=1250\nmot_accel=300\nmodel=KV-100 ROTARY DIPOLE X\n")
write("layout", "user-new", LAYOUTS["user-new"] + "\nbipbip=1\nrtx_addr=148\nreser=riservato\nunknown=1\n")
write("layout", "useroffs", LAYOUTS["useroffs"] + "\noffset1=189\noffset2=-1672\noffset3=$FFFFFFFF\n!checksum=7\n")
write("layout", "odd", LAYOUTS["odd"] + "\na=5\nt=" + "x" * 20 + "\n")
write("layout", "no-blank", LAYOUTS["no-blank"] + "\nz=abc\nw=toolong\n")

# ---- setup_codec and setup_transfer: set-up files -----------------------------
for target in ("setup_codec", "setup_transfer"):
    for name, data in setup_files():
        write(target, name, data)
    for name, data in setup_file_pieces():
        write(target, name, data)
    write(target, "user-only", "[User]\nbipbip=1\nwelcome=Benvenuto sul KV-100, buon DX!\n")
    write(target, "byte-order-mark-fw112",
          b"\xef\xbb\xbf" + dict(setup_files())["kv100-fw112.koravel"])
    write(target, "bad-integer",
          "[Factory]\nmot_maxvel=12a\n[FactoryTune3]\nTune1=$1F\n[Useroff]\nx=1\n")

# ---- sim_unit: nine bytes of start state, then records of a time step byte,
# a length byte and the request content ----------------------------------------
def unit_seed(requests, fw=(1, 13), khz=0, direction=0, flags=0, motion=0, start=64):
    head = bytes([fw[0], fw[1], khz & 0xFF, khz >> 8, direction, flags & 0xFF, flags >> 8, motion, start])
    out = bytearray(head)
    for step, content in requests:
        out += bytes([step, len(content)]) + bytes(content)
    return bytes(out)

write("sim_unit", "four-commands", unit_seed([
    (0, [0x0D, 1]), (5, [0x8E, 3, 0x78, 0x37]), (40, [0x0F, 1]), (220, [0x10, 1]),
    (0, [0x91, 2]), (0, [0x92, 4, 0x00, 0x00] + [0] * 47), (10, [0x13, 1]), (255, [0x14, 1])]))
write("sim_unit", "tune-direction", unit_seed([
    (0, [0x81, 3, 0xD4, 0xC3, 2]), (1, [0x02, 1]), (250, [0x83, 3, 0x01]), (200, [0x04, 1]),
    (0, [0x85, 9]), (0, [0x86]), (0, [0x87, 4, 0x05])], fw=(1, 12), khz=7050, direction=1,
    flags=0x0102, motion=2, start=0))
write("sim_unit", "epoch", unit_seed([(0, [0x81, 3, 0x10, 0x27]), (251, [0x02, 1]), (0, [0x03, 1])],
                                     motion=1, start=0))
