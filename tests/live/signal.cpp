#include "tests/live/signal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>

namespace live {

std::vector<std::int16_t> tone(double amplitude, double frequency, double seconds, int rate) {
  const auto count = static_cast<std::size_t>(std::lround(seconds * rate));
  std::vector<std::int16_t> samples(count);
  for (std::size_t n = 0; n < count; ++n) {
    const double phase = 2.0 * std::numbers::pi * frequency * static_cast<double>(n) / rate;
    samples[n] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(phase)));
  }
  return samples;
}

double rms(std::span<const std::int16_t> samples) {
  if (samples.empty()) return 0.0;
  double sum = 0.0;
  for (const std::int16_t sample : samples) sum += static_cast<double>(sample) * sample;
  return std::sqrt(sum / static_cast<double>(samples.size()));
}

std::vector<WindowFit> fit_windows(std::span<const std::int16_t> samples, int rate,
                                   double frequency, std::size_t window_samples) {
  std::vector<WindowFit> fits;
  const double step = 2.0 * std::numbers::pi * frequency / rate;
  for (std::size_t start = 0; start + window_samples <= samples.size(); start += window_samples) {
    const auto window = samples.subspan(start, window_samples);
    // Normal equations of x ~ a sin + b cos.
    double ss = 0.0, cc = 0.0, sc = 0.0, xs = 0.0, xc = 0.0;
    for (std::size_t n = 0; n < window.size(); ++n) {
      const double s = std::sin(step * static_cast<double>(start + n));
      const double c = std::cos(step * static_cast<double>(start + n));
      ss += s * s;
      cc += c * c;
      sc += s * c;
      xs += window[n] * s;
      xc += window[n] * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det;
    const double b = (xc * ss - xs * sc) / det;
    double residual = 0.0;
    for (std::size_t n = 0; n < window.size(); ++n) {
      const double fitted = a * std::sin(step * static_cast<double>(start + n)) +
                            b * std::cos(step * static_cast<double>(start + n));
      residual += (window[n] - fitted) * (window[n] - fitted);
    }
    fits.push_back({rms(window), std::sqrt(residual / static_cast<double>(window.size()))});
  }
  return fits;
}

ToneDefects tone_defects(const std::vector<WindowFit>& windows, double expected_rms) {
  ToneDefects defects;
  for (std::size_t index = 0; index < windows.size(); ++index) {
    const bool dropout = windows[index].rms < 0.5 * expected_rms;
    const bool glitch = windows[index].residual_rms > 0.1 * expected_rms;
    defects.dropouts += dropout ? 1 : 0;
    defects.glitches += glitch ? 1 : 0;
    if (dropout || glitch) defects.where.push_back(index);
  }
  return defects;
}

std::vector<std::size_t> added_defects(const ToneDefects& output, const ToneDefects& input,
                                       std::size_t slack) {
  std::vector<std::size_t> added;
  for (const std::size_t window : output.where) {
    const std::size_t from = window > slack ? window - slack : 0;
    const auto near = std::lower_bound(input.where.begin(), input.where.end(), from);
    if (near == input.where.end() || *near > window + slack) added.push_back(window);
  }
  return added;
}

std::optional<std::size_t> clean_run_from(const std::vector<WindowFit>& windows,
                                          double expected_rms, std::size_t from, std::size_t run) {
  std::size_t clean = 0;
  for (std::size_t index = from; index < windows.size(); ++index) {
    const bool defect =
        windows[index].rms < 0.5 * expected_rms || windows[index].residual_rms > 0.1 * expected_rms;
    clean = defect ? 0 : clean + 1;
    if (clean == run) return index + 1 - run;
  }
  return std::nullopt;
}

std::optional<double> crossing_frequency(std::span<const std::int16_t> samples, int rate) {
  std::optional<double> first;
  double last = 0.0;
  int crossings = 0;
  for (std::size_t n = 1; n < samples.size(); ++n) {
    if (samples[n - 1] < 0 && samples[n] >= 0) {
      const double fraction =
          static_cast<double>(-samples[n - 1]) / static_cast<double>(samples[n] - samples[n - 1]);
      last = static_cast<double>(n - 1) + fraction;
      if (!first) first = last;
      ++crossings;
    }
  }
  if (crossings < 2) return std::nullopt;
  return (crossings - 1) * static_cast<double>(rate) / (last - *first);
}

std::optional<std::size_t> onset(std::span<const std::int16_t> samples, double threshold) {
  const auto found = std::find_if(samples.begin(), samples.end(), [threshold](std::int16_t x) {
    return std::abs(static_cast<double>(x)) >= threshold;
  });
  if (found == samples.end()) return std::nullopt;
  return static_cast<std::size_t>(found - samples.begin());
}

std::optional<std::chrono::steady_clock::time_point> first_sample_time(
    const std::vector<Arrival>& arrivals, int rate) {
  std::optional<std::chrono::steady_clock::time_point> earliest;
  for (const Arrival& arrival : arrivals) {
    const auto recorded = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(static_cast<double>(arrival.samples_so_far) / rate));
    const auto start = arrival.time - recorded;
    if (!earliest || start < *earliest) earliest = start;
  }
  return earliest;
}

std::optional<std::vector<std::int16_t>> complete_wav(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                        std::istreambuf_iterator<char>());
  const auto u32 = [&bytes](std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                      static_cast<std::uint32_t>(bytes[at + 3]) << 24);
  };
  const auto tag = [&bytes](std::size_t at, const char* name) {
    return std::memcmp(bytes.data() + at, name, 4) == 0;
  };
  if (bytes.size() < 12 || !tag(0, "RIFF") || !tag(8, "WAVE") || u32(4) != bytes.size() - 8) {
    return std::nullopt;
  }
  bool pcm16 = false;
  for (std::size_t at = 12; at + 8 <= bytes.size(); at += 8 + u32(at + 4) + (u32(at + 4) & 1)) {
    if (tag(at, "fmt ") && at + 24 <= bytes.size()) {
      pcm16 =
          (bytes[at + 8] | bytes[at + 9] << 8) == 1 && (bytes[at + 22] | bytes[at + 23] << 8) == 16;
    }
    if (tag(at, "data")) {
      if (!pcm16 || u32(at + 4) != bytes.size() - at - 8 || u32(at + 4) % 2 != 0)
        return std::nullopt;
      std::vector<std::int16_t> samples(u32(at + 4) / 2);
      std::memcpy(samples.data(), bytes.data() + at + 8, u32(at + 4));
      return samples;
    }
  }
  return std::nullopt;
}

}  // namespace live
