// Each picture is painted at 16 by 16 logical pixels on a transparent background.
#include "shell/shell_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace wirelark {
namespace {

constexpr int kSize = 16;

void DrawPage(QPainter& p, const QColor& fill) {
    QPolygonF page{{3.5, 1.5}, {10.5, 1.5}, {13.5, 4.5}, {13.5, 14.5}, {3.5, 14.5}};
    p.setPen(QPen(QColor(80, 80, 80), 1));
    p.setBrush(fill);
    p.drawPolygon(page);
    p.drawPolyline(QPolygonF{{10.5, 1.5}, {10.5, 4.5}, {13.5, 4.5}});
}

void DrawCard(QPainter& p, const QRectF& r) {
    // A network card: green board, gold contacts, a port on the right.
    p.setPen(QPen(QColor(20, 90, 40), 1));
    p.setBrush(QColor(60, 160, 80));
    p.drawRect(r);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 180, 40));
    for (double x = r.left() + 1.5; x < r.right() - 4; x += 2) {
        p.drawRect(QRectF(x, r.bottom() - 1.5, 1, 2));
    }
    p.setBrush(QColor(40, 40, 40));
    p.drawRect(QRectF(r.right() - 4, r.top() + 1.5, 3, 3));
    p.setBrush(QColor(30, 30, 30));
    p.drawRect(QRectF(r.left() + 2, r.top() + 1.5, 4, 3));
}

void Paint(QPainter& p, CShellIcons::Id id) {
    using Id = CShellIcons::Id;
    switch (id) {
        case Id::Start: {
            p.setPen(QPen(QColor(20, 110, 20), 1));
            p.setBrush(QColor(40, 180, 40));
            p.drawPolygon(QPolygonF{{4.5, 2.5}, {13.5, 8}, {4.5, 13.5}});
            break;
        }
        case Id::Stop:
            p.setPen(QPen(QColor(140, 20, 20), 1));
            p.setBrush(QColor(210, 40, 40));
            p.drawRect(QRectF(3.5, 3.5, 9, 9));
            break;
        case Id::New:
            DrawPage(p, Qt::white);
            break;
        case Id::Open: {
            p.setPen(QPen(QColor(150, 110, 20), 1));
            p.setBrush(QColor(240, 200, 90));
            p.drawPolygon(QPolygonF{
                {1.5, 3.5}, {6.5, 3.5}, {7.5, 5.5}, {13.5, 5.5}, {13.5, 13.5}, {1.5, 13.5}});
            p.setBrush(QColor(250, 225, 140));
            p.drawPolygon(QPolygonF{{3.5, 7.5}, {15.5, 7.5}, {13.5, 13.5}, {1.5, 13.5}});
            break;
        }
        case Id::Save: {
            p.setPen(QPen(QColor(30, 50, 110), 1));
            p.setBrush(QColor(60, 90, 170));
            p.drawRect(QRectF(1.5, 1.5, 13, 13));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4.5, 1.5, 7, 5));
            p.setBrush(QColor(200, 200, 210));
            p.drawRect(QRectF(4.5, 9.5, 7, 5));
            break;
        }
        case Id::Print: {
            p.setPen(QPen(QColor(70, 70, 70), 1));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4.5, 1.5, 7, 5));
            p.setBrush(QColor(170, 170, 170));
            p.drawRect(QRectF(1.5, 6.5, 13, 6));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4.5, 10.5, 7, 4));
            p.setPen(QColor(40, 170, 40));
            p.drawPoint(QPointF(12.5, 8.5));
            break;
        }
        case Id::Adapters:
            DrawCard(p, QRectF(0.5, 1.5, 12, 6));
            DrawCard(p, QRectF(3.5, 8.5, 12, 6));
            break;
        case Id::Adapter:
            DrawCard(p, QRectF(0.5, 4.5, 15, 8));
            break;
        case Id::About: {
            p.setPen(QPen(QColor(20, 60, 150), 1));
            p.setBrush(QColor(60, 120, 220));
            p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
            QFont font = p.font();
            font.setPixelSize(11);
            font.setBold(true);
            p.setFont(font);
            p.setPen(Qt::white);
            p.drawText(QRectF(0, 0, kSize, kSize), Qt::AlignCenter, QStringLiteral("?"));
            break;
        }
        case Id::Filter: {
            p.setPen(QPen(QColor(60, 60, 120), 1));
            p.setBrush(QColor(120, 150, 230));
            p.drawPolygon(QPolygonF{
                {1.5, 2.5}, {14.5, 2.5}, {9.5, 8.5}, {9.5, 14.5}, {6.5, 12.5}, {6.5, 8.5}});
            break;
        }
        case Id::Ports: {
            // A plug: body, two pins, cable.
            p.setPen(QPen(QColor(60, 60, 60), 1));
            p.setBrush(QColor(230, 150, 40));
            p.drawRoundedRect(QRectF(3.5, 5.5, 9, 6), 1.5, 1.5);
            p.setBrush(QColor(200, 200, 200));
            p.drawRect(QRectF(5.5, 1.5, 1, 4));
            p.drawRect(QRectF(9.5, 1.5, 1, 4));
            p.setPen(QPen(QColor(60, 60, 60), 2));
            p.drawLine(QPointF(8, 11.5), QPointF(8, 15.5));
            break;
        }
        case Id::Product: {
            // A globe.
            p.setPen(QPen(QColor(20, 80, 140), 1));
            p.setBrush(QColor(90, 170, 230));
            p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRectF(5, 1.5, 6, 13));
            p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
            p.drawLine(QPointF(8, 1.5), QPointF(8, 14.5));
            break;
        }
    }
}

void PaintProgramIcon(QPainter& p, int size) {
    const double s = size / 16.0;
    p.scale(s, s);
    // A blue tile with a white trace of captured packets.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 90, 170));
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    QPainterPath trace;
    trace.moveTo(2, 10);
    trace.lineTo(5, 10);
    trace.lineTo(6.5, 4);
    trace.lineTo(8.5, 13);
    trace.lineTo(10, 7);
    trace.lineTo(11, 10);
    trace.lineTo(14, 10);
    p.setPen(QPen(Qt::white, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(trace);
}

}  // namespace

QPixmap CShellIcons::Picture(Id id) {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    Paint(painter, id);
    return pixmap;
}

QIcon CShellIcons::ProgramIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        PaintProgramIcon(painter, size);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace wirelark
