// Real transforms over FFTW3 single precision. Plans are made once per size
// (planning is not thread-safe in FFTW, so it happens under a lock at set-up
// time, never in the sample path) and shared read-only; each user owns its own
// aligned buffers and runs the shared plan on them.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>

namespace orvel::dsp {

using Complex = std::complex<float>;

// A forward/inverse real transform of n points (n a power of two). The
// spectrum holds n/2 + 1 complex values (DC .. Nyquist).
class RealFft {
public:
    RealFft() = default;
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    // Prepares the plans for 2^order points and allocates the buffers.
    bool init(int order);
    void release();
    bool ready() const { return n_ != 0; }
    std::size_t size() const { return n_; }

    // time(): n floats; spectrum(): n/2 + 1 complex values.
    float* time() { return time_; }
    Complex* spectrum() { return reinterpret_cast<Complex*>(freq_); }

    // time() -> spectrum(), unnormalised.
    void forward();
    // spectrum() -> time(), normalised by 1/n so forward then inverse is the
    // identity. The spectrum buffer is clobbered.
    void inverse();

private:
    std::size_t n_ = 0;
    float* time_ = nullptr;
    float* freq_ = nullptr;  // interleaved re/im
    const void* fwd_ = nullptr;
    const void* inv_ = nullptr;
};

// The 128-point fixed-scaling transform of the voice detector's front end:
// 128 signed 16-bit samples in, 64 magnitudes out, each complex output scaled
// down by 2^9 and held as 16 bits before its magnitude is taken.
class FixedSpectrum128 {
public:
    static constexpr int kPoints = 128;
    static constexpr int kBins = 64;
    static constexpr int kScaleShift = 9;

    bool init();
    // `frame` holds 128 samples; `magnitudes` receives 64 values.
    void magnitudes(const int16_t* frame, int16_t* magnitudes);

private:
    RealFft fft_;
};

}  // namespace orvel::dsp
