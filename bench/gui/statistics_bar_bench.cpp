// The Statistics bar in the real program's window: counting a million packets again, and
// following 10,000 new packets into a small document and into a million, which should cost the
// same, since an update touches only what the new packets changed. Shown on Qt's xcb platform
// under a real X server; without a display it starts itself under Xvfb.
#include <pcap/pcap.h>
#include <unistd.h>

#include <QApplication>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "shell/command_ids.h"
#include "shell/main_frame.h"
#include "store/wirelark_doc.h"
#include "support/capture_fakes.h"
#include "support/frame_builder.h"
#include "support/xvfb_relaunch.h"
#include "views/statistics_bar.h"

namespace {

using namespace wirelark;
using test::CFrameBuilder;

constexpr int kUpdate = 10'000;

// 5000 flows of TCP and UDP between 2500 clients and 100 servers, with some ARP, a thousand
// packets a second.
class CTraffic {
public:
    void AddTo(CWirelarkDoc& doc, int count) {
        for (int i = 0; i < count; ++i) {
            const auto flow = static_cast<std::uint32_t>(m_random() % 5000);
            const bool bReply = (m_random() & 1) != 0;
            test::CIpv4Fields ip{
                .protocol = static_cast<std::uint8_t>(flow % 3 == 0 ? 17 : 6),
                .source = {10, 1, static_cast<std::uint8_t>(flow / 250),
                           static_cast<std::uint8_t>(flow % 250)},
                .destination = {172, 16, 0, static_cast<std::uint8_t>(flow % 100)}};
            if (bReply) {
                std::swap(ip.source, ip.destination);
            }
            const auto clientPort = static_cast<std::uint16_t>(40000 + flow);
            const std::uint16_t serverPort = 443;
            CFrameBuilder frame;
            if (m_random() % 50 == 0) {
                frame.Ethernet({.etherType = 0x0806}).Arp();
            } else if (ip.protocol == 6) {
                frame.Ethernet().Ipv4(ip).Tcp(
                    {.sourcePort = bReply ? serverPort : clientPort,
                     .destinationPort = bReply ? clientPort : serverPort});
            } else {
                frame.Ethernet().Ipv4(ip).Udp(
                    {.sourcePort = bReply ? serverPort : clientPort,
                     .destinationPort = bReply ? clientPort : serverPort});
            }
            const std::vector<std::uint8_t> bytes = frame.PadTo(60).Build();
            ++m_number;
            const pcap_pkthdr header{{1'700'000'000 + m_number / 1000, (m_number % 1000) * 1000},
                                     static_cast<bpf_u_int32>(bytes.size()),
                                     1514};
            doc.AddPacket(m_number, header, bytes);
        }
    }

private:
    std::mt19937 m_random{7};
    int m_number = 0;
};

// Until the bar has counted everything and the window has painted it.
double TimeMs(CStatisticsBar& bar, const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    do {
        QApplication::processEvents();
    } while (!bar.IsCaughtUp());
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// The best of three updates of 10,000 new packets into a document of `base` packets, with
// `page` shown.
double UpdateMs(int base, CStatisticsBar::Page page, double* rebuildMs) {
    CWirelarkDoc doc;
    test::CRecordingMessageSink sink;
    CMainFrame frame(&sink);
    auto* bar = new CStatisticsBar(doc, sink, frame.StatisticsBar());
    frame.StatisticsBar()->setWidget(bar);
    frame.resize(1200, 800);
    frame.show();
    frame.Action(cmd::kViewStatistics)->trigger();
    bar->setCurrentIndex(page);
    CTraffic traffic;
    traffic.AddTo(doc, base);
    const double rebuild = TimeMs(*bar, [bar] { bar->Rebuild(); });
    if (rebuildMs != nullptr) {
        *rebuildMs = rebuild;
    }
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        traffic.AddTo(doc, kUpdate);
        best = std::min(best, TimeMs(*bar, [bar] { bar->CountNewPackets(); }));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (!wirelark::test::RelaunchUnderXvfbWithoutDisplay(argc, argv)) {
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QTemporaryDir profile;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, profile.path());

    double rebuildMs = 0;
    const char* names[] = {"Protocols", "Traffic over time", "Conversations", "Endpoints"};
    for (const auto page : {CStatisticsBar::kProtocols, CStatisticsBar::kTraffic,
                            CStatisticsBar::kConversations, CStatisticsBar::kEndpoints}) {
        const double small = UpdateMs(kUpdate, page, nullptr);
        const double large = UpdateMs(1'000'000, page, &rebuildMs);
        std::printf(
            "statistics bar showing %s, update for %d new packets: %.1f ms into %d packets, "
            "%.1f ms into 1000000, ratio %.2f; counting the million again %.0f ms\n",
            names[page], kUpdate, small, kUpdate, large, large / small, rebuildMs);
    }
    return 0;
}
