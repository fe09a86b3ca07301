#!/usr/bin/env python3
"""Writes one sample file of each instrument format the measured-data readers know, made from the
formats' descriptions, and expected.json: for each file the format, the point count of the first
sweep, the sweep count, the first and last point (f, Z', Z'') and the frequency range, worked out
here from the values written. Usage: make_measured_samples.py OUTDIR [POINTS]; POINTS (the
benchmarks' 100000) sets every sweep's length."""
import json
import math
import os
import struct
import sys


def f32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


POINTS = None


def spectrum(n, high=1e5, low=0.1, r0=10.0, r1=100.0, c=1e-5, single=False):
    """n points (POINTS when set) from high down to low (log spaced): R0 + R1 || C."""
    n = POINTS or n
    out = []
    for k in range(n):
        f = high * (low / high) ** (k / (n - 1))
        z = r0 + r1 / complex(1, 2 * math.pi * f * r1 * c)
        p = (f, z.real, z.imag)
        out.append(tuple(map(f32, p)) if single else p)
    return out


EXPECTED = []


def expect(name, fmt, points, sweeps):
    fs = [p[0] for p in points]
    EXPECTED.append({"file": name, "format": fmt, "points": len(points), "sweeps": sweeps,
                     "first": list(points[0]), "last": list(points[-1]), "fmin": min(fs), "fmax": max(fs)})


def write(out, name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


def eclab_pair(out):
    """The same two-loop PEIS run as EC-Lab's text export and as its binary file."""
    loops = [spectrum(41, single=True), [(f, re * 1.01, im * 1.01) for f, re, im in spectrum(41, single=True)]]
    loops[1] = [tuple(map(f32, p)) for p in loops[1]]
    names = ["freq/Hz", "Re(Z)/Ohm", "-Im(Z)/Ohm", "|Z|/Ohm", "Phase(Z)/deg", "time/s", "cycle number"]
    header = ["EC-Lab ASCII FILE", "Nb header lines : 5", "", "Potentio Electrochemical Impedance Spectroscopy"]
    lines = header + ["\t".join(names)]
    rows = []
    t = 0.0
    for number, loop in enumerate(loops, 1):
        for f, re, im in loop:
            mod = f32(math.hypot(re, im))
            ph = f32(math.degrees(math.atan2(im, re)))
            t += 1.0
            rows.append((f, re, im, mod, ph, t, float(number)))
            lines.append("\t".join("%.9E" % v for v in (f, re, -im, mod, ph, t, float(number))))
    write(out, "peis.mpt", ("\r\n".join(lines) + "\r\n").encode("latin-1"))
    expect("peis.mpt", "EC-Lab", loops[0], 2)

    def module(short, long, version, data, date=b"12/08/26"):
        return (b"MODULE" + short.ljust(10) + long.ljust(25) + struct.pack("<II", len(data), version) + date + data)

    ids = [1, 4, 32, 37, 38, 36, 35, 24]  # flags, time, f, Re, -Im, |Z|, phase, cycle number
    head = struct.pack("<IB", len(rows), len(ids)) + b"".join(struct.pack("<H", i) for i in ids)
    head = head.ljust(406, b"\0")
    body = b"".join(struct.pack("<Bdfffffd", 1, t, f, re, -im, mod, ph, cyc) for f, re, im, mod, ph, t, cyc in rows)
    magic = b"BIO-LOGIC MODULAR FILE\x1a".ljust(48) + b"\0\0\0\0"
    mpr = (magic + module(b"VMP Set", b"VMP settings", 0, b"\x1d" + b"\0" * 100) +
           module(b"VMP data", b"VMP data", 3, head + body) + module(b"VMP LOG", b"VMP log", 0, b"\0" * 40))
    write(out, "peis.mpr", mpr)
    expect("peis.mpr", "EC-Lab", loops[0], 2)


def gamry_drift(out):
    raw = spectrum(25)
    corrected = [(f, re + 0.5, im - 0.25) for f, re, im in raw]
    lines = ["EXPLAIN", "TAG\tGALVEIS", "TITLE\tLABEL\tGalvanostatic EIS\tTest &Identifier",
             "DATE\tLABEL\t12/8/2026\tDate", "DRIFTCOR\tTOGGLE\tT\tDrift Correction", "ZCURVE\tTABLE",
             "\tPt\tTime\tFreq\tZreal\tZimag\tZsig\tZmod\tZphz\tZrealDrCor\tZimagDrCor\tZmodDrCor\tZphzDrCor",
             "\t#\ts\tHz\tohm\tohm\tV\tohm\t\xb0\tohm\tohm\tohm\t\xb0"]
    for k, ((f, re, im), (_, cre, cim)) in enumerate(zip(raw, corrected)):
        lines.append("\t" + "\t".join(["%d" % k, "%d" % k] + ["%.12g" % v for v in (f, re, im, 1, math.hypot(re, im), 0,
                                                                                     cre, cim, math.hypot(cre, cim), 0)]))
    write(out, "galv.DTA", ("\r\n".join(lines) + "\r\n").encode("latin-1"))
    expect("galv.DTA", "Gamry", corrected, 1)


def quoted_z(out, name, head, fmt, bom, n):
    points = spectrum(n)
    lines = ['"%s"' % head, '"Date: 12-08-2026"', '"Title: cell 3"', "%d" % len(points),
             '"Freq(Hz)"\t"Ampl"\t"Bias"\t"Time(Sec)"\t"Z\'(a)"\t"Z\'\'(b)"']
    for k, (f, re, im) in enumerate(points):
        lines.append("%.10E,%.4f,%.4f,%d,%.10E,%.10E" % (f, 0.01, 0, k, re, im))
    write(out, name, (b"\xef\xbb\xbf" if bom else b"") + ("\r\n".join(lines) + "\r\n").encode("ascii"))
    expect(name, fmt, points, 1)


def nova(out):
    points = spectrum(30)
    lines = ["Index;Frequency (Hz);Z' (\u03a9);-Z'' (\u03a9);Z (\u03a9);-Phase (\u00b0);Time (s)"]
    for k, (f, re, im) in enumerate(points):
        z = math.hypot(re, im)
        lines.append(";".join(["%d" % (k + 1)] + [("%.10g" % v).replace(".", ",")
                                                  for v in (f, re, -im, z, -math.degrees(math.atan2(im, re)), k)]))
    write(out, "nova.txt", ("\r\n".join(lines) + "\r\n").encode("utf-8"))
    expect("nova.txt", "NOVA", points, 1)


def ivium(out):
    sets = [spectrum(20), spectrum(20, r1=50.0)]
    lines = ["[Method]", "Title=ivium run", "Technique=Impedance", "starttime=08-12-2026 06:00:00"]
    for number, points in enumerate(sets, 1):
        lines += ["[Data %d]" % number, "\x1e", "primary_data", "3", "%d" % len(points)]
        lines += ["%.10E %.10E %.10E" % (re, im, f) for f, re, im in points]
    write(out, "run.ids", ("\r\n".join(lines) + "\r\n").encode("latin-1"))
    expect("run.ids", "Ivium", sets[0], 2)


def versastudio(out):
    points = spectrum(15)
    names = ("Segment #,Point #,E(V),I(A),Elapsed Time(s),ADC Sync Input(V),Current Range,Status,E Applied(V),"
             "Frequency(Hz),E Real,E Imag,I Real,I Imag,Z Real,Z Imag,Overload,Stable")
    lines = ["<Application>", "Application=VersaStudio", "Version=2.60", "</Application>", "<Experiment>",
             "DateAcquired=12/08/2026", "ElectrodeArea=1.0", "</Experiment>", "<Segment1>", "Definition=" + names]
    lines += ["1,%d,0.5,0,%d,0,1,0,0,0,0,0,0,0,0,0,0,1" % (k, k) for k in range(5)]
    lines += ["</Segment1>", "<Segment2>", "Definition=" + names]
    lines += ["2,%d,0.5,0,%d,0,1,0,0,%.10E,0,0,0,0,%.10E,%.10E,0,1" % (k, k, f, re, im) for k, (f, re, im) in enumerate(points)]
    lines += ["</Segment2>"]
    write(out, "run.par", ("\r\n".join(lines) + "\r\n").encode("latin-1"))
    expect("run.par", "VersaStudio", points, 1)


def zahner(out):
    down = spectrum(30)
    up = [(1e3, 0, 0), (1e4, 0, 0)]
    up = [(f, *(lambda z: (z.real, z.imag))(10 + 100 / complex(1, 2 * math.pi * f * 100 * 1e-5))) for f, _, _ in up]
    allp = up + down
    n = len(allp)
    data = (3).to_bytes(6, "big") + (n - 1).to_bytes(6, "big")
    data += b"".join(struct.pack(">d", f) for f, _, _ in allp)
    data += b"".join(struct.pack(">d", math.hypot(re, im)) for _, re, im in allp)
    data += b"".join(struct.pack(">d", math.atan2(im, re)) for _, re, im in allp)
    data += b"".join(struct.pack(">d", 1.4e9 + k) for k in range(n))
    data += b"".join(struct.pack(">h", 1) for _ in range(n))
    data += struct.pack(">h", 6) + b"081226" + b"\0" * 16
    write(out, "cell.ism", data)
    expect("cell.ism", "Zahner", down, 1)


def palmsens(out):
    points = spectrum(18)

    def array(unit, values):
        return {"Type": "PalmSens.Data.DataArray", "Unit": {"Type": unit, "S": "", "Q": "", "A": ""},
                "DataValues": [{"V": v} for v in values]}

    session = {"Type": "PalmSens.DataFiles.SessionFile", "Measurements": [
        {"Title": "CV 1", "DataSet": {"Type": "PalmSens.Data.DataSet", "Values": [array("PalmSens.Units.Volt", [0, 1])]}},
        {"Title": "EIS 1", "TimeStamp": "2026-12-08T06:00:00", "DataSet": {
            "Type": "PalmSens.Data.DataSetEIS", "Values": [
                array("PalmSens.Units.Hertz", [p[0] for p in points]),
                array("PalmSens.Units.ZRe", [p[1] for p in points]),
                array("PalmSens.Units.ZIm", [-p[2] for p in points])]}}]}
    text = json.dumps(session, separators=(",", ":")) + "\ufeff"
    write(out, "session.pssession", b"\xff\xfe" + text.encode("utf-16-le"))
    expect("session.pssession", "PalmSens", points, 1)


def zimg(out):
    points = spectrum(12)
    lines = ["Freq\tZreal\tZimg"] + ["%.10g\t%.10g\t%.10g" % p for p in points]
    write(out, "zimg.txt", ("\r\r\n".join(lines) + "\r\r\n").encode("ascii"))
    expect("zimg.txt", "表格文本", points, 1)


REFUSED = []


def refused(out, name, data, reason):
    """A broken file of a format and a part of the reason its refusal must give."""
    write(out, name, data)
    REFUSED.append({"file": name, "reason": reason})


def broken(out):
    with open(os.path.join(out, "peis.mpr"), "rb") as f:
        mpr = f.read()
    at = mpr.index(b"VMP data  ", 100) - 6 + 57
    ids = at + 5
    refused(out, "unknown_id.mpr", mpr[:ids] + struct.pack("<H", 999) + mpr[ids + 2:], "编号 999 未知")
    refused(out, "cut.mpr", mpr[: at + 406 + 100], "被截断")
    refused(out, "no_data.mpr", mpr[:at - 57], "没有数据模块")
    with open(os.path.join(out, "run.par"), "rb") as f:
        par = f.read()
    refused(out, "ocv.par", par[: par.index(b"<Segment2>")], "没有阻抗段")
    refused(out, "cols.idf", b"[Method]\r\nprimary_data\r\n4\r\n1\r\n1 2 3 4\r\n", "不是 3 列")
    session = {"Measurements": [{"Title": "EIS", "DataSet": {"Type": "EIS", "Values": [
        {"Unit": {"Type": "Hertz"}, "DataValues": [{"V": 1}, {"V": 2}]},
        {"Unit": {"Type": "ZRe"}, "DataValues": [{"V": 1}]},
        {"Unit": {"Type": "ZIm"}, "DataValues": [{"V": 1}, {"V": 2}]}]}}]}
    refused(out, "counts.pssession", b"\xff\xfe" + json.dumps(session).encode("utf-16-le"), "点数不一")
    refused(out, "cv.DTA", b"EXPLAIN\r\nTAG\tCV\r\n", "CV 不是阻抗谱")


def main_into(out):
    EXPECTED.clear()
    REFUSED.clear()
    os.makedirs(out, exist_ok=True)
    eclab_pair(out)
    gamry_drift(out)
    quoted_z(out, "old.z", "ZPlotW Data File: Version 2.6", "ZPlot", False, 31)
    quoted_z(out, "autolab.txt", "Z60W Data File: Version 1.0", "Autolab", True, 21)
    nova(out)
    ivium(out)
    versastudio(out)
    zahner(out)
    palmsens(out)
    zimg(out)
    broken(out)
    with open(os.path.join(out, "expected.json"), "w") as f:
        json.dump({"read": EXPECTED, "refused": REFUSED}, f, indent=1)


if __name__ == "__main__":
    if len(sys.argv) > 2:
        POINTS = int(sys.argv[2])
    main_into(sys.argv[1])
