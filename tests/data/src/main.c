/* main.c - drives the other units so that nothing is optimised away. */
#include "common.h"

struct visit_ctx {
    int visited;
    int key_sum;
    node_t *max_node;
};

static u32 s_results[6];
static long double s_mixed;

static void count_visitor(node_t *n, void *ctx)
{
    struct visit_ctx *vc = ctx;

    vc->visited++;
    vc->key_sum += n->key;
    if (vc->max_node == 0 || n->key > vc->max_node->key)
        vc->max_node = n;
}

static void bump_visitor(node_t *n, void *ctx)
{
    (void)ctx;
    n->key += 1;
}

static int run_lists(void)
{
    struct visit_ctx ctx = { 0, 0, 0 };
    node_t *hit;
    int swaps;

    swaps = list_sort(&g_list_head, compare_keys);
    list_walk(g_list_head, count_visitor, &ctx);
    hit = list_find(g_list_head, ctx.max_node ? ctx.max_node->key : -1);
    list_walk(g_list_head, bump_visitor, 0);
    return swaps + ctx.visited + (hit != 0);
}

static int run_shapes(void)
{
    extern float g_float;
    extern double g_double;
    extern long double g_ldouble;
    extern struct status_reg g_status;
    struct point local_pts[2] = { { 3, 4 }, { -7, 9 } };
    int area = 0;
    int i;
    float w;

    for (i = 0; i < 3; i++) {
        area += rect_area(&g_shapes[i].bounds);
        area += shape_perimeter(&g_shapes[i]);
    }
    w = point_weight(&local_pts[1], g_float);
    s_mixed = mix_reals(w, g_double, g_ldouble);
    s_results[4] = status_pack(&g_status, area, local_pts[0].x - 10);
    return area;
}

int main(void)
{
    static int iterations;      /* static local, same name as nothing else */
    register int total = 0;
    u64 stamp = 0;

    data_init();
    for (;;) {
        iterations++;
        s_results[0] = (u32)run_lists();
        s_results[1] = (u32)run_shapes();
        total += (int)s_results[0];
        stamp += g_tick;
        s_results[2] = (u32)total;
        s_results[3] = (u32)(stamp >> 32) ^ (u32)stamp;
        if (iterations > 3)
            break;
    }
    s_results[5] = g_banner[0];
    return total;
}
