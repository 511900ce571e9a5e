// Common include of every library source: the public types, the export
// bodies of this variant and the shared helpers.
#pragma once

#ifndef OKV_NS
#error "OKV_NS must name the variant namespace (okv_u8 or okv_n8)"
#endif

#include "okvac.h"
#include "okvac_bodies.h"
#include "core/bits.h"
#include "core/sfs.h"
