// The four most recently opened or saved capture files, newest first, kept in the profile's
// "Recent File List" section as "File1" to "File4".
#pragma once

#include <QString>
#include <QStringList>

namespace wirelark {

class CRecentFileList {
public:
    explicit CRecentFileList(int size = 4) : m_nSize(size) {}

    void ReadList();
    void WriteList() const;

    // Puts the file first, once, and drops the oldest beyond the size.
    void Add(const QString& path);
    void Remove(int index);

    int GetSize() const { return m_nSize; }
    int Count() const { return static_cast<int>(m_files.size()); }
    QString operator[](int index) const { return m_files.value(index); }
    const QStringList& Files() const { return m_files; }
    // The menu text of an entry: "&1 " and the path.
    QString MenuText(int index) const;

private:
    int m_nSize;
    QStringList m_files;
};

}  // namespace wirelark
