// The shell tests' entry: one application object for the whole run, made
// before the first test and destroyed after the last, in an empty working
// directory.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtGlobal>
#include <filesystem>

#include "shell/toolkit.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Windows are drawn off screen unless a run asks otherwise; listing the
  // tests must work without a display too.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int app_argc = 1;
  char name[] = "shell_tests";
  char* app_argv[] = {name, nullptr};
  shell::Application application(app_argc, app_argv);
  // The window reads and writes its settings file in the working directory:
  // each test process has an empty one of its own.
  const QTemporaryDir folder;
  std::filesystem::current_path(folder.path().toStdString());
  return RUN_ALL_TESTS();
}
