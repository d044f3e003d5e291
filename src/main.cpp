// Wirelark: a desktop packet monitor. Starts the application and its main window.
#include <QApplication>

#include "shell/wirelark_app.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    wirelark::CWirelarkApp theApp;
    if (!theApp.InitInstance(QCoreApplication::arguments().mid(1))) {
        return theApp.ExitCode();
    }
    return QApplication::exec();
}
