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

// The desktop's volume control: the first of pavucontrol, pwvucontrol and
// alsamixer (in a terminal) found on the PATH; none when there is none.
std::optional<Command> volume_control();

}  // namespace shell
