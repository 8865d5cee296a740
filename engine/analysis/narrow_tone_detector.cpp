#include "analysis/narrow_tone_detector.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvel {
namespace {

constexpr double kPi = std::numbers::pi;

}  // namespace

CNarrowToneDetector::CNarrowToneDetector() {
    for (int n = 0; n < kWindow; ++n) {
        hann_[static_cast<std::size_t>(n)] =
            static_cast<float>(0.5 - 0.5 * std::cos(2 * kPi * n / kWindow));
    }
}

bool CNarrowToneDetector::init() {
    reset();
    return fft_.ready() || fft_.init(kOrder);
}

void CNarrowToneDetector::reset() {
    window_.fill(0);
    filled_ = 0;
    sinceHop_ = 0;
    havePhase_ = false;
    pairHold_ = 0;
    tracks_.fill(Track{});
    peakHz_.fill(0);
    heard_ = false;
}

bool CNarrowToneDetector::process(const int16_t* samples, std::size_t count) {
    if (heard_ || !fft_.ready() || samples == nullptr) {
        return false;
    }
    bool now = false;
    for (std::size_t done = 0; done < count;) {
        const std::size_t take = std::min(count - done, static_cast<std::size_t>(kHop) - sinceHop_);
        std::copy(window_.begin() + static_cast<std::ptrdiff_t>(take), window_.end(),
                  window_.begin());
        std::copy(samples + done, samples + done + take,
                  window_.end() - static_cast<std::ptrdiff_t>(take));
        done += take;
        filled_ += take;
        sinceHop_ += take;
        if (sinceHop_ == static_cast<std::size_t>(kHop)) {
            sinceHop_ = 0;
            if (filled_ >= static_cast<std::size_t>(kWindow)) {
                spectrum();
                now = step() || now;
            }
        }
    }
    return now;
}

void CNarrowToneDetector::spectrum() {
    float* t = fft_.time();
    for (int n = 0; n < kWindow; ++n) {
        t[n] = hann_[static_cast<std::size_t>(n)] * window_[static_cast<std::size_t>(n)];
    }
    fft_.forward();
    const dsp::Complex* x = fft_.spectrum();
    lastPhase_ = phase_;
    for (int i = 0; i < kBins; ++i) {
        const dsp::Complex& c = x[kFirstBin + i];
        power_[static_cast<std::size_t>(i)] = std::norm(c);
        phase_[static_cast<std::size_t>(i)] = std::arg(c);
    }
}

bool CNarrowToneDetector::step() {
    // A sine of amplitude A through the Hann window gives |X| = A N / 4.
    const float minPower = std::pow(kMinPeakAmplitude * kWindow / 4.0f, 2.0f);
    peakHz_.fill(0);
    for (int i = kSideFar; i < kBins - kSideFar; ++i) {
        const auto at = [&](int j) { return power_[static_cast<std::size_t>(j)]; };
        const float p = at(i);
        if (p < minPower || p < at(i - 1) || p <= at(i + 1)) {
            continue;
        }
        float sides = 0;
        for (int d = kSideNear; d <= kSideFar; ++d) {
            sides += at(i - d) + at(i + d);
        }
        sides /= 2 * (kSideFar - kSideNear + 1);
        if (p < kPeakToSides * sides || !havePhase_) {
            continue;
        }
        // The phase advanced by pi k for a tone at the bin's centre; what
        // it advanced more or less places the tone within +-1 bin.
        const int k = kFirstBin + i;
        double d =
            phase_[static_cast<std::size_t>(i)] - lastPhase_[static_cast<std::size_t>(i)] - kPi * k;
        d = std::remainder(d, 2 * kPi);
        peakHz_[static_cast<std::size_t>(i)] = (k + d / kPi) * kBinHz;
    }
    havePhase_ = true;

    std::array<Track, kBins> next{};
    for (auto& t : tracks_) {
        t.continued = false;
    }
    bool complete = false;
    for (int i = 1; i + 1 < kBins; ++i) {
        const double hz = peakHz_[static_cast<std::size_t>(i)];
        if (hz <= 0) {
            continue;
        }
        Track* from = nullptr;
        for (int j = i - 1; j <= i + 1; ++j) {
            Track& t = tracks_[static_cast<std::size_t>(j)];
            if (t.run > 0 && std::abs(t.meanHz - hz) <= kDriftHz &&
                (from == nullptr || t.run > from->run)) {
                from = &t;
            }
        }
        Track n;
        if (from != nullptr) {
            n = *from;
            from->continued = true;
        }
        n.meanHz = (n.meanHz * n.run + hz) / (n.run + 1);
        ++n.run;
        n.gap = 0;
        n.continued = false;
        Track& slot = next[static_cast<std::size_t>(i)];
        if (n.run > slot.run) {
            slot = n;
        }
    }
    // A tone drowned for a spectrum or two keeps its place.
    for (int i = 0; i < kBins; ++i) {
        const Track& t = tracks_[static_cast<std::size_t>(i)];
        Track& slot = next[static_cast<std::size_t>(i)];
        if (t.run > 0 && !t.continued && t.gap < kMaxGapSpectra && slot.run == 0) {
            slot = t;
            ++slot.gap;
        }
    }
    if (twoTones(next)) {
        pairHold_ = kPairHoldSpectra;
    } else if (pairHold_ > 0) {
        --pairHold_;
    }
    for (const Track& t : next) {
        if (t.run >= kMinSpectra && t.gap == 0 && t.meanHz >= kLowHz && t.meanHz <= kHighHz &&
            pairHold_ == 0) {
            complete = true;
        }
    }
    tracks_ = next;
    if (complete) {
        heard_ = true;
    }
    return complete;
}

bool CNarrowToneDetector::twoTones(const std::array<Track, kBins>& tracks) {
    const auto steady = [](const Track& t) { return t.run >= kSecondToneSpectra && t.gap == 0; };
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        if (!steady(tracks[i])) {
            continue;
        }
        for (std::size_t j = i + 1; j < tracks.size(); ++j) {
            if (steady(tracks[j]) && std::abs(tracks[j].meanHz - tracks[i].meanHz) > kOtherToneHz) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace orvel
