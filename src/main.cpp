// Wirelark: a desktop packet monitor. Starts the application and its main window.
#include <QApplication>

#include "capture/capabilities.h"
#include "shell/wirelark_app.h"

int main(int argc, char** argv) {
    // Before any thread starts, so that none holds the raw-capture rights but while opening a
    // device.
    wirelark::DropEffectiveCapabilities();
    QApplication app(argc, argv);
    wirelark::CWirelarkApp theApp;
    if (!theApp.InitInstance(QCoreApplication::arguments().mid(1))) {
        return theApp.ExitCode();
    }
    return QApplication::exec();
}
