/* data.c - global data of every storage class and many types. */
#include "common.h"

/* Initialised: .data */
int g_counter = 42;
short g_short = -1234;
unsigned short g_ushort = 0xBEEF;
char g_char = 'A';
signed char g_schar = -5;
unsigned char g_uchar = 200;
long g_long = -100000L;
unsigned long g_ulong = 3000000000UL;
long long g_llong = -1234567890123LL;
unsigned long long g_ullong = 0x0123456789ABCDEFULL;
float g_float = 3.25f;
double g_double = -2.5e10;
long double g_ldouble = 1.0e-3L;
octet g_octet = 0x5A;
enum color g_color = COLOR_BLUE;
op_mode_t g_mode = MODE_RUN;
struct point g_origin = { 10, -20 };
union value g_value = { 0x11223344u };

/* Zero-initialised: .bss */
int g_zero_int;
double g_zero_double;
struct status_reg g_status;
struct packed_bits g_packed;
node_t g_nodes[4];
node_ptr g_list_head;
volatile u32 g_tick;
struct shape g_shapes[3];

/* Read-only: .rodata */
const char g_banner[] = "morvik fixture";
const int g_primes[8] = { 2, 3, 5, 7, 11, 13, 17, 19 };
const struct rect g_screen = { { 0, 0 }, { 319, 239 }, COLOR_GREEN };
const char *const g_names[3] = { "red", "green", "blue" };

/* Multi-dimensional arrays. */
short g_matrix[3][4] = { { 1, 2, 3, 4 }, { 5, 6, 7, 8 }, { 9, 10, 11, 12 } };
unsigned char g_cube[2][3][4];
u8 g_hyper[2][2][2][2][2][2][3];          /* seven dimensions */
struct point g_grid[2][2] = { { { 1, 1 }, { 1, 2 } }, { { 2, 1 }, { 2, 2 } } };

/* Pointers of several kinds. */
int *g_int_ptr = &g_counter;
int **g_int_ptr_ptr = &g_int_ptr;
struct shape *g_shape_ptr = &g_shapes[1];
node_t **g_owner = &g_list_head;
const char *g_text = g_banner;
void *g_void_ptr;
compare_fn g_compare = compare_keys;
int (*g_area_fn)(const struct rect *) = rect_area;
visit_fn g_visitors[2];
short (*g_row_ptr)[4] = g_matrix;

/* File-scope statics: the same name exists in list.c. */
static int s_count = 7;
static unsigned int s_seed;
static const char s_version[] = "1.0";

static unsigned int next_random(void)
{
    s_seed = s_seed * 1103515245u + 12345u;
    return (s_seed >> 16) & 0x7fff;
}

void data_init(void)
{
    int i, j, k;
    static int init_calls;      /* static local */

    init_calls++;
    s_seed = (unsigned int)g_counter + s_version[0];
    for (i = 0; i < 2; i++)
        for (j = 0; j < 3; j++)
            for (k = 0; k < 4; k++)
                g_cube[i][j][k] = (unsigned char)(next_random() & 0xff);

    g_hyper[1][0][1][0][1][0][2] = (u8)s_count;
    for (i = 0; i < 4; i++) {
        g_nodes[i].key = (int)(next_random() & 0xff);
        g_nodes[i].payload.word = (u32)i * 0x01010101u;
        g_nodes[i].tint = (enum color)(i & 1 ? COLOR_RED : COLOR_GREEN);
        list_push(&g_list_head, &g_nodes[i]);
    }
    for (i = 0; i < 3; i++) {
        struct shape *s = &g_shapes[i];
        fx_memcpy(s->name, g_names[i], 4);
        s->bounds = g_screen;
        s->bounds.bottom_right.x = (short)(s->bounds.bottom_right.x - i * 10);
        s->parent = i ? &g_shapes[i - 1] : 0;
    }
    g_status.ready = 1;
    g_status.count = (unsigned int)clamp_int(init_calls, 0, 31);
    g_packed.mid = 0xABCDE;
    g_packed.wide = 0x123456789AULL;
    g_void_ptr = &g_packed;
    s_count += init_calls;
}
