// "About Wirelark": the program's name, version and two links, closed with OK.
#pragma once

#include <QDialog>

#include "common/message_sink.h"
#include "toolkit/hyperlink_label.h"

namespace wirelark {

class CAboutDlg final : public QDialog {
    Q_OBJECT

public:
    static QString WebAddress() { return QStringLiteral("https://wirelark.example.org/"); }
    static QString MailAddress() { return QStringLiteral("mailto:wirelark@example.org"); }

    explicit CAboutDlg(IMessageSink& messages, QWidget* parent = nullptr);

    CHyperlinkLabel* WebLink() const { return m_pWebLink; }
    CHyperlinkLabel* MailLink() const { return m_pMailLink; }

private:
    CHyperlinkLabel* m_pWebLink;
    CHyperlinkLabel* m_pMailLink;
};

}  // namespace wirelark
