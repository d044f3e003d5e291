// The packet list view's intake and rows, offscreen: frames per second through the intake
// directly and through the hand-over from a second thread; live capture on a veth pair at rising
// rates beside a bare libpcap loop; and a million stored packets (rebuild, scroll, click, memory).
#include <pcap/pcap.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QScrollBar>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <thread>

#include "store/wirelark_doc.h"
#include "support/capture_fakes.h"
#include "support/fake_view_frame.h"
#include "support/resident_memory.h"
#include "support/test_network.h"
#include "views/wirelark_view.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using namespace wirelark;

std::vector<std::uint8_t> TcpFrame(std::size_t size, std::uint32_t sequence) {
    std::vector<std::uint8_t> frame(size, 0);
    const std::uint8_t head[] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99,
                                 0xAA, 0xBB, 0x08, 0x00, 0x45, 0x00, 0x00, 0x28, 0x1C, 0x46,
                                 0x40, 0x00, 0x40, 0x06, 0xB8, 0x61, 192,  168,  0,    1,
                                 10,   0,    0,    2,    0xC7, 0x38, 0x00, 0x50};
    std::copy(std::begin(head), std::end(head), frame.begin());
    frame[size - 1] = static_cast<std::uint8_t>(sequence);
    return frame;
}

pcap_pkthdr HeaderFor(std::size_t size) {
    pcap_pkthdr header{};
    header.ts.tv_sec = 1700000000;
    header.caplen = static_cast<bpf_u_int32>(size);
    header.len = header.caplen;
    return header;
}

struct Fixture {
    CWirelarkDoc doc;
    test::CFakeViewFrame frame;
    test::CRecordingMessageSink sink;
    test::CFakeDeviceSource devices;
    CWirelarkView view{doc, frame, sink, devices};
    Fixture() {
        view.resize(1000, 600);
        view.show();
        view.OnInitialUpdate();
        view.SetBufferSetting(99);
    }
};

double DirectIntake(int count) {
    Fixture f;
    const auto frame = TcpFrame(60, 0);
    const pcap_pkthdr header = HeaderFor(frame.size());
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        f.view.OnCapturedPacket(header, frame);
        if (i % 1000 == 0) {
            QApplication::processEvents();  // the window repaints as it would while capturing
        }
    }
    QApplication::processEvents();
    return count / std::chrono::duration<double>(Clock::now() - start).count();
}

double HandoverIntake(int count) {
    Fixture f;
    const auto frame = TcpFrame(60, 0);
    const pcap_pkthdr header = HeaderFor(frame.size());
    const auto start = Clock::now();
    std::thread worker([&] {
        for (int i = 0; i < count; ++i) {
            f.view.Handover().OnCapturedPacket(header, frame);
        }
    });
    while (f.view.GetModel().rowCount() < count) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    worker.join();
    return count / seconds;
}

// Injects `rate` frames per second for one second from a thread of its own while this thread
// runs its event loop as the program does; true when every frame arrived and the kernel dropped
// none.
template <typename Start, typename Stop, typename Count>
bool Sustains(test::CFrameInjector& injector, int rate, Start start, Stop stop, Count count,
              std::uint64_t& dropped) {
    start();
    const auto frame = TcpFrame(60, 0);
    std::thread sender([&] {
        const auto begin = Clock::now();
        for (int i = 0; i < rate; ++i) {
            const auto due = begin + std::chrono::microseconds(1'000'000LL * i / rate);
            while (Clock::now() < due) {
            }
            injector.Inject(frame);
        }
    });
    // Frames reach the reader up to one read timeout after the last one was sent.
    QEventLoop loop;
    QTimer::singleShot(2500, &loop, &QEventLoop::quit);
    loop.exec();
    sender.join();
    dropped = stop();
    return dropped == 0 && count() >= static_cast<std::uint64_t>(rate);
}

void LiveRates() {
    const std::string why = test::CTestNetwork::WhyUnavailable();
    if (!why.empty()) {
        std::printf("live capture: skipped, %s\n", why.c_str());
        return;
    }
    test::CTestNetwork network;
    test::CFrameInjector injector(network.SendingEnd());
    const std::string device = network.CapturingEnd();
    std::printf(
        "live capture, 60-byte frames for one second at each rate (0 kernel drops "
        "and every frame received = sustained):\n");
    std::printf("  %9s  %22s  %22s\n", "rate/s", "bare libpcap loop", "Wirelark (view+engine)");
    int bareBest = 0;
    int programBest = 0;
    for (const int rate : {10000, 25000, 50000, 75000, 100000, 150000, 200000}) {
        // Bare loop on its own thread.
        pcap_t* handle = nullptr;
        std::atomic<std::uint64_t> bareCount{0};
        std::atomic<bool> bareStop{false};
        std::thread reader;
        std::uint64_t bareDropped = 0;
        const bool bareOk = Sustains(
            injector, rate,
            [&] {
                char errbuf[PCAP_ERRBUF_SIZE] = {};
                handle = pcap_create(device.c_str(), errbuf);
                pcap_set_snaplen(handle, CCaptureEngine::kSnapLength);
                pcap_set_promisc(handle, 1);
                pcap_set_timeout(handle, CCaptureEngine::kReadTimeoutMs);
                pcap_set_buffer_size(handle, CCaptureEngine::kKernelBufferBytes);
                pcap_activate(handle);
                reader = std::thread([&] {
                    while (!bareStop.load()) {
                        pcap_pkthdr* h = nullptr;
                        const u_char* d = nullptr;
                        if (pcap_next_ex(handle, &h, &d) > 0) {
                            ++bareCount;
                        }
                    }
                });
            },
            [&] {
                bareStop = true;
                pcap_breakloop(handle);
                reader.join();
                pcap_stat stats{};
                pcap_stats(handle, &stats);
                pcap_close(handle);
                return static_cast<std::uint64_t>(stats.ps_drop);
            },
            [&] { return bareCount.load(); }, bareDropped);

        Fixture f;
        f.devices.devices = {test::MakeDevice(device)};
        f.frame.selectedAdapter = device;
        CPcapDeviceSource devices(network.NetClassRoot());  // the namespace's real devices
        CWirelarkView view(f.doc, f.frame, f.sink, devices);
        view.resize(1000, 600);
        view.show();
        view.OnInitialUpdate();
        view.SetBufferSetting(99);
        std::uint64_t programDropped = 0;
        const bool programOk = Sustains(
            injector, rate,
            [&] {
                view.OnCaptureStart();
                // Wait until the device is open: probe until a row appears, then clear.
                for (int i = 0; i < 300 && view.GetModel().rowCount() == 0; ++i) {
                    injector.Inject(TcpFrame(60, 1));
                    QApplication::processEvents(QEventLoop::AllEvents, 10);
                }
                QEventLoop settle;
                QTimer::singleShot(1200, &settle, &QEventLoop::quit);
                settle.exec();
                f.doc.DeleteAllPackets();
                view.OnInitialUpdate();
            },
            [&] {
                view.OnCaptureStop();
                return view.GetCaptureEngine().GetLastStatistics().dropped;
            },
            [&] { return static_cast<std::uint64_t>(view.GetModel().rowCount()); }, programDropped);
        std::printf("  %9d  %10s (drop %6llu)  %10s (drop %6llu)\n", rate,
                    bareOk ? "sustained" : "LOST", static_cast<unsigned long long>(bareDropped),
                    programOk ? "sustained" : "LOST",
                    static_cast<unsigned long long>(programDropped));
        if (bareOk) {
            bareBest = rate;
        }
        if (programOk) {
            programBest = rate;
        }
        if (!bareOk && !programOk) {
            break;
        }
    }
    std::printf("  highest sustained: bare %d/s, Wirelark %d/s, ratio %.2f\n", bareBest,
                programBest, bareBest > 0 ? static_cast<double>(programBest) / bareBest : 0.0);
}

// A million packets of `sizes` in turn.
void MillionPackets(std::initializer_list<std::size_t> sizes) {
    constexpr int kCount = 1'000'000;
    const std::size_t before = test::ResidentBytes();
    Fixture f;
    std::vector<std::vector<std::uint8_t>> frames;
    for (const std::size_t size : sizes) {
        frames.push_back(TcpFrame(size, 0));
    }
    double storedBytes = 0;
    for (int i = 1; i <= kCount; ++i) {
        // Stored as the intake stores a captured frame.
        const auto& frame = frames[static_cast<std::size_t>(i) % frames.size()];
        pcap_pkthdr header = HeaderFor(frame.size());
        header.ts.tv_usec = i % 1'000'000;
        f.doc.AddPacket(i, header, frame);
        storedBytes += static_cast<double>(frame.size());
    }
    const double storedMb = storedBytes / 1e6;
    QElapsedTimer timer;
    timer.start();
    f.view.RefillRows();
    QApplication::processEvents();
    const double refillMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;

    timer.restart();
    f.view.scrollToBottom();
    f.view.viewport()->repaint();
    const double scrollMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;

    timer.restart();
    const QModelIndex last = f.view.model()->index(kCount - 1, 0);
    f.view.selectionModel()->select(
        last, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    emit f.view.clicked(last);
    f.view.viewport()->repaint();
    const double clickMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;

    const std::size_t after = test::ResidentBytes();
    const double processMb = static_cast<double>(after) / 1048576.0;
    const double growthMb = (static_cast<double>(after) - static_cast<double>(before)) / 1048576.0;
    std::printf("a million stored packets of %zu sizes (%.0f MB of frame bytes):\n", sizes.size(),
                storedMb);
    std::printf(
        "  rebuild rows %.1f ms, scroll to end %.1f ms, click on last row %.1f ms "
        "(shown packet %d)\n",
        refillMs, scrollMs, clickMs, f.frame.shown.empty() ? 0 : f.frame.shown[0].number);
    std::printf(
        "  process memory %.0f MB (grew %.0f MB); target 1.5 x %.0f + 50 = %.0f MB; "
        "ratio %.2f of target\n",
        processMb, growthMb, storedMb, 1.5 * storedMb + 50, processMb / (1.5 * storedMb + 50));
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication app(argc, argv);
    const int kFrames = argc > 1 ? std::atoi(argv[1]) : 200000;
    const double direct = DirectIntake(kFrames);
    const double handover = HandoverIntake(kFrames);
    std::printf(
        "intake of %d 60-byte TCP frames: direct %.0f frames/s, through the hand-over "
        "from a second thread %.0f frames/s (ratio %.2f)\n",
        kFrames, direct, handover, handover / direct);
    MillionPackets({60});
    MillionPackets({60, 590, 1514});
    LiveRates();
    return 0;
}
