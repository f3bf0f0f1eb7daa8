// The window program's command line and the folder of its settings.
#include "shell/start_options.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <string>
#include <variant>
#include <vector>

namespace {

std::variant<shell::StartOptions, shell::Answer> read(std::vector<std::string> words) {
  static std::vector<std::string> kept;
  kept = std::move(words);
  kept.insert(kept.begin(), "tonewell");
  std::vector<char*> argv;
  for (std::string& word : kept) argv.push_back(word.data());
  return shell::read_start_options(argv);
}

TEST(StartOptions, HelpVersionAndUsageErrorsAnswerWithoutAWindow) {
  const struct {
    std::vector<std::string> words;
    const char* out_start;
    const char* err;
    int status;
  } answers[] = {
      {{"-h"}, "Usage: tonewell [OPTION]... [FILE]\n", "", 0},
      {{"in.wav", "--help"}, "Usage: tonewell", "", 0},
      {{"-V"}, "tonewell " TONEWELL_VERSION "\n", "", 0},
      {{"--version"}, "tonewell " TONEWELL_VERSION "\n", "", 0},
      {{"-x"}, "", "tonewell: unknown option '-x'\n", 2},
      {{"--conf", "d"}, "", "tonewell: unknown option '--conf'\n", 2},
      {{"--config"}, "", "tonewell: --config needs a folder\n", 2},
      {{"-style"}, "", "tonewell: option '-style' needs a value\n", 2},
      {{"a.wav", "b.wav"}, "", "tonewell: more than one FILE: 'b.wav'\n", 2},
  };
  for (const auto& a : answers) {
    SCOPED_TRACE(a.words.front());
    const auto answer = std::get<shell::Answer>(read(a.words));
    EXPECT_TRUE(answer.out.starts_with(a.out_start)) << answer.out;
    const std::string err =
        a.status == 0 ? "" : std::string(a.err) + "Try 'tonewell --help' for more information.\n";
    EXPECT_EQ(answer.err, err);
    EXPECT_EQ(answer.status, a.status);
  }
}

TEST(StartOptions, AFileAFolderAndTheToolkitsOwnOptionsStartTheWindow) {
  auto options = std::get<shell::StartOptions>(
      read({"-platform", "offscreen", "--config=cfg", "--reverse", "--", "-odd.wav"}));
  EXPECT_EQ(options.config_dir, "cfg");
  EXPECT_EQ(options.file, "-odd.wav");
  EXPECT_EQ(std::vector<std::string>(options.toolkit_args.begin(), options.toolkit_args.end()),
            (std::vector<std::string>{"tonewell", "-platform", "offscreen", "--reverse"}));
  EXPECT_EQ(std::get<shell::StartOptions>(read({"--config", "my folder"})).config_dir, "my folder");
}

TEST(StartOptions, SettingsLiveInTheChosenThePortableOrTheUsersConfigFolder) {
  const QTemporaryDir temporary;
  const std::filesystem::path root = temporary.path().toStdString();
  const std::filesystem::path working = root / "working";
  std::filesystem::create_directory(working);
  EXPECT_EQ(shell::settings_folder({}, working, "/xdg", "/home/op"), "/xdg/tonewell");
  EXPECT_EQ(shell::settings_folder({}, working, "relative", "/home/op"),
            "/home/op/.config/tonewell");
  EXPECT_EQ(shell::settings_folder({}, working, nullptr, "/home/op"), "/home/op/.config/tonewell");
  EXPECT_EQ(shell::settings_folder({}, working, nullptr, nullptr), working);
  EXPECT_EQ(shell::settings_folder("chosen", working, "/xdg", "/home/op"), "chosen");
  std::ofstream(working / "ZOduvov.cfg") << "";
  EXPECT_EQ(shell::settings_folder({}, working, "/xdg", "/home/op"), working);
  EXPECT_EQ(shell::settings_folder("chosen", working, "/xdg", "/home/op"), "chosen");
}

}  // namespace
