#include "tests/support/intelligibility.h"

#include <samplerate.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <numeric>
#include <vector>

#include "design/Rfft_ifft.h"
#include "tests/support/speech.h"

namespace speech {
namespace {

constexpr double stoi_rate = 10000.0;
constexpr std::size_t frame = 256;
constexpr std::size_t hop = frame / 2;
constexpr int transform = 512;
constexpr int bands = 15;
constexpr std::size_t segment = 30;              // frames: 384 ms
constexpr double clip = 1.0 + 5.62341325190349;  // 1 + 10^(15/20)

std::vector<float> at_stoi_rate(std::span<const float> signal, double from_rate) {
  return resampled(signal, stoi_rate / from_rate, SRC_SINC_MEDIUM_QUALITY);
}

// The periodic Hann window of 258 points without its two zeros.
const std::array<double, frame>& hann() {
  static const std::array<double, frame> window = [] {
    std::array<double, frame> w{};
    for (std::size_t i = 0; i < frame; ++i) {
      w[i] =
          0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i + 1) / (frame + 1));
    }
    return w;
  }();
  return window;
}

// Drops the frames of both signals whose clean energy is more than 40 dB
// below the loudest clean frame's, and joins what is left by overlap-add.
void drop_silence(std::vector<float>& clean, std::vector<float>& processed) {
  const std::size_t frames = clean.size() < frame ? 0 : (clean.size() - frame) / hop + 1;
  std::vector<double> level(frames);
  for (std::size_t f = 0; f < frames; ++f) {
    double energy = 0.0;
    for (std::size_t i = 0; i < frame; ++i) {
      const double v = hann()[i] * clean[f * hop + i];
      energy += v * v;
    }
    level[f] = 20.0 * std::log10(std::sqrt(energy) + 1e-12);
  }
  const double loudest = frames == 0 ? 0.0 : *std::ranges::max_element(level);
  std::vector<float> kept_clean;
  std::vector<float> kept_processed;
  std::size_t kept = 0;
  for (std::size_t f = 0; f < frames; ++f) {
    if (level[f] <= loudest - 40.0) continue;
    kept_clean.resize(kept * hop + frame, 0.0f);
    kept_processed.resize(kept * hop + frame, 0.0f);
    for (std::size_t i = 0; i < frame; ++i) {
      kept_clean[kept * hop + i] += static_cast<float>(hann()[i] * clean[f * hop + i]);
      kept_processed[kept * hop + i] += static_cast<float>(hann()[i] * processed[f * hop + i]);
    }
    ++kept;
  }
  clean = std::move(kept_clean);
  processed = std::move(kept_processed);
}

// Each frame's third-octave band amplitudes, 15 bands from 150 Hz.
std::vector<std::array<double, bands>> band_amplitudes(std::span<const float> signal) {
  std::array<int, bands> low{};
  std::array<int, bands> high{};
  const auto nearest_bin = [](double hz) {
    return static_cast<int>(std::lround(hz * transform / stoi_rate));
  };
  for (int b = 0; b < bands; ++b) {
    low[static_cast<std::size_t>(b)] = nearest_bin(150.0 * std::pow(2.0, (2.0 * b - 1.0) / 6.0));
    high[static_cast<std::size_t>(b)] = nearest_bin(150.0 * std::pow(2.0, (2.0 * b + 1.0) / 6.0));
  }
  const std::size_t frames = signal.size() < frame ? 0 : (signal.size() - frame) / hop + 1;
  std::vector<std::array<double, bands>> out(frames);
  std::array<float, transform + 1> data{};
  std::array<float, transform / 2 + 1> re{};
  std::array<float, transform / 2 + 1> im{};
  std::array<double, transform / 2 + 1> power{};
  for (std::size_t f = 0; f < frames; ++f) {
    std::ranges::fill(data, 0.0f);
    for (std::size_t i = 0; i < frame; ++i) {
      data[i + 1] = static_cast<float>(hann()[i] * signal[f * hop + i]);
    }
    design::real_fft(data, re, im, transform);
    // Bin k at index k + 1; index 1 holds half of bin 0 and of the Nyquist.
    power[0] = 4.0 * re[1] * re[1];
    power[transform / 2] = 4.0 * im[1] * im[1];
    for (int k = 1; k < transform / 2; ++k) {
      power[static_cast<std::size_t>(k)] =
          static_cast<double>(re[static_cast<std::size_t>(k) + 1]) *
              re[static_cast<std::size_t>(k) + 1] +
          static_cast<double>(im[static_cast<std::size_t>(k) + 1]) *
              im[static_cast<std::size_t>(k) + 1];
    }
    for (std::size_t b = 0; b < bands; ++b) {
      double sum = 0.0;
      for (int k = low[b]; k < high[b]; ++k) sum += power[static_cast<std::size_t>(k)];
      out[f][b] = std::sqrt(sum);
    }
  }
  return out;
}

}  // namespace

double stoi(std::span<const float> clean, std::span<const float> processed, double sample_rate) {
  const std::size_t length = std::min(clean.size(), processed.size());
  std::vector<float> x = at_stoi_rate(clean.first(length), sample_rate);
  std::vector<float> y = at_stoi_rate(processed.first(length), sample_rate);
  drop_silence(x, y);
  const auto xb = band_amplitudes(x);
  const auto yb = band_amplitudes(y);
  if (xb.size() < segment) return 0.0;
  double sum = 0.0;
  std::size_t count = 0;
  for (std::size_t end = segment; end <= xb.size(); ++end) {
    for (std::size_t b = 0; b < bands; ++b) {
      std::array<double, segment> xs{};
      std::array<double, segment> ys{};
      double x_energy = 0.0;
      double y_energy = 0.0;
      for (std::size_t j = 0; j < segment; ++j) {
        xs[j] = xb[end - segment + j][b];
        ys[j] = yb[end - segment + j][b];
        x_energy += xs[j] * xs[j];
        y_energy += ys[j] * ys[j];
      }
      // The processed envelope at the clean one's energy, clipped to 15 dB
      // above it, then correlated with it.
      const double scale = std::sqrt(x_energy) / (std::sqrt(y_energy) + 1e-12);
      for (std::size_t j = 0; j < segment; ++j) ys[j] = std::min(ys[j] * scale, xs[j] * clip);
      const double x_mean = std::accumulate(xs.begin(), xs.end(), 0.0) / segment;
      const double y_mean = std::accumulate(ys.begin(), ys.end(), 0.0) / segment;
      double xy = 0.0;
      double xx = 0.0;
      double yy = 0.0;
      for (std::size_t j = 0; j < segment; ++j) {
        xy += (xs[j] - x_mean) * (ys[j] - y_mean);
        xx += (xs[j] - x_mean) * (xs[j] - x_mean);
        yy += (ys[j] - y_mean) * (ys[j] - y_mean);
      }
      sum += xy / (std::sqrt(xx) * std::sqrt(yy) + 1e-12);
      ++count;
    }
  }
  return sum / static_cast<double>(count);
}

}  // namespace speech
