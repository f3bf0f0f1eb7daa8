// The Help and About commands and the volume button.
#include "shell/commands.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <vector>

#include "tests/shell/test_application.h"

namespace {

using Commands = StoppedWindow;

// A program on the PATH that leaves a mark when it runs.
void fake_program(const QTemporaryDir& folder, const QString& name) {
  QFile script(folder.filePath(name));
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write(QString("#!/bin/sh\n: > '%1'\n").arg(folder.filePath(name + ".ran")).toUtf8());
  script.close();
  script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The version is the one CMake sets, which tonewell --version prints too.
TEST_F(Commands, AboutShowsTheProgramItsVersionAndItsLicence) {
  form.About1Click();
  ASSERT_EQ(recorder.reports.size(), 1u);
  EXPECT_EQ(recorder.reports[0].first, "About Tonewell");
  EXPECT_EQ(recorder.reports[0].second,
            "Tonewell receiver audio filter\n             Version " TONEWELL_VERSION
            "\n\nFree software under the GNU General Public License, version 3 or later "
            "(GPL-3.0-or-later), with no warranty.");
}

// Every address handed to the desktop while it lives; the desktop opens
// them or not as `opens` says.
struct OpenedUrls {
  OpenedUrls() {
    shell::url_opener = [this](const QUrl& url) {
      urls.push_back(url);
      return opens;
    };
  }
  ~OpenedUrls() { shell::url_opener = nullptr; }
  std::vector<QUrl> urls;
  bool opens = true;
};

TEST_F(Commands, HelpOpensItsFileFromTheWorkingFolderOrSaysWhereItIs) {
  OpenedUrls desktop;
  const QString text = "Could not run the help application";
  form.HelpMenu1Click();
  EXPECT_TRUE(desktop.urls.empty()) << "nothing to open";
  ASSERT_EQ(recorder.reports.size(), 1u);
  EXPECT_EQ(recorder.reports[0], std::pair(QString("Tonewell"), text));

  QFile help(QDir::current().filePath("DarizureDero.chm"));
  ASSERT_TRUE(help.open(QIODevice::WriteOnly));
  help.close();
  form.HelpMenu1Click();
  EXPECT_EQ(desktop.urls, std::vector{QUrl::fromLocalFile(help.fileName())});
  EXPECT_EQ(recorder.reports.size(), 1u);
  desktop.opens = false;
  form.HelpMenu1Click();
  EXPECT_EQ(desktop.urls.size(), 2u);
  ASSERT_EQ(recorder.reports.size(), 2u);
  EXPECT_EQ(recorder.reports[1].second, text + "\nThe manual is at " + help.fileName());
}

TEST(HelpDocuments, TheHelpFileThenTheManualBesideTheProgramThenTheInstalledOne) {
  EXPECT_EQ(shell::help_documents("/home/op/radio", "/opt/tonewell/bin"),
            (QStringList{"/home/op/radio/DarizureDero.chm", "/opt/tonewell/bin/manual.html",
                         "/opt/tonewell/share/doc/tonewell/manual.html"}));
}

TEST_F(Commands, VolumeStartsTheFirstMixerFoundAndSaysOnceThatThereIsNone) {
  const QByteArray path = qgetenv("PATH");
  QTemporaryDir folder;
  qputenv("PATH", folder.path().toUtf8());
  EXPECT_FALSE(shell::volume_control().has_value());
  form.BitBtn1->click();
  form.BitBtn1->click();
  ASSERT_EQ(recorder.reports.size(), 1u);
  EXPECT_EQ(recorder.reports[0].first, "Tonewell");
  EXPECT_EQ(recorder.reports[0].second,
            "No volume control found: looked for pavucontrol, pwvucontrol and alsamixer (with "
            "x-terminal-emulator).");

  fake_program(folder, "pwvucontrol");
  fake_program(folder, "alsamixer");
  ASSERT_TRUE(shell::volume_control().has_value());
  EXPECT_EQ(shell::volume_control()->program, folder.filePath("pwvucontrol"));
  fake_program(folder, "pavucontrol");
  EXPECT_EQ(shell::volume_control()->program, folder.filePath("pavucontrol"));

  form.BitBtn1->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(folder.filePath("pavucontrol.ran")); }));
  EXPECT_FALSE(QFile::exists(folder.filePath("pwvucontrol.ran")));
  EXPECT_EQ(recorder.reports.size(), 1u);
  qputenv("PATH", path);
}

}  // namespace
