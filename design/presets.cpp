#include "design/presets.h"

namespace design {

namespace {

struct Band {
  float lo;
  float hi;
};

// Presets 0..2. The "1.6 kHz" edge is 0.1452470, i.e. 1601.3 Hz.
constexpr std::array<Band, 3> fixed_bands{{
    {0.0181405f, 0.2721088f},
    {0.0181405f, 0.2176870f},
    {0.0272108f, 0.1452470f},
}};

// Half-widths of presets 3..6 and of notch widths 0..3, normalised. Notch
// width 2 is 0.0093378 (102.9 Hz), not exactly 100 Hz.
constexpr std::array<double, 4> cw_half_widths{0.0181405, 0.0113378, 0.0068027, 0.0045351};
constexpr std::array<double, 4> notch_half_widths{0.0453514, 0.0181405, 0.0093378, 0.0045351};

// The column is turned into a frequency in single precision; the half-width
// is applied in double and each edge rounded once to single.
void edges_around(float centre, double half_width, Edges& edges) {
  const float c = centre / 1024.0f;
  edges.lo = static_cast<float>(c - half_width);
  edges.hi = static_cast<float>(c + half_width);
}

}  // namespace

void bp_preset_edges(std::int32_t index, float centre, Edges& edges) {
  if (index >= 0 && index < 3) {
    edges.lo = fixed_bands[index].lo;
    edges.hi = fixed_bands[index].hi;
  } else if (index >= 3 && index < 7) {
    edges_around(centre, cw_half_widths[index - 3], edges);
  }
}

void notch_width_edges(std::int32_t index, float centre, Edges& edges) {
  if (index >= 0 && index < 4) {
    edges_around(centre, notch_half_widths[index], edges);
  }
}

float q_level_for(std::int32_t position) { return static_cast<float>(25 - position) * 0.01f; }

float position_edge(std::int32_t position) { return static_cast<float>(position) / 1024.0f; }

std::int32_t var_width_hz(std::int32_t lo, std::int32_t hi) { return (hi - lo) * 5512 / 512; }

}  // namespace design
