// The automatic notch: finds steady tones in the pass and removes them.
#pragma once

#include <cstdint>
#include <span>

namespace engine {

class AutoNotch {
 public:
  // Filters one pass of samples in place. Allocates nothing.
  void process(std::span<std::int32_t> samples);
  // Back to a filter that has heard nothing.
  void reset();
  // The frequencies in hertz notched after the last pass.
  std::span<const float> notched() const;
};

}  // namespace engine
