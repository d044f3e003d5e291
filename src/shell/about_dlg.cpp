// The About box, sized like its 290 by 191 dialog-unit original.
#include "shell/about_dlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>

#include "shell/shell_icons.h"

namespace wirelark {

CAboutDlg::CAboutDlg(IMessageSink& messages, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Wirelark"));
    auto* layout = new QGridLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(CShellIcons::ProgramIcon().pixmap(48, 48));
    layout->addWidget(icon, 0, 0, 4, 1, Qt::AlignTop);

    auto* name = new QLabel(QStringLiteral("<b>Wirelark  Light</b> version 0.1"), this);
    layout->addWidget(name, 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("A packet monitor for Ethernet adapters:\n"
                                                "capture, filter, decode, save and print."),
                                 this),
                      1, 1);
    layout->addWidget(
        new QLabel(QStringLiteral("Copyright \u00A9 2026 the Wirelark developers"), this), 2, 1);

    auto* links = new QGridLayout;
    links->addWidget(new QLabel(QStringLiteral("Web:"), this), 0, 0);
    m_pWebLink = new CHyperlinkLabel(WebAddress(), QUrl(WebAddress()), messages, this);
    m_pWebLink->setObjectName(QStringLiteral("webLink"));
    links->addWidget(m_pWebLink, 0, 1);
    links->addWidget(new QLabel(QStringLiteral("E-mail:"), this), 1, 0);
    m_pMailLink = new CHyperlinkLabel(MailAddress().mid(7), QUrl(MailAddress()), messages, this);
    m_pMailLink->setObjectName(QStringLiteral("mailLink"));
    links->addWidget(m_pMailLink, 1, 1);
    links->setColumnStretch(2, 1);
    layout->addLayout(links, 3, 1);
    layout->setRowStretch(4, 1);
    layout->setColumnStretch(1, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons, 5, 0, 1, 2);
    resize(435, 310);
}

}  // namespace wirelark
