#include "shell/paint_box.h"

#include <QMouseEvent>
#include <QPainter>
#include <cstring>

PaintBox::PaintBox(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void PaintBox::draw(const QImage& picture, qreal scale) {
  // The box keeps a copy of its own, so that the next pass draws into the
  // window's image without that image being copied first.
  if (shown.size() == picture.size() && shown.format() == picture.format()) {
    std::memcpy(shown.bits(), picture.constBits(), static_cast<std::size_t>(picture.sizeInBytes()));
  } else {
    shown = picture.copy();
  }
  shown.setDevicePixelRatio(scale);
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

void PaintBox::leaveEvent(QEvent*) {
  if (on_leave) on_leave();
}
