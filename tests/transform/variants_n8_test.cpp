// The n8 instances of the variant runs (compared in variants_u8_test.cpp).
#undef OKV_NS
#define OKV_NS okv_n8
#include "variant_runs.h"
