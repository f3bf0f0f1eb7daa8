#include "files/replace_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "files/settings_format.h"
#include "tests/files/hostile_targets.h"

namespace {

namespace fs = std::filesystem;

class ReplaceFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tonewell-files.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    fs::permissions(folder_, fs::perms::owner_all);
    fs::remove_all(folder_);
  }

  std::set<fs::path> listing() const {
    std::set<fs::path> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder_)) names.insert(entry.path());
    return names;
  }

  fs::path folder_;
};

std::string contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

bool replace(const fs::path& path, std::string_view bytes) {
  return files::replace_file(path.string(),
                             {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

TEST_F(ReplaceFile, WritesANewFileThenReplacesItKeepingItsPermissions) {
  const fs::path path = folder_ / "ZOduvov.cfg";
  ASSERT_TRUE(replace(path, "first contents"));
  EXPECT_EQ(contents(path), "first contents");

  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(replace(path, "second"));
  EXPECT_EQ(contents(path), "second");
  EXPECT_EQ(fs::status(path).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(listing(), std::set<fs::path>{path});
}

TEST_F(ReplaceFile, FailsLeavingNothingBehindWhenItCannotCreateOrRename) {
  const fs::path taken = folder_ / "taken";
  fs::create_directory(taken);
  fs::create_directory(taken / "inside");
  const auto before = listing();
  // No folder to write in; a folder where the file should go.
  for (const fs::path& path : {folder_ / "missing" / "file", taken}) {
    EXPECT_FALSE(replace(path, "contents")) << path;
    EXPECT_EQ(listing(), before) << path;
  }
}

TEST_F(ReplaceFile, APieceByPieceFileReplacesTheOldOnlyWhenCommitted) {
  const fs::path path = folder_ / "out.wav";
  ASSERT_TRUE(replace(path, "old"));
  {
    files::ReplacingFile file(path.string());
    ASSERT_TRUE(file.ok());
    const std::string_view piece = "new ";
    EXPECT_TRUE(file.write({reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()}));
    EXPECT_EQ(contents(path), "old");
    EXPECT_EQ(listing().size(), 2u);
  }
  // Abandoned: the old file stays and the new one is gone.
  EXPECT_EQ(contents(path), "old");
  EXPECT_EQ(listing(), std::set<fs::path>{path});

  files::ReplacingFile file(path.string());
  for (const std::string_view piece : {"first ", "second"}) {
    ASSERT_TRUE(file.write({reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()}));
  }
  // A header written first is put right before the file replaces the old.
  const std::string_view header = "FIRST";
  const auto bytes = [](std::string_view text) {
    return std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  };
  ASSERT_TRUE(file.write_at(0, bytes(header)));
  EXPECT_EQ(contents(path), "old");
  ASSERT_TRUE(file.commit());
  EXPECT_EQ(contents(path), "FIRST second");
  EXPECT_EQ(listing(), std::set<fs::path>{path});

  // Past what was written is refused, and the file abandoned.
  files::ReplacingFile past(path.string());
  ASSERT_TRUE(past.write(bytes("ab")));
  EXPECT_FALSE(past.write_at(1, bytes("cd")));
  EXPECT_FALSE(past.commit());
  EXPECT_EQ(contents(path), "FIRST second");
  EXPECT_EQ(listing(), std::set<fs::path>{path});

  files::ReplacingFile nowhere((folder_ / "missing" / "out.wav").string());
  EXPECT_FALSE(nowhere.ok());
  EXPECT_EQ(nowhere.error(), ENOENT);
  EXPECT_FALSE(nowhere.commit());
}

TEST_F(ReplaceFile, FailsInAReadOnlyFolderLeavingTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  const fs::path path = folder_ / "ZOduvov.cfg";
  ASSERT_TRUE(replace(path, "old"));
  fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(replace(path, "new"));
  EXPECT_EQ(contents(path), "old");
  EXPECT_EQ(listing(), std::set<fs::path>{path});
}

ino_t inode_of(const fs::path& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

files::SaveResult save(const fs::path& path, const files::Settings& settings) {
  return files::save_file(path.string(), files::serialise_settings(settings));
}

std::string settings_bytes(const files::Settings& settings) {
  const auto bytes = files::serialise_settings(settings);
  return {bytes.begin(), bytes.end()};
}

files::Settings changed_settings() {
  files::Settings settings = files::start_settings();
  settings.bp_center = 0.25f;
  settings.output_device_id = 3;
  return settings;
}

TEST_F(ReplaceFile, SavingInAWritableFolderReplacesTheFileAsAWhole) {
  const fs::path path = folder_ / "ZOduvov.cfg";
  ASSERT_TRUE(save(path, files::start_settings()).saved);
  const ino_t first = inode_of(path);
  const files::SaveResult result = save(path, changed_settings());
  EXPECT_TRUE(result.saved);
  EXPECT_FALSE(result.in_place);
  EXPECT_TRUE(result.failure.empty());
  EXPECT_EQ(contents(path), settings_bytes(changed_settings()));
  EXPECT_NE(inode_of(path), first);
  EXPECT_EQ(listing(), std::set<fs::path>{path});
}

TEST_F(ReplaceFile, SavingInAReadOnlyFolderRewritesAWritableFileInPlace) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  const fs::path path = folder_ / "ZOduvov.cfg";
  // A longer old file: what lies past the new bytes goes.
  ASSERT_TRUE(replace(path, settings_bytes(files::start_settings()) + "and some more"));
  const ino_t old = inode_of(path);
  fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
  const files::SaveResult result = save(path, changed_settings());
  EXPECT_TRUE(result.saved);
  EXPECT_TRUE(result.in_place);
  EXPECT_EQ(contents(path), settings_bytes(changed_settings()));
  EXPECT_EQ(fs::file_size(path), files::settings_size);
  EXPECT_EQ(inode_of(path), old);
  EXPECT_EQ(listing(), std::set<fs::path>{path});
}

TEST_F(ReplaceFile, SavingThatCanNeitherReplaceNorRewriteSaysWhy) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
  // No file to rewrite.
  const fs::path path = folder_ / "ZOduvov.cfg";
  const files::SaveResult result = save(path, changed_settings());
  EXPECT_FALSE(result.saved);
  EXPECT_NE(result.failure.find(path.string()), std::string::npos) << result.failure;
  EXPECT_NE(result.failure.find("Permission denied"), std::string::npos) << result.failure;
  EXPECT_TRUE(listing().empty());
}

TEST_F(ReplaceFile, OnlyRegularFilesAreReadOrSavedAndLinksStayLinks) {
  const auto targets = files_test::hostile_targets(folder_);
  const std::size_t entries = listing().size();
  const std::string saved = settings_bytes(changed_settings());
  for (const files_test::Hostile& target : targets) {
    SCOPED_TRACE(target.name);
    const files_test::OnDisk before = files_test::on_disk(target.path);
    EXPECT_EQ(files::follow_links(target.path.string()).standing, target.standing);
    files::ReadFile read;
    files::SaveResult result;
    files_test::without_waiting(folder_ / "fifo", [&] {
      read = files::read_regular(target.path.string(), 124);
      result = save(target.path, changed_settings());
    });
    EXPECT_EQ(read.standing, target.standing);
    EXPECT_EQ(std::string(read.bytes.begin(), read.bytes.end()), before.bytes);
    EXPECT_EQ(result.saved, target.refusal.empty());
    EXPECT_NE(result.failure.find(target.refusal), std::string::npos) << result.failure;
    EXPECT_EQ(files_test::on_disk(target.path),
              target.refusal.empty() ? files_test::written(before, saved) : before);
  }
  // The file the dangling link names, and nothing left beside it.
  EXPECT_EQ(listing().size(), entries + 1);

  for (const std::size_t most : {2u, 3u}) {
    const files::ReadFile read = files::read_regular((folder_ / "read-only").string(), most);
    EXPECT_EQ(std::string(read.bytes.begin(), read.bytes.end()), std::string("old", most));
    EXPECT_EQ(read.longer, most < 3) << most;
  }
}

}  // namespace
