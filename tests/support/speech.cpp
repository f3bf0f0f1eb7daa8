#include "tests/support/speech.h"

#include <gtest/gtest.h>
#include <samplerate.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "files/wav.h"

namespace speech {

std::vector<float> spoken(const std::string& text, double rms, const std::string& voice, int wpm) {
  char path[] = "/tmp/tonewell-speech-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) {
    ADD_FAILURE() << "no temporary file for the speech";
    return {};
  }
  close(fd);
  const std::string command = "espeak-ng -v " + voice + " -s " + std::to_string(wpm) + " -w " +
                              std::string(path) + " '" + text + "' 2>/dev/null";
  std::vector<std::int16_t> spoken_samples;
  std::uint32_t spoken_rate = 0;
  if (std::system(command.c_str()) == 0) {
    if (std::FILE* file = std::fopen(path, "rb")) {
      files::FileSource source(file);
      const files::WaveRead read = files::read_wave_layout(source);
      if (read.error == files::WaveError::none && read.layout.format.bits_per_sample == 16 &&
          read.layout.format.channels == 1) {
        spoken_rate = read.layout.format.samples_per_sec;
        spoken_samples.resize(read.layout.data_size / 2);
        std::vector<std::uint8_t> bytes(spoken_samples.size() * 2);
        source.read_at(read.layout.data_offset, bytes);
        for (std::size_t i = 0; i < spoken_samples.size(); ++i) {
          spoken_samples[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        }
      }
      std::fclose(file);
    }
  }
  std::remove(path);
  if (spoken_samples.empty()) {
    ADD_FAILURE() << "espeak-ng could not speak \"" << text << "\"";
    return {};
  }
  const std::vector<float> in(spoken_samples.begin(), spoken_samples.end());
  std::vector<float> out = resampled(in, rate / spoken_rate, SRC_SINC_BEST_QUALITY);
  if (out.empty()) {
    ADD_FAILURE() << "the speech could not be resampled";
    return {};
  }
  const double scale = rms / rms_of(out);
  for (float& s : out) s = static_cast<float>(s * scale);
  return out;
}

namespace {

constexpr char sentences_text[] =
    "Good evening. This is a test of the receiver audio filter. "
    "Seven, three, five, nine; whiskey, echo, sierra, foxtrot. "
    "The signal is fading now, please say again your call sign and your location. "
    "Thank you, the report is five and seven, over.";
constexpr double sentences_rms = 3000.0;

// The sentences as write_sentences left them at `path`: their text on the
// first line, then the samples as native floats. Empty when the file is
// missing, short, or holds other words.
std::vector<float> read_sentences(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return {};
  std::string text(sizeof sentences_text, '\0');
  std::vector<float> samples;
  if (std::fread(text.data(), 1, text.size(), file) == text.size() &&
      text == std::string(sentences_text) + '\n') {
    float sample = 0.0f;
    while (std::fread(&sample, sizeof sample, 1, file) == 1) samples.push_back(sample);
  }
  std::fclose(file);
  return samples;
}

}  // namespace

bool write_sentences(const std::string& path) {
  const std::vector<float> speech = spoken(sentences_text, sentences_rms);
  if (speech.empty()) return false;
  // Written aside and renamed, so that a reader finds the whole file or none.
  const std::string part = path + ".part";
  std::FILE* file = std::fopen(part.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written =
      std::fputs(sentences_text, file) >= 0 && std::fputc('\n', file) == '\n' &&
      std::fwrite(speech.data(), sizeof(float), speech.size(), file) == speech.size();
  return std::fclose(file) == 0 && written && std::rename(part.c_str(), path.c_str()) == 0;
}

const std::vector<float>& sentences() {
  static const std::vector<float> speech = [] {
    std::vector<float> made = read_sentences(TONEWELL_SPEECH_FILE);
    return made.empty() ? spoken(sentences_text, sentences_rms) : made;
  }();
  return speech;
}

std::vector<float> white_noise(std::size_t count, double rms, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::normal_distribution<double> gauss(0.0, rms);
  std::vector<float> noise(count);
  for (float& s : noise) s = static_cast<float>(gauss(generator));
  return noise;
}

std::vector<float> pink_noise(std::size_t count, double rms, std::uint32_t seed) {
  // White noise through Kellet's pinking filter (within 0.05 dB of -3 dB an
  // octave above about 20 Hz at this rate), then scaled.
  const std::vector<float> white = white_noise(count, 1.0, seed);
  std::vector<float> pink(count);
  double b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const double w = white[i];
    b0 = 0.99886 * b0 + w * 0.0555179;
    b1 = 0.99332 * b1 + w * 0.0750759;
    b2 = 0.96900 * b2 + w * 0.1538520;
    b3 = 0.86650 * b3 + w * 0.3104856;
    b4 = 0.55000 * b4 + w * 0.5329522;
    b5 = -0.7616 * b5 - w * 0.0168980;
    pink[i] = static_cast<float>(b0 + b1 + b2 + b3 + b4 + b5 + b6 + w * 0.5362);
    b6 = w * 0.115926;
  }
  const double scale = rms / rms_of(pink);
  for (float& s : pink) s = static_cast<float>(s * scale);
  return pink;
}

double rms_of(std::span<const float> samples) {
  double sum = 0.0;
  for (const float s : samples) sum += static_cast<double>(s) * s;
  return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

std::vector<float> resampled(std::span<const float> signal, double ratio, int converter) {
  std::vector<float> in(signal.begin(), signal.end());
  std::vector<float> out(static_cast<std::size_t>(static_cast<double>(in.size()) * ratio) + 16);
  SRC_DATA data{};
  data.data_in = in.data();
  data.input_frames = static_cast<long>(in.size());
  data.data_out = out.data();
  data.output_frames = static_cast<long>(out.size());
  data.src_ratio = ratio;
  if (src_simple(&data, converter, 1) != 0) return {};
  out.resize(static_cast<std::size_t>(data.output_frames_gen));
  return out;
}

std::vector<float> mixed(std::span<const float> clean, std::span<const float> noise,
                         double snr_db) {
  const double scale =
      rms_of(clean) / rms_of(noise.first(clean.size())) / std::pow(10.0, snr_db / 20.0);
  std::vector<float> mix(clean.size());
  for (std::size_t i = 0; i < clean.size(); ++i) {
    mix[i] = static_cast<float>(clean[i] + scale * noise[i]);
  }
  return mix;
}

double segmental_snr(std::span<const float> clean, std::span<const float> processed,
                     std::size_t delay) {
  constexpr std::size_t frame = 256;
  const std::size_t usable =
      processed.size() > delay ? std::min(clean.size(), processed.size() - delay) : 0;
  std::vector<double> signal;
  std::vector<double> error;
  for (std::size_t start = 0; start + frame <= usable; start += frame) {
    double s = 0.0;
    double e = 0.0;
    for (std::size_t i = start; i < start + frame; ++i) {
      const double c = clean[i];
      const double d = c - processed[i + delay];
      s += c * c;
      e += d * d;
    }
    signal.push_back(s);
    error.push_back(e);
  }
  if (signal.empty()) return 0.0;
  const double loudest = *std::max_element(signal.begin(), signal.end());
  double sum = 0.0;
  int frames = 0;
  for (std::size_t f = 0; f < signal.size(); ++f) {
    if (signal[f] < loudest * 1e-4 || signal[f] == 0.0) continue;
    const double snr = error[f] == 0.0 ? 35.0 : 10.0 * std::log10(signal[f] / error[f]);
    sum += std::clamp(snr, -10.0, 35.0);
    ++frames;
  }
  return frames == 0 ? 0.0 : sum / frames;
}

// Unchecked by the sanitizers, whose check of every access keeps the loop
// along the lags from vectorising; its accesses stay inside the spans and
// the sums by its bounds.
__attribute__((no_sanitize("address", "undefined"))) std::size_t best_lag(
    std::span<const float> clean, std::span<const float> processed, std::size_t max_lag) {
  // Every lag's sum at once, each over the samples in the same order as on
  // its own: the inner loop runs along the lags.
  std::vector<double> sums(max_lag + 1, 0.0);
  double* const sum = sums.data();
  for (std::size_t i = 0; i < clean.size() && i < processed.size(); ++i) {
    const double c = clean[i];
    const std::size_t lags = std::min(max_lag + 1, processed.size() - i);
    const float* const from = processed.data() + i;
    for (std::size_t lag = 0; lag < lags; ++lag) sum[lag] += c * from[lag];
  }
  // The first of equal sums, as a search from lag 0 up finds it.
  return static_cast<std::size_t>(std::max_element(sums.begin(), sums.end()) - sums.begin());
}

std::vector<std::int32_t> to_samples(std::span<const float> signal) {
  std::vector<std::int32_t> samples(signal.size());
  for (std::size_t i = 0; i < signal.size(); ++i) {
    samples[i] = static_cast<std::int32_t>(
        std::clamp(std::lround(static_cast<double>(signal[i])), -32768L, 32767L));
  }
  return samples;
}

std::vector<float> to_floats(std::span<const std::int32_t> samples) {
  return std::vector<float>(samples.begin(), samples.end());
}

}  // namespace speech
