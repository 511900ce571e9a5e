// Variant harness driver: runs every registered checker, compares the two
// variants' bodies, and fails when an export is registered nowhere.
#include "harness/checkasm.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

namespace chk {

namespace {

constexpr size_t kGuard = 64;
constexpr uint8_t kGuardByte = 0xA5;

struct Checker {
    std::string id;
    CheckFn fn;
    std::vector<std::string> exports;
};

std::vector<Checker>& registry() {
    static std::vector<Checker> r;
    return r;
}

const std::vector<std::string> kExports = {
#define X(name) name,
#include "okvac_export_names.inc"
#undef X
};

uint64_t g_seed = 0;
int g_iter = 0;

}  // namespace

Registrar::Registrar(const char* id, CheckFn fn, std::initializer_list<const char*> exports) {
    registry().push_back({id, fn, std::vector<std::string>(exports.begin(), exports.end())});
}

int Rng::len(int max) {
    switch (range(0, 9)) {
        case 0: return 0;
        case 1: return 1;
        case 2: return std::min(max, range(2, 17));
        case 3: return std::min(max, range(1, 64) * 2 + 1);
        case 4: return std::min(max, 1 << range(0, 12));
        default: return range(0, max);
    }
}

float Rng::f32() {
    static const float edges[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 1e-40f, -1e-40f, 3.4e38f, -3.4e38f,
                                  INFINITY, -INFINITY, NAN, 32767.5f, -32768.5f, 2.5f, -2.5f};
    int k = range(0, 15);
    if (k == 0) return edges[range(0, static_cast<int>(sizeof(edges) / sizeof(edges[0])) - 1)];
    if (k == 1) {
        uint32_t bits = u32();
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    return static_cast<float>((unit() * 2.0 - 1.0) * std::ldexp(1.0, range(-20, 20)));
}

int32_t Rng::i32() {
    static const int32_t edges[] = {0, 1, -1, INT32_MIN, INT32_MAX, INT32_MIN + 1, INT32_MAX - 1, 32767, -32768};
    if (range(0, 7) == 0) return edges[range(0, 8)];
    return static_cast<int32_t>(u32()) >> range(0, 31);
}

Arena::~Arena() {
    for (auto& b : bufs_) std::free(b.block);
}

void* Arena::alloc(Kind kind, size_t bytes, size_t align, Align al, const void* init, bool fill) {
    if (replay_mode_ && replay_ < bufs_.size()) return bufs_[replay_++].data;
    // Offset from a 64-byte boundary: 0 when asked for 16-byte alignment, else a random
    // multiple of the element alignment (so most buffers are not 16-byte aligned).
    size_t off = 0;
    if (al == AnyAlign && kind != Kind::Scratch) off = static_cast<size_t>(rng_.range(0, 15)) / align * align;
    if (kind == Kind::Scratch) align = std::max<size_t>(align, 64);
    size_t total = kGuard + off + bytes + kGuard + 64;
    uint8_t* block = static_cast<uint8_t*>(std::aligned_alloc(64, (total + 63) / 64 * 64));
    uint8_t* data = block + kGuard + off;
    if (kind == Kind::Scratch) data = block + kGuard;  // 64-byte aligned
    std::memset(block, kGuardByte, total);
    if (kind == Kind::Scratch) {
        std::memset(data, 0, bytes);
    } else if (init) {
        std::memcpy(data, init, bytes);
    } else if (fill) {
        for (size_t i = 0; i < bytes; ++i) data[i] = static_cast<uint8_t>(rng_.u32());
    }
    bufs_.push_back({kind, block, data, bytes, {}});
    if (kind == Kind::In && (fill || init)) snapshot();
    return data;
}

void* Arena::scratch(size_t bytes, size_t align) {
    return alloc(Kind::Scratch, bytes, align, Aligned16, nullptr);
}

void Arena::snapshot() {
    Buf& b = bufs_.back();
    b.snap.assign(b.data, b.data + b.bytes);
}

// Offset of the first differing byte (of the first differing element for floats), or bytes.
size_t first_difference(const Arena::Buf& x, const Arena::Buf& y) {
    size_t w = x.elem == Arena::Elem::F32 ? 4 : x.elem == Arena::Elem::F64 ? 8 : 1;
    for (size_t k = 0; k + w <= x.bytes; k += w) {
        if (std::memcmp(x.data + k, y.data + k, w) == 0) continue;
        if (w == 4) {
            float a, b;
            std::memcpy(&a, x.data + k, 4);
            std::memcpy(&b, y.data + k, 4);
            if (std::isnan(a) && std::isnan(b)) continue;
        } else if (w == 8) {
            double a, b;
            std::memcpy(&a, x.data + k, 8);
            std::memcpy(&b, y.data + k, 8);
            if (std::isnan(a) && std::isnan(b)) continue;
        }
        for (size_t j = k;; ++j)
            if (x.data[j] != y.data[j]) return j;
    }
    return x.bytes;
}

void Ctx::fail(const char* name, const std::string& what) {
    ++failures;
    if (failures <= 20)
        std::fprintf(stderr, "FAIL %s (seed %llu, call %d): %s\n", name,
                     static_cast<unsigned long long>(g_seed), g_iter, what.c_str());
}

void Ctx::call(const char* name, const std::function<int(Arena&, int)>& fn) {
    ++g_iter;
    if (std::find(called.begin(), called.end(), name) == called.end()) called.push_back(name);
    uint64_t seed = rng_.u64();
    Arena a(seed), b(seed);
    int st[2] = {fn(a, 0), fn(b, 1)};
    if (st[0] != st[1]) fail(name, "status u8 " + std::to_string(st[0]) + " vs n8 " + std::to_string(st[1]));
    if (a.bufs_.size() != b.bufs_.size()) {
        fail(name, "the variants allocated different buffers");
        return;
    }
    Arena* arenas[2] = {&a, &b};
    for (int v = 0; v < 2; ++v) {
        for (size_t i = 0; i < arenas[v]->bufs_.size(); ++i) {
            const auto& buf = arenas[v]->bufs_[i];
            if (buf.kind == Arena::Kind::Scratch) continue;
            const uint8_t* lo = buf.data - kGuard;
            const uint8_t* hi = buf.data + buf.bytes;
            for (size_t k = 0; k < kGuard; ++k) {
                if (lo[k] != kGuardByte || hi[k] != kGuardByte) {
                    fail(name, std::string(v ? "n8" : "u8") + " wrote outside buffer " + std::to_string(i));
                    break;
                }
            }
            if (buf.kind == Arena::Kind::In && buf.bytes && std::memcmp(buf.snap.data(), buf.data, buf.bytes) != 0)
                fail(name, std::string(v ? "n8" : "u8") + " changed input buffer " + std::to_string(i));
        }
    }
    for (size_t i = 0; i < a.bufs_.size(); ++i) {
        const auto& x = a.bufs_[i];
        const auto& y = b.bufs_[i];
        if (x.kind != Arena::Kind::Out) continue;
        if (x.bytes != y.bytes) {
            fail(name, "buffer " + std::to_string(i) + " sizes differ");
            continue;
        }
        size_t at = first_difference(x, y);
        if (at != x.bytes) {
            char msg[160];
            std::snprintf(msg, sizeof msg, "output buffer %zu differs at byte %zu of %zu: u8 %02x n8 %02x", i, at,
                          x.bytes, x.data[at], y.data[at]);
            fail(name, msg);
        }
    }
    if (bench_) bench(name, fn, seed);
}

// Times both bodies on the buffers of this call, replayed in place.
void Ctx::bench(const char* name, const std::function<int(Arena&, int)>& fn, uint64_t seed) {
    auto it = std::find_if(timings.begin(), timings.end(), [&](const Timing& t) { return t.name == name; });
    if (it == timings.end()) {
        timings.push_back({name, {0, 0}, 0});
        it = timings.end() - 1;
    }
    constexpr int kReps = 64;
    for (int v = 0; v < 2; ++v) {
        Arena a(seed);
        fn(a, v);
        a.replay_mode_ = true;
        auto t0 = std::chrono::steady_clock::now();
        for (int r = 0; r < kReps; ++r) {
            a.replay_ = 0;
            fn(a, v);
        }
        auto t1 = std::chrono::steady_clock::now();
        it->ns[v] += std::chrono::duration<double, std::nano>(t1 - t0).count() / kReps;
    }
    it->calls++;
}

}  // namespace chk

int main(int argc, char** argv) {
    uint64_t seed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    int iters = 20;
    bool bench = false;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--seed" && i + 1 < argc) seed = std::strtoull(argv[++i], nullptr, 0);
        else if (a == "--iters" && i + 1 < argc) iters = std::atoi(argv[++i]);
        else if (a == "--bench") bench = true;
        else if (a == "--only" && i + 1 < argc) only = argv[++i];
        else {
            std::printf("usage: okvac_checkasm [--seed N] [--iters N] [--bench] [--only CHECKER]\n");
            return a == "--help" ? 0 : 2;
        }
    }
    chk::g_seed = seed;
    std::printf("okvac_checkasm: seed %llu, %d iterations\n", static_cast<unsigned long long>(seed), iters);

    auto& reg = chk::registry();
    std::sort(reg.begin(), reg.end(), [](const auto& x, const auto& y) { return x.id < y.id; });
    int problems = 0;
    std::map<std::string, std::string> owner;
    for (const auto& c : reg) {
        for (const auto& e : c.exports) {
            if (std::find(chk::kExports.begin(), chk::kExports.end(), e) == chk::kExports.end()) {
                std::fprintf(stderr, "checker %s registers %s, which is not an export\n", c.id.c_str(), e.c_str());
                ++problems;
            } else if (!owner.emplace(e, c.id).second) {
                std::fprintf(stderr, "%s is registered by both %s and %s\n", e.c_str(), owner[e].c_str(), c.id.c_str());
                ++problems;
            }
        }
    }
    for (const auto& e : chk::kExports) {
        if (!owner.count(e)) {
            std::fprintf(stderr, "export %s is registered in no checker\n", e.c_str());
            ++problems;
        }
    }

    int failures = 0, checked = 0;
    for (const auto& c : reg) {
        if (!only.empty() && c.id != only) continue;
        chk::Ctx ctx(seed ^ std::hash<std::string>{}(c.id), iters, bench);
        c.fn(ctx);
        for (const auto& e : c.exports) {
            if (std::find(ctx.called.begin(), ctx.called.end(), e) == ctx.called.end()) {
                std::fprintf(stderr, "checker %s never called %s\n", c.id.c_str(), e.c_str());
                ++problems;
            }
        }
        for (const auto& n : ctx.called) {
            if (std::find(c.exports.begin(), c.exports.end(), n) == c.exports.end()) {
                std::fprintf(stderr, "checker %s calls %s, which it does not register\n", c.id.c_str(), n.c_str());
                ++problems;
            }
        }
        std::printf("%-28s %s\n", c.id.c_str(), ctx.failures ? "FAILED" : "ok");
        for (const auto& t : ctx.timings)
            std::printf("    %-44s u8 %10.1f ns  n8 %10.1f ns  (n8/u8 %.2f)\n", t.name.c_str(), t.ns[0] / t.calls,
                        t.ns[1] / t.calls, t.ns[1] / t.ns[0]);
        failures += ctx.failures;
        checked += static_cast<int>(c.exports.size());
    }
    std::printf("%d exports checked, %d failures, %d registry problems\n", checked, failures, problems);
    return failures || problems ? 1 : 0;
}
