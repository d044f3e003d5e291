// Places the setup pages' controls in dialog units, which scale with the page's font, so the
// pages keep their proportions under any font the desktop chooses.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>

namespace wirelark {

class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font) {
        const QFontMetrics metrics(font);
        const int alphabet = metrics.horizontalAdvance(
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        m_nBaseX = (alphabet / 26 + 1) / 2;
        m_nBaseY = metrics.height();
    }

    int X(int units) const { return (units * m_nBaseX + 2) / 4; }
    int Y(int units) const { return (units * m_nBaseY + 4) / 8; }
    QRect Rect(int x, int y, int width, int height) const {
        return {X(x), Y(y), X(width), Y(height)};
    }

private:
    int m_nBaseX = 0;
    int m_nBaseY = 0;
};

// Both pages are 200 by 120 units, framed by an untitled group box.
inline constexpr int kSetupPageWidth = 200;
inline constexpr int kSetupPageHeight = 120;

}  // namespace wirelark
