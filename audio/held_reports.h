// Reports of wave-device failures, shown once while they repeat. The cycle
// restarts 50 ms after it ends, so a missing or vanished device would
// otherwise bring up the same message boxes at every restart. Each attempt
// to open a device starts a round; a round shows every failure, except those
// its direction already showed in an earlier round since the device last
// opened or the user last chose a device.
#pragma once

#include <string_view>

namespace audio {

enum class Direction { input, output };

// Shows `text` under the wave caption through wave_host unless it is held.
void report_failure(Direction direction, std::string_view text);

// An attempt to open a device of `direction` begins: the failures of the
// rounds before are held.
void begin_round(Direction direction);

// A device of `direction` opened: its failures are shown again.
void release_reports(Direction direction);

// The user chose a device: every failure is shown again.
void release_all_reports();

}  // namespace audio
