// The kernel tests again, against the n8 bodies.
#undef OKV_NS
#define OKV_NS okv_n8
#define KERNEL_SUITE(name) name##N8
#include "kernels_test.cpp"
