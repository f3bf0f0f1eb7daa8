// The command line of tonewell-filter: what to filter, and how.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace batch {

// The five transform-domain filters, by their names on the command line:
// bp, var-bp, nf1, nf2, var-nf.
enum class Filter { bp, var_bp, nf1, nf2, var_nf };
inline constexpr std::size_t filter_count = 5;
inline constexpr std::array<std::string_view, filter_count> filter_names{"bp", "var-bp", "nf1",
                                                                         "nf2", "var-nf"};

struct Notch {
  double hz = 0.0;
  int width = 0;  // the width list's item, 0..3
};

struct Band {
  double lo_hz = 0.0;
  double hi_hz = 0.0;
};

struct Bandpass {
  int preset = 0;            // 0..6
  std::optional<double> hz;  // the centre of a CW preset
};

struct Gain {
  int fine = 10;
  int coarse = 5;
};

enum class Channel { left, right };

struct Options {
  // One input and `output`, or with `output_dir` one or more inputs, each
  // written to output_dir/<its base name>; "-" is a standard stream.
  std::vector<std::string> inputs;
  std::string output;
  std::optional<std::string> output_dir;
  std::optional<int> jobs;  // files filtered at a time in a batch
  std::optional<std::string> settings;
  bool median = false;
  bool lms = false;
  bool auto_notch = false;
  std::optional<int> noise_reduction;  // strength 1..10
  std::optional<int> noise_blanker;    // threshold 1..10
  bool bypass = false;
  bool low_latency = false;  // the window's Low Latency mode
  bool quiet = false;
  bool in_place = false;  // OUTPUT may be INPUT itself, which it then replaces
  bool force = false;     // a read-only OUTPUT file is replaced
  std::optional<Notch> notch1;
  std::optional<Notch> notch2;
  std::optional<Band> var_notch;
  std::optional<Bandpass> bandpass;
  std::optional<Band> var_bandpass;
  std::array<std::optional<int>, filter_count> q;  // Q positions 0..25, by Filter
  std::array<bool, filter_count> on{};             // switched on as set, by Filter
  std::optional<Gain> gain;
  Channel channel = Channel::left;
};

// What the command line asks for: a run, the help, the version, or a usage
// error (the message says what is wrong).
struct ShowHelp {};
struct ShowVersion {};
struct UsageError {
  std::string message;
};
using Command = std::variant<Options, ShowHelp, ShowVersion, UsageError>;

// Parses the arguments after the program's name. Options may come before,
// between or after the two file names, as "--name VALUE" or "--name=VALUE";
// short options may be grouped ("-qh", "-qfj4", "-qo DIR"); "--" ends the
// options. Several inputs need -o DIR, and their base names must differ.
Command parse_command_line(std::span<const std::string_view> arguments);

// The last part of a path, after its last "/".
std::string_view base_name(std::string_view path);

// The usage text --help prints.
extern const std::string_view usage_text;

// What a usage error prints on standard error: "tonewell-filter: MESSAGE"
// and the line pointing to --help.
std::string usage_error_text(const UsageError& error);

}  // namespace batch
