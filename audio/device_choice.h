// Which device a saved choice stands for. Device numbers follow the sound
// system's list, which changes when a card is plugged in or the sound server
// restarts, so a choice is kept by number and by name, and the name wins.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "audio/device_pair.h"
#include "audio/wave_device.h"

namespace audio {

struct DeviceChoice {
  int device_id = 0;
  // Set when the saved device is not there and the system default (0) is
  // taken instead: the missing device's name, or its number when no name
  // was saved.
  std::optional<std::string> missing;
};

// The device of `direction` that `saved_id` and `saved_name` (empty when no
// name was saved) stand for: the saved number while it still carries the
// saved name, else the number now listed under that name, else the default.
// Without a name, a number the system lists is taken as it is.
DeviceChoice find_device(WaveSystem& system, Direction direction, int saved_id,
                         std::string_view saved_name);

// The name the system lists for `device_id` of `direction`; empty for a
// number it does not list.
std::string device_name(WaveSystem& system, Direction direction, int device_id);

}  // namespace audio
