#include "tests/support/material.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <numbers>
#include <random>

#include "tests/support/speech.h"

namespace speech {
namespace {

constexpr double two_pi = 2.0 * std::numbers::pi;

std::size_t at(double seconds) { return static_cast<std::size_t>(std::lround(seconds * rate)); }

void scale_to(std::vector<float>& signal, double rms) {
  const double scale = rms / rms_of(signal);
  for (float& s : signal) s = static_cast<float>(s * scale);
}

}  // namespace

std::vector<float> morse(const std::string& text, double wpm, double hz, double amplitude) {
  static const std::map<char, std::string> code = {
      {'A', ".-"},    {'B', "-..."},  {'C', "-.-."},   {'D', "-.."},    {'E', "."},
      {'F', "..-."},  {'G', "--."},   {'H', "...."},   {'I', ".."},     {'J', ".---"},
      {'K', "-.-"},   {'L', ".-.."},  {'M', "--"},     {'N', "-."},     {'O', "---"},
      {'P', ".--."},  {'Q', "--.-"},  {'R', ".-."},    {'S', "..."},    {'T', "-"},
      {'U', "..-"},   {'V', "...-"},  {'W', ".--"},    {'X', "-..-"},   {'Y', "-.--"},
      {'Z', "--.."},  {'0', "-----"}, {'1', ".----"},  {'2', "..---"},  {'3', "...--"},
      {'4', "....-"}, {'5', "....."}, {'6', "-...."},  {'7', "--..."},  {'8', "---.."},
      {'9', "----."}, {'/', "-..-."}, {'?', "..--.."}, {'.', ".-.-.-"}, {',', "--..--"}};
  // The key's states in dots: on for a dot or a dash, off between elements
  // (1), letters (3) and words (7).
  std::vector<std::pair<bool, int>> keying{{false, 0}};
  for (const char c : text) {
    if (c == ' ') {
      keying.back().second = 7;
      continue;
    }
    for (const char element : code.at(static_cast<char>(std::toupper(c)))) {
      keying.emplace_back(true, element == '.' ? 1 : 3);
      keying.emplace_back(false, 1);
    }
    keying.back().second = 3;
  }
  const double dot = 1.2 / wpm;
  const std::size_t edge = at(0.005);
  std::vector<float> out(at(0.5));
  double phase = 0.0;
  for (const auto& [on, dots] : keying) {
    const std::size_t length = at(dots * dot);
    for (std::size_t i = 0; i < length; ++i) {
      double envelope = 0.0;
      if (on) {
        const std::size_t from_edge = std::min(i, length - 1 - i);
        envelope = from_edge >= edge
                       ? 1.0
                       : 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(from_edge) /
                                              static_cast<double>(edge));
      }
      out.push_back(static_cast<float>(amplitude * envelope * std::sin(phase)));
      phase = std::fmod(phase + two_pi * hz / rate, two_pi);
    }
  }
  out.resize(out.size() + at(0.5), 0.0f);
  return out;
}

std::vector<float> held_vowels(double f0, double seconds, double rms) {
  // Formant frequencies and bandwidths (Hz) of a male voice.
  struct Formants {
    double f[3];
    double b[3];
  };
  constexpr Formants vowels[] = {{{730, 1090, 2440}, {80, 90, 120}},
                                 {{530, 1840, 2480}, {60, 100, 120}},
                                 {{270, 2290, 3010}, {60, 90, 100}},
                                 {{570, 840, 2410}, {70, 80, 100}},
                                 {{300, 870, 2240}, {60, 80, 100}}};
  std::vector<float> out;
  for (const Formants& v : vowels) {
    // A pulse a period (its sharp closure filtered by a falling spectrum),
    // then each formant a two-pole resonator.
    std::vector<double> voice(at(seconds));
    double phase = 0.0;
    double glottis = 0.0;
    for (double& s : voice) {
      phase += f0 / rate;
      const double pulse = phase >= 1.0 ? 1.0 : 0.0;
      phase -= std::floor(phase);
      glottis = 0.97 * glottis + pulse;
      s = glottis;
    }
    for (int k = 0; k < 3; ++k) {
      const double r = std::exp(-std::numbers::pi * v.b[k] / rate);
      const double a1 = 2.0 * r * std::cos(two_pi * v.f[k] / rate);
      const double a2 = -r * r;
      double y1 = 0.0;
      double y2 = 0.0;
      for (double& s : voice) {
        const double y = (1.0 - r) * s + a1 * y1 + a2 * y2;
        y2 = y1;
        y1 = y;
        s = y;
      }
    }
    // Fades of 20 ms in and out, as a singer's onset.
    const std::size_t fade = at(0.02);
    for (std::size_t i = 0; i < voice.size(); ++i) {
      const std::size_t from_edge = std::min(i, voice.size() - 1 - i);
      const double gain =
          from_edge >= fade ? 1.0 : static_cast<double>(from_edge) / static_cast<double>(fade);
      out.push_back(static_cast<float>(voice[i] * gain));
    }
    out.resize(out.size() + at(0.2), 0.0f);
  }
  scale_to(out, rms);
  return out;
}

std::vector<float> carriers(std::size_t count, std::span<const Carrier> list) {
  std::vector<double> sum(count);
  for (const Carrier& c : list) {
    double phase = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
      const double t = static_cast<double>(i) / rate;
      if (t >= c.on_s && t < c.off_s) sum[i] += c.amplitude * std::sin(phase);
      phase = std::fmod(phase + two_pi * (c.hz + c.drift * t) / rate, two_pi);
    }
  }
  return {sum.begin(), sum.end()};
}

std::vector<float> crackle(std::size_t count, double per_second, double rms, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::exponential_distribution<double> gap(per_second);
  std::normal_distribution<double> gauss(0.0, 1.0);
  std::vector<float> out(count);
  const std::size_t length = at(0.002);
  for (double t = gap(generator); at(t) + length < count; t += gap(generator)) {
    for (std::size_t i = 0; i < length; ++i) {
      out[at(t) + i] +=
          static_cast<float>(gauss(generator) * std::exp(-3.0 * static_cast<double>(i) / length));
    }
  }
  scale_to(out, rms);
  return out;
}

std::vector<float> babble(std::size_t count, double rms) {
  static const std::vector<float> voices = [] {
    const struct {
      const char* voice;
      const char* text;
    } talkers[] = {
        {"en-gb", "Nobody could say where the road went after the bridge was washed away."},
        {"en-us+f3", "We are going to need the big antenna tonight, the band is very quiet."},
        {"de", "Am Abend kamen die Nachbarn und brachten frisches Brot und Wein mit."},
        {"fr+f2", "Il faisait beau ce matin, mais la pluie est revenue vers midi."},
        {"es", "La radio del barco no funciona desde que llegamos al puerto."},
        {"en-us", "Please stand by, the net control station will call you shortly."}};
    std::vector<float> sum;
    std::size_t n = 0;
    for (const auto& talker : talkers) {
      std::vector<float> spoken_now = spoken(talker.text, 3000.0, talker.voice, 170);
      // Each voice loops to twenty seconds and starts at its own place.
      const std::size_t length = at(20.0);
      sum.resize(length, 0.0f);
      if (spoken_now.empty()) continue;
      const std::size_t offset = spoken_now.size() * n++ / std::size(talkers);
      for (std::size_t i = 0; i < length; ++i) {
        sum[i] += spoken_now[(i + offset) % spoken_now.size()];
      }
    }
    return sum;
  }();
  std::vector<float> out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = voices[i % voices.size()];
  scale_to(out, rms);
  return out;
}

}  // namespace speech
