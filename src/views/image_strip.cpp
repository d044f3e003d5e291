// Painted images of the list strip: a document, a folder, a packet, a network adapter and a
// filter, each 16 by 15 pixels on a transparent background.
#include "views/image_strip.h"

#include <QPainter>
#include <QPainterPath>

namespace wirelark {
namespace {

void DrawDocument(QPainter& p) {
    p.setPen(QColor(64, 64, 64));
    p.setBrush(Qt::white);
    p.drawRect(3, 1, 9, 12);
    p.drawLine(5, 4, 10, 4);
    p.drawLine(5, 7, 10, 7);
    p.drawLine(5, 10, 10, 10);
}

void DrawFolder(QPainter& p) {
    p.setPen(QColor(128, 96, 0));
    p.setBrush(QColor(255, 214, 90));
    p.drawRect(1, 4, 13, 9);
    p.drawRect(1, 2, 5, 2);
}

void DrawPacket(QPainter& p) {
    // An envelope-like frame: header band in blue, body in white.
    p.setPen(QColor(0, 64, 128));
    p.setBrush(Qt::white);
    p.drawRect(1, 2, 13, 10);
    p.fillRect(2, 3, 12, 3, QColor(64, 128, 224));
    p.setPen(QColor(0, 96, 0));
    p.drawLine(3, 8, 12, 8);
    p.drawLine(3, 10, 9, 10);
}

void DrawAdapter(QPainter& p) {
    p.setPen(QColor(0, 80, 0));
    p.setBrush(QColor(32, 160, 64));
    p.drawRect(1, 3, 13, 7);
    p.setBrush(QColor(220, 180, 40));
    for (int x = 3; x < 13; x += 3) {
        p.drawRect(x, 10, 1, 3);
    }
    p.fillRect(4, 5, 4, 3, QColor(40, 40, 40));
}

void DrawFilter(QPainter& p) {
    QPainterPath funnel;
    funnel.moveTo(1, 2);
    funnel.lineTo(14, 2);
    funnel.lineTo(9, 8);
    funnel.lineTo(9, 13);
    funnel.lineTo(6, 11);
    funnel.lineTo(6, 8);
    funnel.closeSubpath();
    p.setPen(QColor(96, 48, 0));
    p.setBrush(QColor(240, 140, 40));
    p.drawPath(funnel);
}

}  // namespace

QPixmap CImageStrip::ListImage(int index) {
    if (index < 0 || index >= kListImageCount) {
        return {};
    }
    QPixmap image(16, 15);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    using Draw = void (*)(QPainter&);
    static constexpr Draw kDraw[kListImageCount] = {DrawDocument, DrawFolder, DrawPacket,
                                                    DrawAdapter, DrawFilter};
    kDraw[index](painter);
    return image;
}

}  // namespace wirelark
