// The shell tests' entry: one application object for the whole run, made
// before the first test and destroyed after the last, and an empty working
// directory for every test.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtGlobal>
#include <filesystem>
#include <memory>

#include "shell/toolkit.h"

namespace {

// The window reads and writes its settings file in the working directory:
// each test starts in an empty one of its own, as on a first start.
class EmptyFolderPerTest : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo&) override {
    folder_ = std::make_unique<QTemporaryDir>();
    std::filesystem::current_path(folder_->path().toStdString());
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    folder_.reset();
  }

 private:
  std::unique_ptr<QTemporaryDir> folder_;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Windows are drawn off screen unless a run asks otherwise; listing the
  // tests must work without a display too.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int app_argc = 1;
  char name[] = "shell_tests";
  char* app_argv[] = {name, nullptr};
  shell::Application application(app_argc, app_argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new EmptyFolderPerTest);
  return RUN_ALL_TESTS();
}
