/* list.c - a singly linked list with goto-based error handling. */
#include "common.h"

/* Same name as the static in data.c, different unit. */
static int s_count;
static node_t *s_last_found;

void list_push(node_t **head, node_t *n)
{
    n->next = *head;
    n->owner = head;
    *head = n;
    s_count++;
}

node_t *list_find(node_t *head, int key)
{
    node_t *cur;
    static unsigned int lookups;    /* static local */

    lookups++;
    for (cur = head; cur != 0; cur = cur->next) {
        if (cur->key == key)
            goto found;
    }
    return 0;

found:
    s_last_found = cur;
    return cur;
}

int compare_keys(const node_t *a, const node_t *b)
{
    int da = clamp_int(a->key, -1000, 1000);
    int db = clamp_int(b->key, -1000, 1000);

    return da - db;
}

/* Bubble sort by relinking; returns the number of swaps or -1. */
int list_sort(node_t **head, compare_fn cmp)
{
    int swaps = 0;
    int passes = 0;
    node_t **link;
    node_t *a, *b;
    int changed;

    if (head == 0 || cmp == 0)
        goto bad_args;

again:
    changed = 0;
    passes++;
    if (passes > 100)
        goto too_many;
    for (link = head; *link != 0 && (*link)->next != 0; link = &(*link)->next) {
        a = *link;
        b = a->next;
        if (cmp(a, b) > 0) {
            a->next = b->next;
            b->next = a;
            *link = b;
            changed = 1;
            swaps++;
        }
    }
    if (changed)
        goto again;
    return swaps;

too_many:
    return -2;
bad_args:
    return -1;
}

void list_walk(node_t *head, visit_fn fn, void *ctx)
{
    register node_t *n;
    unsigned int depth = 0;

    for (n = head; n; n = n->next) {
        {
            /* A nested block with its own local. */
            int saved_key = n->key;
            fn(n, ctx);
            if (n->key != saved_key)
                n->tint = COLOR_NONE;
        }
        depth++;
    }
    s_count = (int)depth;
}
