// Variant harness driver: runs every checker, compares the two variants' bodies, and fails when an
// export is registered by no checker or by two.
#include "harness/checkasm.h"

#include <algorithm>
#include <bit>
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
};

std::vector<Checker>& registry() {
    static std::vector<Checker> r;
    return r;
}

const std::set<std::string> kExports = {
#define X(name) name,
#include "okvac_export_names.inc"
#undef X
};

uint64_t g_seed = 0;
int g_iter = 0;

bool guarded(const uint8_t* p) { return std::all_of(p, p + kGuard, [](uint8_t b) { return b == kGuardByte; }); }

// Equal elements of w bytes: the same bits or, for floats (w 4 or 8), both NaN.
bool same(const uint8_t* x, const uint8_t* y, size_t w) {
    float f[2];
    double d[2];
    if (!std::memcmp(x, y, w)) return true;
    if (w == 4) return std::memcpy(f, x, 4), std::memcpy(f + 1, y, 4), std::isnan(f[0]) && std::isnan(f[1]);
    return w == 8 && (std::memcpy(d, x, 8), std::memcpy(d + 1, y, 8), std::isnan(d[0]) && std::isnan(d[1]));
}

}  // namespace

Registrar::Registrar(const char* id, CheckFn fn) { registry().push_back({id, fn}); }

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
    const int k = range(0, 15);
    if (k == 0) return edges[range(0, 15)];
    if (k == 1) return std::bit_cast<float>(u32());
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

// Data sits after a guard zone; inputs and outputs at a random multiple of their element alignment
// past a 64-byte boundary (so most are not 16-byte aligned) unless asked for 16.
void* Arena::alloc(Kind kind, size_t bytes, size_t align, Align al, const void* init, bool random, int floatBytes) {
    if (replaying()) return bufs_[replay_++].data;
    const size_t off = al == AnyAlign && kind != Kind::Scratch ? static_cast<size_t>(rng_.range(0, 15)) / align * align : 0;
    const size_t total = kGuard + off + bytes + kGuard + 64;
    auto* block = static_cast<uint8_t*>(std::aligned_alloc(64, (total + 63) / 64 * 64));
    uint8_t* data = block + kGuard + off;
    std::memset(block, kGuardByte, total);
    if (kind == Kind::Scratch)
        for (size_t i = 0; i < bytes; i += 8) {
            const uint64_t r = fill_.u64();
            std::memcpy(data + i, &r, std::min<size_t>(8, bytes - i));
        }
    else if (init) std::memcpy(data, init, bytes);
    else if (random)
        for (size_t i = 0; i < bytes; ++i) data[i] = static_cast<uint8_t>(rng_.u32());
    bufs_.push_back({kind, block, data, bytes, floatBytes, {}});
    if (kind == Kind::In && (random || init)) bufs_.back().snap.assign(data, data + bytes);
    return data;
}

void* Arena::scratch(size_t bytes) { return alloc(Kind::Scratch, bytes, 64, Aligned16, nullptr, true, 0); }

void Ctx::fail(const char* label, const std::string& what) {
    if (++failures <= 20)
        std::fprintf(stderr, "FAIL %s (seed %llu, call %d): %s\n", label, static_cast<unsigned long long>(g_seed), g_iter,
                     what.c_str());
}

void Ctx::call(const char* label, const std::function<int(Arena&, int)>& fn) {
    ++g_iter;
    if (kExports.count(label)) exports.insert(label);
    const uint64_t seed = rng_.u64();
    Arena a(seed, seed ^ 1), b(seed, seed ^ 2);
    const int st[2] = {fn(a, 0), fn(b, 1)};
    if (st[0] != st[1]) fail(label, "status u8 " + std::to_string(st[0]) + " vs n8 " + std::to_string(st[1]));
    if (a.bufs_.size() != b.bufs_.size()) return fail(label, "the variants allocated different buffers");
    for (size_t i = 0; i < a.bufs_.size(); ++i) {
        const Arena::Buf &x = a.bufs_[i], &y = b.bufs_[i];
        const char* kinds[] = {"input ", "output ", "scratch "};
        const std::string buf = kinds[int(x.kind)] + std::to_string(i);
        for (const Arena::Buf* p : {&x, &y}) {
            const std::string who = p == &x ? "u8 " : "n8 ";
            if (!guarded(p->data - kGuard) || !guarded(p->data + p->bytes))
                fail(label, who + buf + ": written outside");
            if (x.kind == Arena::Kind::In && x.bytes && std::memcmp(p->snap.data(), p->data, x.bytes))
                fail(label, who + buf + " changed");
        }
        if (x.kind != Arena::Kind::Out) continue;
        if (x.bytes != y.bytes) {
            fail(label, buf + ": sizes differ");
            continue;
        }
        const size_t w = x.floatBytes ? size_t(x.floatBytes) : 1;
        size_t k = 0;
        while (k + w <= x.bytes && same(x.data + k, y.data + k, w)) k += w;
        if (k + w > x.bytes) continue;
        while (x.data[k] == y.data[k]) ++k;  // the first differing byte of the element
        char msg[160];
        std::snprintf(msg, sizeof msg, " differs at byte %zu of %zu: u8 %02x n8 %02x", k, x.bytes, x.data[k], y.data[k]);
        fail(label, buf + msg);
    }
    if (bench_) bench(label, fn, seed);
}

// Times both bodies on the buffers of this call, replayed in place.
void Ctx::bench(const char* label, const std::function<int(Arena&, int)>& fn, uint64_t seed) {
    auto it = std::find_if(timings.begin(), timings.end(), [&](const Timing& t) { return t.label == label; });
    if (it == timings.end()) it = timings.insert(it, {label, {0, 0}, 0});
    constexpr int kReps = 64;
    for (int v = 0; v < 2; ++v) {
        Arena a(seed);
        fn(a, v);
        a.replay_mode_ = true;
        const auto t0 = std::chrono::steady_clock::now();
        for (int r = 0; r < kReps; ++r) a.replay_ = 0, fn(a, v);
        it->ns[v] += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / kReps;
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
        const std::string a = argv[i];
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
    int problems = 0, failures = 0;
    const auto problem = [&](const std::string& msg) { std::fprintf(stderr, "%s\n", msg.c_str()), ++problems; };
    std::map<std::string, std::string> owner;
    for (const auto& c : reg) {
        if (!only.empty() && c.id != only) continue;
        chk::Ctx ctx(seed ^ std::hash<std::string>{}(c.id), iters, bench);
        chk::g_registered = &ctx.exports;
        c.fn(ctx);
        chk::g_registered = nullptr;
        for (const auto& e : ctx.exports)
            if (!owner.emplace(e, c.id).second) problem(e + " is registered by both " + owner[e] + " and " + c.id);
        std::printf("%-28s %s\n", c.id.c_str(), ctx.failures ? "FAILED" : "ok");
        for (const auto& t : ctx.timings)
            std::printf("    %-44s u8 %10.1f ns  n8 %10.1f ns  (n8/u8 %.2f)\n", t.label.c_str(), t.ns[0] / t.calls,
                        t.ns[1] / t.calls, t.ns[1] / t.ns[0]);
        failures += ctx.failures;
    }
    for (const auto& e : chk::kExports)
        if (only.empty() && !owner.count(e)) problem("export " + e + " is registered by no checker");
    const int checked = static_cast<int>(owner.size());
    std::printf("%d exports checked, %d failures, %d registry problems\n", checked, failures, problems);
    return failures || problems ? 1 : 0;
}
