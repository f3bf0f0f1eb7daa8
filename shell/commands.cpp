#include "shell/commands.h"

#include <QDir>
#include <QStandardPaths>

namespace shell {

QStringList help_documents(const QString& working_folder, const QString& program_folder) {
  return {QDir(working_folder).filePath(QStringLiteral("DarizureDero.chm")),
          QDir(program_folder).filePath(QStringLiteral("manual.html")),
          QDir::cleanPath(program_folder + QStringLiteral("/../share/doc/tonewell/manual.html"))};
}

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
