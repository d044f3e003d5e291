// Live capture in the whole program as a user runs it: the main window with its status bar, docks
// and list, shown on Qt's xcb platform under a real X server (Xvfb), its adapter set to one end of
// a veth pair while frames are replayed into the other end at rising rates, beside a bare libpcap
// loop in the same run. Also a million stored packets (rebuild, scroll, click, memory).
//
//   xvfb-run -a build/bench/intake_bench        (started without a display, it does this itself)
#include <pcap/pcap.h>
#include <time.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "capture/device_source.h"
#include "shell/command_ids.h"
#include "shell/main_frame.h"
#include "shell/wirelark_app.h"
#include "store/wirelark_doc.h"
#include "support/capture_fakes.h"
#include "support/fake_view_frame.h"
#include "support/pcap_files.h"
#include "support/resident_memory.h"
#include "support/test_network.h"
#include "support/xvfb_relaunch.h"
#include "views/wirelark_view.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using namespace wirelark;

constexpr double kBufferBytes = 100e6;  // the largest buffer setting
constexpr int kLadder[] = {10000,  25000,  50000,  75000,  100000, 125000, 150000,
                           175000, 200000, 250000, 300000, 400000, 500000, 750000};

// The last four bytes of each frame the bench sends number it, so that the stored packets show
// whether one was lost or stored twice.
void Stamp(std::vector<std::uint8_t>& frame, std::uint32_t sequence) {
    for (std::size_t i = 0; i < 4; ++i) {
        frame[frame.size() - 1 - i] = static_cast<std::uint8_t>(sequence >> (8 * i));
    }
}

std::uint32_t StampOf(std::span<const std::uint8_t> frame) {
    std::uint32_t sequence = 0;
    for (std::size_t i = frame.size() - 4; i < frame.size(); ++i) {
        sequence = sequence << 8 | frame[i];
    }
    return sequence;
}

std::vector<std::uint8_t> TcpFrame(std::size_t size, std::uint32_t sequence) {
    std::vector<std::uint8_t> frame(size, 0);
    const std::uint8_t head[] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99,
                                 0xAA, 0xBB, 0x08, 0x00, 0x45, 0x00, 0x00, 0x28, 0x1C, 0x46,
                                 0x40, 0x00, 0x40, 0x06, 0xB8, 0x61, 192,  168,  0,    1,
                                 10,   0,    0,    2,    0xC7, 0x38, 0x00, 0x50};
    std::copy(std::begin(head), std::end(head), frame.begin());
    Stamp(frame, sequence);
    return frame;
}

pcap_pkthdr HeaderFor(std::size_t size) {
    pcap_pkthdr header{};
    header.ts.tv_sec = 1700000000;
    header.caplen = static_cast<bpf_u_int32>(size);
    header.len = header.caplen;
    return header;
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The application, counting the GUI thread's CPU time spent painting and flushing the window to
// the display, so that the intake's share of the thread can be told from the display's: painting
// runs a few times a second however many frames come, the intake once a frame.
class CTimedApplication final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (m_bPainting || (type != QEvent::UpdateRequest && type != QEvent::Paint)) {
            return QApplication::notify(receiver, event);
        }
        m_bPainting = true;  // the widgets' own paint events run inside the window's
        const double before = ThreadCpuSeconds();
        const bool result = QApplication::notify(receiver, event);
        m_paintSeconds += ThreadCpuSeconds() - before;
        m_bPainting = false;
        return result;
    }
    static double PaintSeconds() {
        return static_cast<CTimedApplication*>(QCoreApplication::instance())->m_paintSeconds;
    }

private:
    bool m_bPainting = false;
    double m_paintSeconds = 0;
};

// Serves the GUI thread's event loop until `done` or `limit`, with a 10 ms timer whose longest
// gap between two runs is the longest time the window could not answer.
template <typename Predicate>
double ServeWatchingStalls(Predicate done, std::chrono::milliseconds limit) {
    QEventLoop loop;
    QTimer tick;
    QElapsedTimer since;
    qint64 longestNs = 0;
    const auto deadline = Clock::now() + limit;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        longestNs = std::max(longestNs, since.nsecsElapsed());
        since.restart();
        if (done() || Clock::now() > deadline) {
            loop.quit();
        }
    });
    tick.start(10);
    since.start();
    loop.exec();
    return static_cast<double>(longestNs) / 1e6;
}

// Sends `count` frames at `rate` per second from a thread of its own, numbered from 1; the rate
// it reached.
class PacedSender {
public:
    PacedSender(test::CFrameInjector& injector, const std::vector<std::uint8_t>& frame, int count,
                int rate)
        : m_thread([&injector, bytes = frame, count, rate, this]() mutable {
              const auto begin = Clock::now();
              for (int i = 0; i < count; ++i) {
                  Stamp(bytes, static_cast<std::uint32_t>(i + 1));
                  const auto due = begin + std::chrono::nanoseconds(1'000'000'000LL * i / rate);
                  // Sleeps while well ahead, so that the other threads keep the CPU it spares.
                  if (due - Clock::now() > 200us) {
                      std::this_thread::sleep_until(due - 100us);
                  }
                  while (Clock::now() < due) {
                  }
                  injector.Inject(bytes);
              }
              const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
              m_reached = seconds > 0 ? count / seconds : 0;
          }) {}
    double Join() {
        m_thread.join();
        return m_reached;
    }

private:
    double m_reached = 0;
    std::thread m_thread;
};

struct Step {
    bool sustained = false;
    std::uint64_t received = 0;
    std::uint64_t dropped = 0;
    double reached = 0;   // the rate the sender kept
    double stallMs = 0;   // the longest gap of the GUI thread's 10 ms timer
    double intakeUs = 0;  // the GUI thread's CPU time a frame outside painting, above idle
    double paintUs = 0;   // the GUI thread's CPU time a frame painting the window
};

Step BareLoop(test::CFrameInjector& injector, const std::string& device,
              const std::vector<std::uint8_t>& frame, int count, int rate) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_create(device.c_str(), errbuf);
    pcap_set_snaplen(handle, CCaptureEngine::kSnapLength);
    pcap_set_promisc(handle, 1);
    pcap_set_timeout(handle, CCaptureEngine::kReadTimeoutMs);
    pcap_set_buffer_size(handle, CCaptureEngine::kKernelBufferBytes);
    if (pcap_activate(handle) < 0) {
        std::fprintf(stderr, "bare loop: %s\n", pcap_geterr(handle));
        std::exit(1);
    }
    std::atomic<std::uint64_t> received{0};
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop.load()) {
            pcap_pkthdr* h = nullptr;
            const u_char* d = nullptr;
            if (pcap_next_ex(handle, &h, &d) > 0) {
                ++received;
            }
        }
    });
    Step step;
    PacedSender sender(injector, frame, count, rate);
    step.reached = sender.Join();
    // Frames reach a reader up to one read timeout after the last one was sent.
    const auto deadline = Clock::now() + 2500ms;
    while (received.load() < static_cast<std::uint64_t>(count) && Clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    stop = true;
    pcap_breakloop(handle);
    reader.join();
    pcap_stat stats{};
    pcap_stats(handle, &stats);
    pcap_close(handle);
    step.received = received.load();
    step.dropped = stats.ps_drop;
    step.sustained = step.dropped == 0 && step.received >= static_cast<std::uint64_t>(count);
    return step;
}

// The whole program, capturing from the veth pair's capturing end.
class Program {
public:
    Program(IDeviceSource& devices, const std::string& device) {
        CWirelarkApp::Seams seams;
        seams.messages = &m_messages;
        seams.devices = &devices;
        seams.askToSave = [](const QString&) { return QMessageBox::No; };
        m_app = std::make_unique<CWirelarkApp>(seams);
        if (!m_app->InitInstance({})) {
            std::fprintf(stderr, "the program did not start\n");
            std::exit(1);
        }
        m_app->GetMainFrame()->resize(1200, 800);
        QComboBox* box = m_app->GetMainFrame()->findChild<QComboBox*>();
        const int index = box != nullptr ? box->findText(QString::fromStdString(device)) : -1;
        if (index < 0) {
            std::fprintf(stderr, "%s is not in the adapter box\n", device.c_str());
            std::exit(1);
        }
        box->setCurrentIndex(index);
        View().SetBufferSetting(kMaxBufferSetting);
    }
    CWirelarkApp& App() { return *m_app; }
    CWirelarkView& View() { return *m_app->GetView(); }
    int Rows() { return View().GetModel().rowCount(); }
    void Trigger(int id) { m_app->GetMainFrame()->Action(id)->trigger(); }

    // Starts a capture on an empty document: probes until the adapter is open, then waits for a
    // last probe of its own, so that none is still on its way when the list is emptied.
    bool Start(test::CFrameInjector& injector) {
        m_app->OnFileNew();
        Trigger(cmd::kCaptureStart);
        bool open = false;
        for (int i = 0; i < 300 && !open; ++i) {
            injector.Inject(TcpFrame(60, 1));
            ServeWatchingStalls([&] { return Rows() > 0; }, 20ms);
            open = Rows() > 0;
        }
        if (!open) {
            return false;
        }
        injector.Inject(TcpFrame(61, 2));
        ServeWatchingStalls([&] { return LastRowLength() == "61"; }, 3000ms);
        m_app->OnFileNew();
        return Rows() == 0;
    }
    std::uint64_t Stop() {
        Trigger(cmd::kCaptureStop);
        return View().GetCaptureEngine().GetStatistics().dropped;
    }
    // File Exit, and the program's end as main() sees it; false if the window stayed open.
    bool Exit() {
        Trigger(cmd::kAppExit);
        const bool closed = !m_app->GetMainFrame()->isVisible();
        m_app.reset();
        return closed;
    }
    const test::CRecordingMessageSink& Messages() const { return m_messages; }

private:
    QString LastRowLength() {
        const int rows = Rows();
        return rows > 0 ? View().GetModel().index(rows - 1, kColumnLen).data().toString()
                        : QString();
    }

    test::CRecordingMessageSink m_messages;
    std::unique_ptr<CWirelarkApp> m_app;
};

// The GUI thread's CPU time outside painting.
double UnpaintedCpuSeconds() {
    return ThreadCpuSeconds() - CTimedApplication::PaintSeconds();
}

// The GUI thread's CPU time a second outside painting while the window is shown and capturing,
// with no traffic.
double IdleCpuPerSecond() {
    const double cpu = UnpaintedCpuSeconds();
    const auto start = Clock::now();
    ServeWatchingStalls([] { return false; }, 1000ms);
    return (UnpaintedCpuSeconds() - cpu) /
           std::chrono::duration<double>(Clock::now() - start).count();
}

Step InProgram(Program& program, test::CFrameInjector& injector,
               const std::vector<std::uint8_t>& frame, int count, int rate) {
    Step step;
    if (!program.Start(injector)) {
        std::fprintf(stderr, "the capture did not start\n");
        return step;
    }
    const double idle = IdleCpuPerSecond();
    const double cpuBefore = UnpaintedCpuSeconds();
    const double paintBefore = CTimedApplication::PaintSeconds();
    const auto start = Clock::now();
    PacedSender sender(injector, frame, count, rate);
    // WIRELARK_BENCH_SHOTS names a folder for a picture of the screen half-way through each step.
    // Taking it holds the GUI thread for tens of milliseconds, which the stall figures then show.
    const QString shots = qEnvironmentVariable("WIRELARK_BENCH_SHOTS");
    if (!shots.isEmpty()) {
        QTimer::singleShot(std::min(500, 500 * count / rate), [=] {
            QGuiApplication::primaryScreen()->grabWindow(0).save(
                QStringLiteral("%1/%2-%3.png").arg(shots).arg(frame.size()).arg(rate));
        });
    }
    step.stallMs = ServeWatchingStalls([&] { return program.Rows() >= count; },
                                       std::chrono::milliseconds(1000LL * count / rate + 2500));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double busy = UnpaintedCpuSeconds() - cpuBefore - idle * seconds;
    const double painting = CTimedApplication::PaintSeconds() - paintBefore;
    step.reached = sender.Join();
    step.received = static_cast<std::uint64_t>(program.Rows());
    step.dropped = program.Stop();
    step.intakeUs = std::max(0.0, busy) * 1e6 / std::max(1, count);
    step.paintUs = painting * 1e6 / std::max(1, count);
    step.sustained = step.dropped == 0 && step.received >= static_cast<std::uint64_t>(count) &&
                     program.Messages().Texts().empty();
    return step;
}

// The numbers of the bench's frames as they were stored, across documents, and where a Stop and
// Start may rightly leave a gap.
class Ledger {
public:
    // Notes the packets stored since the last call; those of an opened file are not numbered.
    void Take(const CWirelarkDoc& doc, std::size_t size) {
        const int count = static_cast<int>(doc.GetPacketList().size());
        for (; m_taken < count; ++m_taken) {
            const auto bytes = doc.FindPacketBytes(m_taken + 1);
            if (bytes.size() == size) {
                m_seen.push_back(StampOf(bytes));
            }
        }
    }
    void DocumentReplaced() { m_taken = 0; }
    void CaptureRestarted() { m_restarts.push_back(m_seen.size()); }
    std::size_t Stored() const { return m_seen.size(); }
    // Frames missing between two stored ones of the same capture.
    std::uint64_t Lost() const {
        std::uint64_t lost = 0;
        for (std::size_t i = 1; i < m_seen.size(); ++i) {
            if (m_seen[i] > m_seen[i - 1] + 1 &&
                std::find(m_restarts.begin(), m_restarts.end(), i) == m_restarts.end()) {
                lost += m_seen[i] - m_seen[i - 1] - 1;
            }
        }
        return lost;
    }
    // Frames stored again, or out of order.
    std::uint64_t Repeated() const {
        std::uint64_t repeated = 0;
        for (std::size_t i = 1; i < m_seen.size(); ++i) {
            repeated += m_seen[i] <= m_seen[i - 1] ? 1 : 0;
        }
        return repeated;
    }

private:
    std::vector<std::uint32_t> m_seen;
    std::vector<std::size_t> m_restarts;
    int m_taken = 0;  // packets of the current document already noted
};

// New, Open, Stop, Start and at last Exit, while frames come at `rate` a second: how long each
// holds the window, and whether an accepted frame was lost or stored twice.
void CommandsAtFullRate(Program& program, test::CFrameInjector& injector, int rate) {
    constexpr std::size_t kSize = 60;
    QTemporaryDir folder;
    const std::string file = folder.filePath(QStringLiteral("three.pcap")).toStdString();
    const auto arp = TcpFrame(42, 0);  // shorter than the bench's frames, so not counted
    test::WriteWithLibpcapDumper(file, {{1, 0, 42, arp}, {2, 0, 42, arp}, {3, 0, 42, arp}});
    if (!program.Start(injector)) {
        std::fprintf(stderr, "the capture did not start\n");
        return;
    }
    Ledger ledger;
    std::uint64_t drops = 0;
    bool exited = false;
    CWirelarkDoc& doc = program.App().GetDocument();
    const auto replace = [&](auto command) {
        ledger.Take(doc, kSize);
        command();
        ledger.DocumentReplaced();
    };
    const auto stop = [&] {
        drops += program.Stop();
        ledger.Take(doc, kSize);
        ledger.CaptureRestarted();
    };
    const auto start = [&] { program.Trigger(cmd::kCaptureStart); };
    struct Command {
        int atMs;
        const char* name;
        std::function<void()> run;
        double heldMs = 0;
    };
    std::vector<Command> commands = {
        {500, "New", [&] { replace([&] { program.App().OnFileNew(); }); }},
        {1000, "Open",
         [&] { replace([&] { program.App().OpenDocumentFile(folder.filePath("three.pcap")); }); }},
        {1500, "Stop", stop},
        {2000, "Start", start},
        {2500, "New", [&] { replace([&] { program.App().OnFileNew(); }); }},
        {3000, "Stop+Start",
         [&] {
             stop();
             start();
         }},
        {3500, "Open",
         [&] { replace([&] { program.App().OpenDocumentFile(folder.filePath("three.pcap")); }); }},
        {4000, "Exit",
         [&] {
             ledger.Take(doc, kSize);
             exited = program.Exit();
         }},
    };
    PacedSender sender(injector, TcpFrame(kSize, 0), rate * 5, rate);
    for (Command& command : commands) {
        QTimer::singleShot(command.atMs, [&command] {
            QElapsedTimer held;
            held.start();
            command.run();
            command.heldMs = static_cast<double>(held.nsecsElapsed()) / 1e6;
        });
    }
    const double stallMs = ServeWatchingStalls([&] { return commands.back().heldMs > 0; }, 6000ms);
    sender.Join();

    std::printf("commands while %d frames/s of %zu bytes come in:\n ", rate, kSize);
    for (const Command& command : commands) {
        std::printf(" %s %.1f ms%s", command.name, command.heldMs,
                    &command == &commands.back() ? "\n" : ",");
    }
    std::printf(
        "  stored %zu, lost %llu, stored twice or out of order %llu, kernel drops at the Stops "
        "%llu, "
        "window %s at Exit, longest GUI stall %.0f ms\n",
        ledger.Stored(), static_cast<unsigned long long>(ledger.Lost()),
        static_cast<unsigned long long>(ledger.Repeated()), static_cast<unsigned long long>(drops),
        exited ? "closed" : "STILL OPEN", stallMs);
}

void LiveRates(std::size_t size, bool bThenCommands) {
    test::CTestNetwork network;
    if (!network.Ok()) {
        std::printf("live capture: %s\n", network.Error().c_str());
        return;
    }
    test::CFrameInjector injector(network.SendingEnd());
    const std::string device = network.CapturingEnd();
    CPcapDeviceSource devices(network.NetClassRoot());  // the namespace's real devices
    Program program(devices, device);
    const auto frame = TcpFrame(size, 0);

    std::printf(
        "live capture of %zu-byte frames, the whole program on %s (0 kernel drops and every "
        "frame a row = sustained):\n",
        size, qPrintable(QGuiApplication::platformName()));
    std::printf("  %8s %8s  %24s  %48s\n", "rate/s", "frames", "bare libpcap loop",
                "Wirelark (GUI stall, GUI CPU a frame: intake + painting)");
    int bareBest = 0;
    Step programBest;
    int programBestRate = 0;
    for (const int rate : kLadder) {
        // A step lasts a second, or less where a second of frames would fill the buffer.
        const double seconds = std::min(1.0, 0.9 * kBufferBytes / (rate * double(size)));
        const int count = static_cast<int>(rate * seconds);
        const Step bare = BareLoop(injector, device, frame, count, rate);
        const Step ours = InProgram(program, injector, frame, count, rate);
        std::printf(
            "  %8d %8d  %9s (drop %6llu)      %9s (drop %6llu, %6.1f ms, %5.2f + %5.2f us)%s\n",
            rate, count, bare.sustained ? "sustained" : "LOST",
            static_cast<unsigned long long>(bare.dropped), ours.sustained ? "sustained" : "LOST",
            static_cast<unsigned long long>(ours.dropped), ours.stallMs, ours.intakeUs,
            ours.paintUs,
            std::min(bare.reached, ours.reached) < 0.95 * rate ? "  (injector below rate)" : "");
        if (bare.sustained) {
            bareBest = rate;
        }
        if (ours.sustained) {
            programBest = ours;
            programBestRate = rate;
        }
        // The injector's own limit ends the ladder: beyond it, no step says more.
        if ((!bare.sustained && !ours.sustained) ||
            std::min(bare.reached, ours.reached) < 0.95 * rate) {
            break;
        }
    }
    std::printf(
        "  GUI thread's intake cost at %d/s: %.2f us a frame (target at most 1), and %.2f us a "
        "frame painting the window\n",
        programBestRate, programBest.intakeUs, programBest.paintUs);
    std::printf(
        "highest sustained %zu-byte: bare %d/s, Wirelark %d/s, ratio %.2f, longest GUI "
        "stall %.0f ms\n",
        size, bareBest, programBestRate,
        bareBest > 0 ? static_cast<double>(programBestRate) / bareBest : 0.0, programBest.stallMs);
    if (bThenCommands && programBestRate > 0) {
        CommandsAtFullRate(program, injector, programBestRate);
    }
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

struct ListTimes {
    double refillMs = 0;
    double scrollMs = 0;
    double clickMs = 0;
    int shown = 0;
};

// Rebuilding the rows of a document of `count` packets, scrolling to its end and clicking on
// its last row, each painted; the best of three rounds, since the system's writing back of a
// file just saved can stall any one of them.
ListTimes TimeTheListOnce(Fixture& f, int count) {
    ListTimes times;
    QElapsedTimer timer;
    timer.start();
    f.view.RefillRows();
    QApplication::processEvents();
    times.refillMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;

    timer.restart();
    f.view.scrollToBottom();
    f.view.viewport()->repaint();
    times.scrollMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;

    timer.restart();
    const QModelIndex last = f.view.model()->index(count - 1, 0);
    f.view.selectionModel()->select(
        last, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    emit f.view.clicked(last);
    f.view.viewport()->repaint();
    times.clickMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    times.shown = f.frame.shown.empty() ? 0 : f.frame.shown.back().number;
    return times;
}

ListTimes TimeTheList(Fixture& f, int count) {
    ListTimes best = TimeTheListOnce(f, count);
    for (int round = 1; round < 3; ++round) {
        const ListTimes times = TimeTheListOnce(f, count);
        best.refillMs = std::min(best.refillMs, times.refillMs);
        best.scrollMs = std::min(best.scrollMs, times.scrollMs);
        best.clickMs = std::min(best.clickMs, times.clickMs);
        best.shown = times.shown;
    }
    return best;
}

void PrintListTimes(const ListTimes& times) {
    std::printf(
        "  rebuild rows %.1f ms, scroll to end %.1f ms, click on last row %.1f ms "
        "(shown packet %d)\n",
        times.refillMs, times.scrollMs, times.clickMs, times.shown);
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
    const ListTimes times = TimeTheList(f, kCount);
    const std::size_t after = test::ResidentBytes();
    const double processMb = static_cast<double>(after) / 1048576.0;
    const double growthMb = (static_cast<double>(after) - static_cast<double>(before)) / 1048576.0;
    std::printf("a million stored packets of %zu sizes (%.0f MB of frame bytes):\n", sizes.size(),
                storedMb);
    PrintListTimes(times);
    std::printf(
        "  process memory %.0f MB (grew %.0f MB); target 1.5 x %.0f + 50 = %.0f MB; "
        "ratio %.2f of target\n",
        processMb, growthMb, storedMb, 1.5 * storedMb + 50, processMb / (1.5 * storedMb + 50));

    // The same packets opened from a pcap file, where they stay: every row shown is read back.
    const std::string path = QDir::temp().filePath("wirelark-intake-bench.pcap").toStdString();
    if (!f.doc.SaveFile(path, CaptureFileFormat::Pcap).Succeeded()) {
        std::printf("  (could not save the pcap file for the opened list)\n");
        return;
    }
    Fixture opened;
    if (!opened.doc.OpenFile(path).Succeeded()) {
        std::printf("  (could not open the pcap file)\n");
        return;
    }
    std::filesystem::remove(path);
    std::printf("the same packets opened from a pcap file, their bytes left in the file:\n");
    PrintListTimes(TimeTheList(opened, kCount));
}

}  // namespace

int main(int argc, char** argv) {
    // The real thing paints to a real X server: without a display, run again under Xvfb.
    if (!test::RelaunchUnderXvfbWithoutDisplay(argc, argv)) {
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    CTimedApplication app(argc, argv);
    // The program reads and writes its profile: keep the user's own out of the bench.
    QTemporaryDir profile;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, profile.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, profile.path());

    // A frame size as argument runs that size's live ladder alone, for profiling; "list" runs
    // only the million stored packets.
    const std::size_t only = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 0;
    const bool bListOnly = argc > 1 && std::string(argv[1]) == "list";
    const std::string why = bListOnly ? std::string() : test::CTestNetwork::WhyUnavailable();
    if (bListOnly) {
        // straight to the list
    } else if (!why.empty()) {
        std::printf("live capture: skipped, %s\n", why.c_str());
    } else if (only > 0) {
        LiveRates(only, false);
        return 0;
    } else {
        LiveRates(60, true);
        LiveRates(1514, false);
    }
    MillionPackets({60});
    MillionPackets({60, 590, 1514});
    return 0;
}
