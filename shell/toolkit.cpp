#include "shell/toolkit.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QWidget>
#include <cstdio>

namespace shell {

namespace {

void print_report(const QString& caption, const QString& text) {
  QString line = QStringLiteral("tonewell: ") + caption + QStringLiteral(": ") + text;
  line.replace(QLatin1Char('\n'), QLatin1Char(' '));
  std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
  std::fflush(stderr);
}

}  // namespace

void show_report(const QString& caption, const QString& text) {
  print_report(caption, text);
  if (report_sink) {
    report_sink(caption, text);
    return;
  }
  auto* box = new QMessageBox(QMessageBox::Information, caption, text, QMessageBox::Ok,
                              QApplication::activeWindow());
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

bool open_url(const QUrl& url) {
  if (url_opener) return url_opener(url);
  return QDesktopServices::openUrl(url);
}

void show_final_report(const QString& caption, const QString& text) {
  print_report(caption, text);
  if (report_sink) {
    report_sink(caption, text);
    return;
  }
  if (!ending_on_signal) QMessageBox::warning(nullptr, caption, text, QMessageBox::Ok);
}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    show_exception(std::current_exception());
  }
  return false;
}

void show_exception(std::exception_ptr error) {
  QString text;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& escaped) {
    text = QString::fromLocal8Bit(escaped.what());
  } catch (...) {
    // Anything else is shown with an empty text.
  }
  show_report("Tonewell", text);
}

void process_messages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void set_font_color(QWidget* widget, const QColor& color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::ButtonText, color);
  palette.setColor(QPalette::WindowText, color);
  palette.setColor(QPalette::Text, color);
  widget->setPalette(palette);
}

QColor font_color(const QWidget* widget) { return widget->palette().color(QPalette::ButtonText); }

}  // namespace shell
