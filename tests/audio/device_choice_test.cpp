#include "audio/device_choice.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "audio/standin_device.h"

using namespace audio;

namespace {

// The built-in input, and outputs listed under the given names.
class Listed : public StandinSystem {
 public:
  int output_count() override { return static_cast<int>(names.size()); }
  std::string output_name(int id) override { return names.at(static_cast<std::size_t>(id)); }
  std::vector<std::string> names;
};

}  // namespace

TEST(DeviceChoice, TheNameWinsOverTheNumberAndAMissingDeviceGivesWayToTheDefault) {
  const struct {
    std::vector<std::string> listed;
    int saved_id;
    const char* saved_name;
    int found;
    std::optional<std::string> missing;
  } cases[] = {
      {{"default", "USB Audio", "HDA Intel"}, 2, "HDA Intel", 2, {}},  // still where it was
      {{"default", "HDA Intel", "USB Audio"}, 1, "USB Audio", 2, {}},  // renumbered: by name
      {{"default", "HDA Intel"}, 2, "USB Audio", 0, "USB Audio"},      // unplugged
      // No name saved: a listed number stands; one not listed gives way.
      {{"default", "HDA Intel"}, 1, "", 1, {}},
      {{"default", "HDA Intel"}, -3, "", 0, "-3"},
  };
  Listed system;
  for (const auto& c : cases) {
    system.names = c.listed;
    const DeviceChoice choice = find_device(system, Direction::output, c.saved_id, c.saved_name);
    EXPECT_EQ(choice.device_id, c.found) << c.saved_id << " " << c.saved_name;
    EXPECT_EQ(choice.missing, c.missing) << c.saved_id << " " << c.saved_name;
  }
  EXPECT_EQ(find_device(system, Direction::input, 77, "").missing, "77");
  EXPECT_EQ(device_name(system, Direction::output, 5), "");
  EXPECT_EQ(device_name(system, Direction::input, 0), "Built-in silent device");
}
