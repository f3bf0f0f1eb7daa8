// The toolkit services the program relies on, over Qt Widgets.
#pragma once

#include <QApplication>
#include <QColor>
#include <QString>
#include <exception>
#include <functional>

class QUrl;
class QWidget;

namespace shell {

// Caption colours of two-state buttons and labels.
inline const QColor engaged_color{255, 0, 0};  // red: switched on
inline const QColor idle_color{0, 0, 255};     // blue: switched off
inline const QColor group_caption_color{255, 255, 0};

// Every report of the program: a line "tonewell: CAPTION: TEXT" on
// standard error, and a window-modal box with caption, text and an OK button
// over the active window. It returns at once: the box stays up until OK is
// clicked while the window and the processing cycle run on. While a sink is
// installed (tests), reports go to it instead of a box.
void show_report(const QString& caption, const QString& text);
inline std::function<void(const QString& caption, const QString& text)> report_sink;

// Opens a file or address with the desktop's program for it, and answers
// whether that started. While an opener is installed (tests), the address
// goes to it instead, and it answers.
bool open_url(const QUrl& url);
inline std::function<bool(const QUrl& url)> url_opener;

// A report as the program ends, after its window has gone: on standard
// error, and in a box that waits for OK unless the program ends on a
// termination signal (no one may be there to click).
void show_final_report(const QString& caption, const QString& text);
inline bool ending_on_signal = false;

// The application object. An exception that escapes a handler is shown in a
// report and the message loop carries on.
class Application : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override;
};

// Shows an exception in a report captioned "Tonewell": its message, or an
// empty text for anything thrown that is not an exception object.
void show_exception(std::exception_ptr error);

// Processes all pending window messages, timers included, and returns.
void process_messages();

// The font colour of a button's or label's caption.
void set_font_color(QWidget* widget, const QColor& color);
QColor font_color(const QWidget* widget);

}  // namespace shell
