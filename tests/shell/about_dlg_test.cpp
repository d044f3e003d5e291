// The About box and its two links.
#include "shell/about_dlg.h"

#include <gtest/gtest.h>

#include "qt_printers.h"
#include "support/capture_fakes.h"

namespace wirelark {
namespace {

TEST(AboutDlgTest, LinksOpenTheirAddressesAndTurnPurpleOrSayWhyNot) {
    test::CRecordingMessageSink messages;
    CAboutDlg about(messages);
    EXPECT_EQ(about.windowTitle(), "About Wirelark");
    // A link that cannot be opened says so and stays unvisited.
    about.WebLink()->SetOpener([](const QUrl&) { return false; });
    about.WebLink()->Open();
    EXPECT_EQ(messages.Texts(),
              std::vector<std::string>{"Unable to open hyperlink:\n\nUnknown Error (0) occurred."});
    EXPECT_EQ(messages.Icons(), std::vector<MessageIcon>{MessageIcon::Warning});
    QList<QUrl> opened;
    for (CHyperlinkLabel* link : {about.WebLink(), about.MailLink()}) {
        link->SetOpener([&opened](const QUrl& url) {
            opened << url;
            return true;
        });
        EXPECT_TRUE(link->font().underline());
        EXPECT_EQ(link->palette().color(QPalette::WindowText), CHyperlinkLabel::UnvisitedColor());
        EXPECT_EQ(link->toolTip(), link->Address().toString());
        link->Open();
        EXPECT_EQ(link->palette().color(QPalette::WindowText), CHyperlinkLabel::VisitedColor());
    }
    EXPECT_EQ(opened, (QList<QUrl>{QUrl(CAboutDlg::WebAddress()), QUrl(CAboutDlg::MailAddress())}));
}

}  // namespace
}  // namespace wirelark
