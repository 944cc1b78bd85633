#!/usr/bin/env python3
"""Writes a data log as the window writes it (UTF-16LE, LF): DAYS days at one row a second.

    make_log.py FILE DAYS [SHIFT_HOURS]

Cells drift slowly with a charge/discharge cycle of six hours; an alarm flag is set for a minute
every few hours, and the program is restarted (NUMBER back to 0) once a day at noon.
SHIFT_HOURS moves the cycle and the cells, for a second log to compare with the first.
"""
import math
import sys

HEADER = ("TIME,NUMBER,Cell1-V(mV),Cell2-V(mV),Cell3-V(mV),Cell4-V(mV),Diff(mV),Total,MosTemp,PackTemp,"
          "SOC,Circle,Current,Balance,DischgCap,ChgCap,RemainCap,error,MosStatus,Mode\n")


def rows(days, shift):
    number = 0
    for t in range(days * 86400):
        tod = t % 86400
        if tod == 43200:
            number = 0
        phase = math.sin(2 * math.pi * (t + shift * 3600) / 21600)
        current = 10.0 * phase
        base = 3300 + int(150 * phase) - int(20 * shift)
        cells = [base + (t * 7 + k * 13) % 9 for k in range(4)]
        diff = max(cells) - min(cells)
        mode = 2 if current > 0 else 1
        error = 1 if (t % 10800) < 60 else 0
        yield (f"{tod // 3600:02d}:{tod // 60 % 60:02d}:{tod % 60:02d},{number},{cells[0]},{cells[1]},"
               f"{cells[2]},{cells[3]},{diff},{sum(cells)},25.000000,26.000000,{50 + int(40 * phase)},"
               f"{12 + t // 86400},{current:.6f},0,10.50,11.25,45.60,{error},3,{mode}\n")
        number += 1


def main():
    path, days = sys.argv[1], int(sys.argv[2])
    shift = float(sys.argv[3]) if len(sys.argv) > 3 else 0.0
    with open(path, "w", encoding="utf-16-le", newline="") as out:
        out.write(HEADER)
        batch = []
        for row in rows(days, shift):
            batch.append(row)
            if len(batch) == 10000:
                out.write("".join(batch))
                batch = []
        out.write("".join(batch))


main()
