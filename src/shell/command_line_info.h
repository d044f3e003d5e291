// What the program was asked to do on its command line: "/p", "/pt" and "/dde" (or with "-")
// are requests, every other argument is a file path.
#pragma once

#include <QString>
#include <QStringList>

namespace wirelark {

struct CCommandLineInfo {
    enum class Shell { FileNew, FileOpen, FilePrint, FilePrintTo, FileDde };

    Shell m_nShellCommand = Shell::FileNew;
    QString m_strFileName;
    QString m_strPrinterName;
    QString m_strDriverName;
    QString m_strPortName;

    // `arguments` without the program's own name.
    static CCommandLineInfo Parse(const QStringList& arguments);
};

}  // namespace wirelark
