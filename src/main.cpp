// Wirelark: a desktop packet monitor. Starts the application and its main window.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Untitled - Wirelark"));
    window.resize(800, 600);
    window.show();
    return QApplication::exec();
}
