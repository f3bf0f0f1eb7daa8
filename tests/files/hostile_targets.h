// Paths where no file may be written, or only through a link, made in a
// test's own folder; and what stands at a path, to tell what a write left.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <vector>

#include "files/replace_file.h"

namespace files_test {

namespace fs = std::filesystem;

struct OnDisk {
  fs::file_type type;      // of the path itself: symlink for a link
  fs::file_type leads_to;  // at the end of its links
  fs::perms perms;
  std::string bytes;  // of a regular file
  bool operator==(const OnDisk&) const = default;
};

inline OnDisk on_disk(const fs::path& path) {
  const fs::file_status status = fs::status(path);
  OnDisk disk{fs::symlink_status(path).type(), status.type(), status.permissions(), {}};
  if (disk.leads_to == fs::file_type::regular) {
    std::ifstream in(path, std::ios::binary);
    disk.bytes.assign(std::istreambuf_iterator(in), {});
  }
  return disk;
}

// What a write of `bytes` leaves where `before` stood: a link stays a link,
// and a file it made has 0666 less the umask.
inline OnDisk written(OnDisk before, std::string bytes) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (before.leads_to == fs::file_type::not_found) before.perms = fs::perms(0666 & ~mask);
  before.leads_to = fs::file_type::regular;
  before.bytes = std::move(bytes);
  return before;
}

struct Hostile {
  const char* name;
  fs::path path;
  files::Standing standing;  // at the end of its links
  std::string refusal;       // why a write is refused; empty when it is done
};

// One of each in `folder`, every regular file holding "old", the two that
// are written last. Links name their targets relative to the folder.
inline std::vector<Hostile> hostile_targets(const fs::path& folder) {
  const auto file = [&](const char* name, fs::perms perms) {
    std::ofstream(folder / name) << "old";
    fs::permissions(folder / name, perms);
  };
  const auto link = [&](const char* name, const char* to) {
    fs::create_symlink(to, folder / name);
    return folder / name;
  };
  file("read-only", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  file("regular", fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(::mkfifo((folder / "fifo").c_str(), 0644), 0);
  fs::create_directory(folder / "folder");
  using enum files::Standing;
  const std::string not_regular = "is not a regular file";
  std::vector<Hostile> targets = {
      {"a FIFO", folder / "fifo", special, not_regular},
      {"a folder", folder / "folder", special, not_regular},
      {"a read-only file", folder / "read-only", read_only, "is read-only"},
      {"a link to a read-only file", link("ro-link", "read-only"), read_only, "is read-only"},
      {"a link to a regular file", link("link", "regular"), regular, ""},
      {"a dangling link", link("dangling", "made"), absent, ""},
  };
  // A null device of its own (for root), never one of /dev.
  if (::mknod((folder / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    targets.insert(targets.begin(),
                   {"a link to a device", link("device-link", "null"), special, not_regular});
  }
  return targets;
}

// Runs `write` on a thread of its own. Should it wait on the FIFO at
// `fifo`, the FIFO is opened at both ends to let it go, and the test fails.
template <class Write>
void without_waiting(const fs::path& fifo, Write write) {
  std::future<void> done = std::async(std::launch::async, write);
  if (done.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
    const int both_ends = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    done.wait();
    if (both_ends >= 0) ::close(both_ends);
    ADD_FAILURE() << "waited on " << fifo;
  }
}

}  // namespace files_test
