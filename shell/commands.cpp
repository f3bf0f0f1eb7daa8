#include "shell/commands.h"

#include <QStandardPaths>

namespace shell {

std::optional<Command> volume_control() {
  for (const char* mixer : {"pavucontrol", "pwvucontrol"}) {
    const QString found = QStandardPaths::findExecutable(QString::fromLatin1(mixer));
    if (!found.isEmpty()) return Command{found, {}};
  }
  const QString alsamixer = QStandardPaths::findExecutable(QStringLiteral("alsamixer"));
  const QString terminal = QStandardPaths::findExecutable(QStringLiteral("x-terminal-emulator"));
  if (!alsamixer.isEmpty() && !terminal.isEmpty()) {
    return Command{terminal, {QStringLiteral("-e"), alsamixer}};
  }
  return std::nullopt;
}

}  // namespace shell
