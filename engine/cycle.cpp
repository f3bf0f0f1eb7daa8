#include "engine/cycle.h"

namespace engine {
void run_cycle(CycleHost&) {}
void stop_cycle() {}
}  // namespace engine
