// What the command line asks of the window program, read before anything
// needs a display, and the folder its settings live in.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace shell {

// Start the window: on the settings in `config_dir` when given, with `file`
// open for playing when given. `toolkit_args` are the program's name and
// the toolkit's own options (-platform NAME, -style NAME, ...), to hand to
// the application object; they point into the arguments parsed.
struct StartOptions {
  std::optional<std::string> config_dir;
  std::optional<std::string> file;
  std::vector<char*> toolkit_args;
};

// An answer instead of a window: --help, --version or a usage error.
struct Answer {
  std::string out;
  std::string err;
  int status = 0;
};

// Reads `argv` (argv[0] first): -h/--help, -V/--version, --config DIR (or
// --config=DIR), the toolkit's options, "--", and one FILE. An unknown
// option, a second FILE or --config without its folder is a usage error
// (status 2): one line, then "Try 'tonewell --help' for more information.".
std::variant<StartOptions, Answer> read_start_options(std::span<char* const> argv);

// The settings files' folder: `config_dir` when given; else the working
// folder when it holds ZOduvov.cfg (a portable set-up); else
// $XDG_CONFIG_HOME/tonewell when that is an absolute path; else
// $HOME/.config/tonewell; with neither, the working folder.
std::filesystem::path settings_folder(const std::optional<std::string>& config_dir,
                                      const std::filesystem::path& working,
                                      const char* xdg_config_home, const char* home);

}  // namespace shell
