// Qt gives no reason when an address cannot be opened, so a failure is reported as unknown.
#include "toolkit/hyperlink_label.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>

namespace wirelark {

UrlOpener DesktopUrlOpener() {
    return [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

CHyperlinkLabel::CHyperlinkLabel(const QString& text, const QUrl& address, IMessageSink& messages,
                                 QWidget* parent)
    : QLabel(text, parent), m_address(address), m_messages(messages), m_opener(DesktopUrlOpener()) {
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setToolTip(address.toString());
    setCursor(Qt::PointingHandCursor);
    ApplyColor();
}

QColor CHyperlinkLabel::TextColor() const {
    if (m_bHover) {
        return HoverColor();
    }
    return m_bVisited ? VisitedColor() : UnvisitedColor();
}

void CHyperlinkLabel::Open() {
    if (m_opener && m_opener(m_address)) {
        m_bVisited = true;
        ApplyColor();
        return;
    }
    QApplication::beep();
    m_messages.ShowMessage("Unable to open hyperlink:\n\nUnknown Error (0) occurred.",
                           MessageIcon::Warning);
}

void CHyperlinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        Open();
    }
    QLabel::mouseReleaseEvent(event);
}

void CHyperlinkLabel::enterEvent(QEnterEvent* event) {
    m_bHover = true;
    ApplyColor();
    QLabel::enterEvent(event);
}

void CHyperlinkLabel::leaveEvent(QEvent* event) {
    m_bHover = false;
    ApplyColor();
    QLabel::leaveEvent(event);
}

void CHyperlinkLabel::ApplyColor() {
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, TextColor());
    setPalette(palette);
}

}  // namespace wirelark
