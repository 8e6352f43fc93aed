#include "gui/workbench_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace sorvik::gui {

namespace {

constexpr int kSize = 16;

QPixmap Blank() {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPixmap Folder(const QColor& colour, bool filled) {
    QPixmap pixmap = Blank();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(colour.darker(160));
    painter.setBrush(colour);
    painter.drawRect(QRectF(1.5, 4.5, 13, 9));
    painter.drawRect(QRectF(1.5, 2.5, 5, 2));
    if (filled) {
        painter.setPen(QPen(Qt::white, 1));
        for (int y = 7; y <= 11; y += 2)
            painter.drawLine(QPointF(4, y), QPointF(12, y));
    }
    return pixmap;
}

QPixmap List(const QColor& mark) {
    QPixmap pixmap = Blank();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(90, 90, 90));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(2.5, 1.5, 11, 13));
    painter.setPen(QPen(mark, 1.5));
    for (int y = 4; y <= 12; y += 3)
        painter.drawLine(QPointF(4.5, y), QPointF(11.5, y));
    return pixmap;
}

}  // namespace

QIcon TaskStatusIcon(TaskIcon icon) {
    QPixmap pixmap = Blank();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    switch (icon) {
        case TaskIcon::kNew:
            painter.setPen(QPen(QColor(120, 120, 120), 1.5));
            painter.setBrush(Qt::white);
            painter.drawEllipse(QRectF(3.5, 3.5, 9, 9));
            break;
        case TaskIcon::kWaiting:
            painter.setPen(QPen(QColor(180, 120, 0), 1.5));
            painter.setBrush(QColor(255, 215, 90));
            painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
            painter.drawLine(QPointF(8, 8), QPointF(8, 4));
            painter.drawLine(QPointF(8, 8), QPointF(11, 9.5));
            break;
        case TaskIcon::kRunning:
            painter.setPen(QColor(0, 110, 0));
            painter.setBrush(QColor(40, 180, 40));
            painter.drawPolygon(QPolygonF({QPointF(3, 2), QPointF(14, 8), QPointF(3, 14)}));
            break;
        case TaskIcon::kPaused:
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(40, 90, 200));
            painter.drawRect(QRectF(3, 2, 4, 12));
            painter.drawRect(QRectF(9, 2, 4, 12));
            break;
        case TaskIcon::kFinished:
            painter.setPen(QPen(QColor(90, 90, 90), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.drawPolyline(QPolygonF({QPointF(2.5, 8.5), QPointF(6.5, 12.5), QPointF(13.5, 3.5)}));
            break;
        case TaskIcon::kDeleted:
            painter.setPen(QPen(QColor(200, 30, 30), 2.2, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
            painter.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
            break;
    }
    painter.end();
    return QIcon(pixmap);
}

QIcon TreeNodeIcon(int image) {
    switch (image) {
        case 0:
            return QIcon(List(QColor(40, 140, 40)));
        case 1:
            return QIcon(List(QColor(90, 90, 90)));
        case 3:
            return QIcon(Folder(QColor(230, 180, 60), true));
        case 4:
            return QIcon(List(QColor(200, 30, 30)));
        case 5: {
            QPixmap pixmap = List(QColor(40, 90, 200));
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(QColor(160, 80, 0), 2));
            painter.drawLine(QPointF(9, 14), QPointF(15, 6));
            return QIcon(pixmap);
        }
        default:
            return QIcon(Folder(QColor(240, 205, 110), false));
    }
}

}  // namespace sorvik::gui
