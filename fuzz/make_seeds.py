#!/usr/bin/env python3
"""Writes the seed corpus fuzz/corpus/<plugin>/ for the fuzz targets.

Each seed is a scenario in the byte language that fuzz_plugin.cpp reads
(see fuzz/support/byte_reader.h and values.h); the Scenario class below
mirrors the reader choice for choice. Run it again after changing that
language:  python3 fuzz/make_seeds.py
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

EDGE = [0.0, -0.0, 1.0, -1.0, 0.5, 2.5, 0.7, 1e6, -1e6, 1e-45, -1e-45, 1e-40,
        "min", "max", "-max", math.inf, -math.inf, "nan", "-nan", 44100.0, 48000.0,
        384000.0, 2147483648.0, -2147483904.0, 1e30, 20.0, 20000.0, 15.0, 0.05, 3.0,
        2000.0, 1e-7, 22050.0, 100.0, 440.0, -440.0, 0.1, 1e7, 4e9]
RATES = [44100, 48000, 0, 1, -1, 384000, 22050, 96000, 192000, 8000, 2, 100, -44100,
         1e9, 2.5, 0.5]
WORDS = ["", "-m", "-", "--", "-x", "/", "//", "a/b", "/a/", "voice1", "active", "bang",
         "0x00", "cutoff", "-m -m", " ", "float", "s1", "mellow", "klaxon", "leveler",
         "zigzag", "-1", "a b/c"]
KNOWN = ["bang", "active", "", "float", "list", "symbol", "signal"]
TAGS = ["null", "pointer", "semi", "comma", "deffloat", "defsym", "dollar", "dollsym",
        "gimme", "cant"]
SHAPES = ["zeros", "constant", "noise", "loud", "sine", "raw", "spike", "square",
          "subnormal", "ramp"]

# Plug-in: (leveler revision, signal inputs the object gets, signal outlets)
# zigzag~ and mellow~ have voices: a voice per channel of a multichannel inlet.
VOICES = ("zigzag", "mellow")
PLUGINS = {"zigzag": (False, 2, 2), "mellow": (False, 2, 2), "klaxon": (False, 1, 2),
           "leveler": (True, 1, 1)}
CONTROLS = {"zigzag": 0, "mellow": 2, "klaxon": 10, "leveler": 1}


class Scenario:
    def __init__(self, plugin):
        self.plugin = plugin
        self.leveler, self.inlets, self.outlets = PLUGINS[plugin]
        self.out = bytearray()
        self.alive = False
        self.channels = 1

    def u8(self, v):
        self.out.append(v & 0xFF)

    def u16(self, v):
        self.out += struct.pack("<H", v & 0xFFFF)

    def raw(self, f):
        if f == "nan":
            self.out += struct.pack("<I", 0x7FC00000)
        else:
            self.out += struct.pack("<f", f)

    def edge(self, f):
        for i, e in enumerate(EDGE):
            if e == f and (str(e) != "0.0" or math.copysign(1, f) == math.copysign(1, e)):
                self.u8(i)
                return
        self.u8(255)
        self.raw(f)

    def word(self, w):
        self.u8(WORDS.index(w))

    def atom(self, a):
        if isinstance(a, (int, float)) or a in ("nan", "min", "max", "-max", "-nan"):
            self.u8(0)
            self.edge(a)
        elif isinstance(a, str):
            self.u8(7)
            self.word(a)
        else:  # ("tag", value)
            tag, value = a
            self.u8(13)
            self.u8(TAGS.index(tag))
            if tag == "deffloat":
                self.edge(value)
            elif tag == "dollar":
                self.u8(value)
            else:
                self.word(value)

    def atoms(self, items):
        self.u8(len(items))
        for a in items:
            self.atom(a)

    def ensure(self, args=(), multiout=True):
        if self.alive:
            return
        if self.leveler or self.plugin in VOICES:
            self.u8(1 if multiout else 0)
        self.atoms(list(args))
        self.alive = True
        self.channels = 1
        self.multi = multiout and (self.plugin in VOICES or (self.leveler and "-m" in args))

    def create(self, args=(), multiout=True):
        assert not self.alive
        self.ensure(args, multiout)

    # Operations (each starts with its choice byte).
    def control(self, entry, drop, value_atoms, variant=2):
        self.ensure()
        self.u8(0)
        self.u8(0)  # a control's tail
        if CONTROLS[self.plugin] > 0:
            self.u8(entry)
            self.u8(drop)
            self.u8(variant)
        else:
            self.u8(7)
            self.u8(0)  # an unknown word: ""
        self.atoms(value_atoms)

    def say(self, selector, value_atoms=()):
        self.ensure()
        self.u8(0)
        self.u8(5)
        if selector in KNOWN:
            self.u8(KNOWN.index(selector))
        else:
            self.u8(7)
            self.word(selector)
        self.atoms(list(value_atoms))

    def dsp(self, rate, block, channels=1, reuse=()):
        self.ensure()
        self.u8(5)
        if rate in RATES:
            self.u8(RATES.index(rate))
        else:
            self.u8(100)
            self.out += struct.pack("<I", (int(rate) + 1000) % 400001)
        self.u8(block.bit_length() - 1 if block & (block - 1) == 0 else 200)
        if block & (block - 1):
            self.u16(block - 1)
        self.u8(channels - 1)
        self.channels = channels if self.multi else 1
        for o in range(self.outlets):
            self.u8(reuse[o] if o < len(reuse) else 3)

    def blocks(self, count, shape, *params):
        """count blocks, every channel of every input in the same shape."""
        self.ensure()
        while count > 0:
            run = min(count, 8)
            self.u8(7)
            self.u8(run - 1)
            for _ in range(run * self.inlets * (self.channels if self.multi else 1)):
                self.fill(shape, *params)
            count -= run

    def fill(self, shape, *params):
        self.u8(SHAPES.index(shape))
        self.out += struct.pack("<I", 0x9E3779B9)
        if shape == "constant":
            self.edge(params[0])
        elif shape == "sine":
            self.u8(params[0])
            self.edge(params[1])
        elif shape == "raw":
            self.u8(len(params) - 1)
            for p in params:
                self.raw(p)
        elif shape == "spike":
            self.u16(params[0])
            self.edge(params[1])
        elif shape == "ramp":
            self.edge(params[0])
            self.edge(params[1])

    def delete(self):
        self.u8(12)
        self.alive = False

    def fail(self, k):
        self.ensure()
        self.u8(13)
        self.u8(k - 1)

    def active(self, value_atoms):
        self.ensure()
        self.u8(14)
        self.atoms(list(value_atoms))

    def set(self, entry, value):
        self.ensure()
        self.u8(15)
        self.u8(entry)
        self.edge(value)


def scenarios(plugin):
    n = CONTROLS[plugin]
    s = {}

    # Ordinary use: audio, every control set and read, bang, a crossfade.
    a = Scenario(plugin)
    a.create([])
    a.dsp(44100, 64)
    a.blocks(4, "noise")
    for e in range(n):
        a.control(e, e % 4, [0.5])
        a.control(e, 1, [])
    a.say("bang")
    a.blocks(4, "sine", 20, 0.5)
    a.active([0])
    a.blocks(8, "noise")
    a.active([1])
    a.blocks(8, "noise")
    a.say("active")
    a.delete()
    s["ordinary"] = a

    # Non-finite and huge input, then clean input again.
    b = Scenario(plugin)
    b.create([48000])
    b.dsp(48000, 64)
    b.blocks(2, "noise")
    b.blocks(1, "spike", 10, "nan")
    b.blocks(3, "noise")
    b.blocks(1, "constant", math.inf)
    b.blocks(1, "constant", 1e30)
    b.blocks(3, "loud")
    b.blocks(2, "square")
    b.blocks(2, "subnormal")
    s["nonfinite_input"] = b

    # Controls at every edge, loud input.
    c = Scenario(plugin)
    c.create(["voice1"])
    c.dsp(44100, 64)
    for e in range(n):
        for v in ("nan", math.inf, -math.inf, 1e30, -1e30, "max", 0.0, -1.0):
            c.set(e, v)
            c.blocks(1, "loud")
    c.say("", [1])
    c.say("", [])
    s["edge_controls"] = c

    # Odd rates and block sizes: created at 1 Hz, Pd at 384000 with 8192,
    # restarts at 0, negative, 1, and blocks of 1 and 3.
    d = Scenario(plugin)
    d.create([1])
    d.dsp(384000, 8192)
    d.blocks(2, "loud")
    d.dsp(0, 64)
    d.blocks(2, "noise")
    d.dsp(-1, 1)
    d.blocks(8, "noise")
    d.dsp(1, 3)
    d.blocks(8, "loud")
    d.dsp(2.5, 2)
    d.blocks(4, "noise")
    d.delete()
    d.create([])
    d.dsp(0, 64)
    d.blocks(2, "noise")
    d.dsp(-44100, 64)
    d.blocks(2, "noise")
    d.dsp(192000, 4096)
    d.blocks(2, "loud")
    s["odd_rates"] = d

    # Crossfades cut short by DSP restarts at other block sizes, and signal
    # outlets that reuse the inlets' signals.
    e = Scenario(plugin)
    e.create([22050])
    e.dsp(44100, 64, reuse=(0, 1))
    e.active([0])
    e.blocks(3, "noise")
    e.dsp(44100, 4096, reuse=(1, 0))
    e.blocks(3, "noise")
    e.active([("deffloat", 1)])
    e.dsp(44100, 1)
    e.blocks(8, "noise")
    e.active(["nan"])
    e.active([2.5, 1])
    e.active(["s1"])
    e.blocks(4, "noise")
    s["crossfade_restarts"] = e

    # Creation arguments of every kind, messages with every atom tag.
    f = Scenario(plugin)
    f.create(["nan", "/", "", -1e30, ("defsym", "a/b")])
    f.dsp(48000, 64)
    f.say("bang", [("pointer", "s1"), ("semi", ""), ("dollar", 3)])
    for e2 in range(n):
        f.control(e2, 0, [("deffloat", 100)])
        f.control(e2, 2, ["s1", 1])
        f.control(e2, 1, [("null", "")], variant=0)
    f.say("list", [1, 2])
    f.say("float", [1])
    f.say("a b/c", [])
    f.blocks(2, "noise")
    f.delete()
    f.create([4e9, "-max", "//", ("dollsym", "-m")])
    f.dsp(44100, 64)
    f.blocks(2, "noise")
    s["odd_arguments"] = f

    # Allocation failures at creation (the k-th allocation; an inert object or
    # missing controls) and at DSP start (no buffers: silence).
    g = Scenario(plugin)
    for k in range(1, 11):
        g.fail(k)
        g.delete()
        g.create(["s1"])
        g.say("bang")
        g.say("active", [0])
        g.delete()
    for k in range(1, 4):
        g.create([])
        g.dsp(44100, 64)
        g.blocks(1, "noise")
        g.fail(k)
        g.dsp(48000, 128)
        g.blocks(2, "noise")
        g.delete()
    s["failed_allocations"] = g

    if plugin == "leveler":
        m = Scenario(plugin)
        m.create(["-m", "-x", "--", "-", 48000])
        m.dsp(48000, 64, channels=3)
        m.blocks(4, "noise")
        m.set(0, 1.0)
        m.blocks(4, "loud")
        m.dsp(44100, 128, channels=1)
        m.blocks(4, "spike", 5, "nan")
        m.blocks(2, "noise")
        m.delete()
        m.create(["-m"], multiout=False)
        m.dsp(44100, 64)
        m.blocks(4, "noise")
        s["multichannel"] = m

    if plugin in VOICES:
        v = Scenario(plugin)
        v.create([])
        v.dsp(44100, 64, channels=5)
        v.blocks(3, "noise" if plugin == "mellow" else "ramp", 20.0, 5000.0)
        v.say("active", [0])
        v.blocks(2, "noise" if plugin == "mellow" else "ramp", -3e4, 3e4)
        v.dsp(48000, 32, channels=2)
        v.say("active", [1])
        v.blocks(3, "loud" if plugin == "mellow" else "ramp", 0.0, 1e6)
        v.dsp(48000, 128, channels=17)
        v.blocks(2, "spike", 3, "nan")
        v.dsp(48000, 64, channels=1)
        v.blocks(2, "noise")
        v.delete()
        v.create([], multiout=False)
        v.dsp(44100, 64, channels=3)
        v.blocks(2, "noise")
        s["multichannel"] = v

    if plugin == "zigzag":
        z = Scenario(plugin)
        z.create([])
        z.dsp(44100, 64)
        z.blocks(2, "ramp", 20.0, 22050.0)
        z.blocks(2, "ramp", -1e6, 1e6)
        z.blocks(2, "constant", 22050.0)
        z.blocks(2, "constant", -440.0)
        z.blocks(2, "raw", 1e-45, 44099.0, -22050.0, 3e5)
        z.dsp(1, 64)
        z.blocks(2, "ramp", 0.0, 1e6)
        s["frequencies"] = z

    if plugin == "klaxon":
        k = Scenario(plugin)
        k.create([])
        k.dsp(44100, 64)
        for button in range(5, 10):
            k.set(button, 1.0)
            k.blocks(4, "zeros")
            k.set(button, 0.0)
            k.blocks(2, "zeros")
        k.set(5, -1.0)
        k.set(6, "nan")
        k.set(7, 1e30)
        k.blocks(4, "zeros")
        k.dsp(1, 64)
        k.set(8, 1.0)
        k.blocks(8, "zeros")
        s["buttons"] = k

    return s


def regressions():
    """Inputs that once broke a promise, kept as fixed scenarios; see
    fuzz/regressions/README.md."""
    out = {}
    # mellow~ at its lowest cutoff and highest Q: one finite but huge sample
    # (1e30) leaves a finite delay line that rings up to infinity blocks later.
    r = Scenario("mellow")
    r.create([48000])
    r.dsp(48000, 64)
    r.set(0, 20.0)
    r.set(1, 15.0)
    r.blocks(200, "zeros")  # the cutoff glides down to 20 Hz
    r.blocks(1, "spike", 0, 1e30)
    r.blocks(16, "noise")
    out[("mellow", "huge-sample-rings-up-to-infinity")] = r
    return out


def main():
    for (plugin, name), scenario in regressions().items():
        folder = os.path.join(HERE, "regressions", plugin)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, name), "wb") as out:
            out.write(bytes(scenario.out))
    for plugin in PLUGINS:
        folder = os.path.join(HERE, "corpus", plugin)
        os.makedirs(folder, exist_ok=True)
        for name, scenario in scenarios(plugin).items():
            with open(os.path.join(folder, name), "wb") as out:
                out.write(bytes(scenario.out))


if __name__ == "__main__":
    main()
