#include "batch/options.h"

#include <gtest/gtest.h>

#include <ranges>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The command line given as one string, its arguments split at spaces.
batch::Command parse(std::string_view line) {
  std::vector<std::string_view> arguments;
  for (const auto word : std::views::split(line, ' '))
    arguments.emplace_back(word.data(), word.size());
  return batch::parse_command_line(arguments);
}

// The options of a command line that asks for a run.
batch::Options run(std::string_view line) {
  const batch::Command command = parse(line);
  EXPECT_TRUE(std::holds_alternative<batch::Options>(command)) << line;
  return std::holds_alternative<batch::Options>(command) ? std::get<batch::Options>(command)
                                                         : batch::Options{};
}

TEST(Options, ReadEveryOptionInEitherFormAndAnywhere) {
  const batch::Options options = run(
      "--settings my.cfg in.wav --median --lms --auto-notch --noise-reduction=7 --noise-blanker=3 "
      "--notch1 1000 "
      "--notch2=1800,3 --var-notch 2000,2200.5 --bandpass=4,700 --var-bandpass 150,3000 --q bp=25 "
      "--q=var-nf=0 --gain 40,6 --bypass --channel right -q --on nf2,var-bp out.wav");
  EXPECT_EQ(options.inputs, std::vector<std::string>{"in.wav"});
  EXPECT_EQ(options.output, "out.wav");
  EXPECT_EQ(options.settings, "my.cfg");
  EXPECT_TRUE(options.median && options.lms && options.auto_notch && options.bypass &&
              options.quiet);
  EXPECT_EQ(options.noise_reduction, 7);
  EXPECT_EQ(options.noise_blanker, 3);
  EXPECT_EQ(run("--noise-blanker in.wav out.wav").noise_blanker, 5);
  EXPECT_EQ(options.notch1->hz, 1000.0);
  EXPECT_EQ(options.notch1->width, 0);
  EXPECT_EQ(options.notch2->width, 3);
  EXPECT_EQ(options.var_notch->hi_hz, 2200.5);
  EXPECT_EQ(options.bandpass->preset, 4);
  EXPECT_EQ(options.bandpass->hz, 700.0);
  EXPECT_EQ(options.var_bandpass->lo_hz, 150.0);
  EXPECT_EQ(options.q[static_cast<int>(batch::Filter::bp)], 25);
  EXPECT_EQ(options.q[static_cast<int>(batch::Filter::var_nf)], 0);
  EXPECT_FALSE(options.q[static_cast<int>(batch::Filter::nf1)]);
  EXPECT_EQ(options.gain->fine, 40);
  EXPECT_EQ(options.gain->coarse, 6);
  EXPECT_EQ(options.channel, batch::Channel::right);
  EXPECT_EQ(options.on, (std::array<bool, 5>{false, true, false, true, false}));

  // "--" ends the options; help needs no files.
  EXPECT_EQ(run("-- -in.wav --out.wav").output, "--out.wav");
  EXPECT_TRUE(std::holds_alternative<batch::ShowHelp>(parse("in.wav --help")));
  EXPECT_TRUE(std::holds_alternative<batch::ShowHelp>(parse("-qh")));
  const batch::Options grouped = run("-qq a.wav b.wav");
  EXPECT_TRUE(grouped.quiet);
  EXPECT_FALSE(grouped.output_dir);

  // A batch: -o DIR, and a value last in a group or in the next argument.
  for (const std::string_view arguments :
       {"-qj3 -o out a.wav x/b.wav", "a.wav -qo out --jobs=3 x/b.wav",
        "-j 3 a.wav -qoout x/b.wav"}) {
    const batch::Options batch = run(arguments);
    EXPECT_TRUE(batch.quiet);
    EXPECT_EQ(batch.output_dir, "out");
    EXPECT_EQ(batch.jobs, 3);
    EXPECT_EQ(batch.inputs, (std::vector<std::string>{"a.wav", "x/b.wav"}));
  }
  EXPECT_TRUE(std::holds_alternative<batch::ShowVersion>(parse("--version")));
}

TEST(Options, BadCommandLinesAreUsageErrorsThatSayWhatIsWrong) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"in.wav", "one INPUT.wav and one OUTPUT.wav"},
      {"a.wav b.wav c.wav", "several inputs need -o DIR"},
      {"-o out a/x.wav b/x.wav", "two inputs named x.wav would write the same"},
      {"-o out a.wav -", "standard input has no name"},
      {"-o out folder/", "folder/ names no file"},
      {"-o out", "-o DIR takes one or more INPUT.wav"},
      {"-j0 a.wav b.wav", "-j takes a number of files at a time, 1..256"},
      {"a.wav b.wav -qj", "-j needs a value"},
      {"--loud a.wav b.wav", "unknown option --loud"},
      {"-qx a.wav b.wav", "unknown option -x"},
      {"--q=bp=3 -Q a.wav b.wav", "unknown option -Q"},
      {"a.wav b.wav --notch1", "--notch1 needs a value"},
      {"--notch1 abc a.wav b.wav", "--notch1 takes HZ[,WIDTH]"},
      {"--notch1 6000 a.wav b.wav", "--notch1 takes HZ[,WIDTH]"},
      {"--notch2 900,4 a.wav b.wav", "--notch2 takes HZ[,WIDTH]"},
      {"--notch2 900,1,2 a.wav b.wav", "--notch2 takes HZ[,WIDTH]"},
      {"--var-notch 900 a.wav b.wav", "--var-notch takes LO,HI"},
      {"--var-bandpass 900,800 a.wav b.wav", "--var-bandpass takes LO,HI"},
      {"--var-bandpass nan,800 a.wav b.wav", "--var-bandpass takes LO,HI"},
      {"--bandpass 7 a.wav b.wav", "--bandpass takes PRESET[,HZ]"},
      {"--bandpass 1,700 a.wav b.wav", "only the CW presets 3..6 take a centre"},
      {"--bandpass 3 a.wav b.wav", "a CW preset needs a centre"},
      {"--q bp a.wav b.wav", "--q takes FILTER=POS"},
      {"--q lms=3 a.wav b.wav", "--q takes FILTER=POS"},
      {"--q nf1=26 a.wav b.wav", "--q takes FILTER=POS"},
      {"--gain 0,5 a.wav b.wav", "--gain takes FINE,COARSE"},
      {"--gain 10,8 a.wav b.wav", "--gain takes FINE,COARSE"},
      {"--on bp,lms a.wav b.wav", "--on takes filters"},
      {"--noise-reduction 0 a.wav b.wav", "--noise-reduction takes a LEVEL 1..10"},
      {"--noise-reduction 11 a.wav b.wav", "--noise-reduction takes a LEVEL 1..10"},
      {"--noise-blanker=0 a.wav b.wav", "--noise-blanker takes a LEVEL 1..10"},
      {"--noise-blanker=x a.wav b.wav", "--noise-blanker takes a LEVEL 1..10"},
      {"--channel middle a.wav b.wav", "--channel takes left or right"},
      {"--settings= a.wav b.wav", "--settings takes a file name"},
  };
  for (const auto& [arguments, message] : cases) {
    const batch::Command command = parse(arguments);
    const auto* error = std::get_if<batch::UsageError>(&command);
    ASSERT_NE(error, nullptr) << arguments;
    EXPECT_NE(error->message.find(message), std::string::npos) << error->message;
  }
  // A CW preset takes its centre from a settings file.
  EXPECT_EQ(run("--bandpass 3 --settings my.cfg a.wav b.wav").bandpass->preset, 3);
}

}  // namespace
