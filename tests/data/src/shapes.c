/* shapes.c - geometry, bit-field packing and real-number plumbing.
 * No floating-point arithmetic is done here: the ARM targets are
 * soft-float and the fixture is linked without libgcc. */
#include "common.h"

struct reals {
    float f;
    double d;
    long double ld;
    union {
        float as_float;
        u32 bits;
    } fview;
};

static struct reals s_last_reals;
static float s_weights[4] = { 0.25f, 0.5f, 0.75f, 1.0f };
static const double s_limits[2][3] = { { 0.0, 1.5, -1.5 }, { 1e100, -1e-100, 2.0 } };

int rect_area(const struct rect *r)
{
    int w = r->bottom_right.x - r->top_left.x;
    int h = r->bottom_right.y - r->top_left.y;

    w = clamp_int(w, 0, 4096);
    h = clamp_int(h, 0, 4096);
    return w * h;
}

float point_weight(const struct point *p, float fallback)
{
    unsigned int idx;

    if (p == 0)
        return fallback;
    idx = (unsigned int)(p->x + p->y) & 3u;
    return s_weights[idx];
}

int shape_perimeter(const struct shape *s)
{
    const struct rect *r = &s->bounds;
    int sum = 0;
    int i;

    for (i = 0; i < 4; i++) {
        const struct point *a = &s->corners[i];
        const struct point *b = &s->corners[(i + 1) & 3];
        int dx = a->x - b->x;
        int dy = a->y - b->y;
        sum += (dx < 0 ? -dx : dx) + (dy < 0 ? -dy : dy);
    }
    if (sum == 0)
        sum = 2 * ((r->bottom_right.x - r->top_left.x) + (r->bottom_right.y - r->top_left.y));
    return sum;
}

u32 status_pack(struct status_reg *sr, int level, int offset)
{
    union {
        struct status_reg reg;
        u32 raw;
    } view;

    sr->level = (unsigned int)clamp_int(level, 0, 4095);
    sr->offset = clamp_int(offset, -64, 63);
    sr->error = sr->offset < 0 ? 2u : 0u;
    sr->count = (sr->count + 1u) & 0x1fu;
    sr->spare = 0x15;
    view.raw = 0;
    view.reg = *sr;
    return view.raw;
}

/* Picks one of three reals by inspecting the sign bit of the float. */
long double mix_reals(float f, double d, long double ld)
{
    struct reals local;
    long double result;

    local.f = f;
    local.d = d;
    local.ld = ld;
    local.fview.as_float = f;
    if (local.fview.bits & 0x80000000u)
        result = ld;
    else
        result = (local.fview.bits & 1u) ? s_limits[0][1] : s_limits[1][0];
    s_last_reals = local;
    return result;
}
