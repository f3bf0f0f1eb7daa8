#include "engine/noise_reduction.h"

namespace engine {

void NoiseReduction::set_strength(int) {}
void NoiseReduction::process(std::span<std::int32_t>) {}
void NoiseReduction::reset() {}

}  // namespace engine
