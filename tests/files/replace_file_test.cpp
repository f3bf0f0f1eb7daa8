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
#include "tests/files/own_folder.h"

namespace {

namespace fs = std::filesystem;

class ReplaceFile : public files_test::OwnFolder {
 protected:
  std::set<fs::path> listing() const {
    std::set<fs::path> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder_)) names.insert(entry.path());
    return names;
  }
};

std::string contents(const fs::path& path) { return files_test::on_disk(path).bytes; }

std::span<const std::uint8_t> bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

bool replace(const fs::path& path, std::string_view text) {
  return files::replace_file(path.string(), bytes(text));
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
    EXPECT_TRUE(file.write(bytes("new ")));
    EXPECT_EQ(contents(path), "old");
    EXPECT_EQ(listing().size(), 2u);
  }
  // Abandoned: the old file stays and the new one is gone.
  EXPECT_EQ(contents(path), "old");
  EXPECT_EQ(listing(), std::set<fs::path>{path});

  files::ReplacingFile file(path.string());
  ASSERT_TRUE(file.write(bytes("first ")) && file.write(bytes("second")));
  // A header written first is put right before the file replaces the old.
  ASSERT_TRUE(file.write_at(0, bytes("FIRST")));
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

ino_t inode_of(const fs::path& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

files::SaveResult save(const fs::path& path, const files::Settings& settings) {
  return files::save_file(path.string(), files::serialise_settings(settings));
}

std::string settings_bytes(const files::Settings& settings) {
  const auto serialised = files::serialise_settings(settings);
  return {serialised.begin(), serialised.end()};
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

TEST_F(ReplaceFile, InAReadOnlyFolderAFileIsRewrittenInPlaceAndNoneIsMade) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  const fs::path path = folder_ / "ZOduvov.cfg";
  // A longer old file: what lies past the new bytes goes.
  const std::string old = settings_bytes(files::start_settings()) + "and some more";
  ASSERT_TRUE(replace(path, old));
  const ino_t old_inode = inode_of(path);
  fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(replace(path, "new"));
  EXPECT_EQ(contents(path), old);

  const files::SaveResult result = save(path, changed_settings());
  EXPECT_TRUE(result.saved);
  EXPECT_TRUE(result.in_place);
  EXPECT_EQ(contents(path), settings_bytes(changed_settings()));
  EXPECT_EQ(inode_of(path), old_inode);

  // No file to rewrite.
  const fs::path other = folder_ / "other.cfg";
  const files::SaveResult refused = save(other, changed_settings());
  EXPECT_FALSE(refused.saved);
  EXPECT_NE(refused.failure.find(other.string()), std::string::npos) << refused.failure;
  EXPECT_NE(refused.failure.find("Permission denied"), std::string::npos) << refused.failure;
  EXPECT_EQ(listing(), std::set<fs::path>{path});
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
