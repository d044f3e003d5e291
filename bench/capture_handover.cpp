// Capture throughput: frames injected into a veth pair as fast as the machine allows, captured
// by the engine into a receiver that only counts, beside a bare pcap_next_ex loop in the same run.
#include <pcap/pcap.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "capture/capture_engine.h"
#include "capture/frame_handover.h"
#include "support/frame_builder.h"
#include "support/test_network.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using wirelark::test::CFrameBuilder;
using wirelark::test::CFrameInjector;
using wirelark::test::CTestNetwork;
using wirelark::test::MakeTestFrame;

class NullSink final : public wirelark::IMessageSink {
public:
    void ShowMessage(const std::string& text, wirelark::MessageIcon) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
};

struct Counter {
    std::atomic<std::uint64_t> frames{0};
    std::atomic<Clock::rep> last{0};
    void Count() {
        frames.fetch_add(1, std::memory_order_relaxed);
        last.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    }
};

class CountingReceiver final : public wirelark::IPacketReceiver, public wirelark::IFrameConsumer {
public:
    explicit CountingReceiver(Counter& counter) : m_counter(counter) {}
    void OnCapturedPacket(const pcap_pkthdr&, std::span<const std::uint8_t>) override {
        m_counter.Count();
    }
    bool TakeFrame(const pcap_pkthdr&, std::span<const std::uint8_t>) override {
        m_counter.Count();
        return true;
    }
    void FramesTaken() override {}
    void OnCaptureFailed(const std::string& message) override {
        std::fprintf(stderr, "capture failed: %s\n", message.c_str());
    }

private:
    Counter& m_counter;
};

struct Result {
    std::uint64_t received = 0;
    std::uint64_t dropped = 0;
    double seconds = 0;
    double Rate() const { return seconds > 0 ? static_cast<double>(received) / seconds : 0; }
};

// What is sent, in turn, and the capture filter the reader installs; the probe passes it.
struct Traffic {
    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<std::uint8_t> probe;
    std::string filter;
};

Traffic Unfiltered(std::size_t size) {
    Traffic traffic{{}, MakeTestFrame(0xFFFFFFFF, 60), ""};
    for (std::uint32_t i = 0; i < 64; ++i) {
        traffic.frames.push_back(MakeTestFrame(i, size));
    }
    return traffic;
}

// 60-byte UDP frames, one in ten to port 9, which the filter keeps.
Traffic OneInTenMatching() {
    const auto udp = [](std::uint16_t port) {
        return CFrameBuilder()
            .Ethernet()
            .Ipv4({.protocol = 17})
            .Udp({.destinationPort = port})
            .PadTo(60)
            .Build();
    };
    Traffic traffic{{}, udp(9), "udp port 9"};
    for (int i = 0; i < 10; ++i) {
        traffic.frames.push_back(udp(i == 0 ? 9 : 10));
    }
    return traffic;
}

// Probes until the capture sees a frame, then injects `count` frames and waits until the
// receiver has been quiet for longer than one read timeout.
Result Measure(CFrameInjector& injector, Counter& counter, std::uint32_t count,
               const Traffic& traffic) {
    const auto& probe = traffic.probe;
    for (int i = 0; i < 500 && counter.frames.load() == 0; ++i) {
        injector.Inject(probe);
        std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(1200ms);  // probes still in the kernel's block come through
    const std::uint64_t before = counter.frames.load();
    const auto& frames = traffic.frames;
    const auto start = Clock::now();
    for (std::uint32_t i = 0; i < count; ++i) {
        injector.Inject(frames[i % frames.size()]);
    }
    std::uint64_t seen = counter.frames.load();
    for (;;) {
        std::this_thread::sleep_for(1500ms);
        const std::uint64_t now = counter.frames.load();
        if (now == seen) {
            break;
        }
        seen = now;
    }
    Result result;
    result.received = seen - before;
    const Clock::time_point last{Clock::duration(counter.last.load())};
    result.seconds = std::chrono::duration<double>(last - start).count();
    return result;
}

Result RunEngine(const std::string& device, CFrameInjector& injector, std::uint32_t count,
                 const Traffic& traffic, bool throughHandover) {
    NullSink sink;
    Counter counter;
    CountingReceiver counting(counter);
    wirelark::CCaptureEngine engine(sink);
    // With a hand-over, a second thread plays the window's thread and handles every frame.
    std::atomic<bool> serving{true};
    std::mutex wakeMutex;
    std::condition_variable wakeUp;
    bool woken = false;
    wirelark::CFrameHandover handover(counting, [&] {
        {
            std::lock_guard lock(wakeMutex);
            woken = true;
        }
        wakeUp.notify_one();
    });
    std::thread consumer;
    if (throughHandover) {
        consumer = std::thread([&] {
            while (serving.load()) {
                std::unique_lock lock(wakeMutex);
                wakeUp.wait_for(lock, 100ms, [&] { return woken; });
                woken = false;
                lock.unlock();
                handover.ServicePending();
            }
        });
    }
    engine.SetTargetWindow(throughHandover ? static_cast<wirelark::IPacketReceiver*>(&handover)
                                           : &counting);
    engine.SetCaptureFilter(traffic.filter);
    engine.StartCapture(device);
    Result result = Measure(injector, counter, count, traffic);
    engine.StopCapture();
    handover.Close();
    serving = false;
    if (consumer.joinable()) {
        consumer.join();
    }
    result.dropped = engine.GetStatistics().dropped;
    return result;
}

Result RunBareLoop(const std::string& device, CFrameInjector& injector, std::uint32_t count,
                   const Traffic& traffic) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_create(device.c_str(), errbuf);
    pcap_set_snaplen(handle, wirelark::CCaptureEngine::kSnapLength);
    pcap_set_promisc(handle, 1);
    pcap_set_timeout(handle, wirelark::CCaptureEngine::kReadTimeoutMs);
    pcap_set_buffer_size(handle, wirelark::CCaptureEngine::kKernelBufferBytes);
    if (pcap_activate(handle) < 0) {
        std::fprintf(stderr, "baseline: %s\n", pcap_geterr(handle));
        std::exit(1);
    }
    bpf_program program{};
    if (!traffic.filter.empty() &&
        (pcap_compile(handle, &program, traffic.filter.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0 ||
         pcap_setfilter(handle, &program) != 0)) {
        std::fprintf(stderr, "baseline: %s\n", pcap_geterr(handle));
        std::exit(1);
    }
    pcap_freecode(&program);
    Counter counter;
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop.load()) {
            pcap_pkthdr* header = nullptr;
            const u_char* data = nullptr;
            if (pcap_next_ex(handle, &header, &data) > 0) {
                counter.Count();
            }
        }
    });
    Result result = Measure(injector, counter, count, traffic);
    stop = true;
    pcap_breakloop(handle);
    reader.join();
    pcap_stat stats{};
    pcap_stats(handle, &stats);
    result.dropped = stats.ps_drop;
    pcap_close(handle);
    return result;
}

void Print(const char* name, const Result& r, std::uint32_t sent) {
    std::printf("  %-28s sent %7u  received %7llu  dropped by kernel %6llu  %9.0f frames/s\n", name,
                sent, static_cast<unsigned long long>(r.received),
                static_cast<unsigned long long>(r.dropped), r.Rate());
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint32_t count = argc > 1 ? static_cast<std::uint32_t>(std::atoi(argv[1])) : 200000;
    const std::string why = CTestNetwork::WhyUnavailable();
    if (!why.empty()) {
        std::printf("capture_handover: skipped, %s\n", why.c_str());
        return 0;
    }
    CTestNetwork network;
    if (!network.Ok()) {
        std::printf("capture_handover: %s\n", network.Error().c_str());
        return 1;
    }
    CFrameInjector injector(network.SendingEnd());
    std::printf("capture_handover: %u frames injected into a veth pair as fast as possible\n",
                count);
    for (const std::size_t size : {std::size_t{60}, std::size_t{1514}}) {
        std::printf("%zu-byte frames:\n", size);
        const Traffic traffic = Unfiltered(size);
        const Result bare = RunBareLoop(network.CapturingEnd(), injector, count, traffic);
        const Result engine = RunEngine(network.CapturingEnd(), injector, count, traffic, false);
        const Result handover = RunEngine(network.CapturingEnd(), injector, count, traffic, true);
        Print("bare pcap_next_ex loop", bare, count);
        Print("engine, counting receiver", engine, count);
        Print("engine, hand-over to thread", handover, count);
        std::printf("  ratio engine/baseline %.2f, hand-over/baseline %.2f\n",
                    engine.Rate() / bare.Rate(), handover.Rate() / bare.Rate());
    }
    // The kernel filters: both readers see only the matching tenth, at the rate frames come.
    const Traffic filtered = OneInTenMatching();
    std::printf("60-byte UDP frames, one in ten matching the capture filter \"%s\":\n",
                filtered.filter.c_str());
    const Result bare = RunBareLoop(network.CapturingEnd(), injector, count, filtered);
    const Result handover = RunEngine(network.CapturingEnd(), injector, count, filtered, true);
    Print("bare loop, same filter", bare, count);
    Print("engine, hand-over to thread", handover, count);
    std::printf("  ratio hand-over/baseline %.2f (both should receive %u)\n",
                handover.Rate() / bare.Rate(), count / 10);
    return 0;
}
