#include "audio/device_choice.h"

namespace audio {

std::string device_name(WaveSystem& system, Direction direction, int device_id) {
  const bool input = direction == Direction::input;
  const int count = input ? system.input_count() : system.output_count();
  if (device_id < 0 || device_id >= count) return {};
  return input ? system.input_name(device_id) : system.output_name(device_id);
}

DeviceChoice find_device(WaveSystem& system, Direction direction, int saved_id,
                         std::string_view saved_name) {
  const int count = direction == Direction::input ? system.input_count() : system.output_count();
  if (saved_name.empty()) {
    if (saved_id >= 0 && saved_id < count) return {saved_id, std::nullopt};
    return {0, std::to_string(saved_id)};
  }
  if (device_name(system, direction, saved_id) == saved_name) return {saved_id, std::nullopt};
  for (int id = 0; id < count; ++id) {
    if (device_name(system, direction, id) == saved_name) return {id, std::nullopt};
  }
  return {0, std::string(saved_name)};
}

}  // namespace audio
