// The per-user profile: integer entries by section, read with a built-in default at the moment
// of use and written at once. Colours are stored as 0x00BBGGRR integers.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>

namespace wirelark {

class CProfile {
public:
    static int GetProfileInt(const QString& section, const QString& entry, int defaultValue);
    static void WriteProfileInt(const QString& section, const QString& entry, int value);
    // Opaque bytes, such as a window layout; empty when the entry is missing.
    static QByteArray GetProfileBinary(const QString& section, const QString& entry);
    static void WriteProfileBinary(const QString& section, const QString& entry,
                                   const QByteArray& value);

    // 0x00BBGGRR <-> QColor.
    static QColor ColorFromRef(int colorRef);
    static int RefFromColor(const QColor& color);
    static QColor GetProfileColor(const QString& entry, int defaultRef) {
        return ColorFromRef(GetProfileInt(QStringLiteral("Color"), entry, defaultRef));
    }
};

}  // namespace wirelark
