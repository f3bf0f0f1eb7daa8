#include "batch/options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <variant>
#include <vector>

#include "engine/noise_blanker.h"
#include "files/printable.h"

namespace batch {

const std::string_view usage_text =
    "Usage: tonewell-filter [options] INPUT.wav OUTPUT.wav\n"
    "       tonewell-filter [options] -o DIR INPUT.wav...\n"
    "Runs INPUT through the filter chain and writes what comes out to OUTPUT\n"
    "(16-bit PCM, mono, 11025 Hz, as many samples as INPUT), as the window\n"
    "records it while it plays INPUT. With -o, each INPUT goes to DIR/<its name>.\n"
    "\n"
    "  --settings FILE         start from a saved settings file (presets, widths,\n"
    "                          centres, Q positions, gain, variable edges)\n"
    "  --on FILTER[,FILTER..]  switch on filters as set by --settings or the\n"
    "                          defaults: bp, var-bp, nf1, nf2, var-nf\n"
    "  --noise-blanker[=LEVEL] switch on the noise blanker, which replaces clicks;\n"
    "                          LEVEL 1..10 sets its threshold (default 5)\n"
    "  --median                switch on the smoothing filter\n"
    "  --lms                   switch on the LMS noise filter\n"
    "  --auto-notch            switch on the automatic notch (finds and removes\n"
    "                          steady tones)\n"
    "  --noise-reduction LEVEL switch on the noise reduction at strength 1..10\n"
    "                          (the window starts at 5)\n"
    "  --notch1 HZ[,WIDTH]     notch 1 centred at HZ; WIDTH is the width item 0..3\n"
    "                          (default 0, \"1000 Hz\")\n"
    "  --notch2 HZ[,WIDTH]     notch 2 likewise\n"
    "  --var-notch LO,HI       variable notch between LO and HI Hz\n"
    "  --bandpass PRESET[,HZ]  bandpass preset 0..6; HZ centres the CW presets 3..6\n"
    "  --var-bandpass LO,HI    variable bandpass between LO and HI Hz\n"
    "  --q FILTER=POS          Q position 0..25 for bp, var-bp, nf1, nf2 or var-nf\n"
    "                          (default 20, as in the window)\n"
    "  --gain FINE,COARSE      the two gain controls, 1..100 and 1..7 (default\n"
    "                          10,5: 10 x 0.1, unity gain)\n"
    "  --bypass                take the unfiltered samples\n"
    "  --low-latency           passes of 128 samples through minimum-phase stages,\n"
    "                          as the window's Low Latency mode\n"
    "  --channel left|right    which channel of a stereo input (default left)\n"
    "  -o, --output-dir DIR    write each INPUT to DIR under its own name, several\n"
    "                          at a time; a failed INPUT is reported and the\n"
    "                          others go on (exit status 1)\n"
    "  -j, --jobs N            files filtered at a time with -o (default: one per\n"
    "                          processor core)\n"
    "  --in-place              let OUTPUT be INPUT itself (or a link to it), which\n"
    "                          the filtered file then replaces once complete\n"
    "  -f, --force             replace an OUTPUT file that is read-only\n"
    "  -q, --quiet             no progress output\n"
    "  -h, --help              show this help\n"
    "  --version               show the version\n"
    "\n"
    "Filters not named stay off. Frequencies run from 0 to 5512 Hz. INPUT is a\n"
    "WAV file of 16-bit PCM (plain or extensible), mono or stereo; a rate other\n"
    "than 11025 Hz is converted. OUTPUT is replaced only once it is complete; a\n"
    "symbolic link is replaced at its target. A FIFO, a device such as /dev/null\n"
    "or standard output is written straight; a link to a FIFO or a device, a\n"
    "folder, INPUT itself and a read-only file are refused as OUTPUT (the last\n"
    "two unless --in-place or --force). The header is written first, and the\n"
    "first write that fails ends the run. \"-\" as INPUT reads standard input,\n"
    "as OUTPUT writes standard output (nothing else goes there). OUTPUT's header\n"
    "gives the sizes INPUT's header gives; an INPUT stream that ends early is\n"
    "padded with silence to them. When a stream's header gives no size, it is\n"
    "read to its end and OUTPUT's sizes say \"to the end\" (0xFFFFFFFF) unless\n"
    "OUTPUT is a file, where the real ones are put in at the end. A FIFO with no\n"
    "writer (or reader) yet is waited for, which is said after a second.\n"
    "Short options may be grouped, as in -qh or -qj4.\n"
    "Exit status: 0 done, 1 a file could not be read or written or was refused,\n"
    "2 a usage error, 130 or 143 stopped by SIGINT or SIGTERM (an OUTPUT file\n"
    "then left as it was).\n";

std::string usage_error_text(const UsageError& error) {
  return "tonewell-filter: " + error.message +
         "\nTry 'tonewell-filter --help' for more information.\n";
}

namespace {

// The highest frequency the chain represents: half of 11025 Hz.
constexpr double top_hz = 5512.5;

UsageError error(std::string message) { return UsageError{std::move(message)}; }

// The most files run at a time.
constexpr int max_jobs = 256;

std::optional<int> parse_int(std::string_view text) {
  int value = 0;
  const auto [end, result] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> parse_hz(std::string_view text) {
  double value = 0.0;
  const auto [end, result] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  if (value < 0.0 || value > top_hz) return std::nullopt;
  return value;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string_view::npos ? at : at - start));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

std::optional<Filter> filter_named(std::string_view name) {
  const auto at = std::find(filter_names.begin(), filter_names.end(), name);
  if (at == filter_names.end()) return std::nullopt;
  return static_cast<Filter>(at - filter_names.begin());
}

// Each option's value, read into `options`; a message when it is bad.
using Reader = std::optional<UsageError> (*)(std::string_view value, Options& options);

std::optional<UsageError> read_notch(std::string_view value, std::optional<Notch>& notch,
                                     std::string_view option) {
  const auto parts = split(value, ',');
  const std::optional<double> hz = parse_hz(parts[0]);
  const std::optional<int> width = parts.size() == 2 ? parse_int(parts[1]) : 0;
  if (parts.size() > 2 || !hz || !width || *width < 0 || *width > 3) {
    return error(std::string(option) + " takes HZ[,WIDTH]: HZ from 0 to 5512, WIDTH 0..3");
  }
  notch = Notch{*hz, *width};
  return std::nullopt;
}

std::optional<UsageError> read_band(std::string_view value, std::optional<Band>& band,
                                    std::string_view option) {
  const auto parts = split(value, ',');
  const std::optional<double> lo = parts.size() == 2 ? parse_hz(parts[0]) : std::nullopt;
  const std::optional<double> hi = parts.size() == 2 ? parse_hz(parts[1]) : std::nullopt;
  if (!lo || !hi || *lo >= *hi) {
    return error(std::string(option) + " takes LO,HI: LO below HI, both from 0 to 5512 Hz");
  }
  band = Band{*lo, *hi};
  return std::nullopt;
}

std::optional<UsageError> read_bandpass(std::string_view value, Options& options) {
  const auto parts = split(value, ',');
  const std::optional<int> preset = parse_int(parts[0]);
  if (parts.size() > 2 || !preset || *preset < 0 || *preset > 6) {
    return error("--bandpass takes PRESET[,HZ]: PRESET 0..6");
  }
  Bandpass bandpass{*preset, std::nullopt};
  if (parts.size() == 2) {
    bandpass.hz = parse_hz(parts[1]);
    if (!bandpass.hz) return error("--bandpass: HZ runs from 0 to 5512");
    if (*preset < 3) return error("--bandpass: only the CW presets 3..6 take a centre");
  }
  options.bandpass = bandpass;
  return std::nullopt;
}

std::optional<UsageError> read_q(std::string_view value, Options& options) {
  const std::size_t equals = value.find('=');
  const std::optional<Filter> filter = filter_named(value.substr(0, equals));
  const std::optional<int> position =
      equals == std::string_view::npos ? std::nullopt : parse_int(value.substr(equals + 1));
  if (!filter || !position || *position < 0 || *position > 25) {
    return error("--q takes FILTER=POS: FILTER bp, var-bp, nf1, nf2 or var-nf, POS 0..25");
  }
  options.q[static_cast<std::size_t>(*filter)] = *position;
  return std::nullopt;
}

std::optional<UsageError> read_on(std::string_view value, Options& options) {
  for (const std::string_view name : split(value, ',')) {
    const std::optional<Filter> filter = filter_named(name);
    if (!filter) return error("--on takes filters from bp, var-bp, nf1, nf2, var-nf");
    options.on[static_cast<std::size_t>(*filter)] = true;
  }
  return std::nullopt;
}

std::optional<UsageError> read_gain(std::string_view value, Options& options) {
  const auto parts = split(value, ',');
  const std::optional<int> fine = parts.size() == 2 ? parse_int(parts[0]) : std::nullopt;
  const std::optional<int> coarse = parts.size() == 2 ? parse_int(parts[1]) : std::nullopt;
  if (!fine || !coarse || *fine < 1 || *fine > 100 || *coarse < 1 || *coarse > 7) {
    return error("--gain takes FINE,COARSE: FINE 1..100, COARSE 1..7");
  }
  options.gain = Gain{*fine, *coarse};
  return std::nullopt;
}

std::optional<UsageError> read_channel(std::string_view value, Options& options) {
  if (value == "left") {
    options.channel = Channel::left;
  } else if (value == "right") {
    options.channel = Channel::right;
  } else {
    return error("--channel takes left or right");
  }
  return std::nullopt;
}

struct ValueOption {
  std::string_view name;
  Reader read;
};

std::optional<UsageError> read_noise_reduction(std::string_view value, Options& options) {
  const std::optional<int> level = parse_int(value);
  if (!level || *level < 1 || *level > 10) return error("--noise-reduction takes a LEVEL 1..10");
  options.noise_reduction = *level;
  return std::nullopt;
}

std::optional<UsageError> read_output_dir(std::string_view value, Options& options) {
  if (value.empty()) return error("-o takes a folder");
  options.output_dir = std::string(value);
  return std::nullopt;
}

std::optional<UsageError> read_jobs(std::string_view value, Options& options) {
  const std::optional<int> jobs = parse_int(value);
  if (!jobs || *jobs < 1 || *jobs > max_jobs) {
    return error("-j takes a number of files at a time, 1.." + std::to_string(max_jobs));
  }
  options.jobs = *jobs;
  return std::nullopt;
}

const std::array<ValueOption, 13> value_options{{
    {"--output-dir", read_output_dir},
    {"--jobs", read_jobs},
    {"--settings",
     [](std::string_view v, Options& o) -> std::optional<UsageError> {
       if (v.empty()) return error("--settings takes a file name");
       o.settings = std::string(v);
       return std::nullopt;
     }},
    {"--on", read_on},
    {"--notch1",
     [](std::string_view v, Options& o) { return read_notch(v, o.notch1, "--notch1"); }},
    {"--notch2",
     [](std::string_view v, Options& o) { return read_notch(v, o.notch2, "--notch2"); }},
    {"--var-notch",
     [](std::string_view v, Options& o) { return read_band(v, o.var_notch, "--var-notch"); }},
    {"--bandpass", read_bandpass},
    {"--var-bandpass",
     [](std::string_view v, Options& o) { return read_band(v, o.var_bandpass, "--var-bandpass"); }},
    {"--q", read_q},
    {"--gain", read_gain},
    {"--channel", read_channel},
    {"--noise-reduction", read_noise_reduction},
}};

// Switches without a value.
bool read_switch(std::string_view name, Options& options) {
  if (name == "--median") {
    options.median = true;
  } else if (name == "--lms") {
    options.lms = true;
  } else if (name == "--auto-notch") {
    options.auto_notch = true;
  } else if (name == "--bypass") {
    options.bypass = true;
  } else if (name == "--low-latency") {
    options.low_latency = true;
  } else if (name == "--quiet") {
    options.quiet = true;
  } else if (name == "--in-place") {
    options.in_place = true;
  } else if (name == "--force") {
    options.force = true;
  } else {
    return false;
  }
  return true;
}

// What one argument asked for besides the options it set: nothing more,
// the help, or a usage error.
using Outcome = std::variant<std::monostate, ShowHelp, UsageError>;

// A group of short options, as in "-qh" or "-qj4": switches, and last
// perhaps one that takes a value, from the rest of the group or the next
// argument (which `i` then moves past).
Outcome read_short_group(std::span<const std::string_view> arguments, std::size_t& i,
                         Options& options) {
  const std::string_view letters = arguments[i].substr(1);
  for (std::size_t at = 0; at < letters.size(); ++at) {
    const char letter = letters[at];
    if (letter == 'h') return ShowHelp{};
    if (letter == 'q' || letter == 'f') {
      (letter == 'q' ? options.quiet : options.force) = true;
      continue;
    }
    const std::string option{'-', letter};
    const Reader read = letter == 'o' ? read_output_dir : letter == 'j' ? read_jobs : nullptr;
    if (read == nullptr) return error(std::string("unknown option ").append(option));
    std::string_view value = letters.substr(at + 1);
    if (value.empty()) {
      if (i + 1 == arguments.size()) return error(std::string(option).append(" needs a value"));
      value = arguments[++i];
    }
    if (auto bad = read(value, options)) return *bad;
    break;
  }
  return std::monostate{};
}

// A long option, with its value from "=VALUE" or the next argument (which
// `i` then moves past).
Outcome read_long(std::span<const std::string_view> arguments, std::size_t& i, Options& options) {
  const std::string_view argument = arguments[i];
  if (argument == "--help") return ShowHelp{};
  if (read_switch(argument, options)) return std::monostate{};
  const std::size_t equals = argument.find('=');
  const std::string_view name = argument.substr(0, equals);
  if (name == "--noise-blanker") {
    // Its level is optional, so it comes only after an equals sign.
    const std::optional<int> level = equals == std::string_view::npos
                                         ? engine::noise_blanker_start
                                         : parse_int(argument.substr(equals + 1));
    if (!level || *level < engine::noise_blanker_lowest || *level > engine::noise_blanker_highest) {
      return error("--noise-blanker takes a LEVEL 1..10");
    }
    options.noise_blanker = *level;
    return std::monostate{};
  }
  const auto option = std::find_if(value_options.begin(), value_options.end(),
                                   [name](const ValueOption& o) { return o.name == name; });
  if (option == value_options.end()) return error("unknown option " + std::string(name));
  std::string_view value;
  if (equals != std::string_view::npos) {
    value = argument.substr(equals + 1);
  } else if (i + 1 < arguments.size()) {
    value = arguments[++i];
  } else {
    return error(std::string(name) + " needs a value");
  }
  if (auto bad = option->read(value, options)) return *bad;
  return std::monostate{};
}

}  // namespace

std::string_view base_name(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

Command parse_command_line(std::span<const std::string_view> arguments) {
  Options options;
  std::vector<std::string_view> files;
  bool options_ended = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (options_ended || argument == "-" || !argument.starts_with('-')) {
      files.push_back(argument);
      continue;
    }
    if (argument == "--") {
      options_ended = true;
      continue;
    }
    if (argument == "--version") return ShowVersion{};
    const Outcome outcome = argument.starts_with("--") ? read_long(arguments, i, options)
                                                       : read_short_group(arguments, i, options);
    if (std::holds_alternative<ShowHelp>(outcome)) return ShowHelp{};
    if (const auto* bad = std::get_if<UsageError>(&outcome)) return *bad;
  }
  if (options.output_dir) {
    if (files.empty()) return error("-o DIR takes one or more INPUT.wav");
    std::vector<std::string_view> names;
    for (const std::string_view file : files) {
      if (file == "-") return error("-o DIR takes files; standard input has no name to write");
      const std::string_view name = base_name(file);
      if (name.empty()) return error("-o DIR: " + files::printable_name(file) + " names no file");
      if (std::find(names.begin(), names.end(), name) != names.end()) {
        return error("-o DIR: two inputs named " + files::printable_name(name) +
                     " would write the same output");
      }
      names.push_back(name);
      options.inputs.emplace_back(file);
    }
  } else {
    if (files.size() > 2) return error("several inputs need -o DIR to write into");
    if (files.size() != 2) return error("give one INPUT.wav and one OUTPUT.wav");
    options.inputs.emplace_back(files[0]);
    options.output = std::string(files[1]);
  }
  if (options.bandpass && options.bandpass->preset >= 3 && !options.bandpass->hz &&
      !options.settings) {
    return error("--bandpass: a CW preset needs a centre, as in --bandpass 3,700, or --settings");
  }
  return options;
}

}  // namespace batch
