// The cost of drawing one pass into the display bitmap: the frequency view
// (transform, logarithms, average, spectrum and all eight filter lines, each
// of them 2 pixels wide where it has one) in line and in bar style, and the
// triggered time view; and the line spectrum with the waterfall (a row added
// and the 200-row strip drawn) and the response curve of three filters, at
// the start size and in a window of 1440 x 900 with the waterfall open.
#include <benchmark/benchmark.h>

#include <QImage>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>

#include "design/designers.h"
#include "display/view.h"

namespace {

using Samples = std::array<std::int32_t, 1024>;

// Uniform noise of +-20000 with a tone of amplitude 10000 on bin 100.
Samples noise_and_tone() {
  std::mt19937 engine(4);
  std::uniform_int_distribution<std::int32_t> uniform(-20000, 20000);
  Samples samples{};
  for (std::size_t n = 0; n < samples.size(); ++n) {
    const double phase = 2 * std::numbers::pi * 100 * static_cast<double>(n) / 1024;
    samples[n] = uniform(engine) + static_cast<std::int32_t>(std::lround(10000 * std::cos(phase)));
  }
  return samples;
}

// The start-up display with the coarse gain at its first position and every
// line shown.
void set_up_display(display::View& view) {
  view.spectrum_height = 197;
  view.display_filtered = 1;
  view.spectrum_width = 1;
  view.db_scale = 4.0f;
  view.db_offset = 0.0f;
  view.spectrum_gain = 1.0f;
  view.time_gain = 1;
  view.time_baseline = 98;
  for (bool* on : {&view.bp_line_on, &view.nf1_line_on, &view.nf2_line_on, &view.ref_line_on,
                   &view.var_bp_lo_line_on, &view.var_bp_hi_line_on, &view.var_notch_lo_line_on,
                   &view.var_notch_hi_line_on}) {
    *on = true;
  }
}

// Every filter on: their lines are drawn 2 pixels wide.
constexpr display::FiltersOn every_filter_on{
    .bp = true, .nf1 = true, .nf2 = true, .var_bp = true, .var_notch = true};

void draw_passes(benchmark::State& state, std::int32_t mode, std::int32_t bars) {
  display::View view;
  set_up_display(view);
  view.display_mode = mode;
  view.spectrum_bars = bars;
  const display::FilterLines lines =
      display::filter_lines(view, {128, 200, 300, 255, 100, 400, 150, 350}, every_filter_on);
  const Samples samples = noise_and_tone();
  QImage bitmap(520, 197, QImage::Format_RGB32);
  bitmap.fill(Qt::white);
  for (auto _ : state) {
    display::draw_pass(view, bitmap, samples, samples, lines);
    benchmark::DoNotOptimize(bitmap.constBits());
    benchmark::ClobberMemory();
  }
}

void BM_FrequencyViewLine(benchmark::State& state) { draw_passes(state, 1, 0); }
BENCHMARK(BM_FrequencyViewLine);

void BM_FrequencyViewBars(benchmark::State& state) { draw_passes(state, 1, 1); }
BENCHMARK(BM_FrequencyViewBars);

void BM_TimeView(benchmark::State& state) { draw_passes(state, 2, 0); }
BENCHMARK(BM_TimeView);

// The picture `width` x `height` pixels, the waterfall strip as wide.
void draw_with_waterfall_and_response(benchmark::State& state, int width, int height) {
  display::View view;
  set_up_display(view);
  view.picture_width = width;
  view.picture_height = height;
  const display::FilterLines lines =
      display::filter_lines(view, {128, 200, 300, 255, 100, 400, 150, 350}, every_filter_on);
  const Samples samples = noise_and_tone();
  QImage bitmap(width, height, QImage::Format_RGB32);
  bitmap.fill(Qt::white);
  design::DesignedFilter bandpass;
  design::DesignedFilter notch1;
  design::DesignedFilter notch2;
  design::design_bandpass({0.02f, 0.27f}, 0.05f, bandpass);
  design::design_notch({0.12f, 0.14f}, 0.05f, notch1);
  design::design_notch({0.2f, 0.21f}, 0.05f, notch2);
  const std::array<display::StageResponse, display::response_stages> stages{
      {{true, &bandpass}, {false, &bandpass}, {true, &notch1}, {true, &notch2}, {false, &notch2}}};
  display::ResponseCurve curve;
  display::Waterfall waterfall;
  QImage strip(width, display::waterfall_rows, QImage::Format_RGB32);
  const display::PassExtras extras{&waterfall, &strip, &curve.db()};
  for (auto _ : state) {
    // As the window does every pass: the curve is worked out again only
    // when a design has changed, which here is the first pass alone.
    curve.update(stages);
    display::draw_pass(view, bitmap, samples, samples, lines, extras);
    benchmark::DoNotOptimize(strip.constBits());
    benchmark::DoNotOptimize(bitmap.constBits());
    benchmark::ClobberMemory();
  }
}

void BM_FrequencyViewWaterfallAndResponse(benchmark::State& state) {
  draw_with_waterfall_and_response(state, 513, 197);
}
BENCHMARK(BM_FrequencyViewWaterfallAndResponse);

// 1440 x 900 with the waterfall open: the display 720 x 239 pixels larger.
void BM_FrequencyViewWaterfallAndResponseAt1440x900(benchmark::State& state) {
  draw_with_waterfall_and_response(state, 513 + 720, 197 + 239);
}
BENCHMARK(BM_FrequencyViewWaterfallAndResponseAt1440x900);

}  // namespace
