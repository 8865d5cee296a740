#include "dsp/fft.h"

#include "dsp/dsp_ops.h"

#include <fftw3.h>
#if defined(__SSE__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

namespace orvel::dsp {

namespace {

struct PlanPair {
    fftwf_plan forward = nullptr;
    fftwf_plan inverse = nullptr;
};

// Plans live for the whole process; they are created on first set-up of a
// size and only read afterwards (FFTW's new-array execute functions are
// thread-safe on a shared plan). They are freed at process exit, after the
// engine has shut its threads down, so leak checkers stay quiet.
struct PlanRegistry {
    std::mutex lock;
    std::map<std::size_t, PlanPair> plans;

    ~PlanRegistry() {
        for (auto& [n, p] : plans) {
            fftwf_destroy_plan(p.forward);
            fftwf_destroy_plan(p.inverse);
        }
        fftwf_cleanup();
    }
};

PlanRegistry& registry() {
    static PlanRegistry r;
    return r;
}

const PlanPair* plansFor(std::size_t n) {
    PlanRegistry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.plans.find(n);
    if (it != r.plans.end()) {
        return &it->second;
    }
    float* t = fftwf_alloc_real(n);
    fftwf_complex* f = fftwf_alloc_complex(n / 2 + 1);
    if (t == nullptr || f == nullptr) {
        fftwf_free(t);
        fftwf_free(f);
        return nullptr;
    }
    PlanPair p;
    const int size = static_cast<int>(n);
    p.forward = fftwf_plan_dft_r2c_1d(size, t, f, FFTW_ESTIMATE);
    p.inverse = fftwf_plan_dft_c2r_1d(size, f, t, FFTW_ESTIMATE);
    fftwf_free(t);
    fftwf_free(f);
    if (p.forward == nullptr || p.inverse == nullptr) {
        if (p.forward != nullptr) {
            fftwf_destroy_plan(p.forward);
        }
        if (p.inverse != nullptr) {
            fftwf_destroy_plan(p.inverse);
        }
        return nullptr;
    }
    return &r.plans.emplace(n, p).first->second;
}

}  // namespace

RealFft::~RealFft() {
    release();
}

bool RealFft::init(int order) {
    release();
    if (order < 1 || order > 20) {
        return false;
    }
    const std::size_t n = std::size_t{1} << order;
    const PlanPair* plans = plansFor(n);
    if (plans == nullptr) {
        return false;
    }
    time_ = fftwf_alloc_real(n);
    freq_ = reinterpret_cast<float*>(fftwf_alloc_complex(n / 2 + 1));
    if (time_ == nullptr || freq_ == nullptr) {
        release();
        return false;
    }
    std::fill(time_, time_ + n, 0.0f);
    std::fill(freq_, freq_ + n + 2, 0.0f);
    fwd_ = plans->forward;
    inv_ = plans->inverse;
    n_ = n;
    return true;
}

void RealFft::release() {
    fftwf_free(time_);
    fftwf_free(freq_);
    time_ = nullptr;
    freq_ = nullptr;
    fwd_ = inv_ = nullptr;
    n_ = 0;
}

void RealFft::forward() {
    fftwf_execute_dft_r2c(static_cast<fftwf_plan>(const_cast<void*>(fwd_)), time_,
                          reinterpret_cast<fftwf_complex*>(freq_));
}

void RealFft::inverse() {
    fftwf_execute_dft_c2r(static_cast<fftwf_plan>(const_cast<void*>(inv_)),
                          reinterpret_cast<fftwf_complex*>(freq_), time_);
    const float scale = 1.0f / static_cast<float>(n_);
    for (std::size_t i = 0; i < n_; ++i) {
        time_[i] *= scale;
    }
}

bool FixedSpectrum128::init() {
    return fft_.ready() || fft_.init(7);
}

namespace {

// Four bins at a time. GCC and clang turn the scalar form of this loop into
// branches around every clamp, and the signs of the transform's outputs are
// random, so it is written out for 4-lane vectors.
typedef float F4 __attribute__((vector_size(16)));
typedef int32_t I4 __attribute__((vector_size(16)));

// Rounds half away from zero and holds the value within 16 bits.
inline F4 roundTo16(F4 v) {
    const F4 lo = {-32768.0f, -32768.0f, -32768.0f, -32768.0f};
    const F4 hi = {32767.0f, 32767.0f, 32767.0f, 32767.0f};
    v = v > lo ? v : lo;
    v = v < hi ? v : hi;
    const I4 sign = reinterpret_cast<I4>(v) & static_cast<int32_t>(0x80000000u);
    const I4 halfBits = sign | 0x3F000000;  // ±0.5f
    const F4 half = reinterpret_cast<F4>(halfBits);
    return __builtin_convertvector(__builtin_convertvector(v + half, I4), F4);
}

inline F4 sqrt4(F4 v) {
#if defined(__SSE__)
    return reinterpret_cast<F4>(_mm_sqrt_ps(reinterpret_cast<__m128>(v)));
#else
    return F4{std::sqrt(v[0]), std::sqrt(v[1]), std::sqrt(v[2]), std::sqrt(v[3])};
#endif
}

}  // namespace

void FixedSpectrum128::magnitudes(const int16_t* frame, int16_t* out) {
    float* t = fft_.time();
    for (int i = 0; i < kPoints; ++i) {
        t[i] = static_cast<float>(frame[i]);
    }
    fft_.forward();
    const float* s = reinterpret_cast<const float*>(fft_.spectrum());
    constexpr float kScale = 1.0f / static_cast<float>(1 << kScaleShift);
    const F4 scale = {kScale, kScale, kScale, kScale};
    const F4 top = {32767.0f, 32767.0f, 32767.0f, 32767.0f};
    for (int k = 0; k < kBins; k += 4) {
        const float* c = s + 2 * k;
        // The scaled complex value is held as two 16-bit numbers first, as a
        // fixed-point transform would leave it.
        const F4 re = roundTo16(F4{c[0], c[2], c[4], c[6]} * scale);
        const F4 im = roundTo16(F4{c[1], c[3], c[5], c[7]} * scale);
        F4 m = sqrt4(re * re + im * im) + F4{0.5f, 0.5f, 0.5f, 0.5f};
        m = m < top ? m : top;
        const I4 rounded = __builtin_convertvector(m, I4);
        for (int j = 0; j < 4; ++j) {
            out[k + j] = static_cast<int16_t>(rounded[j]);
        }
    }
}

}  // namespace orvel::dsp
