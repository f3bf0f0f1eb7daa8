// Programs outside Tonewell that its commands start.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace shell {

struct Command {
  QString program;
  QStringList arguments;
};

// The documents Help opens, the first found that the desktop can open: the
// help file in the working folder, then the manual beside the program, then
// the manual where an installed program keeps it.
QStringList help_documents(const QString& working_folder, const QString& program_folder);

// The desktop's volume control: the first of pavucontrol, pwvucontrol and
// alsamixer (in a terminal) found on the PATH; none when there is none.
std::optional<Command> volume_control();

}  // namespace shell
