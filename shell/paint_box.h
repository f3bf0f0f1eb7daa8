// The display surface: repaints the last picture copied onto it and passes
// mouse moves and button releases on, with X and Y in logical pixels, and
// the pointer leaving it.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

class PaintBox : public QWidget {
 public:
  explicit PaintBox(QWidget* parent);

  // Copies the whole picture onto the box at (0, 0), drawn in device
  // pixels: `scale` of them to a logical pixel.
  void draw(const QImage& picture, qreal scale);
  const QImage& picture() const { return shown; }

  std::function<void(Qt::MouseButtons buttons, int x, int y)> on_mouse_move;
  std::function<void(Qt::MouseButton button, int x, int y)> on_mouse_up;
  std::function<void()> on_leave;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QImage shown;
};
