// Requests are recognised only as whole words, so an absolute path such as /home/a.cap is a
// file and never a request.
#include "shell/command_line_info.h"

namespace wirelark {
namespace {

enum class Flag { None, Print, PrintTo, Dde };

Flag FlagOf(const QString& argument) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) {
        return Flag::None;
    }
    const QString word = argument.mid(1);
    if (word == QLatin1String("p")) {
        return Flag::Print;
    }
    if (word == QLatin1String("pt")) {
        return Flag::PrintTo;
    }
    if (word == QLatin1String("dde")) {
        return Flag::Dde;
    }
    return Flag::None;
}

}  // namespace

CCommandLineInfo CCommandLineInfo::Parse(const QStringList& arguments) {
    CCommandLineInfo info;
    int parameters = 0;
    for (const QString& argument : arguments) {
        switch (FlagOf(argument)) {
            case Flag::Print:
                info.m_nShellCommand = Shell::FilePrint;
                continue;
            case Flag::PrintTo:
                info.m_nShellCommand = Shell::FilePrintTo;
                continue;
            case Flag::Dde:
                info.m_nShellCommand = Shell::FileDde;
                continue;
            case Flag::None:
                break;
        }
        switch (parameters++) {
            case 0:
                info.m_strFileName = argument;
                if (info.m_nShellCommand == Shell::FileNew) {
                    info.m_nShellCommand = Shell::FileOpen;
                }
                break;
            case 1:
                info.m_strPrinterName = argument;
                break;
            case 2:
                info.m_strDriverName = argument;
                break;
            case 3:
                info.m_strPortName = argument;
                break;
            default:
                break;
        }
    }
    return info;
}

}  // namespace wirelark
