#!/usr/bin/env python3
"""Writes the seeds of the corrupted-answer class for fuzz_loader_answers and fuzz_bridge_answers.

One seed per kind of spoiled answer (flipped bits, short, long, another report id, stale, failed)
and per place (at the board, on the wire, at the I2C bridge, behind it), plus bursts of failed
reports for the retry paths. Layout of an input: tests/fuzz/DeviceAnswerFuzzing.h.
Run from the repository root: python3 tests/fuzz/make_answer_seeds.py
"""
import os

FLIP, SHORT, LONG, OTHER_ID, STALE, FAIL = range(6)


def flip(skip, *bits):
    out = [skip, FLIP | ((len(bits) - 1) << 4)]
    for bit in bits:
        out += [bit >> 8, bit & 0xFF]
    return out


def short(skip, length):
    return [skip, SHORT, length]


def long_(skip, extra):
    return [skip, LONG, len(extra) - 1] + list(extra)


def other_id(skip, id_):
    return [skip, OTHER_ID, id_]


def stale(skip, any_report=False):
    return [skip, STALE | (0x10 if any_report else 0)]


def fail(skip):
    return [skip, FAIL]


# After the last record: let the update run to its end (else it stops a few answers later).
TO_END = [0, 0x0F]


def bit(byte, number):
    return byte * 8 + number


SEEDS = {
    "loader_answers": {
        # byte 0: setup (bit 3 = corrupted), byte 1: the board's layout, then the records.
        "flip_parameters": [0x08, 0x00] + flip(2, bit(3, 0), bit(7, 6)),
        "flip_description_type1": [0x09, 0x00] + flip(3, bit(5, 1), bit(14, 4), bit(19, 7)),
        "short_description": [0x08, 0x00] + short(3, 15),
        "long_checksums_vendor": [0x0A, 0x00] + long_(4, b"\x01\x02\x03") + TO_END,
        "other_id_cpu_type1": [0x09, 0x04] + other_id(0, 0x21),
        "stale_read": [0x08, 0x00] + stale(12) + TO_END,
        "stale_any_checksums": [0x08, 0x00] + stale(5, any_report=True),
        "fail_parameters_twice": [0x08, 0x00] + fail(2) + fail(0),
        "wire_flip_wrapper_length": [0x0E, 0x00] + flip(2, bit(1, 0), bit(2, 3)),
        "wire_stale_vendor_type1": [0x0F, 0x01] + stale(6) + TO_END,
        # Hostile: every report from the input; a burst of 120 failures reaches the reopen.
        "hostile_burst_reopen": [0x00, 0x00, 0x00, 0x08, 120] + [0x27] * 8,
    },
    "bridge_answers": {
        # byte 0: setup (bit 6 = corrupted, bit 7 = behind the bridge, bit 0 = whole image).
        "bridge_flip_mode": [0x48, 0x00] + flip(0, bit(1, 0)),
        "bridge_flip_write_status": [0x40, 0x00] + flip(16, bit(1, 1), bit(5, 0)) + TO_END,
        "bridge_short_read_answer": [0x40, 0x00] + short(3, 40),
        "bridge_long_read_answer_vendor": [0x42, 0x00] + long_(5, b"\xF2\xF2"),
        "bridge_other_id_write_status": [0x40, 0x00] + other_id(18, 0xB1),
        "bridge_stale_write_status": [0x44, 0x80] + stale(25) + TO_END,
        "bridge_fail_busy": [0x40, 0x40] + fail(3) + fail(1),
        "board_flip_description": [0xC0, 0x00] + flip(3, bit(6, 2)),
        "board_stale_read_type1": [0xC4, 0x00] + stale(10),
        "board_short_checksums": [0xC8, 0x00] + short(4, 9) + TO_END,
        "intelhex_stale_busy": [0x41] + stale(1) + stale(1, any_report=True) + TO_END,
        "intelhex_other_id": [0x41] + other_id(2, 0xD3),
        "intelhex_flip_busy_vendor": [0x43] + flip(1, bit(3, 0)),
        "airoha_long_status": [0x59, 0x10] + long_(3, b"\x00" * 4) + TO_END,
        "airoha_fail_status": [0x49, 0x20] + fail(0) + fail(4),
        "hostile_bridge_burst": [0x08, 0x00, 0x00, 0x00, 0x08, 100] + [0x47] * 6,
    },
}

for name, seeds in SEEDS.items():
    directory = os.path.join("tests", "fuzz", "corpus", name)
    os.makedirs(directory, exist_ok=True)
    for seed, data in seeds.items():
        with open(os.path.join(directory, "seed_" + seed), "wb") as f:
            f.write(bytes(data))
