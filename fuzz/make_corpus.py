#!/usr/bin/env python3
"""Writes the seed corpora of fuzz_interface and fuzz_engine: hand-made lives, one file each.

The byte layouts are the ones the targets decode: one step byte, then that step's arguments,
little-endian. Run from anywhere; rewrites corpus/<target>/seed_*.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# Steps, in the order of fuzz_interface.cpp's Step enumeration.
(CREATE, DESCRIBE, SET_RATE, SET_BLOCK, WIRE, OPEN, PROCESS, FILL, SET_LIST, UNWIRE, EVENT,
 ADVANCE, RAW_DISPATCH, CLOSE, NULL_RECORDS) = range(15)

# Indexes into kSpecialRates.
RATE = {8000: 0, 44100: 1, 48000: 2, 96000: 3, 192000: 4, 22050: 5, 881: 6, 882: 7, 1000: 8, 1: 9,
        'zero': 12, 'negative': 14, 'nan': 17, 'inf': 18, '-inf': 19, 'max': 20, 'denormal': 21,
        '1e30': 22, '3e9': 23, '2^31': 24, 'n_fits': 26, 'n_overflows': 27, 'bytes_wrap': 28}
# Indexes into kSpecialValues.
VAL = {0: 0, 1: 2, -1: 3, 0.1: 4, 0.5: 5, 9: 6, -9: 7, 20: 8, 2: 9, 4.41: 11, 8820: 12, 36: 13,
       -36: 14, 360: 15, -360: 16, 1e10: 17, -1e10: 18, 2**31: 19, 'max': 25, 'lowest': 26,
       'inf': 27, '-inf': 28, 'nan': 29, 'snan': 31, 'denormal': 23}

IN, DEPTH, OFFSET, FREQ, PHASE, WAVE, OUT, FREQ_SCALE, DEPTH_SCALE = range(9)
DEFAULTS = [VAL[1], VAL[0.5], VAL[0], VAL[0.1], VAL[0], VAL[0], VAL[0], VAL[0], VAL[0]]


def u8(v): return struct.pack('<B', v & 0xFF)
def u16(v): return struct.pack('<H', v & 0xFFFF)
def i32(v): return struct.pack('<i', v)
def f32(v): return struct.pack('<f', v)


def create(): return u8(CREATE) + u8(0)
def create_without_callback(): return u8(CREATE) + u8(4)
def rate(name): return u8(SET_RATE) + i32(0) + i32(0) + u8(0) + u8(RATE[name])
def raw_rate(value): return u8(SET_RATE) + i32(0) + i32(0) + u8(2) + f32(value)
def open_(): return u8(OPEN)
def close(): return u8(CLOSE)
def constant(special): return u8(0) + u8(special)
def ramp(start, step): return u8(2) + f32(start) + f32(step)


def wire(values=DEFAULTS, length=512, pins=None):
    """Wires `pins` host pins (the described ones by default) with buffers of constants."""
    count = 0x80 if pins is None else pins
    n = len(DEFAULTS) if pins is None else pins
    fills = b''.join(constant(values[p] if p < len(values) else VAL[0]) for p in range(n))
    return u8(WIRE) + u8(count) + u16(length) + fills


def fill(pin, pattern): return u8(FILL) + u8(pin) + pattern
def set_list(pin, value): return u8(SET_LIST) + u8(pin) + u8(0) + struct.pack('<h', value)
def unwire(pin): return u8(UNWIRE) + u8(pin) + u8(1)
def rewire(pin): return u8(UNWIRE) + u8(pin) + u8(0)
def block(a, b): return u8(PROCESS) + u8(0) + u16(a) + u16(b)
def empty_block(offset): return u8(PROCESS) + u8(2) + u16(offset) + u8(0) + u8(0)
def negative_block(offset, count): return u8(PROCESS) + u8(3) + i32(offset) + i32(count)


def event(type_choice, right_clock=True, pin=0, state=2):
    clock = u8(1) if right_clock else u8(0) + i32(1000)
    target = u8(1) + u8(pin + 1) if -1 <= pin <= 16 else u8(0) + i32(pin)
    return u8(EVENT) + u8(type_choice) + clock + u8(1) + u8(state) + i32(0x12345) + target


def run_routine(): return u8(EVENT) + u8(2) + u8(1) + u8(1) + u8(0) + i32(0) + u8(1)
def dispatch(opcode): return u8(RAW_DISPATCH) + u8(1) + u8(opcode) + i32(0) + i32(0) + f32(0) + u8(0)
def describe(index): return u8(DESCRIBE) + u8(1) + u8(index + 1)
def null_records(which): return u8(NULL_RECORDS) + u8(which)


def life(*parts, r=44100, values=DEFAULTS, blocks=3):
    body = create() + rate(r) + wire(values) + open_()
    body += b''.join(parts) if parts else b''.join(block(0, 512) for _ in range(blocks))
    return body + close()


def with_value(pin, special):
    values = list(DEFAULTS)
    values[pin] = special
    return values


SEEDS = {
    'default_sine': life(),
    'triangle': life(set_list(WAVE, 1), block(0, 512), block(0, 512)),
    'square': life(set_list(WAVE, 2), block(0, 512), block(0, 512)),
    'other_wave_then_back': life(set_list(WAVE, 3), block(0, 300), set_list(WAVE, 0), block(0, 300)),
    'khz_scale': life(set_list(FREQ_SCALE, 1), block(0, 512)),
    'relative_depth': life(set_list(DEPTH_SCALE, 1), fill(OFFSET, constant(VAL[0.5])), block(0, 512)),
    'freq_modulated': life(fill(FREQ, ramp(0.0, 0.01)), block(0, 512), fill(PHASE, ramp(-40.0, 0.3)),
                           block(0, 512)),
    'rate_881_square': life(set_list(WAVE, 2), block(0, 512), r=881),
    'rate_1': life(set_list(WAVE, 2), block(0, 100), r=1),
    'rate_192000': life(block(0, 512), r=192000),
    'rate_nan': life(block(0, 512), r='nan'),
    'rate_inf': life(block(0, 512), r='inf'),
    'rate_zero': life(block(0, 512), r='zero'),
    'rate_negative': life(block(0, 512), r='negative'),
    'rate_3e9': life(block(0, 512), r='3e9'),
    'rate_2_31': life(block(0, 512), r='2^31'),
    'rate_table_length_overflows': life(block(0, 512), r='n_overflows'),
    'rate_table_bytes_wrap': life(block(0, 512), r='bytes_wrap'),
    'rate_denormal': life(block(0, 512), r='denormal'),
    'freq_huge': life(block(0, 512), values=with_value(FREQ, VAL[1e10])),
    'freq_inf': life(block(0, 512), values=with_value(FREQ, VAL['inf'])),
    'freq_nan': life(block(0, 512), values=with_value(FREQ, VAL['nan'])),
    'freq_past_twice_rate': life(block(0, 512), values=with_value(FREQ, VAL[8820])),
    'freq_khz_past_twice_rate': life(set_list(FREQ_SCALE, 1), block(0, 512),
                                     values=with_value(FREQ, VAL[20])),
    'phase_negative': life(block(0, 512), values=with_value(PHASE, VAL[-360])),
    'phase_huge': life(block(0, 512), values=with_value(PHASE, VAL[1e10])),
    'phase_lowest': life(block(0, 512), values=with_value(PHASE, VAL['lowest'])),
    'phase_nan': life(block(0, 512), values=with_value(PHASE, VAL['nan'])),
    'depth_zero': life(block(0, 512), values=with_value(DEPTH, VAL[0])),
    'depth_inf': life(block(0, 512), values=with_value(DEPTH, VAL['inf'])),
    'in_snan': life(block(0, 512), values=with_value(IN, VAL['snan'])),
    'offset_max': life(block(0, 512), values=with_value(OFFSET, VAL['max'])),
    'close_before_open': create() + close(),
    'close_after_create_and_wire': create() + wire() + close(),
    'second_open': create() + rate(44100) + wire() + open_() + block(0, 512) + rate(8000) + open_() +
                   block(0, 512) + close(),
    'second_open_unusable': create() + wire() + open_() + block(0, 64) + rate('nan') + open_() +
                            block(0, 64) + close(),
    'process_before_open': create() + wire() + block(0, 512) + close(),
    'blocks_odd_and_offset': life(block(3, 10), block(10, 11), block(100, 357), empty_block(17),
                                  negative_block(-1, 5), negative_block(-65536, 2**31 - 1),
                                  block(0, 512)),
    'unwired_pin': life(unwire(PHASE), block(0, 512), rewire(PHASE), unwire(OUT), block(0, 512),
                        rewire(OUT), block(0, 64)),
    'events': life(event(0), event(0, pin=20), event(0, pin=-1), event(1), event(3),
                   event(0, right_clock=False), run_routine(), block(0, 64)),
    'opcodes': life(dispatch(4), dispatch(5), dispatch(7), dispatch(8), dispatch(9), dispatch(10),
                    dispatch(11), dispatch(12), dispatch(13), dispatch(255), describe(-1), describe(9),
                    describe(3), block(0, 64)),
    'null_records': life(null_records(0), null_records(1), null_records(2), null_records(3),
                         block(0, 64)),
    'pin_count_zero': create() + u8(WIRE) + u8(0) + u16(64) + open_() + block(0, 64) + close(),
    'pin_count_five': create() + wire(pins=5, length=64) + open_() + block(0, 64) + close(),
    'pin_count_twelve': create() + wire(pins=12, length=64) + open_() + event(0, pin=11) +
                        block(0, 64) + close(),
    'no_callback': create_without_callback() + wire() + open_() + block(0, 64) + close(),
    'two_lives': life(block(0, 64)) + life(block(0, 64), r=8000),
}


# fuzz_engine: a rate, a buffer length, then steps, in the order of fuzz_engine.cpp's Step enumeration.
E_FILL, E_CHOICES, E_BLOCK, E_SET_RATE, E_REOPEN, E_UNWIRE = range(6)


def e_header(r, length=1024):
    rate_bytes = u8(0) + u8(RATE[r]) if r in RATE else u8(2) + f32(r)
    return rate_bytes + u16(length - 1)


def e_fill(pin, pattern): return u8(E_FILL) + u8(pin) + pattern
def sweep(centre, depth, rate): return u8(5) + u8(VAL[centre]) + u8(VAL[depth]) + u16(int(rate * 1e4))
def e_choices(wave, freq_scale=0, depth_scale=0):
    return u8(E_CHOICES) + b''.join(u8(1) + u8(v) for v in (wave, freq_scale, depth_scale))
def e_block(a, b): return u8(E_BLOCK) + u8(1) + u16(a) + u16(b)
def e_blocks(n, length=1024): return b''.join(e_block(0, length) for _ in range(n))
def e_rate(r): return u8(E_SET_RATE) + (u8(0) + u8(RATE[r]) if r in RATE else u8(2) + f32(r))
def e_reopen(): return u8(E_REOPEN)
def e_unwire(pin, wired): return u8(E_UNWIRE) + u8(pin) + u8(0 if wired else 1)


def e_every_wave(r):
    body = e_header(r)
    for wave in (0, 1, 2, 3):
        for scale in (0, 1):
            body += e_choices(wave, scale, scale) + e_fill(OFFSET, constant(VAL[0.5]))
            body += e_fill(FREQ, sweep(2 if not scale else 0.1, 1 if not scale else 0.1, 0.01))
            body += e_fill(PHASE, sweep(0, 360, 0.003))
            body += e_block(0, 1) + e_block(1, 8) + e_block(8, 333) + e_block(333, 1024)
    return body


ENGINE_SEEDS = {
    'default_sine': e_header(44100) + e_blocks(4),
    'every_wave_881': e_every_wave(881),
    'every_wave_8000': e_every_wave(8000),
    'every_wave_44100': e_every_wave(44100),
    'every_wave_48000': e_every_wave(48000),
    'every_wave_192000': e_every_wave(192000),
    'rescale_jump': e_header(8000) + e_choices(1) + e_fill(FREQ, constant(VAL[1])) + e_block(0, 500) +
                    e_fill(FREQ, constant(VAL[2])) + e_block(500, 1024) + e_fill(FREQ, ramp(0.0, 0.01)) +
                    e_blocks(2),
    'phase_negative_sweep': e_header(8000) + e_fill(PHASE, ramp(0.0, -3.7)) + e_blocks(3) +
                            e_choices(2) + e_blocks(2),
    'freq_past_twice_rate': e_header(8000) + e_fill(FREQ, ramp(1500.0, 1.0)) + e_blocks(2) +
                            e_choices(0, 1) + e_fill(FREQ, ramp(1.5, 0.01)) + e_blocks(2),
    'awkward_inputs': e_header(8000) + b''.join(e_fill(p, u8(3) + bytes(range(0, 96, 3)) * 32)
                                               for p in (IN, DEPTH, OFFSET, FREQ, PHASE)) + e_blocks(2),
    'rate_nan': e_header('nan') + e_fill(OFFSET, constant(VAL[0.5])) + e_blocks(2),
    'rate_overflows': e_header('n_overflows') + e_blocks(1),
    'reopen_new_rate': e_header(8000) + e_choices(2) + e_blocks(1) + e_rate(881) + e_blocks(1) +
                       e_reopen() + e_blocks(1) + e_rate('zero') + e_reopen() + e_blocks(1) +
                       e_rate(22050) + e_reopen() + e_blocks(1),
    'unwired': e_header(8000) + e_block(0, 100) + e_unwire(PHASE, False) + e_block(100, 200) +
               e_unwire(PHASE, True) + e_unwire(6, False) + e_block(200, 300) + e_unwire(6, True) +
               e_block(300, 400),
    'unprocessable_blocks': e_header(8000) + u8(E_BLOCK) + u8(0) + u8(1) + u16(5) + u8(0) + u8(9) +
                            u8(E_BLOCK) + u8(0) + u8(0) + u8(1) + u8(7) + e_block(0, 1024),
}


# fuzz_trhost_parsers: a byte naming the reader (0 patch file, 1 --set values, 2 pin texts), then text.
def patch_seeds():
    seeds = {}
    examples = os.path.join(HERE, '..', 'examples')
    for name in sorted(os.listdir(examples)):
        if name.endswith('.json'):
            with open(os.path.join(examples, name), 'rb') as f:
                seeds['patch_' + name[:-5]] = b'\x00' + f.read()
    patches = {
        'patch_minimal': '{"modules":[{"name":"a","library":"vexlo.so"}],"outputs":["a.Out"]}',
        'patch_settings': '{"rate":48000,"block":256,"seconds":0.5,"title":"t","comment":"c",'
                          '"modules":[{"name":"a","library":"v.so","set":{"Freq":4,"Wave":"square",'
                          '"Depth scale":"Relative"},"wire":{"Phase":"b.Out"}},'
                          '{"name":"b","library":"v.so"}],"outputs":["a.Out","b.Out"]}',
        'patch_huge_seconds': '{"seconds":1e300,"modules":[{"name":"a","library":"v"}],"outputs":["a.Out"]}',
        'patch_odd_numbers': '{"rate":-0.0,"block":9223372036854775807,"seconds":1e-320,'
                             '"modules":[{"name":"a","library":"v","set":{"Freq":1e400}}],"outputs":["a.b"]}',
        'patch_malformed': '{"modules":[{"name":"a",\n "library":}]',
        'patch_deep': '[' * 200 + ']' * 200,
    }
    for name, text in patches.items():
        seeds[name] = b'\x00' + text.encode()
    sets = ['Freq=4', 'freq=-1e38', 'Wave=triangle', 'Wave=7', 'Wave=-32769', 'Depth scale=Relative',
            'Out=1', 'Phase=nan', 'In=inf', 'Offset=0x10', '=5', 'Freq', 'Nope=1', 'Freq= 4',
            'Freq=1e39', 'Wave=', 'Freq scale=kHz']
    seeds['set_values'] = b'\x01' + '\n'.join(sets).encode()
    texts = ['10,0,10,0', '20,.0001,20,.0001', 'sine=0,triangle=1,square=2', 'a=1,,b=2', '=1',
             'x=99999', '1,2,3', '1e999,0,0,0', '-0', '.', '1e-400', 'nan', '32767', '-32768',
             '32768', '+5', ' 5', '5 ']
    seeds['pin_texts'] = b'\x02' + '\n'.join(texts).encode()
    return seeds


def write(target, seeds):
    out = os.path.join(HERE, 'corpus', target)
    os.makedirs(out, exist_ok=True)
    for name in os.listdir(out):
        if name.startswith('seed_'):
            os.remove(os.path.join(out, name))
    for name, data in seeds.items():
        with open(os.path.join(out, 'seed_' + name), 'wb') as f:
            f.write(data)


def main():
    write('fuzz_interface', SEEDS)
    write('fuzz_engine', ENGINE_SEEDS)
    write('fuzz_trhost_parsers', patch_seeds())


if __name__ == '__main__':
    main()
