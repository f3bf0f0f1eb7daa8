#include "shell/start_options.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <system_error>

namespace shell {
namespace {

constexpr std::string_view help_text =
    "Usage: tonewell [OPTION]... [FILE]\n"
    "Filters the audio of a radio receiver in real time: it captures the sound\n"
    "card's input, runs it through the filters chosen in its window and plays\n"
    "the result. FILE, a WAV file, is opened for playing as Open Wave does.\n"
    "tonewell-filter runs WAV files through the same filters.\n"
    "\n"
    "  --config DIR   keep the settings (ZOduvov.cfg, tonewell.ini) in DIR\n"
    "  -V, --version  print the version and exit\n"
    "  -h, --help     print this help and exit\n"
    "\n"
    "The settings live in $XDG_CONFIG_HOME/tonewell (by default\n"
    "~/.config/tonewell), or in the folder the program starts from when that\n"
    "folder holds a ZOduvov.cfg. The toolkit's own options, such as\n"
    "-platform NAME and -style NAME, are taken too.\n";

// The toolkit's options, and whether each takes a value.
struct ToolkitOption {
  std::string_view name;
  bool takes_value;
};
constexpr std::array<ToolkitOption, 20> toolkit_options{{
    {"-platform", true},
    {"-platformpluginpath", true},
    {"-platformtheme", true},
    {"-plugin", true},
    {"-qmljsdebugger", true},
    {"-style", true},
    {"-stylesheet", true},
    {"-session", true},
    {"-display", true},
    {"-geometry", true},
    {"-qwindowgeometry", true},
    {"-qwindowtitle", true},
    {"-qwindowicon", true},
    {"-title", true},
    {"-name", true},
    {"-reverse", false},
    {"-nograb", false},
    {"-dograb", false},
    {"-sync", false},
    {"-widgetcount", false},
}};

Answer usage_error(const std::string& line) {
  return {{}, "tonewell: " + line + "\nTry 'tonewell --help' for more information.\n", 2};
}

}  // namespace

std::variant<StartOptions, Answer> read_start_options(std::span<char* const> argv) {
  StartOptions options;
  if (!argv.empty()) options.toolkit_args.push_back(argv[0]);
  bool options_ended = false;
  for (std::size_t at = 1; at < argv.size(); ++at) {
    const std::string_view argument = argv[at];
    const bool is_option = !options_ended && argument.size() > 1 && argument[0] == '-';
    if (!is_option) {
      if (options.file) return usage_error("more than one FILE: '" + std::string(argument) + "'");
      options.file = std::string(argument);
      continue;
    }
    if (argument == "--") {
      options_ended = true;
      continue;
    }
    if (argument == "-h" || argument == "--help") return Answer{std::string(help_text), {}, 0};
    if (argument == "-V" || argument == "--version") {
      return Answer{"tonewell " TONEWELL_VERSION "\n", {}, 0};
    }
    if (argument.starts_with("--config=")) {
      options.config_dir = std::string(argument.substr(9));
      if (options.config_dir->empty()) return usage_error("--config needs a folder");
      continue;
    }
    if (argument == "--config") {
      if (++at == argv.size()) return usage_error("--config needs a folder");
      options.config_dir = std::string(argv[at]);
      continue;
    }
    // The toolkit reads its options with one dash or two.
    const std::string_view name = argument.substr(argument.starts_with("--") ? 1 : 0);
    const auto known = std::find_if(toolkit_options.begin(), toolkit_options.end(),
                                    [name](const ToolkitOption& o) { return o.name == name; });
    if (known == toolkit_options.end()) {
      return usage_error("unknown option '" + std::string(argument) + "'");
    }
    options.toolkit_args.push_back(argv[at]);
    if (known->takes_value) {
      if (++at == argv.size())
        return usage_error("option '" + std::string(argument) + "' needs a value");
      options.toolkit_args.push_back(argv[at]);
    }
  }
  return options;
}

std::filesystem::path settings_folder(const std::optional<std::string>& config_dir,
                                      const std::filesystem::path& working,
                                      const char* xdg_config_home, const char* home) {
  if (config_dir) return *config_dir;
  std::error_code error;
  if (std::filesystem::exists(working / "ZOduvov.cfg", error)) return working;
  if (xdg_config_home != nullptr && std::filesystem::path(xdg_config_home).is_absolute()) {
    return std::filesystem::path(xdg_config_home) / "tonewell";
  }
  if (home != nullptr && std::filesystem::path(home).is_absolute()) {
    return std::filesystem::path(home) / ".config" / "tonewell";
  }
  return working;
}

}  // namespace shell
