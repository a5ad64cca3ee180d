/* common.h - types shared by every unit of the fixture program. */
#ifndef FIXTURE_COMMON_H
#define FIXTURE_COMMON_H

/* A chain of typedefs: octet -> byte_t -> u8 -> unsigned char. */
typedef unsigned char u8;
typedef u8 byte_t;
typedef byte_t octet;
typedef unsigned short u16;
typedef unsigned int u32;
typedef signed long long s64;
typedef unsigned long long u64;

enum color { COLOR_RED, COLOR_GREEN = 5, COLOR_BLUE, COLOR_NONE = -1 };
typedef enum { MODE_IDLE, MODE_RUN = 0x10, MODE_HALT = 0x7fffffff } op_mode_t;

struct point {
    short x;
    short y;
};

/* Nested structs, an enum member and an array of structs. */
struct rect {
    struct point top_left;
    struct point bottom_right;
    enum color fill;
};

struct shape {
    char name[12];
    struct rect bounds;
    struct point corners[4];
    const struct shape *parent;
};

/* Several bit-fields in one unsigned int, some straddling byte limits. */
struct status_reg {
    unsigned int ready : 1;
    unsigned int error : 2;
    unsigned int count : 5;
    unsigned int level : 12;
    signed int offset : 7;
    unsigned int spare : 5;
    unsigned char tail;
};

/* Packed bit-fields that cross the 32-bit word boundary. */
struct __attribute__((packed)) packed_bits {
    unsigned char tag;
    unsigned int low : 20;
    unsigned int mid : 20;      /* bits 28..47: crosses a word */
    unsigned short hi : 9;
    u64 wide : 40;
};

/* A union of scalar, array and struct views. */
union value {
    u32 word;
    u16 halves[2];
    octet bytes[4];
    float real;
    struct {
        u16 lo;
        u16 hi;
    } parts;
};

/* Self-referential list node: the pointer is followed by more members. */
struct node {
    int key;
    struct node *next;
    union value payload;
    struct node **owner;
    enum color tint;
};

typedef struct node node_t;
typedef node_t *node_ptr;

/* Function pointer types. */
typedef int (*compare_fn)(const node_t *a, const node_t *b);
typedef void (*visit_fn)(node_t *n, void *ctx);

/* Used from two units, so each gets its own copy. */
static inline int clamp_int(int v, int lo, int hi)
{
    if (v < lo)
        return lo;
    if (v > hi)
        return hi;
    return v;
}

/* list.c */
void list_push(node_t **head, node_t *n);
node_t *list_find(node_t *head, int key);
int list_sort(node_t **head, compare_fn cmp);
void list_walk(node_t *head, visit_fn fn, void *ctx);
int compare_keys(const node_t *a, const node_t *b);

/* shapes.c */
int rect_area(const struct rect *r);
float point_weight(const struct point *p, float fallback);
int shape_perimeter(const struct shape *s);
u32 status_pack(struct status_reg *sr, int level, int offset);
long double mix_reals(float f, double d, long double ld);

/* data.c */
extern struct shape g_shapes[3];
extern node_t g_nodes[4];
extern node_ptr g_list_head;
extern volatile u32 g_tick;
extern const char g_banner[];
void data_init(void);

/* main.c */
int main(void);

void *fx_memset(void *dst, int c, unsigned int n);
void *fx_memcpy(void *dst, const void *src, unsigned int n);

#endif
