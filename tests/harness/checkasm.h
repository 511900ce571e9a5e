// Variant harness: runs the u8 and n8 body of every export on the same inputs and compares status,
// outputs, guard bytes and inputs bit for bit. A checker is written
//   CHECKER(id) { CALL(okvsFoo_32f, a.in<Okv32f>(n, a.f32()), a.out<Okv32f>(n), n); }
// or, where state needs setting up, c.call(label, fn) with fn(Arena& a, int v) taking its buffers from the
// arena and returning a status from bodies OKV_BODY(v, name). Both arenas are seeded alike. Taking a body
// registers its export with the checker: every export must be registered, and by one checker only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "okvac.h"

#undef OKV_NS
#define OKV_NS okv_u8
#include "okvac_bodies.h"
#undef OKV_NS
#define OKV_NS okv_n8
#include "okvac_bodies.h"
#undef OKV_NS
#define OKV_NS okv_u8

namespace chk {
inline std::set<std::string>* g_registered = nullptr;  // the running checker's exports, in the harness
inline void note(const char* name) {
    if (g_registered) g_registered->insert(name);
}
}  // namespace chk

// The body of an export for variant v (0 = u8, 1 = n8).
#define OKV_BODY(v, name) (::chk::note(#name), (v) ? &::okv_n8::name : &::okv_u8::name)

namespace chk {

class Rng {  // xorshift64*
public:
    explicit Rng(uint64_t seed) : s_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    uint64_t u64() {
        s_ ^= s_ >> 12, s_ ^= s_ << 25, s_ ^= s_ >> 27;
        return s_ * 0x2545F4914F6CDD1Dull;
    }
    uint32_t u32() { return static_cast<uint32_t>(u64() >> 32); }
    int range(int lo, int hi) { return lo + static_cast<int>(u64() % static_cast<uint64_t>(hi - lo + 1)); }
    int pick(int n, int lo, int hi, int odd) { return range(0, n) ? range(lo, hi) : odd; }  // odd one time in n + 1
    bool coin() { return u64() & 1; }
    int16_t i16() { return static_cast<int16_t>(u32()); }
    double unit() { return static_cast<double>(u64() >> 11) * 0x1.0p-53; }
    float uniform(float lo, float hi) { return static_cast<float>(lo + unit() * (hi - lo)); }  // in [lo, hi)
    int len(int max = 4096);  // 0, 1, small odd and even sizes, powers of two, any up to max
    float f32();              // mostly moderate; sometimes zeros, denormals, infinities, NaN, extremes
    int32_t i32();            // full 32-bit patterns biased to 0, +-1, INT_MIN, INT_MAX

private:
    uint64_t s_;
};

enum Align { AnyAlign, Aligned16 };

class Arena {
public:
    explicit Arena(uint64_t seed, uint64_t scratchSeed = 1) : rng_(seed), fill_(scratchSeed) {}
    ~Arena();
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    // Input of random bytes, filled by gen(i) or copied from src; the call must leave it unchanged.
    template <class T> T* in(size_t n, Align al = AnyAlign) { return take<T>(Kind::In, n, al, nullptr); }
    template <class T, class G> T* in(size_t n, G gen, Align al = AnyAlign) { return fill<T>(Kind::In, n, gen, al); }
    template <class T> T* in_copy(const T* src, size_t n = 1) { return take<T>(Kind::In, n, AnyAlign, src); }
    // Output (or in/out) buffer of random bytes or filled by gen(i), guarded and compared between the variants.
    template <class T> T* out(size_t n, Align al = AnyAlign) { return take<T>(Kind::Out, n, al, nullptr); }
    template <class T, class G> T* inout(size_t n, G gen, Align al = AnyAlign) { return fill<T>(Kind::Out, n, gen, al); }
    template <class T> T* one(T x) { return inout<T>(1, [x](size_t) { return x; }); }
    // 64-byte aligned memory (at offset bytes past it), guarded but not compared: structures, work buffers. It
    // holds random bytes that differ between the variants' arenas, so a call that reads what it did not write shows.
    void* scratch(size_t bytes);
    template <class T> T* scratch(size_t bytes, size_t offset) {
        return reinterpret_cast<T*>(static_cast<uint8_t*>(scratch(bytes + offset)) + offset);
    }
    Rng& rng() { return rng_; }
    // Generators for in() and inout(): integers in [lo, hi], f32() scaled (without NaN: the scale in its
    // place, for products whose two NaN operands may come out in either order), i32() shifted right.
    auto uni(int lo, int hi) { return [this, lo, hi](size_t) { return rng_.range(lo, hi); }; }
    auto f32(float scale = 1, bool nan = true) {
        return [this, scale, nan](size_t) { const float f = rng_.f32(); return nan || f == f ? f * scale : scale; };
    }
    auto i32(int shift = 0) { return [this, shift](size_t) { return rng_.i32() >> shift; }; }

private:
    friend class Ctx;
    enum class Kind { In, Out, Scratch };
    struct Buf {
        Kind kind;
        uint8_t *block, *data;
        size_t bytes;
        int floatBytes;  // 4 or 8 for float elements, whose NaNs all compare equal; 0 otherwise
        std::vector<uint8_t> snap;
    };
    template <class T> static constexpr int float_bytes() {
        return std::is_same_v<T, float> || std::is_same_v<T, Okv32fc> ? 4 : std::is_same_v<T, double> ? 8 : 0;
    }
    template <class T> T* take(Kind kind, size_t n, Align al, const void* init, bool random = true) {
        return static_cast<T*>(alloc(kind, n * sizeof(T), alignof(T), al, init, random, float_bytes<T>()));
    }
    template <class T, class G> T* fill(Kind kind, size_t n, G gen, Align al) {
        const bool fresh = !replaying();
        T* p = take<T>(kind, n, al, nullptr, false);
        if (fresh) {
            for (size_t i = 0; i < n; ++i) p[i] = static_cast<T>(gen(i));
            if (kind == Kind::In) bufs_.back().snap.assign(bufs_.back().data, bufs_.back().data + bufs_.back().bytes);
        }
        return p;
    }
    void* alloc(Kind kind, size_t bytes, size_t align, Align al, const void* init, bool random, int floatBytes);
    bool replaying() const { return replay_mode_ && replay_ < bufs_.size(); }

    Rng rng_, fill_;
    std::vector<Buf> bufs_;
    size_t replay_ = 0;
    bool replay_mode_ = false;
};

class Ctx {
public:
    Ctx(uint64_t seed, int iters, bool bench) : rng_(seed), iters_(iters), bench_(bench) {}
    Rng& rng() { return rng_; }
    int iters() const { return iters_; }
    // Runs fn for both variants and compares everything; a label naming an export registers it.
    void call(const char* label, const std::function<int(Arena&, int)>& fn);
    void fail(const char* label, const std::string& what);

    int failures = 0;
    std::set<std::string> exports;
    struct Timing { std::string label; double ns[2]; long calls; };
    std::vector<Timing> timings;

private:
    void bench(const char* label, const std::function<int(Arena&, int)>& fn, uint64_t seed);
    Rng rng_;
    int iters_;
    bool bench_;
};

using CheckFn = void (*)(Ctx&);
struct Registrar {
    Registrar(const char* id, CheckFn fn);
};

// A stream position over buf with a bit offset (an in/out value); end() records how far p moved and
// returns the status. with() sets an arena address in a structure for the call (the addresses differ
// between the arenas), which end() clears again.
template <class T> struct Cursor {
    T *start, *p;
    int* off;
    void** clear = nullptr;
    Cursor(Arena& a, T* buf, int offset = 0) : start(buf), p(buf), off(a.one(offset)) {}
    int end(Arena& a, int status) {
        if (clear) *clear = nullptr;
        return *a.out<int>(1) = int(p - start), status;
    }
    template <class S, class P> S* with(S* obj, P* S::*field, P* value) {
        obj->*field = value, clear = reinterpret_cast<void**>(&(obj->*field));
        return obj;
    }
};

// f(0), f(1), ... for up to n calls while each returns okvOk; the last status.
template <class F> int chain(int n, F f) {
    int st = okvOk;
    for (int i = 0; i < n && st == okvOk; ++i) st = f(i);
    return st;
}

// A null pointer of the structure type a Free body takes.
template <class S> S* null_of(StatusCode (*)(S*)) { return nullptr; }

// A buffer size for a length that may be zero or negative: calls still pass the length itself.
inline size_t cap(long n) { return n > 0 ? static_cast<size_t>(n) : 1; }

}  // namespace chk

#define CHECKER(id)                                                    \
    static void chk_fn_##id(chk::Ctx& c);                              \
    static const chk::Registrar chk_reg_##id(#id, chk_fn_##id);        \
    static void chk_fn_##id([[maybe_unused]] chk::Ctx& c)

// One call of export `name` in checker context c on the arguments given, which may draw from arena a.
#define CALL(name, ...) c.call(#name, [&](chk::Arena& a, int v) -> int { return OKV_BODY(v, name)(__VA_ARGS__); })
// The same with a cursor s, constructed from the parenthesised arguments cur, that records where it ends.
#define PARSE(name, cur, ...) \
    c.call(#name, [&](chk::Arena& a, int v) -> int { chk::Cursor s cur; return s.end(a, OKV_BODY(v, name)(__VA_ARGS__)); })
