// The per-user profile: integer entries by section, read with a built-in default at the moment
// of use and written at once. Colours are stored as 0x00BBGGRR integers.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <utility>

namespace wirelark {

class CProfile {
public:
    static int GetProfileInt(const QString& section, const QString& entry, int defaultValue);
    static void WriteProfileInt(const QString& section, const QString& entry, int value);
    // Opaque bytes, such as a window layout; empty when the entry is missing.
    static QByteArray GetProfileBinary(const QString& section, const QString& entry);
    // Writes several entries of a section with one sync, as a window's layout is written at exit.
    static void WriteProfileBinary(const QString& section,
                                   std::initializer_list<std::pair<QString, QByteArray>> entries);

    // Texts kept as the entries "<prefix>1", "<prefix>2", ... of a section, in order: at most
    // `maxCount`, each once, empty ones left out.
    static QStringList GetProfileList(const QString& section, const QString& prefix, int maxCount);
    // Replaces the whole section with `texts` as such entries.
    static void WriteProfileList(const QString& section, const QString& prefix,
                                 const QStringList& texts);

    // 0x00BBGGRR <-> QColor.
    static QColor ColorFromRef(int colorRef);
    static int RefFromColor(const QColor& color);
    static QColor GetProfileColor(const QString& entry, int defaultRef) {
        return ColorFromRef(GetProfileInt(QStringLiteral("Color"), entry, defaultRef));
    }
};

}  // namespace wirelark
