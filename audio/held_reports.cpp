#include "audio/held_reports.h"

#include <array>
#include <set>
#include <string>

#include "audio/state.h"
#include "audio/wave_call.h"

namespace audio {
namespace {

struct Rounds {
  std::set<std::string, std::less<>> held;     // shown in an earlier round
  std::set<std::string, std::less<>> current;  // shown in this round
};

std::array<Rounds, 2> rounds;

Rounds& of(Direction direction) { return rounds[direction == Direction::input ? 0 : 1]; }

}  // namespace

void report_failure(Direction direction, std::string_view text) {
  Rounds& r = of(direction);
  if (r.held.contains(text)) return;
  r.current.emplace(text);
  wave_host->report(wave_caption, text);
}

void begin_round(Direction direction) {
  Rounds& r = of(direction);
  r.held.merge(r.current);
  r.current.clear();
}

void release_reports(Direction direction) {
  of(direction).held.clear();
  of(direction).current.clear();
}

void release_all_reports() {
  release_reports(Direction::input);
  release_reports(Direction::output);
}

void store_checked(Direction direction, int result, std::string_view text) {
  wave_result = result;
  if (result != wave_ok) report_failure(direction, text);
}

}  // namespace audio
