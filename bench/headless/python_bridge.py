#!/usr/bin/python3
"""The bridge a user would otherwise write: every pack polled once a second on its serial line,
each live data frame published as a state JSON object to MQTT. pyserial and paho-mqtt from
Debian, one select loop over the lines (paho's own network thread for the broker). The
yardstick of bench/headless/measure, not part of the product.

Usage: python_bridge.py --mqtt HOST:PORT --prefix P NAME=DEVICE...
"""
import argparse
import json
import select
import signal
import struct
import sys
import time
from datetime import datetime

import paho.mqtt.client as mqtt
import serial

POLL = bytes.fromhex("AA55 0600 0000 0100 0100 55AA")
LIVE_DATA = 0x4D
LIVE_LENGTH = 83
MODES = {0: "IDLE_MODE", 1: "DSG_MODE", 2: "CHG_MODE"}
MOS = {2: (False, False), 3: (True, False), 18: (False, True), 19: (True, True)}
ALARMS = ["Cell OV", "Cell UV", "OV Differ", "OT Differ", "DSG OTemper", "DSG UTemper", "CHG OTemper",
          "CHG UTemper", "BUS OV", "CHG OC", "DSG OC", "SOC Low", "BUS UV", "Short Circuit",
          "Lecu Line Break", "FET OTemper", "afe Config Fail", "afe R/W Error"]


def take_frames(buf):
    """Every whole frame with a good checksum at the front of buf; what is used is removed."""
    out = []
    while True:
        head = buf.find(b"\xaa\x55")
        if head < 0:
            del buf[:max(0, len(buf) - 1)]
            return out
        tail = buf.find(b"\x55\xaa", head + 3)
        if tail < 0:
            del buf[:head]
            return out
        frame = bytes(buf[head:tail + 2])
        if len(frame) >= 8 and sum(frame[4:-4]) & 0xFFFF == struct.unpack_from("<H", frame, len(frame) - 4)[0]:
            out.append(frame)
            del buf[:tail + 2]
        else:
            del buf[:head + 2]


def state(frame):
    cells = struct.unpack_from("<4H", frame, 10)
    temps = struct.unpack_from("<2h", frame, 18)
    soc, total, current = struct.unpack_from("<iii", frame, 22)
    cycles, bus = struct.unpack_from("<Hi", frame, 42)
    remain = struct.unpack_from("<H", frame, 48)[0]
    mos, alarms, balancing = frame[70], struct.unpack_from("<I", frame, 71)[0], struct.unpack_from("<H", frame, 75)[0]
    dis_chg = MOS.get(mos)
    return {
        "time": datetime.now().astimezone().isoformat(timespec="milliseconds"),
        "cell_mv": list(cells), "temp_c": list(temps), "current_a": -current / 1000.0,
        "total_mv": total, "bus_mv": bus, "soc_pct": soc, "remain_ah": remain / 100.0, "cycles": cycles,
        "mos": {"dis": dis_chg[0], "chg": dis_chg[1]} if dis_chg else None,
        "mode": MODES.get(frame[78]),
        "alarms": [name for n, name in enumerate(ALARMS) if alarms >> n & 1],
        "balancing": [cell for cell in range(1, 5) if balancing >> (cell - 1) & 1],
    }


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mqtt", required=True)
    parser.add_argument("--prefix", default="bridge")
    parser.add_argument("packs", nargs="+")
    args = parser.parse_args()
    host, port = args.mqtt.rsplit(":", 1)

    client = mqtt.Client()
    client.connect(host, int(port))
    client.loop_start()
    packs = {}
    for pack in args.packs:
        name, device = pack.split("=", 1)
        line = serial.Serial(device, 38400, timeout=0)
        packs[line.fileno()] = (name, line, bytearray())

    running = [True]
    signal.signal(signal.SIGTERM, lambda *_: running.__setitem__(0, False))
    next_poll = time.monotonic()
    while running[0]:
        ready, _, _ = select.select(list(packs), [], [], max(0.0, next_poll - time.monotonic()))
        for fd in ready:
            name, line, buf = packs[fd]
            buf += line.read(line.in_waiting or 1)
            for frame in take_frames(buf):
                if frame[2] == LIVE_DATA and len(frame) == LIVE_LENGTH:
                    client.publish(f"{args.prefix}/{name}/state", json.dumps(state(frame)))
        if time.monotonic() >= next_poll:
            for _, line, _ in packs.values():
                line.write(POLL)
            next_poll += 1.0
    client.loop_stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
