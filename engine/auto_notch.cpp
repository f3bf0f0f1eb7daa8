#include "engine/auto_notch.h"

namespace engine {

void AutoNotch::process(std::span<std::int32_t>) {}
void AutoNotch::reset() {}
std::span<const float> AutoNotch::notched() const { return {}; }

}  // namespace engine
