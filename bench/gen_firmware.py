#!/usr/bin/env python3
"""Generate a large, realistic Cortex-M firmware source tree for the benchmark.

The tree has N compilation units (mod_0000.c ... ), each with its own
structures, unions, bit-fields, multi-dimensional arrays, pointers, typedef
chains, enums, global/static/const variables and 20 to 50 functions with
locals and loops.  Shared headers carry register blocks, containers and
static inline helpers that every unit uses, so the debug information repeats
types and inlined subroutines across units the way a real product's does.

The output is deterministic: unit i depends only on (seed, i), so the units
of a tree with N units are the first N units of a tree with 2N units.

No floating point and no integer division appear anywhere (nothing from
libgcc is linked); memset/memcpy/memmove, which the compiler may call for
struct copies and clearing loops, are defined in startup.c.

Usage: gen_firmware.py --units N [--seed S] --out DIR
Writes DIR/src/..., DIR/firmware.ld and DIR/Makefile (make -j2 builds
DIR/firmware.elf).
"""

import argparse
import os
import random
import sys

SUBSYSTEMS = ["adc", "can", "dma", "flash", "motor", "net", "power", "sensor"]

HEADER_PLATFORM = r"""/* platform.h - basic types and register blocks of the target board. */
#ifndef PLATFORM_H
#define PLATFORM_H

#include <stdint.h>
#include <stddef.h>

typedef uint8_t  u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef int8_t   s8;
typedef int16_t  s16;
typedef int32_t  s32;
typedef uint64_t u64;

typedef u32 reg_word_t;
typedef reg_word_t reg32_t;
typedef volatile reg32_t vreg32_t;
typedef const vreg32_t roreg32_t;

typedef u16 tick16_t;
typedef tick16_t short_timeout_t;
typedef u32 tick32_t;
typedef tick32_t deadline_t;
typedef deadline_t const cdeadline_t;

typedef enum {
    STATUS_OK = 0,
    STATUS_BUSY,
    STATUS_TIMEOUT,
    STATUS_OVERRUN,
    STATUS_BAD_PARAM,
    STATUS_NO_MEMORY,
    STATUS_HW_FAULT
} status_t;

typedef union {
    u32 word;
    struct {
        u32 enable    : 1;
        u32 mode      : 3;
        u32 prescaler : 8;
        u32           : 4;
        u32 irq_mask  : 12;
        u32 lock      : 1;
        u32 reserved  : 3;
    } bits;
    u8 bytes[4];
} ctrl_reg_t;

typedef struct {
    vreg32_t   CR;
    vreg32_t   SR;
    vreg32_t   DR;
    roreg32_t  ID;
    vreg32_t   IER;
    vreg32_t   ICR;
    vreg32_t   FIFO[8];
    vreg32_t   RESERVED[2];
} periph_regs_t;

typedef struct {
    vreg32_t MODER;
    vreg32_t OTYPER;
    vreg32_t OSPEEDR;
    vreg32_t PUPDR;
    roreg32_t IDR;
    vreg32_t ODR;
    vreg32_t BSRR;
    vreg32_t LCKR;
    vreg32_t AFR[2];
} gpio_regs_t;

typedef struct {
    vreg32_t ISER[8];
    vreg32_t RESERVED0[24];
    vreg32_t ICER[8];
    vreg32_t RESERVED1[24];
    vreg32_t ISPR[8];
    vreg32_t RESERVED2[24];
    vreg32_t ICPR[8];
    vreg32_t RESERVED3[24];
    vreg32_t IABR[8];
    vreg32_t RESERVED4[56];
    volatile u8 IP[240];
} nvic_regs_t;

#define PERIPH_BASE   0x40000000u
#define PERIPH(n)     ((periph_regs_t *)(PERIPH_BASE + ((u32)(n) << 10)))
#define GPIO(n)       ((gpio_regs_t *)(0x48000000u + ((u32)(n) << 10)))
#define NVIC          ((nvic_regs_t *)0xE000E100u)

#define SR_READY      (1u << 0)
#define SR_ERROR      (1u << 1)
#define SR_OVERRUN    (1u << 2)

extern volatile tick32_t g_system_ticks;
extern u32 g_fault_count;

#endif
"""

HEADER_HAL = r"""/* hal_inline.h - small helpers every driver inlines. */
#ifndef HAL_INLINE_H
#define HAL_INLINE_H

#include "platform.h"

static inline u32 hal_read(const vreg32_t *reg)
{
    return *reg;
}

static inline void hal_write(vreg32_t *reg, u32 value)
{
    *reg = value;
}

static inline void hal_set_bits(vreg32_t *reg, u32 mask)
{
    *reg = *reg | mask;
}

static inline void hal_clear_bits(vreg32_t *reg, u32 mask)
{
    *reg = *reg & ~mask;
}

static inline int hal_wait_ready(const periph_regs_t *p, u32 limit)
{
    u32 spins;
    for (spins = 0; spins < limit; spins++) {
        if (p->SR & SR_READY)
            return 1;
    }
    return 0;
}

static inline u32 clamp_u32(u32 v, u32 lo, u32 hi)
{
    if (v < lo)
        return lo;
    if (v > hi)
        return hi;
    return v;
}

static inline s32 clamp_s32(s32 v, s32 lo, s32 hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

static inline u16 sat_add_u16(u16 a, u16 b)
{
    u32 sum = (u32)a + (u32)b;
    return sum > 0xFFFFu ? 0xFFFFu : (u16)sum;
}

static inline u32 rotl32(u32 v, unsigned n)
{
    n &= 31u;
    return (v << n) | (v >> ((32u - n) & 31u));
}

static inline u32 bswap32(u32 v)
{
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

static inline u8 crc8_step(u8 crc, u8 data)
{
    int bit;
    crc ^= data;
    for (bit = 0; bit < 8; bit++)
        crc = (crc & 0x80u) ? (u8)((crc << 1) ^ 0x07u) : (u8)(crc << 1);
    return crc;
}

static inline u16 crc16_step(u16 crc, u8 data)
{
    int bit;
    crc ^= (u16)((u16)data << 8);
    for (bit = 0; bit < 8; bit++)
        crc = (crc & 0x8000u) ? (u16)((crc << 1) ^ 0x1021u) : (u16)(crc << 1);
    return crc;
}

static inline unsigned popcount32(u32 v)
{
    unsigned n = 0;
    while (v) {
        v &= v - 1u;
        n++;
    }
    return n;
}

static inline s32 q15_mul(s32 a, s32 b)
{
    return (s32)(((long long)a * (long long)b) >> 15);
}

static inline u32 mix_hash(u32 h, u32 v)
{
    h ^= v;
    h *= 0x01000193u;
    return rotl32(h, 13) + 0x9E3779B9u;
}

static inline tick32_t ticks_now(void)
{
    return g_system_ticks;
}

static inline int deadline_passed(cdeadline_t deadline)
{
    return (s32)(ticks_now() - deadline) >= 0;
}

#endif
"""

HEADER_CONTAINERS = r"""/* containers.h - ring buffers, lists and messages shared by the modules. */
#ifndef CONTAINERS_H
#define CONTAINERS_H

#include "platform.h"

#define RING_SIZE 32u
#define RING_MASK (RING_SIZE - 1u)

typedef struct ring_buffer {
    u8 data[RING_SIZE];
    volatile u16 head;
    volatile u16 tail;
    u16 drops;
} ring_buffer_t;

typedef struct list_node {
    struct list_node *next;
    struct list_node *prev;
    u16 key;
    u16 flags;
} list_node_t;

typedef struct {
    list_node_t head;
    u32 count;
} list_t;

typedef enum {
    MSG_NONE = 0,
    MSG_DATA,
    MSG_COMMAND,
    MSG_EVENT,
    MSG_ERROR
} msg_kind_t;

typedef struct message {
    msg_kind_t kind;
    u8 source;
    u8 length;
    union {
        u8 raw[16];
        u16 half[8];
        u32 word[4];
        struct {
            u16 id;
            u16 arg;
            u32 value;
        } command;
        struct {
            status_t code;
            u32 where;
        } error;
    } payload;
} message_t;

typedef void (*msg_handler_t)(const message_t *msg, void *context);

static inline int ring_put(ring_buffer_t *rb, u8 value)
{
    u16 next = (u16)((rb->head + 1u) & RING_MASK);
    if (next == rb->tail) {
        rb->drops++;
        return 0;
    }
    rb->data[rb->head] = value;
    rb->head = next;
    return 1;
}

static inline int ring_get(ring_buffer_t *rb, u8 *value)
{
    if (rb->head == rb->tail)
        return 0;
    *value = rb->data[rb->tail];
    rb->tail = (u16)((rb->tail + 1u) & RING_MASK);
    return 1;
}

static inline u32 ring_count(const ring_buffer_t *rb)
{
    return (u32)((rb->head - rb->tail) & RING_MASK);
}

static inline void list_init(list_t *l)
{
    l->head.next = &l->head;
    l->head.prev = &l->head;
    l->count = 0;
}

static inline void list_push(list_t *l, list_node_t *n)
{
    n->next = &l->head;
    n->prev = l->head.prev;
    l->head.prev->next = n;
    l->head.prev = n;
    l->count++;
}

static inline list_node_t *list_find(list_t *l, u16 key)
{
    list_node_t *n;
    for (n = l->head.next; n != &l->head; n = n->next) {
        if (n->key == key)
            return n;
    }
    return NULL;
}

static inline void msg_init(message_t *m, msg_kind_t kind, u8 source)
{
    unsigned i;
    m->kind = kind;
    m->source = source;
    m->length = 0;
    for (i = 0; i < 4u; i++)
        m->payload.word[i] = 0;
}

#endif
"""


def subsystem_header(name, rng):
    """A header for one subsystem: its types and a few inline helpers."""
    up = name.upper()
    n_chan = rng.choice([2, 4, 6, 8])
    lines = [
        "/* %s.h - %s subsystem types and helpers. */" % (name, name),
        "#ifndef %s_H" % up,
        "#define %s_H" % up,
        "",
        '#include "platform.h"',
        '#include "containers.h"',
        "",
        "#define %s_CHANNELS %du" % (up, n_chan),
        "",
        "typedef u16 %s_raw_t;" % name,
        "typedef %s_raw_t %s_value_t;" % (name, name),
        "typedef %s_value_t %s_filtered_t;" % (name, name),
        "",
        "typedef enum {",
        "    %s_STATE_OFF = 0," % up,
        "    %s_STATE_INIT," % up,
        "    %s_STATE_RUN," % up,
        "    %s_STATE_ERROR," % up,
        "    %s_STATE_COUNT" % up,
        "} %s_state_t;" % name,
        "",
        "typedef struct {",
        "    u32 gain    : 6;",
        "    u32 offset  : 10;",
        "    u32 invert  : 1;",
        "    u32 filter  : 3;",
        "    u32 channel : 4;",
        "    u32         : 8;",
        "} %s_config_bits_t;" % name,
        "",
        "typedef struct %s_channel {" % name,
        "    %s_config_bits_t cfg;" % name,
        "    %s_filtered_t history[4][2];" % name,
        "    u32 samples;",
        "    const periph_regs_t *regs;",
        "    struct %s_channel *peer;" % name,
        "} %s_channel_t;" % name,
        "",
        "typedef struct {",
        "    %s_state_t state;" % name,
        "    %s_channel_t channel[%s_CHANNELS];" % (name, up),
        "    ring_buffer_t rx;",
        "    msg_handler_t on_event;",
        "    u32 errors;",
        "} %s_device_t;" % name,
        "",
        "static inline %s_filtered_t %s_filter(%s_channel_t *ch, %s_raw_t raw)" % (name, name, name, name),
        "{",
        "    u32 acc = raw;",
        "    unsigned i;",
        "    for (i = 0; i < 4u; i++)",
        "        acc += ch->history[i][0];",
        "    ch->history[ch->samples & 3u][0] = raw;",
        "    ch->history[ch->samples & 3u][1] = (%s_filtered_t)(acc >> 2);" % name,
        "    ch->samples++;",
        "    return (%s_filtered_t)((acc >> 2) + ch->cfg.offset);" % name,
        "}",
        "",
        "static inline int %s_channel_ready(const %s_channel_t *ch)" % (name, name),
        "{",
        "    return ch->regs != NULL && (ch->regs->SR & SR_READY) != 0u;",
        "}",
        "",
        "static inline u32 %s_sum_channels(const %s_device_t *dev)" % (name, name),
        "{",
        "    u32 total = 0;",
        "    unsigned c;",
        "    for (c = 0; c < %s_CHANNELS; c++)" % up,
        "        total += dev->channel[c].history[0][1];",
        "    return total;",
        "}",
        "",
        "extern %s_device_t g_%s_device;" % (name, name),
        "",
        "#endif",
        "",
    ]
    return "\n".join(lines)


def device_header(rng, count):
    """A vendor-style device header: register blocks whose control
    registers are unions of a word and a bit-field view."""
    lines = ["/* device.h - peripheral register map of the microcontroller. */",
             "#ifndef DEVICE_H", "#define DEVICE_H", "", '#include "platform.h"', ""]
    periphs = []
    for k in range(count):
        name = "per%02d" % k
        regs = []
        n_regs = rng.randint(5, 12)
        for r_i in range(n_regs):
            if rng.random() < 0.55:
                fields = []
                left = 32
                fi = 0
                while left > 0 and fi < rng.randint(4, 10):
                    width = rng.randint(1, min(8, left))
                    fields.append(("F%d_%d" % (r_i, fi), width))
                    left -= width
                    fi += 1
                tname = "%s_r%d_t" % (name, r_i)
                lines.append("typedef union {")
                lines.append("    u32 word;")
                lines.append("    struct {")
                for fname, width in fields:
                    lines.append("        u32 %s : %d;" % (fname, width))
                if left:
                    lines.append("        u32 : %d;" % left)
                lines.append("    } b;")
                lines.append("} %s;" % tname)
                regs.append(("R%d" % r_i, tname, fields))
            else:
                regs.append(("R%d" % r_i, None, None))
        lines.append("typedef struct {")
        for rname, tname, _f in regs:
            if tname:
                lines.append("    volatile %s %s;" % (tname, rname))
            else:
                lines.append("    vreg32_t %s;" % rname)
        lines.append("    vreg32_t BUF[%d];" % rng.choice([2, 4, 8]))
        lines.append("} %s_regs_t;" % name)
        lines.append("#define %s ((%s_regs_t *)0x%08Xu)" % (name.upper(), name, 0x40000000 + k * 0x400))
        lines.append("")
        ctl = [r for r in regs if r[1]]
        if ctl:
            rname, tname, fields = ctl[0]
            lines.append("static inline void %s_configure(u32 value)" % name)
            lines.append("{")
            lines.append("    %s tmp;" % tname)
            lines.append("    tmp.word = %s->%s.word;" % (name.upper(), rname))
            lines.append("    tmp.b.%s = value;" % fields[0][0])
            lines.append("    %s->%s.word = tmp.word;" % (name.upper(), rname))
            lines.append("}")
            lines.append("")
        periphs.append((name, regs))
    lines += ["#endif", ""]
    return "\n".join(lines), periphs


SCALAR_TYPES = ["u8", "u16", "u32", "s8", "s16", "s32", "int", "unsigned", "char",
                "short", "long", "unsigned char", "tick32_t", "reg_word_t", "u64"]


class Unit:
    """Emits one compilation unit."""

    def __init__(self, index, seed, periphs):
        self.index = index
        self.rng = random.Random(seed * 1000003 + index * 7919 + 17)
        self.p = "m%04d" % index          # prefix of every name in the unit
        self.out = []
        self.structs = []                  # (name, fields) with fields = [(kind, type, name, dims)]
        self.globals = []                  # (table name, struct name, element count)
        self.functions = []                # (name, call signature, static)
        self.subs = self.rng.sample(SUBSYSTEMS, 3)
        self.periphs = sorted(self.rng.sample(periphs, self.rng.randint(12, 30)))

    def w(self, s=""):
        self.out.append(s)

    def gen_types(self):
        r, p = self.rng, self.p
        w = self.w
        w("typedef u16 %s_raw_t;" % p)
        w("typedef %s_raw_t %s_sample_t;" % (p, p))
        w("typedef %s_sample_t %s_value_t;" % (p, p))
        w("typedef const %s_value_t %s_cvalue_t;" % (p, p))
        w("typedef %s_value_t *%s_value_ptr_t;" % (p, p))
        w()
        w("typedef enum {")
        n_states = r.randint(4, 9)
        for s in range(n_states):
            w("    %s_ST_%d%s" % (p.upper(), s, "," if s + 1 < n_states else ""))
        w("} %s_state_t;" % p)
        w()
        self.n_states = n_states
        n_structs = r.randint(3, 6)
        for si in range(n_structs):
            name = "%s_rec%d" % (p, si)
            fields = []
            w("struct %s {" % name)
            # bit-fields
            nb = r.randint(2, 5)
            width_left = 32
            for b in range(nb):
                width = r.randint(1, min(9, width_left))
                width_left -= width
                fname = "flag%d" % b
                w("    unsigned %s : %d;" % (fname, width))
                fields.append(("bit", "unsigned", fname, ()))
                if width_left <= 1:
                    break
            nf = r.randint(3, 8)
            for f in range(nf):
                kind = r.choice(["scalar", "scalar", "array", "array2", "ptr", "value", "nested"])
                fname = "f%d" % f
                if kind == "scalar":
                    t = r.choice(SCALAR_TYPES)
                    w("    %s %s;" % (t, fname))
                    fields.append(("scalar", t, fname, ()))
                elif kind == "array":
                    t = r.choice(["u8", "u16", "u32", "s16", "%s_sample_t" % p])
                    d = r.choice([2, 3, 4, 8, 16])
                    w("    %s %s[%d];" % (t, fname, d))
                    fields.append(("array", t, fname, (d,)))
                elif kind == "array2":
                    t = r.choice(["u8", "u16", "u32", "%s_value_t" % p])
                    d1, d2 = r.choice([2, 3, 4]), r.choice([2, 4, 5, 8])
                    if r.random() < 0.3:
                        d3 = r.choice([2, 3])
                        w("    %s %s[%d][%d][%d];" % (t, fname, d1, d2, d3))
                        fields.append(("array3", t, fname, (d1, d2, d3)))
                    else:
                        w("    %s %s[%d][%d];" % (t, fname, d1, d2))
                        fields.append(("array2", t, fname, (d1, d2)))
                elif kind == "ptr":
                    if si > 0 and r.random() < 0.5:
                        target = "struct %s_rec%d" % (p, r.randrange(si))
                    else:
                        target = "struct %s" % name
                    w("    %s *%s;" % (target, fname))
                    fields.append(("ptr", target, fname, ()))
                elif kind == "value":
                    w("    %s_value_ptr_t %s;" % (p, fname))
                    fields.append(("vptr", "%s_value_ptr_t" % p, fname, ()))
                else:
                    sub = r.choice(self.subs)
                    w("    %s_config_bits_t %s;" % (sub, fname))
                    fields.append(("nested", sub, fname, ()))
            w("    %s_state_t state;" % p)
            fields.append(("state", "%s_state_t" % p, "state", ()))
            w("    union {")
            w("        u32 word;")
            w("        u16 half[2];")
            w("        u8 byte[4];")
            w("        struct { u16 lo; u16 hi; } parts;")
            w("    } u;")
            fields.append(("union", "", "u", ()))
            w("};")
            w("typedef struct %s %s_t;" % (name, name))
            w("typedef %s_t %s_alias_t;" % (name, name))
            w()
            self.structs.append((name, fields))
        w("typedef union {")
        w("    struct %s_rec0 rec;" % p)
        w("    u32 words[8];")
        w("    message_t msg;")
        w("} %s_any_t;" % p)
        w()
        w("typedef u32 (*%s_op_t)(u32 arg, void *ctx);" % p)
        w()

    def gen_globals(self):
        r, p, w = self.rng, self.p, self.w
        # The board description: where this module finds its peripherals.
        w("struct %s_board {" % p)
        for pname, _regs in self.periphs:
            w("    %s_regs_t *%s;" % (pname, pname))
        w("    u32 clock_hz;")
        w("};")
        w("const struct %s_board %s_board = {" % (p, p))
        for pname, _regs in self.periphs:
            w("    %s," % pname.upper())
        w("    %du" % r.choice([8000000, 16000000, 48000000, 168000000]))
        w("};")
        w()
        for si, (name, _fields) in enumerate(self.structs):
            n = r.choice([1, 2, 4, 6])
            storage = r.choice(["", "static "])
            gname = "%s_%s_tab%d" % (p, "s" if storage else "g", si)
            w("%sstruct %s %s[%d];" % (storage, name, gname, n))
            self.globals.append((gname, name, n))
        d1, d2 = r.choice([4, 8, 16]), r.choice([4, 8])
        self.mat = ("%s_matrix" % p, d1, d2)
        w("u16 %s_matrix[%d][%d];" % (p, d1, d2))
        w("static u8 %s_cube[2][3][4];" % p)
        tab_len = r.choice([16, 32, 64])
        vals = ", ".join("0x%04Xu" % r.randrange(0x10000) for _ in range(tab_len))
        w("static const u16 %s_lookup[%d] = { %s };" % (p, tab_len, vals))
        self.tab_len = tab_len
        w("const char %s_name[] = \"module_%04d\";" % (p, self.index))
        w("u32 %s_counter = %du;" % (p, r.randrange(1000)))
        w("static u32 %s_errors;" % p)
        w("volatile %s_state_t %s_state;" % (p, p))
        w("static ring_buffer_t %s_ring;" % p)
        w("static list_t %s_list;" % p)
        w("static list_node_t %s_nodes[8];" % p)
        w("static message_t %s_msgs[4];" % p)
        w("static %s_any_t %s_scratch;" % (p, p))
        w("%s_value_ptr_t %s_cursor;" % (p, p))
        w("static struct %s_rec0 *%s_current;" % (p, p))
        w()

    # ---- function bodies -------------------------------------------------

    def field_of(self, kinds):
        """A random (struct index, field) pair with a field of one of kinds."""
        opts = []
        for si, (_n, fields) in enumerate(self.structs):
            for f in fields:
                if f[0] in kinds:
                    opts.append((si, f))
        if not opts:
            return None
        return self.rng.choice(opts)

    def callees(self, k):
        done = self.functions
        if not done:
            return []
        return self.rng.sample(done, min(len(done), k))

    def gen_function(self, fi):
        r, p, w = self.rng, self.p, self.w
        static = fi > 2 and r.random() < 0.3
        name = "%s_fn%02d" % (p, fi)
        storage = "static " if static else ""
        kind = r.choice(["sum", "matrix", "fsm", "bits", "ring", "list", "lookup", "crc",
                         "counter", "periph", "union", "dispatch", "sub", "cube", "copy",
                         "periph", "filter"])
        gi = r.randrange(len(self.globals))
        gname, sname, glen = self.globals[gi]
        if kind == "sum":
            f = self.field_of(("array",)) or self.field_of(("scalar",))
            si, (fk, ft, fn, dims) = f
            w("%su32 %s(const struct %s_rec%d *rec, unsigned count)" % (storage, name, p, si))
            w("{")
            w("    u32 acc = 0;")
            w("    unsigned i;")
            if fk == "array":
                w("    for (i = 0; i < count && i < %du; i++)" % dims[0])
                w("        acc += (u32)rec->%s[i] * %du;" % (fn, r.randint(1, 9)))
            else:
                w("    for (i = 0; i < count; i++)")
                w("        acc = mix_hash(acc, (u32)rec->%s + i);" % fn)
            w("    return acc;")
            w("}")
            sig = ("rec", si)
        elif kind == "periph":
            pname, regs = r.choice(self.periphs)
            up = pname.upper()
            ctl = [x for x in regs if x[1]]
            w("%su32 %s(u32 mode)" % (storage, name))
            w("{")
            w("    u32 seen = 0;")
            w("    unsigned tries;")
            if any(True for _ in ctl):
                w("    %s_configure(mode);" % pname)
            for rname, tname, fields in ctl[:3]:
                for fname, width in fields[:3]:
                    w("    %s->%s.b.%s = mode >> %d;" % (up, rname, fname, r.randrange(24)))
            w("    for (tries = 0; tries < %du; tries++) {" % r.randint(3, 100))
            w("        seen |= %s->%s%s;" % (up, regs[-1][0], ".word" if regs[-1][1] else ""))
            w("        if (seen & 0x%Xu)" % (1 << r.randrange(32)))
            w("            break;")
            w("    }")
            w("    %s->BUF[0] = seen;" % up)
            w("    return seen + tries;")
            w("}")
            sig = ("u32",)
        elif kind == "filter":
            taps = r.choice([4, 8, 16])
            w("%ss32 %s(const s16 *in, u32 len)" % (storage, name))
            w("{")
            w("    s32 coeff[%d];" % taps)
            w("    s32 acc = 0;")
            w("    u32 i, t;")
            w("    for (t = 0; t < %du; t++)" % taps)
            w("        coeff[t] = (s32)%s_lookup[t & %du] - 0x8000;" % (p, self.tab_len - 1))
            w("    for (i = 0; i + %du <= len; i++) {" % taps)
            w("        s32 sample = 0;")
            w("        for (t = 0; t < %du; t++)" % taps)
            w("            sample += q15_mul(in[i + t], coeff[t]);")
            w("        acc = clamp_s32(acc + sample, -0x40000000, 0x40000000);")
            w("    }")
            w("    return acc;")
            w("}")
            sig = ("s16",)
        elif kind == "matrix":
            mname, d1, d2 = self.mat
            w("%su32 %s(u32 seed)" % (storage, name))
            w("{")
            w("    u32 total = seed;")
            w("    unsigned row, col;")
            w("    for (row = 0; row < %du; row++) {" % d1)
            w("        for (col = 0; col < %du; col++) {" % d2)
            w("            u16 cell = %s[row][col];" % mname)
            w("            %s[row][col] = sat_add_u16(cell, (u16)(row + col));" % mname)
            w("            total += cell;")
            w("        }")
            w("    }")
            w("    return total;")
            w("}")
            sig = ("u32",)
        elif kind == "fsm":
            w("%s%s_state_t %s(%s_state_t st, u32 input)" % (storage, p, name, p))
            w("{")
            w("    %s_state_t next = st;" % p)
            w("    switch (st) {")
            for s in range(self.n_states):
                w("    case %s_ST_%d:" % (p.upper(), s))
                tgt = r.randrange(self.n_states)
                w("        if (input & 0x%Xu)" % (1 << r.randrange(16)))
                w("            next = %s_ST_%d;" % (p.upper(), tgt))
                if r.random() < 0.4:
                    w("        else")
                    w("            %s_errors++;" % p)
                w("        break;")
            w("    default:")
            w("        next = %s_ST_0;" % p.upper())
            w("        break;")
            w("    }")
            w("    %s_state = next;" % p)
            w("    return next;")
            w("}")
            sig = ("state",)
        elif kind == "bits":
            si = r.randrange(len(self.structs))
            _n, fields = self.structs[si]
            bits = [f for f in fields if f[0] == "bit"]
            w("%svoid %s(struct %s_rec%d *rec, u32 v)" % (storage, name, p, si))
            w("{")
            w("    ctrl_reg_t ctrl;")
            w("    ctrl.word = v;")
            for b in bits:
                w("    rec->%s = (unsigned)(v >> %d);" % (b[2], r.randrange(24)))
            w("    ctrl.bits.mode = rec->%s;" % bits[0][2])
            w("    ctrl.bits.enable = 1;")
            w("    rec->u.word = ctrl.word;")
            w("    hal_write(&PERIPH(%d)->CR, ctrl.word);" % r.randrange(32))
            w("}")
            sig = ("recv", si)
        elif kind == "ring":
            w("%su32 %s(const u8 *data, u32 len)" % (storage, name))
            w("{")
            w("    u32 i, stored = 0;")
            w("    u8 byte;")
            w("    for (i = 0; i < len; i++)")
            w("        stored += (u32)ring_put(&%s_ring, data[i]);" % p)
            w("    while (ring_count(&%s_ring) > %du && ring_get(&%s_ring, &byte))" % (p, r.randint(4, 20), p))
            w("        %s_counter += byte;" % p)
            w("    return stored;")
            w("}")
            sig = ("bytes",)
        elif kind == "list":
            w("%sint %s(u16 key)" % (storage, name))
            w("{")
            w("    list_node_t *node;")
            w("    unsigned i;")
            w("    if (%s_list.head.next == NULL)" % p)
            w("        list_init(&%s_list);" % p)
            w("    node = list_find(&%s_list, key);" % p)
            w("    if (node != NULL) {")
            w("        node->flags |= 1u;")
            w("        return 1;")
            w("    }")
            w("    for (i = 0; i < 8u; i++) {")
            w("        if (%s_nodes[i].next == NULL) {" % p)
            w("            %s_nodes[i].key = key;" % p)
            w("            list_push(&%s_list, &%s_nodes[i]);" % (p, p))
            w("            return 0;")
            w("        }")
            w("    }")
            w("    return -1;")
            w("}")
            sig = ("u16",)
        elif kind == "lookup":
            w("%su16 %s(u32 index)" % (storage, name))
            w("{")
            w("    u16 a = %s_lookup[index & %du];" % (p, self.tab_len - 1))
            w("    u16 b = %s_lookup[(index >> 4) & %du];" % (p, self.tab_len - 1))
            w("    return (u16)(rotl32((u32)a << 16 | b, index) >> 8);")
            w("}")
            sig = ("lookup",)
        elif kind == "crc":
            w("%su16 %s(const u8 *buf, u32 len)" % (storage, name))
            w("{")
            w("    u16 crc = 0xFFFFu;")
            w("    u8 crc8 = 0;")
            w("    u32 i;")
            w("    for (i = 0; i < len; i++) {")
            w("        crc = crc16_step(crc, buf[i]);")
            w("        crc8 = crc8_step(crc8, buf[i]);")
            w("    }")
            w("    return (u16)(crc ^ crc8);")
            w("}")
            sig = ("bytes",)
        elif kind == "counter":
            w("%su32 %s(u32 step)" % (storage, name))
            w("{")
            w("    static u32 calls;")
            w("    static u16 history[%d];" % r.choice([4, 8]))
            w("    calls += step;")
            w("    history[calls & 3u] = (u16)step;")
            w("    if (popcount32(calls) > %du)" % r.randint(3, 20))
            w("        %s_errors++;" % p)
            w("    return calls + history[0];")
            w("}")
            sig = ("u32",)
        elif kind == "union":
            w("%su32 %s(const message_t *m)" % (storage, name))
            w("{")
            w("    %s_any_t *any = &%s_scratch;" % (p, p))
            w("    u32 result = 0;")
            w("    unsigned i;")
            w("    any->msg = *m;")
            w("    switch (m->kind) {")
            w("    case MSG_DATA:")
            w("        for (i = 0; i < m->length && i < 16u; i++)")
            w("            result += m->payload.raw[i];")
            w("        break;")
            w("    case MSG_COMMAND:")
            w("        result = (u32)m->payload.command.id << 16 | m->payload.command.arg;")
            w("        break;")
            w("    case MSG_ERROR:")
            w("        result = (u32)m->payload.error.code;")
            w("        g_fault_count++;")
            w("        break;")
            w("    default:")
            w("        result = any->words[%d];" % r.randrange(8))
            w("        break;")
            w("    }")
            w("    return result;")
            w("}")
            sig = ("msg",)
        elif kind == "dispatch":
            ops = [f for f in self.functions if f[1] == ("u32",)]
            w("%su32 %s(u32 arg)" % (storage, name))
            w("{")
            if len(ops) >= 2:
                chosen = r.sample(ops, min(4, len(ops)))
                w("    static u32 (*const table[%d])(u32) = { %s };" % (len(chosen), ", ".join(c[0] for c in chosen)))
                w("    u32 acc = arg;")
                w("    unsigned i;")
                w("    for (i = 0; i < %du; i++)" % len(chosen))
                w("        acc = table[(acc + i) & %du](acc);" % (len(chosen) - 1 if len(chosen) in (2, 4) else 1))
                w("    return acc;")
            else:
                w("    return mix_hash(arg, %s_counter);" % p)
            w("}")
            sig = ("u32",)
        elif kind == "sub":
            sub = r.choice(self.subs)
            w("%su32 %s(%s_raw_t raw)" % (storage, name, sub))
            w("{")
            w("    %s_device_t *dev = &g_%s_device;" % (sub, sub))
            w("    %s_channel_t *ch = &dev->channel[raw & (%s_CHANNELS - 1u)];" % (sub, sub.upper()))
            w("    %s_filtered_t value;" % sub)
            w("    if (!%s_channel_ready(ch))" % sub)
            w("        return 0;")
            w("    value = %s_filter(ch, raw);" % sub)
            w("    if (value > %du)" % r.randrange(1000, 60000))
            w("        dev->state = %s_STATE_ERROR;" % sub.upper())
            w("    return %s_sum_channels(dev) + value;" % sub)
            w("}")
            sig = ("u16",)
        elif kind == "cube":
            w("%su32 %s(u8 fill)" % (storage, name))
            w("{")
            w("    unsigned a, b, c;")
            w("    u32 sum = 0;")
            w("    for (a = 0; a < 2u; a++)")
            w("        for (b = 0; b < 3u; b++)")
            w("            for (c = 0; c < 4u; c++) {")
            w("                %s_cube[a][b][c] = (u8)(%s_cube[a][b][c] ^ (fill + a + b + c));" % (p, p))
            w("                sum += %s_cube[a][b][c];" % p)
            w("            }")
            w("    return sum;")
            w("}")
            sig = ("u8",)
        else:  # copy
            w("%svoid %s(unsigned from, unsigned to)" % (storage, name))
            w("{")
            w("    struct %s tmp;" % sname)
            w("    tmp = %s[from & %du];" % (gname, glen - 1 if glen in (1, 2, 4) else 0))
            w("    tmp.state = %s_ST_%d;" % (p.upper(), r.randrange(self.n_states)))
            w("    %s[to & %du] = tmp;" % (gname, glen - 1 if glen in (1, 2, 4) else 0))
            # The first table holds struct <p>_rec0, the type of the pointer.
            if sname == "%s_rec0" % p:
                w("    %s_current = (struct %s_rec0 *)&%s[0];" % (p, p, gname))
            else:
                w("    %s_current = &%s[0];" % (p, self.globals[0][0]))
            w("}")
            sig = ("copy",)
        w()
        self.functions.append((name, sig, static))

    def call_expr(self, fn, sig, arg):
        p = self.p
        if sig == ("u32",):
            return "%s(%s)" % (fn, arg)
        if sig == ("lookup",):
            return "(u32)%s(%s)" % (fn, arg)
        if sig[0] == "rec":
            return "%s(&%s_rec_scratch%d, %s & 7u)" % (fn, p, sig[1], arg)
        if sig[0] == "recv":
            return "(%s(&%s_rec_scratch%d, %s), 0u)" % (fn, p, sig[1], arg)
        if sig == ("state",):
            return "(u32)%s(%s_state, %s)" % (fn, p, arg)
        if sig == ("bytes",):
            return "(u32)%s(%s_cube[0][0], 4u)" % (fn, p)
        if sig == ("u16",):
            return "(u32)%s((u16)%s)" % (fn, arg)
        if sig == ("msg",):
            return "%s(&%s_msgs[%s & 3u])" % (fn, p, arg)
        if sig == ("s16",):
            return "(u32)%s((const s16 *)%s_matrix, %s & 15u)" % (fn, p, arg)
        if sig == ("u8",):
            return "%s((u8)%s)" % (fn, arg)
        return "(%s(%s, %s + 1u), 0u)" % (fn, arg, arg)

    def generate(self):
        r, p, w = self.rng, self.p, self.w
        w("/* mod_%04d.c - generated firmware module %d. */" % (self.index, self.index))
        w('#include "platform.h"')
        w('#include "hal_inline.h"')
        w('#include "containers.h"')
        w('#include "device.h"')
        for s in sorted(self.subs):
            w('#include "%s.h"' % s)
        w()
        self.gen_types()
        self.gen_globals()
        for si in range(len(self.structs)):
            w("static struct %s_rec%d %s_rec_scratch%d;" % (p, si, p, si))
        w()
        n_fn = r.randint(20, 50)
        for fi in range(n_fn):
            self.gen_function(fi)
        # Cross-unit calls go only to earlier units, so that any prefix of
        # the units links on its own.
        others = []
        if self.index > 0:
            others = sorted(set(r.randrange(self.index) for _ in range(r.randint(1, 3))))
        for o in others:
            w("extern u32 m%04d_step(u32 tick);" % o)
        w("void %s_init(void);" % p)
        w("u32 %s_step(u32 tick);" % p)
        w()
        w("void %s_init(void)" % p)
        w("{")
        w("    unsigned i;")
        w("    list_init(&%s_list);" % p)
        w("    for (i = 0; i < 4u; i++)")
        w("        msg_init(&%s_msgs[i], MSG_DATA, (u8)%du);" % (p, self.index & 0xFF))
        w("    %s_cursor = NULL;" % p)
        w("    %s_state = %s_ST_0;" % (p, p.upper()))
        w("}")
        w()
        w("u32 %s_step(u32 tick)" % p)
        w("{")
        w("    u32 acc = tick;")
        w("    cdeadline_t limit = ticks_now() + %du;" % r.randint(10, 500))
        # Every function is called from here (directly or through another
        # one) so that -O2 keeps them.
        for (fn, sig, _static) in self.functions:
            w("    acc += %s;" % self.call_expr(fn, sig, "acc"))
            if r.random() < 0.15:
                w("    if (deadline_passed(limit))")
                w("        return acc;")
        for o in others:
            w("    acc ^= m%04d_step(acc >> 1);" % o)
        w("    %s_counter = acc;" % p)
        w("    return acc;")
        w("}")
        return "\n".join(self.out) + "\n"


STARTUP = r"""/* startup.c - vector table, reset handler and the memory routines the
 * compiler calls for struct copies and clearing loops. */
#include "platform.h"
#include "containers.h"

extern u32 _sidata, _sdata, _edata, _sbss, _ebss, _estack;
int main(void);

volatile tick32_t g_system_ticks;
u32 g_fault_count;

void *memset(void *dst, int c, size_t n);
void *memcpy(void *dst, const void *src, size_t n);
void *memmove(void *dst, const void *src, size_t n);

void *memset(void *dst, int c, size_t n)
{
    volatile u8 *d = (volatile u8 *)dst;
    while (n--)
        *d++ = (u8)c;
    return dst;
}

void *memcpy(void *dst, const void *src, size_t n)
{
    volatile u8 *d = (volatile u8 *)dst;
    const u8 *s = (const u8 *)src;
    while (n--)
        *d++ = *s++;
    return dst;
}

void *memmove(void *dst, const void *src, size_t n)
{
    volatile u8 *d = (volatile u8 *)dst;
    const u8 *s = (const u8 *)src;
    if (d < s) {
        while (n--)
            *d++ = *s++;
    } else {
        d += n;
        s += n;
        while (n--)
            *--d = *--s;
    }
    return dst;
}

void Reset_Handler(void);
void Default_Handler(void);
void SysTick_Handler(void);

void Reset_Handler(void)
{
    u32 *src = &_sidata;
    u32 *dst = &_sdata;
    while (dst < &_edata)
        *dst++ = *src++;
    for (dst = &_sbss; dst < &_ebss; dst++)
        *dst = 0;
    main();
    for (;;)
        ;
}

void Default_Handler(void)
{
    g_fault_count++;
    for (;;)
        ;
}

void SysTick_Handler(void)
{
    g_system_ticks++;
}

typedef void (*vector_t)(void);

__attribute__((section(".isr_vector"), used))
const vector_t g_vectors[16] = {
    (vector_t)&_estack, Reset_Handler, Default_Handler, Default_Handler,
    Default_Handler, Default_Handler, Default_Handler, 0, 0, 0, 0,
    Default_Handler, Default_Handler, 0, Default_Handler, SysTick_Handler
};
"""

LINKER_SCRIPT = r"""/* Cortex-M part with a large flash and RAM, big enough for the benchmark
 * firmware.  .data runs from RAM but is loaded from flash (LMA != VMA). */
ENTRY(Reset_Handler)

MEMORY
{
    FLASH (rx)  : ORIGIN = 0x08000000, LENGTH = 64M
    RAM   (rwx) : ORIGIN = 0x20000000, LENGTH = 32M
}

_estack = ORIGIN(RAM) + LENGTH(RAM);

SECTIONS
{
    .isr_vector : { KEEP(*(.isr_vector)) } > FLASH
    .text : { *(.text .text.*) . = ALIGN(4); } > FLASH
    .rodata : { *(.rodata .rodata.*) . = ALIGN(4); } > FLASH
    .data :
    {
        _sdata = .;
        *(.data .data.*)
        . = ALIGN(4);
        _edata = .;
    } > RAM AT> FLASH
    _sidata = LOADADDR(.data);
    .bss :
    {
        _sbss = .;
        *(.bss .bss.*)
        *(COMMON)
        . = ALIGN(4);
        _ebss = .;
    } > RAM
}
"""

CFLAGS = "-O2 -gdwarf-2 -gstrict-dwarf -mcpu=cortex-m4 -mthumb -ffreestanding -Isrc/include"


def device_file(subs_used):
    lines = ["/* devices.c - the subsystem device instances. */"]
    for s in subs_used:
        lines.append('#include "%s.h"' % s)
    lines.append("")
    for s in subs_used:
        lines.append("%s_device_t g_%s_device;" % (s, s))
    return "\n".join(lines) + "\n"


def main_file(n):
    lines = ["/* main.c - initialises every module and runs them in turn. */",
             '#include "platform.h"', ""]
    for i in range(n):
        lines.append("void m%04d_init(void);" % i)
        lines.append("u32 m%04d_step(u32 tick);" % i)
    lines += ["int main(void);", "", "int main(void)", "{", "    u32 tick = 0;"]
    for i in range(n):
        lines.append("    m%04d_init();" % i)
    lines += ["    for (;;) {"]
    for i in range(n):
        lines.append("        tick += m%04d_step(tick);" % i)
    lines += ["        g_system_ticks++;", "    }", "}"]
    return "\n".join(lines) + "\n"


def write(path, text):
    """Write only when the content differs, so make does not rebuild needlessly."""
    try:
        with open(path, "r", encoding="ascii") as f:
            if f.read() == text:
                return
    except OSError:
        pass
    with open(path, "w", encoding="ascii", newline="\n") as f:
        f.write(text)


def generate(out, n_units, seed, cc, links):
    src = os.path.join(out, "src")
    inc = os.path.join(src, "include")
    os.makedirs(inc, exist_ok=True)
    rng = random.Random(seed)
    write(os.path.join(inc, "platform.h"), HEADER_PLATFORM)
    write(os.path.join(inc, "hal_inline.h"), HEADER_HAL)
    write(os.path.join(inc, "containers.h"), HEADER_CONTAINERS)
    for s in SUBSYSTEMS:
        write(os.path.join(inc, "%s.h" % s), subsystem_header(s, rng))
    dev_text, periphs = device_header(rng, 48)
    write(os.path.join(inc, "device.h"), dev_text)
    write(os.path.join(src, "startup.c"), STARTUP)
    write(os.path.join(src, "devices.c"), device_file(SUBSYSTEMS))
    for k in links:
        write(os.path.join(src, "main_%d.c" % k), main_file(k))
    for i in range(n_units):
        write(os.path.join(src, "mod_%04d.c" % i), Unit(i, seed, periphs).generate())
    write(os.path.join(out, "firmware.ld"), LINKER_SCRIPT)
    elfs = ["firmware_%d.elf" % k for k in links]
    mk = [
        "# Generated by gen_firmware.py: make -j2 builds %s." % " and ".join(elfs),
        "CC = %s" % cc,
        "CFLAGS = %s" % CFLAGS,
        "",
        "all: %s" % " ".join(elfs),
        "",
    ]
    for k in links:
        objs = ["obj/startup.o", "obj/devices.o", "obj/main_%d.o" % k] + \
               ["obj/mod_%04d.o" % i for i in range(k)]
        mk += [
            "OBJS_%d = %s" % (k, " \\\n  ".join(objs)),
            "",
            "firmware_%d.elf: $(OBJS_%d) firmware.ld" % (k, k),
            "\t$(CC) -mcpu=cortex-m4 -mthumb -nostdlib -T firmware.ld $(OBJS_%d) -o $@.tmp" % k,
            "\tmv $@.tmp $@",
            "",
        ]
    mk += [
        "obj/startup.o: src/startup.c src/include/*.h",
        "\t@mkdir -p obj",
        "\t$(CC) $(CFLAGS) -fno-tree-loop-distribute-patterns -c $< -o $@",
        "",
        "obj/%.o: src/%.c src/include/*.h",
        "\t@mkdir -p obj",
        "\t$(CC) $(CFLAGS) -c $< -o $@",
        "",
    ]
    write(os.path.join(out, "Makefile"), "\n".join(mk))


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--units", "-n", type=int, required=True, help="number of module units")
    ap.add_argument("--seed", type=int, default=2024, help="generator seed (default 2024)")
    ap.add_argument("--out", required=True, help="output directory")
    ap.add_argument("--cc", default="arm-none-eabi-gcc", help="compiler named in the Makefile")
    ap.add_argument("--links", default="",
                    help="comma-separated unit counts to link firmware_K.elf for "
                         "(the first K units each; default: all units)")
    a = ap.parse_args(argv)
    if a.units < 1:
        ap.error("--units must be at least 1")
    links = [int(x) for x in a.links.split(",") if x.strip()] or [a.units]
    if any(k < 1 or k > a.units for k in links):
        ap.error("--links values must lie between 1 and --units")
    generate(a.out, a.units, a.seed, a.cc, sorted(set(links)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
