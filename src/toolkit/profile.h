// The per-user profile: integer entries by section, read with a built-in default at the moment
// of use and written at once. Colours are stored as 0x00BBGGRR integers.
#pragma once

#include <QColor>
#include <QString>

namespace wirelark {

class CProfile {
public:
    static int GetProfileInt(const QString& section, const QString& entry, int defaultValue);
    static void WriteProfileInt(const QString& section, const QString& entry, int value);

    // 0x00BBGGRR <-> QColor.
    static QColor ColorFromRef(int colorRef);
    static int RefFromColor(const QColor& color);
    static QColor GetProfileColor(const QString& entry, int defaultRef) {
        return ColorFromRef(GetProfileInt(QStringLiteral("Color"), entry, defaultRef));
    }
};

}  // namespace wirelark
