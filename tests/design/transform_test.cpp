#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "design/Rfft_ifft.h"

namespace {

// A real block of `a` samples and its spectrum, with the 1-based layout of
// the transforms and one guard element past each end.
struct Block {
  explicit Block(int size)
      : a(size),
        data(static_cast<std::size_t>(size) + 2, 0.0f),
        re(static_cast<std::size_t>(size) / 2 + 2, 0.0f),
        im(static_cast<std::size_t>(size) / 2 + 2, 0.0f) {}
  explicit Block(const std::vector<double>& x) : Block(static_cast<int>(x.size())) {
    for (int m = 0; m < a; ++m) sample(m) = static_cast<float>(x[static_cast<std::size_t>(m)]);
  }
  int a;
  std::vector<float> data;
  std::vector<float> re;
  std::vector<float> im;
  void forward() { design::real_fft(data, re, im, a); }
  void inverse() { design::inverse_real_fft(data, re, im, a); }
  float& sample(int m) { return data[static_cast<std::size_t>(m) + 1]; }
  float& bin_re(int k) { return re[static_cast<std::size_t>(k) + 1]; }
  float& bin_im(int k) { return im[static_cast<std::size_t>(k) + 1]; }
};

// The unnormalised DFT of x at bin k, in double.
std::complex<double> dft(const std::vector<double>& x, int k) {
  std::complex<double> sum = 0.0;
  const double n = static_cast<double>(x.size());
  for (std::size_t m = 0; m < x.size(); ++m) {
    sum += x[m] * std::polar(1.0, -2.0 * std::numbers::pi * k * static_cast<double>(m) / n);
  }
  return sum;
}

std::vector<double> random_block(int a, unsigned seed) {
  std::mt19937 engine(seed);
  std::uniform_real_distribution<double> uniform(-1000.0, 1000.0);
  std::vector<double> x(static_cast<std::size_t>(a));
  for (double& v : x) v = std::round(uniform(engine));
  return x;
}

// A block of `a` samples, sample m being f(m).
template <class F>
std::vector<double> block_of(int a, F f) {
  std::vector<double> x(static_cast<std::size_t>(a));
  for (int m = 0; m < a; ++m) x[static_cast<std::size_t>(m)] = f(m);
  return x;
}

// The transforms written out step by step, one butterfly and one rotation at
// a time, arrays indexed from 1. The optimised routines must give the same
// bits: they may reorder independent work but no rounding.
void reference_complex_fft(std::vector<float>& re, std::vector<float>& im, int n, bool inverse) {
  int j = 0;
  for (int p = 1; p < n; ++p) {
    int step = n / 2;
    while (j >= step) {
      j -= step;
      step /= 2;
    }
    j += step;
    if (p < j) {
      std::swap(re[static_cast<std::size_t>(p) + 1], re[static_cast<std::size_t>(j) + 1]);
      std::swap(im[static_cast<std::size_t>(p) + 1], im[static_cast<std::size_t>(j) + 1]);
    }
  }
  float c = 1.0f;
  for (int h = 1; h < n; h *= 2) {
    float s = static_cast<float>(std::sqrt((1.0 - c) / 2.0));
    c = (1.0f + c) / 2.0f;
    if (c > 0.0f) c = static_cast<float>(std::sqrt(static_cast<double>(c)));
    if (h == 1) c = -c;
    if (inverse) s = -s;
    float ur = 1.0f;
    float ui = 0.0f;
    for (int p = 0; p < h; ++p) {
      for (int i = p; i < n; i += 2 * h) {
        float& ar = re[static_cast<std::size_t>(i) + 1];
        float& ai = im[static_cast<std::size_t>(i) + 1];
        float& br = re[static_cast<std::size_t>(i + h) + 1];
        float& bi = im[static_cast<std::size_t>(i + h) + 1];
        const float tr = ur * br + ui * bi;
        const float ti = ur * bi - ui * br;
        br = ar - tr;
        bi = ai - ti;
        ar = ar + tr;
        ai = ai + ti;
      }
      const float next_ui = ui * c + ur * s;
      ur = ur * c - ui * s;
      ui = next_ui;
    }
  }
}

void reference_split(std::vector<float>& re, std::vector<float>& im, int n, bool inverse) {
  const float t = re[1];
  re[1] = (t + im[1]) / 2.0f;
  im[1] = (t - im[1]) / 2.0f;
  const double theta = 3.141593 / n;
  const auto cos_theta = static_cast<float>(std::cos(theta));
  const auto sin_theta = static_cast<float>(std::sin(theta));
  const float turn = inverse ? -sin_theta : sin_theta;
  float c = inverse ? -1.0f : 1.0f;
  float s = 0.0f;
  for (int k = 1; k < n / 2; ++k) {
    const float next_c = c * cos_theta - s * turn;
    s = c * turn + s * cos_theta;
    c = next_c;
    const auto a = static_cast<std::size_t>(k + 1);
    const auto b = static_cast<std::size_t>(n - k + 1);
    const float f = re[a] + re[b];
    const float d = im[a] - im[b];
    const float p = im[a] + im[b];
    const float q = re[a] - re[b];
    const float g = p * c - q * s;
    const float h = p * s + q * c;
    re[a] = (f + g) / 2.0f;
    im[a] = (d - h) / 2.0f;
    re[b] = (f - g) / 2.0f;
    im[b] = -(d + h) / 2.0f;
  }
  im[static_cast<std::size_t>(n / 2 + 1)] = -im[static_cast<std::size_t>(n / 2 + 1)];
}

TEST(RealFft, GivesTheBitsOfTheStepByStepArithmetic) {
  for (const int a : {4, 8, 16, 64, 512, 1024, 8192, 65536}) {
    const int n = a / 2;
    const std::vector<double> x = random_block(a, 3u * static_cast<unsigned>(a));
    Block b(x);
    std::vector<float> re(static_cast<std::size_t>(n) + 2, 0.0f);
    std::vector<float> im(static_cast<std::size_t>(n) + 2, 0.0f);
    for (int k = 1; k <= n; ++k) {
      re[static_cast<std::size_t>(k)] = b.sample(2 * k - 2);
      im[static_cast<std::size_t>(k)] = b.sample(2 * k - 1);
    }
    b.forward();
    reference_complex_fft(re, im, n, false);
    reference_split(re, im, n, false);
    ASSERT_EQ(b.re, re) << "forward, a = " << a;
    ASSERT_EQ(b.im, im) << "forward, a = " << a;

    b.inverse();
    reference_split(re, im, n, true);
    reference_complex_fft(re, im, n, true);
    const float scale = 2.0f / static_cast<float>(a);
    for (int l = 1; l <= n; ++l) {
      ASSERT_EQ(b.sample(2 * l - 2), scale * re[static_cast<std::size_t>(l)]) << a << ", " << l;
      ASSERT_EQ(b.sample(2 * l - 1), scale * im[static_cast<std::size_t>(l)]) << a << ", " << l;
    }
  }
}

// Threads transforming blocks of different sizes at the same time each get
// what one thread alone gets.
TEST(RealFft, ThreadsOfDifferentSizesGetTheResultsOfOne) {
  const auto transformed = [](int a, unsigned seed) {
    Block b(random_block(a, seed));
    b.forward();
    return b;
  };
  const Block small = transformed(512, 5);
  const Block large = transformed(1024, 6);
  std::atomic<int> wrong{0};
  const auto repeat = [&](int a, unsigned seed, const Block& expected) {
    for (int i = 0; i < 2000; ++i) {
      const Block b = transformed(a, seed);
      if (b.re != expected.re || b.im != expected.im) ++wrong;
    }
  };
  std::thread other(repeat, 512, 5u, std::cref(small));
  repeat(1024, 6, large);
  other.join();
  EXPECT_EQ(wrong.load(), 0);
}

// Against the DFT in double: random blocks, with a tolerance relative to
// their spectrum's rms (577 sqrt(a)); a constant and the Nyquist frequency,
// which land in index 1 (the DC and Nyquist values, halved); cosines and sines
// on bins across the spectrum, to 10^-5 of their peak. The half-angle
// recurrence takes each stage's rotation from the previous single-precision
// cosine, which loses digits as the angle shrinks: a few parts in 10^5 at
// a = 1024, about 10^-3 at a = 4096.
TEST(RealFft, MatchesTheDirectTransform) {
  std::vector<std::pair<std::vector<double>, double>> cases;
  for (const int a : {4, 8, 32, 256, 1024, 4096}) {
    cases.emplace_back(random_block(a, static_cast<unsigned>(a)),
                       (a <= 1024 ? 3e-5 : 2e-3) * 577.0 * std::sqrt(a));
  }
  for (const int a : {4, 64, 1024}) {
    cases.emplace_back(std::vector<double>(static_cast<std::size_t>(a), 3.0), 1e-3);
    cases.emplace_back(block_of(a, [](int m) { return m % 2 == 0 ? 5.0 : -5.0; }), 1e-3);
  }
  for (const int k : {1, 7, 100, 255, 256, 257, 400, 511}) {
    const double w = 2.0 * std::numbers::pi * k / 1024.0;
    cases.emplace_back(block_of(1024, [w](int m) { return 1000.0 * std::cos(w * m); }), 5.12);
    cases.emplace_back(block_of(1024, [w](int m) { return 1000.0 * std::sin(w * m); }), 5.12);
  }
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& [x, tolerance] = cases[i];
    const int a = static_cast<int>(x.size());
    Block b(x);
    const std::vector<float> before = b.data;
    b.forward();
    EXPECT_EQ(b.data, before) << "the forward transform changed its input, case " << i;
    EXPECT_NEAR(b.re[1], dft(x, 0).real() / 2, tolerance) << "case " << i;
    EXPECT_NEAR(b.im[1], dft(x, a / 2).real() / 2, tolerance) << "case " << i;
    for (int k = 1; k < a / 2; ++k) {
      const std::complex<double> expected = dft(x, k);
      ASSERT_NEAR(b.bin_re(k), expected.real(), tolerance) << "case " << i << ", bin " << k;
      ASSERT_NEAR(b.bin_im(k), expected.imag(), tolerance) << "case " << i << ", bin " << k;
    }
  }
}

// Random blocks come back less half their mean and Nyquist component; a
// block without either comes back as it was, to 10^-3.
TEST(InverseRealFft, ReturnsTheBlockWithHalfItsMeanAndNyquistComponent) {
  std::vector<std::pair<std::vector<double>, double>> cases;
  for (const int a : {4, 64, 1024}) {
    cases.emplace_back(random_block(a, 7u + static_cast<unsigned>(a)), 0.02);
  }
  cases.emplace_back(block_of(1024, [](int m) { return m % 4 < 2 ? 1000.0 : -1000.0; }), 1e-3);
  for (const auto& [x, tolerance] : cases) {
    const int a = static_cast<int>(x.size());
    double mean = 0.0;
    double nyquist = 0.0;
    for (int m = 0; m < a; ++m) {
      mean += x[static_cast<std::size_t>(m)] / a;
      nyquist += (m % 2 == 0 ? 1.0 : -1.0) * x[static_cast<std::size_t>(m)] / a;
    }
    Block b(x);
    b.forward();
    b.inverse();
    for (int m = 0; m < a; ++m) {
      const double expected =
          x[static_cast<std::size_t>(m)] - mean / 2 - (m % 2 == 0 ? 1.0 : -1.0) * nyquist / 2;
      ASSERT_NEAR(b.sample(m), expected, tolerance) << "a = " << a << ", sample " << m;
    }
  }
}

TEST(Transforms, TouchNothingOutsideTheirIndices) {
  constexpr int a = 1024;
  constexpr float guard = -12345.0f;
  Block b(a);
  b.data.front() = b.data.back() = guard;
  b.re.front() = b.re.back() = b.im.front() = b.im.back() = guard;
  for (int m = 0; m < a; ++m) b.sample(m) = static_cast<float>(m % 17);
  b.forward();
  b.inverse();

  std::vector<std::int32_t> samples(a + 1, 99);
  std::vector<float> window(a + 2, 1.0f);
  window.front() = window.back() = guard;
  design::power_spectrum(b.data, b.re, b.im, a, samples, window, 0);
  for (const std::vector<float>* array : {&b.data, &b.re, &b.im}) {
    EXPECT_EQ(array->front(), guard);
    EXPECT_EQ(array->back(), guard);
  }
}

TEST(PowerSpectrum, OverwritesTheLowerHalfWithPowersAndKeepsTheWindowedUpperHalf) {
  constexpr int a = 1024;
  constexpr int k = 40;
  Block b(a);
  std::vector<std::int32_t> samples(a);
  std::vector<float> window(a + 1);
  for (int m = 0; m < a; ++m) {
    samples[static_cast<std::size_t>(m)] = static_cast<std::int32_t>(
        std::lround(800.0 * std::cos(2.0 * std::numbers::pi * k * m / a)));
    window[static_cast<std::size_t>(m) + 1] = m % 3 == 0 ? 0.5f : 1.0f;
  }
  design::power_spectrum(b.data, b.re, b.im, a, samples, window, 0);
  for (int i = a / 2 + 1; i <= a; ++i) {
    ASSERT_EQ(b.data[static_cast<std::size_t>(i)],
              static_cast<float>(samples[static_cast<std::size_t>(i) - 1]) *
                  window[static_cast<std::size_t>(i)]);
  }
  for (int i = 1; i <= a / 2; ++i) {
    const float r = b.re[static_cast<std::size_t>(i)];
    const float m = b.im[static_cast<std::size_t>(i)];
    ASSERT_EQ(b.data[static_cast<std::size_t>(i)], r * r + m * m);
  }

  // With a rectangular window a constant block has its power at index 1.
  std::vector<std::int32_t> constant(a, 10);
  std::vector<float> ones(a + 1, 1.0f);
  design::power_spectrum(b.data, b.re, b.im, a, constant, ones, 0);
  EXPECT_FLOAT_EQ(b.data[1], (a * 10.0f / 2) * (a * 10.0f / 2));
}

}  // namespace
