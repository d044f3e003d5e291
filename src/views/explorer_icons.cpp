// Pictures of the explorer's image strip in the 16 colours of a classic palette: layers are
// colour-coded (cyan Ethernet, magenta network, green transport), headers are squares and
// their fields small diamonds.
#include "views/explorer_icons.h"

#include <QPainter>
#include <QPolygon>
#include <array>
#include <functional>

namespace wirelark {
namespace {

const QColor kBlack(0x00, 0x00, 0x00);
const QColor kWhite(0xFF, 0xFF, 0xFF);
const QColor kSilver(0xC0, 0xC0, 0xC0);
const QColor kGrey(0x80, 0x80, 0x80);
const QColor kNavy(0x00, 0x00, 0x80);
const QColor kBlue(0x00, 0x00, 0xFF);
const QColor kOlive(0x80, 0x80, 0x00);
const QColor kYellow(0xFF, 0xFF, 0x00);
const QColor kPurple(0x80, 0x00, 0x80);
const QColor kFuchsia(0xFF, 0x00, 0xFF);
const QColor kTeal(0x00, 0x80, 0x80);
const QColor kAqua(0x00, 0xFF, 0xFF);
const QColor kGreen(0x00, 0x80, 0x00);
const QColor kLime(0x00, 0xFF, 0x00);

void Box(QPainter& p, int x, int y, int w, int h, const QColor& fill, const QColor& edge) {
    p.fillRect(x, y, w, h, edge);
    p.fillRect(x + 1, y + 1, w - 2, h - 2, fill);
}

void Square(QPainter& p, const QColor& fill, const QColor& edge) {
    Box(p, 2, 2, 12, 11, fill, edge);
}

void Diamond(QPainter& p, const QColor& fill, const QColor& edge) {
    p.setPen(edge);
    p.setBrush(fill);
    p.drawPolygon(QPolygon({QPoint(8, 3), QPoint(12, 7), QPoint(8, 11), QPoint(4, 7)}));
}

void Dot(QPainter& p, const QColor& fill, const QColor& edge) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(edge);
    p.setBrush(fill);
    p.drawEllipse(QRectF(3.5, 3, 8, 8));
}

void Drive(QPainter& p, int y) {
    Box(p, 1, y, 14, 7, kSilver, kBlack);
    p.fillRect(2, y + 1, 12, 1, kWhite);
    p.fillRect(3, y + 4, 6, 1, kGrey);
    p.fillRect(11, y + 3, 2, 2, kLime);
}

void Floppy(QPainter& p) {
    Box(p, 1, 1, 14, 13, kNavy, kBlack);
    p.fillRect(4, 1, 7, 5, kSilver);
    p.fillRect(8, 2, 2, 3, kNavy);
    p.fillRect(3, 8, 10, 6, kWhite);
    p.fillRect(4, 10, 8, 1, kGrey);
}

void CompactDisc(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(kGrey);
    p.setBrush(kSilver);
    p.drawEllipse(QRectF(1.5, 1, 13, 13));
    p.setPen(QPen(kAqua, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(3.5, 3, 9, 9), 30 * 16, 60 * 16);
    p.setPen(kGrey);
    p.setBrush(kWhite);
    p.drawEllipse(QRectF(6, 5.5, 4, 4));
}

void NetworkDrive(QPainter& p) {
    Drive(p, 1);
    p.fillRect(7, 8, 2, 4, kBlack);
    p.fillRect(1, 12, 14, 2, kBlack);
}

void ClosedFolder(QPainter& p) {
    Box(p, 1, 2, 7, 3, kYellow, kOlive);
    Box(p, 1, 4, 14, 10, kYellow, kOlive);
    p.fillRect(2, 5, 12, 1, kWhite);
}

void OpenFolder(QPainter& p) {
    Box(p, 1, 2, 6, 3, kYellow, kOlive);
    Box(p, 1, 4, 12, 10, kYellow, kOlive);
    p.setPen(kOlive);
    p.setBrush(QColor(0xFF, 0xFF, 0x80));
    p.drawPolygon(QPolygon({QPoint(4, 7), QPoint(15, 7), QPoint(12, 13), QPoint(1, 13)}));
}

// A cable across the top with a plug hanging from it on a short lead.
void PlugOnCable(QPainter& p) {
    p.fillRect(0, 1, 16, 2, kBlue);
    p.fillRect(7, 3, 2, 3, kBlue);
    Box(p, 4, 6, 8, 6, kSilver, kBlack);
    p.fillRect(5, 7, 6, 1, kWhite);
    p.fillRect(5, 12, 2, 3, kOlive);
    p.fillRect(9, 12, 2, 3, kOlive);
}

using Painter = std::function<void(QPainter&)>;

const std::array<Painter, CExplorerIcons::kCount>& Pictures() {
    static const std::array<Painter, CExplorerIcons::kCount> pictures{
        [](QPainter& p) { Drive(p, 4); },
        Floppy,
        CompactDisc,
        NetworkDrive,
        ClosedFolder,
        OpenFolder,
        [](QPainter& p) { Diamond(p, kFuchsia, kPurple); },
        [](QPainter& p) { Square(p, kFuchsia, kPurple); },
        PlugOnCable,
        [](QPainter& p) { Square(p, kAqua, kTeal); },
        [](QPainter& p) { Diamond(p, kAqua, kTeal); },
        [](QPainter& p) { Dot(p, kSilver, kGrey); },
        [](QPainter& p) { Dot(p, kLime, kGreen); },
        [](QPainter& p) { Diamond(p, kLime, kGreen); },
        [](QPainter& p) { Square(p, kLime, kGreen); },
    };
    return pictures;
}

}  // namespace

QPixmap CExplorerIcons::Strip() {
    QPixmap strip(kWidth * kCount, kHeight);
    strip.fill(Qt::transparent);
    QPainter painter(&strip);
    for (int index = 0; index < kCount; ++index) {
        painter.save();
        painter.setClipRect(index * kWidth, 0, kWidth, kHeight);
        painter.translate(index * kWidth, 0);
        Pictures()[static_cast<std::size_t>(index)](painter);
        painter.restore();
    }
    return strip;
}

std::array<QIcon, CExplorerIcons::kCount> CExplorerIcons::Icons() {
    const QPixmap strip = Strip();
    std::array<QIcon, kCount> icons;
    for (int index = 0; index < kCount; ++index) {
        icons[static_cast<std::size_t>(index)] =
            QIcon(strip.copy(index * kWidth, 0, kWidth, kHeight));
    }
    return icons;
}

}  // namespace wirelark
