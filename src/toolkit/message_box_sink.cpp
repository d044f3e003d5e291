// Modal message boxes for the core's messages.
#include "toolkit/message_box_sink.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace wirelark {
namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void CMessageBoxSink::ShowMessage(const std::string& text, MessageIcon icon) {
    auto show = [this, text, icon] {
        QMessageBox box(ToQtIcon(icon), Caption(), QString::fromStdString(text), QMessageBox::Ok,
                        m_pParent);
        box.exec();
    };
    if (QThread::currentThread() == qApp->thread()) {
        show();
    } else {
        QMetaObject::invokeMethod(qApp, show, Qt::BlockingQueuedConnection);
    }
}

}  // namespace wirelark
