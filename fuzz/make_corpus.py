#!/usr/bin/env python3
"""Writes the seed corpus of the fuzzers: well-formed model files and the edge cases of the model
file grammar, one file each, for the model reader and the import; for the measured data reader, a
file of each instrument format (tests/report/make_measured_samples.py) besides the hand-written
ones already in its folder. Run from anywhere; the files land in fuzz/corpus/<harness>/."""
import importlib.util
import os
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
VALUES = ["1.2345E-07", "0.015234", "0.0041187", "0.81236", "0.78412", "0.023107",
          "12.453", "0.91027", "0.10342", "356.71", "0.65318"]


def single(n, name, value, code):
    return [f"Element {n} Type: {code}", f"  Name: {name}", "  Fixed: N", f"  Value: {value}", "  Error: 0.1"]


def cpe(n, name, t, p):
    return [f"Element {n} Type: 11", f"  Name: {name}", "  Fixed T: N", f"  Value: {t}", "  Error T: 0.1",
            "  Fixed P: N", f"  Value: {p}", "  Error P: 0.01"]


def model_lines(values=VALUES, head=("Impedance model file", "")):
    v = values
    lines = list(head)
    lines += single(1, "L0", v[0], "3") + single(2, "R0", v[1], "1") + single(3, "R1", v[2], "1")
    lines += cpe(4, "CPE1", v[3], v[4]) + single(5, "R2", v[5], "1") + cpe(6, "CPE2", v[6], v[7])
    lines += single(7, "R3", v[8], "1") + cpe(8, "CPE3", v[9], v[10])
    lines += ["End of model"]
    return lines


def crlf(lines):
    return ("\r\n".join(lines) + "\r\n").encode("latin-1")


def seeds():
    s = {}
    s["well_formed"] = crlf(model_lines())
    s["no_head"] = crlf(model_lines(head=()))
    s["lf_only"] = crlf(model_lines()).replace(b"\r\n", b"\n")
    s["cr_only"] = crlf(model_lines()).replace(b"\r\n", b"\r")
    s["empty"] = b""
    s["no_element"] = crlf(["just text", "Type: 3", "Name: L0", "Value: 1"])
    s["codes"] = crlf(["Element 1 Type: -1", "x", "Element 2 Type: -2", "y", "Element 3 Type: 7",
                       "Element 4 Type: 3 ", "Element 5    Type:   3", "  Name: R0", "-", "  Value: 2", "-", "end"])
    s["type_before_element"] = crlf(["Type: 1 Element", "Name: R1", "-", "Value: 5", "-", "stop"])
    s["missing_keywords"] = crlf(["Element 1 Type: 1", "  Nam: R0", "-", "  Value: 1", "-",
                                  "Element 2 Type: 11", "  Name: CPE1", "-", "  Value: 1", "-", "-", "  Valu: 2", "-",
                                  "Element 3 Type: 1", "  Name: R1", "-", "  Value: 3", "-", "end"])
    s["duplicate"] = crlf(single(1, "R0", "1", "1") + single(2, "R0", "2", "1") + ["end"])
    s["unknown_column"] = crlf(single(1, "R9", "1", "1") + ["end"])
    s["key_column"] = crlf(single(1, "id", "7", "1") + ["end"])
    s["sql_name"] = crlf(single(1, "L0\"; DROP TABLE table1; --", "1", "3") + ["end"])
    s["sql_value"] = crlf(single(1, "L0", "'); DELETE FROM table1; --", "3") + ["end"])
    s["cut_block"] = crlf(model_lines())[:300]
    s["ends_in_cr"] = crlf(single(1, "R0", "1", "1"))[:-1]
    s["blank_between"] = crlf(single(1, "R0", "1", "1") + [""] + single(2, "R1", "2", "1"))
    gbk = "电阻".encode("gbk")
    s["cp936"] = b"\r\n".join([b"Element 1 Type: 1", b"  Name: R0", b"-", b"  Value: " + gbk, b"-", gbk]) + b"\r\n"
    s["binary"] = crlf(["Element 1 Type: 1", "  Name: R0\x00x", "-", "  Value: \x00\x01\xff", "-", "end"])
    s["invalid_utf8"] = crlf(["Element 1 Type: 1", "  Name: R0", "-", "  Value: \xc3\x28\xa0\xa1\xff", "-", "end"])
    big = crlf(["Comment " + "x" * 60] * 150)
    s["beyond_cut"] = big + crlf(model_lines())
    s["straddles_cut"] = crlf(["pad " + "y" * 9893]) + crlf(single(1, "R0", "1", "1") + ["end"])
    s["long_values"] = crlf(single(1, "L0", "9" * 9000, "3") + ["end"])
    return s


def measured_data_seeds(out):
    spec = importlib.util.spec_from_file_location(
        "samples", os.path.join(HERE, "..", "tests", "report", "make_measured_samples.py"))
    samples = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(samples)
    with tempfile.TemporaryDirectory() as scratch:
        samples.main_into(scratch)
        for name in sorted(os.listdir(scratch)):
            if name == "expected.json":
                continue
            with open(os.path.join(scratch, name), "rb") as f:
                data = f.read()
            with open(os.path.join(out, "sample_" + name), "wb") as f:
                f.write(data)
            # The same file cut short: each reader's refusal of a truncated file.
            with open(os.path.join(out, "cut_" + name), "wb") as f:
                f.write(data[: len(data) * 2 // 3])


def main():
    out = os.path.join(HERE, "corpus", "fuzz_measured_data")
    os.makedirs(out, exist_ok=True)
    measured_data_seeds(out)
    for harness in ("fuzz_model_reader", "fuzz_import"):
        out = os.path.join(HERE, "corpus", harness)
        os.makedirs(out, exist_ok=True)
        for name, data in seeds().items():
            with open(os.path.join(out, name + ".mdl"), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
