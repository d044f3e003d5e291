// A label that opens a web or mail address when clicked: underlined, blue until used, purple
// once opened, red under the mouse; a failure beeps and says so.
#pragma once

#include <QLabel>
#include <QUrl>
#include <functional>

#include "common/message_sink.h"

namespace wirelark {

// Opens an address with the desktop's default handler; false when that failed.
using UrlOpener = std::function<bool(const QUrl&)>;
UrlOpener DesktopUrlOpener();

class CHyperlinkLabel final : public QLabel {
    Q_OBJECT

public:
    static QColor UnvisitedColor() { return {0, 0, 238}; }
    static QColor VisitedColor() { return {85, 26, 139}; }
    static QColor HoverColor() { return {255, 0, 0}; }

    CHyperlinkLabel(const QString& text, const QUrl& address, IMessageSink& messages,
                    QWidget* parent = nullptr);

    void SetOpener(UrlOpener opener) { m_opener = std::move(opener); }
    const QUrl& Address() const { return m_address; }
    bool IsVisited() const { return m_bVisited; }
    QColor TextColor() const;

    // What a click does.
    void Open();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void ApplyColor();

    QUrl m_address;
    IMessageSink& m_messages;
    UrlOpener m_opener;
    bool m_bVisited = false;
    bool m_bHover = false;
};

}  // namespace wirelark
