#include "gui/tool_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace vexilo::gui {
namespace {

// A small card with its contact pad, the thing every command talks to.
void DrawCard(QPainter& p) {
  p.setPen(QPen(QColor(0x20, 0x40, 0x70), 1.5));
  p.setBrush(QColor(0x70, 0xA0, 0xD8));
  p.drawRoundedRect(QRectF(2, 7, 24, 16), 3, 3);
  p.setBrush(QColor(0xE0, 0xC0, 0x60));
  p.setPen(QPen(QColor(0x80, 0x60, 0x20), 1));
  p.drawRect(QRectF(5, 12, 7, 6));
}

void DrawArrow(QPainter& p, QPointF from, QPointF to, QColor colour) {
  p.setPen(QPen(colour, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(from, to);
  QLineF line(to, from);
  QLineF a = line, b = line;
  a.setLength(6);
  b.setLength(6);
  a.setAngle(line.angle() + 35);
  b.setAngle(line.angle() - 35);
  p.drawLine(a);
  p.drawLine(b);
}

}  // namespace

QIcon MakeToolIcon(ToolIcon icon) {
  QPixmap pixmap(28, 28);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor green(0x20, 0x90, 0x30), red(0xC0, 0x20, 0x20);
  switch (icon) {
    case ToolIcon::Load:  // a folder and an arrow out of it
      p.setPen(QPen(QColor(0x80, 0x60, 0x10), 1.5));
      p.setBrush(QColor(0xF0, 0xC8, 0x50));
      p.drawRect(QRectF(2, 10, 20, 15));
      p.drawRect(QRectF(2, 7, 9, 3));
      DrawArrow(p, {19, 20}, {25, 4}, green);
      break;
    case ToolIcon::Save:  // a floppy disk
      p.setPen(QPen(QColor(0x20, 0x20, 0x50), 1.5));
      p.setBrush(QColor(0x40, 0x50, 0x90));
      p.drawRect(QRectF(3, 3, 22, 22));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(7, 3, 14, 8));
      p.setBrush(QColor(0xC0, 0xC0, 0xC0));
      p.drawRect(QRectF(7, 16, 14, 9));
      break;
    case ToolIcon::Read:
      DrawCard(p);
      DrawArrow(p, {17, 15}, {17, 2}, green);
      break;
    case ToolIcon::Program:
      DrawCard(p);
      DrawArrow(p, {18, 1}, {18, 14}, red);
      break;
    case ToolIcon::Verify:
      DrawCard(p);
      p.setPen(QPen(green, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPolyline(QPolygonF({QPointF(13, 15), QPointF(18, 21), QPointF(26, 4)}));
      break;
    case ToolIcon::Erase:
      DrawCard(p);
      p.setPen(QPen(red, 3.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(14, 10), QPointF(24, 22));
      p.drawLine(QPointF(24, 10), QPointF(14, 22));
      break;
    case ToolIcon::SetBits: {  // a padlock: lock and fuse bits
      p.setPen(QPen(QColor(0x50, 0x50, 0x50), 3));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(8, 3, 12, 14), 0, 180 * 16);
      p.drawLine(QPointF(8, 10), QPointF(8, 13));
      p.drawLine(QPointF(20, 10), QPointF(20, 13));
      p.setPen(QPen(QColor(0x80, 0x60, 0x10), 1.5));
      p.setBrush(QColor(0xF0, 0xC8, 0x50));
      p.drawRoundedRect(QRectF(4, 13, 20, 13), 2, 2);
      p.setBrush(QColor(0x40, 0x30, 0x10));
      p.drawEllipse(QPointF(14, 19), 2, 2);
      break;
    }
    case ToolIcon::Stop: {  // a stop sign
      QPolygonF octagon;
      for (int i = 0; i < 8; ++i) {
        QLineF ray(QPointF(14, 14), QPointF(26, 14));
        ray.setAngle(22.5 + 45 * i);
        octagon << ray.p2();
      }
      p.setPen(QPen(QColor(0x70, 0x10, 0x10), 1.5));
      p.setBrush(red);
      p.drawPolygon(octagon);
      p.setPen(QPen(Qt::white, 3));
      p.drawLine(QPointF(9, 14), QPointF(19, 14));
      break;
    }
  }
  p.end();
  return QIcon(pixmap);
}

QIcon MakeWindowIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 28.0, size / 28.0);
    DrawCard(p);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace vexilo::gui
