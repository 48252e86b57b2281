/* blockcopy~: a benchmark-only Pd object that copies its signal inlet to its
 * outlet with Pd's own block copy (dsp_add_copy), the routine Pd itself uses
 * to copy a block. It is the yardstick for a bypassed quill object in
 * scripts/bench_pd.sh and is never installed. */
#include "m_pd.h"

static t_class *blockcopy_class;

typedef struct _blockcopy {
    t_object x_obj;
    t_float x_f; /* the main signal inlet's scalar */
} t_blockcopy;

static void *blockcopy_new(void)
{
    t_blockcopy *x = (t_blockcopy *)pd_new(blockcopy_class);
    outlet_new(&x->x_obj, &s_signal);
    return x;
}

static void blockcopy_dsp(t_blockcopy *x, t_signal **sp)
{
    (void)x;
    dsp_add_copy(sp[0]->s_vec, sp[1]->s_vec, sp[0]->s_n);
}

void blockcopy_tilde_setup(void)
{
    blockcopy_class = class_new(gensym("blockcopy~"), (t_newmethod)blockcopy_new, 0,
                                sizeof(t_blockcopy), 0, 0);
    CLASS_MAINSIGNALIN(blockcopy_class, t_blockcopy, x_f);
    class_addmethod(blockcopy_class, (t_method)blockcopy_dsp, gensym("dsp"), A_CANT, 0);
}
