#include "shell/paint_box.h"

#include <QMouseEvent>
#include <QPainter>

PaintBox::PaintBox(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PaintBox::draw(const QImage& picture) {
  shown = picture;
  update();
}

void PaintBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  painter.drawImage(0, 0, shown);
}

void PaintBox::mouseMoveEvent(QMouseEvent* event) {
  if (on_mouse_move) {
    const QPoint at = event->position().toPoint();
    on_mouse_move(event->buttons(), at.x(), at.y());
  }
}

void PaintBox::mouseReleaseEvent(QMouseEvent* event) {
  if (on_mouse_up) {
    const QPoint at = event->position().toPoint();
    on_mouse_up(event->button(), at.x(), at.y());
  }
}
