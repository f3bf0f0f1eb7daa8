#include <QApplication>

#include "shell/Zoduvov.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ZForm = new TZForm;
  ZForm->show();
  app.exec();
  delete ZForm;
  return 0;
}
