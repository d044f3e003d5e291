// The application with pcap and pcapng files: every way of opening them, Save and Save As in
// either format, refused link types, warnings, and cancelling through the progress callback.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "shell/command_ids.h"
#include "shell/main_frame.h"
#include "shell/wirelark_app.h"
#include "store/pcap_file.h"
#include "support/capture_fakes.h"
#include "support/pcap_files.h"
#include "support/store_files.h"
#include "views/packet_list_model.h"
#include "views/wirelark_view.h"

namespace wirelark {
namespace {

using test::CPcapLayout;
using test::CPcapPacket;

std::vector<CPcapPacket> Packets(int count) {
    std::vector<CPcapPacket> packets;
    for (int i = 0; i < count; ++i) {
        std::vector<std::uint8_t> bytes(60, static_cast<std::uint8_t>(i));
        bytes[12] = 0x08;  // IPv4 type, so the rows look like ordinary traffic
        bytes[13] = 0x00;
        packets.push_back({1700000000u + static_cast<std::uint32_t>(i), 1000u, 60u, bytes});
    }
    return packets;
}

// Whether the file starts with a little-endian pcap magic, micro- or nanosecond.
bool IsPcap(const QString& path) {
    QFile file(path);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(4) : QByteArray();
    return head == QByteArray("\xD4\xC3\xB2\xA1", 4) || head == QByteArray("\x4D\x3C\xB2\xA1", 4);
}

class WirelarkAppFilesTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_profile.isValid());
        ASSERT_TRUE(m_files.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_profile.path());
        m_devices.devices = {test::MakeDevice("eth0")};
    }

    std::unique_ptr<CWirelarkApp> MakeApp(const QStringList& arguments = {}) {
        CWirelarkApp::Seams seams;
        seams.messages = &m_messages;
        seams.devices = &m_devices;
        seams.openFileName = [this] { return m_nextOpen; };
        seams.saveFileNameAndFilter = [this](const QString& suggested, QString& filter) {
            m_suggested = suggested;
            m_preselected = filter;
            if (!m_nextFilter.isEmpty()) {
                filter = m_nextFilter;
            }
            return m_nextSave;
        };
        seams.askToSave = [](const QString&) { return QMessageBox::No; };
        // Cancels at the given call (1-based) when m_cancelAtCall is set.
        seams.progress = [this](const QString& label) {
            m_progressLabels << label;
            return [this](std::uint64_t, std::uint64_t) {
                ++m_progressCalls;
                return m_cancelAtCall == 0 || m_progressCalls < m_cancelAtCall;
            };
        };
        auto app = std::make_unique<CWirelarkApp>(seams);
        EXPECT_TRUE(app->InitInstance(arguments));
        return app;
    }

    QString Write(const QString& name, const std::vector<std::uint8_t>& bytes) {
        const QString path = m_files.filePath(name);
        test::WriteWholeFile(path.toStdString(), bytes);
        return path;
    }

    QString WriteLark(const QString& name, int count) {
        const QString path = m_files.filePath(name);
        EXPECT_TRUE(test::WriteLarkFile(path.toStdString(), count));
        return path;
    }

    // Counts progress calls afresh, cancelling at the given one (1-based; 0: never).
    void CancelAt(int call) {
        m_progressLabels.clear();
        m_progressCalls = 0;
        m_cancelAtCall = call;
    }

    static int Rows(const CWirelarkApp& app) { return app.GetView()->GetModel().rowCount(); }
    static QString Title(const CWirelarkApp& app) { return app.GetMainFrame()->windowTitle(); }

    QTemporaryDir m_profile;
    QTemporaryDir m_files;
    test::CRecordingMessageSink m_messages;
    test::CFakeDeviceSource m_devices;
    QString m_nextOpen;
    QString m_nextSave;
    QString m_nextFilter;
    QString m_suggested;
    QString m_preselected;
    QStringList m_progressLabels;
    int m_progressCalls = 0;
    int m_cancelAtCall = 0;
};

TEST_F(WirelarkAppFilesTest, CapturesOpenByContentThroughEveryWayOfOpening) {
    enum class Way { OpenCommand, CommandLine, Drop, RecentFile };
    struct Case {
        const char* name;
        Way way;
        std::vector<std::uint8_t> bytes;
        CaptureFileFormat format;
    };
    const auto packets = Packets(5);
    const Case cases[] = {
        {"micro.pcap", Way::OpenCommand, test::MakePcap(packets), CaptureFileFormat::Pcap},
        {"nano-big-endian.pcap", Way::OpenCommand, test::MakePcap(packets, CPcapLayout{true, true}),
         CaptureFileFormat::Pcap},
        {"capture.pcapng", Way::Drop, test::MakePcapng(packets), CaptureFileFormat::Pcapng},
        {"named-like-lark.cap", Way::RecentFile, test::MakePcap(packets), CaptureFileFormat::Pcap},
        {"from-the-shell.pcap", Way::CommandLine, test::MakePcapng(packets),
         CaptureFileFormat::Pcapng},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Write(c.name, c.bytes);
        auto app = MakeApp(c.way == Way::CommandLine ? QStringList{path} : QStringList{});
        switch (c.way) {
            case Way::OpenCommand:
                m_nextOpen = path;
                app->GetMainFrame()->Action(cmd::kFileOpen)->trigger();
                break;
            case Way::Drop:
                emit app->GetMainFrame()->FilesDropped({path});
                break;
            case Way::RecentFile:
                ASSERT_TRUE(app->OpenDocumentFile(path));
                ASSERT_TRUE(app->OnFileNew());
                ASSERT_EQ(Rows(*app), 0);
                app->GetMainFrame()->Action(cmd::kFileMru1)->trigger();
                break;
            case Way::CommandLine:
                break;
        }
        EXPECT_EQ(Rows(*app), 5);
        EXPECT_EQ(app->GetDocument().GetFileFormat(), c.format);
        EXPECT_EQ(Title(*app), QString::fromLatin1(c.name) + " - Wirelark");
        EXPECT_EQ(app->RecentFiles()[0], path);
        EXPECT_TRUE(m_messages.Texts().empty());
    }
}

TEST_F(WirelarkAppFilesTest, CaptureOfAnotherLinkTypeIsRefusedByNameAndTheDocumentStays) {
    const QString lark = WriteLark("kept.cap", 3);
    const QString sll =
        Write("cooked.pcap", test::MakePcap(Packets(2), {false, false, test::kLinkLinuxSll}));
    auto app = MakeApp();
    ASSERT_TRUE(app->OpenDocumentFile(lark));
    m_nextOpen = sll;
    app->GetMainFrame()->Action(cmd::kFileOpen)->trigger();
    ASSERT_EQ(m_messages.Texts().size(), 1u);
    EXPECT_NE(m_messages.Texts()[0].find("LINUX_SLL"), std::string::npos);
    EXPECT_EQ(Rows(*app), 3);
    EXPECT_EQ(Title(*app), "kept.cap - Wirelark");
    EXPECT_EQ(app->RecentFiles().Files(), QStringList{lark});
}

TEST_F(WirelarkAppFilesTest, CaptureCutShortOpensItsWholePacketsAndShowsTheWarning) {
    std::vector<std::uint8_t> bytes = test::MakePcap(Packets(4));
    bytes.resize(bytes.size() - 10);
    const QString path = Write("short.pcap", bytes);
    auto app = MakeApp();
    ASSERT_TRUE(app->OpenDocumentFile(path));
    EXPECT_EQ(Rows(*app), 3);
    ASSERT_EQ(m_messages.Texts().size(), 1u);
    EXPECT_NE(m_messages.Texts()[0].find("after packet 3"), std::string::npos)
        << m_messages.Texts()[0];
}

TEST_F(WirelarkAppFilesTest, SaveAsWritesTheChosenFormatAddingItsExtension) {
    const QString pcapFilter = QString::fromLatin1(kPacketCapturesSaveFilter);
    const QString larkFilter = QString::fromLatin1(kLarkFilesFilter);
    struct Case {
        QString typed;
        QString filter;
        QString written;
        bool bPcap;
    };
    const Case cases[] = {
        {"plain", pcapFilter, "plain.pcap", true},
        {"plain-lark", larkFilter, "plain-lark.cap", false},
        // A capture extension typed by the user says what the file is.
        {"typed.pcap", larkFilter, "typed.pcap", true},
        {"typed.cap", pcapFilter, "typed.cap", false},
        {"other.bin", pcapFilter, "other.bin", true},
    };
    const QString source = WriteLark("source.cap", 4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        auto app = MakeApp();
        ASSERT_TRUE(app->OpenDocumentFile(source));
        m_nextSave = m_files.filePath(c.typed);
        m_nextFilter = c.filter;
        ASSERT_TRUE(app->OnFileSaveAs());
        EXPECT_EQ(m_preselected, larkFilter) << "a Lark document preselects its own format";
        const QString written = m_files.filePath(c.written);
        EXPECT_EQ(IsPcap(written), c.bPcap);
        EXPECT_EQ(app->GetDocument().GetPathName(), written.toStdString());
        EXPECT_EQ(app->GetDocument().GetSaveFormat(),
                  c.bPcap ? CaptureFileFormat::Pcap : CaptureFileFormat::Lark);

        auto reopened = MakeApp();
        ASSERT_TRUE(reopened->OpenDocumentFile(written));
        EXPECT_EQ(Rows(*reopened), 4);
    }
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(WirelarkAppFilesTest, SaveOfAnOpenedCaptureWritesPcapToItsOwnFile) {
    for (const char* name : {"own.pcap", "own.pcapng"}) {
        SCOPED_TRACE(name);
        const auto packets = Packets(2);
        const QString path = Write(name, QString(name).endsWith("ng") ? test::MakePcapng(packets)
                                                                      : test::MakePcap(packets));
        auto app = MakeApp();
        ASSERT_TRUE(app->OpenDocumentFile(path));
        const std::vector<std::uint8_t> frame(64, 0x11);
        ASSERT_TRUE(app->GetDocument().AddPacket(3, frame, 64, "12:00:00"));
        m_nextSave.clear();  // Save must not ask for a name
        ASSERT_TRUE(app->OnFileSave());
        EXPECT_TRUE(IsPcap(path));
        EXPECT_FALSE(QFile::exists(m_files.filePath(QString(name) + ".cap")));

        auto reopened = MakeApp();
        ASSERT_TRUE(reopened->OpenDocumentFile(path));
        EXPECT_EQ(Rows(*reopened), 3);

        // Save As starts from the capture format and the file's own name.
        m_nextSave.clear();
        EXPECT_FALSE(reopened->OnFileSaveAs());
        EXPECT_EQ(m_preselected, QString::fromLatin1(kPacketCapturesSaveFilter));
        EXPECT_EQ(m_suggested, path);
    }
}

TEST_F(WirelarkAppFilesTest, CancelledOpenLeavesThePreviousDocumentAndTitle) {
    const QString previous = WriteLark("previous.cap", 2);
    const QString bigPcap = Write("big.pcap", test::MakePcap(Packets(3000)));
    const QString bigLark = WriteLark("big.cap", 3000);
    for (const QString& target : {bigPcap, bigLark}) {
        for (const int cancelAt : {1, 5}) {
            SCOPED_TRACE(target.toStdString() + " cancelled at call " + std::to_string(cancelAt));
            auto app = MakeApp();
            ASSERT_TRUE(app->OpenDocumentFile(previous));
            CancelAt(cancelAt);
            m_nextOpen = target;
            app->GetMainFrame()->Action(cmd::kFileOpen)->trigger();
            m_cancelAtCall = 0;
            EXPECT_EQ(m_progressCalls, cancelAt);
            EXPECT_EQ(m_progressLabels, QStringList{"Opening " + target.section('/', -1) + "..."});
            EXPECT_EQ(Rows(*app), 2);
            EXPECT_EQ(Title(*app), "previous.cap - Wirelark");
            EXPECT_EQ(app->RecentFiles().Files(), QStringList{previous});
            EXPECT_TRUE(m_messages.Texts().empty());
        }
    }
}

TEST_F(WirelarkAppFilesTest, CancelledOpenFromTheCommandLineStartsWithNothingOpen) {
    const QString big = Write("big.pcap", test::MakePcap(Packets(3000)));
    CancelAt(2);
    auto app = MakeApp({big});
    EXPECT_EQ(m_progressCalls, 2);
    EXPECT_EQ(Title(*app), "Untitled - Wirelark");
    EXPECT_EQ(Rows(*app), 0);
    EXPECT_EQ(app->RecentFiles().Count(), 0);
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST_F(WirelarkAppFilesTest, CancelledSaveLeavesThePreviousFileByteIdentical) {
    const QString lark = WriteLark("lark.cap", 1500);
    const QString pcap = Write("capture.pcap", test::MakePcap(Packets(1500)));
    const std::vector<std::uint8_t> frame(60, 0x22);
    for (const QString& path : {lark, pcap}) {
        for (const bool bSaveAs : {false, true}) {
            SCOPED_TRACE(path.toStdString() + (bSaveAs ? " Save As" : " Save"));
            const auto before = test::ReadWholeFile(path.toStdString());
            auto app = MakeApp();
            ASSERT_TRUE(app->OpenDocumentFile(path));
            ASSERT_TRUE(app->GetDocument().AddPacket(1501, frame, 60, "12:00:00"));
            CancelAt(3);
            m_nextSave = path;
            m_nextFilter = QString::fromLatin1(kPacketCapturesSaveFilter);
            EXPECT_FALSE(bSaveAs ? app->OnFileSaveAs() : app->OnFileSave());
            m_cancelAtCall = 0;
            EXPECT_EQ(m_progressCalls, 3);
            EXPECT_EQ(m_progressLabels, QStringList{"Saving " + path.section('/', -1) + "..."});
            EXPECT_EQ(test::ReadWholeFile(path.toStdString()), before);
            EXPECT_TRUE(app->GetDocument().IsModified());
            EXPECT_TRUE(m_messages.Texts().empty());
        }
    }
    EXPECT_EQ(QDir(m_files.path()).entryList(QDir::Files).size(), 2)
        << "no half-written file is left beside them";
}

TEST_F(WirelarkAppFilesTest, DialogsOfferLarkFilesFirstThenPacketCaptures) {
    EXPECT_EQ(CWirelarkApp::FileFilter(), "Lark Files (*.cap)");
    EXPECT_EQ(CWirelarkApp::OpenFileFilters(),
              "Lark Files (*.cap);;Packet captures (*.pcap *.pcapng);;All Files (*)");
    EXPECT_EQ(CWirelarkApp::SaveFileFilters(), "Lark Files (*.cap);;Packet captures (*.pcap)");
}

}  // namespace
}  // namespace wirelark
