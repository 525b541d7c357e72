// download_vs_raw: InternetSession::DownloadFile against the plainest WinInet download (one
// request, 64 KiB InternetReadFile calls straight into WriteFile), side by side in one run.
//
//   download_vs_raw.exe PORT FOLDER [RUNS]
//
// Downloads http://127.0.0.1:PORT/big (served by bench/run_download_bench.py) RUNS times on
// each side, alternating, into FOLDER. Both sides send the same request (GET, reload, no cache
// write, keep connection) and read the status and the length before the body. Prints each run,
// the medians and spreads, and as its last line "download_vs_raw: R", R being the median
// throughput of DownloadFile over the median throughput of the raw loop.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/internet_session.h"
#include "platform/platform.h"

namespace {

constexpr char kAgent[] = "download_vs_raw";
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
constexpr DWORD kChunk = 64 * 1024;

double Seconds() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

unsigned long long FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Closes a WinInet handle when it goes out of scope.
struct Handle {
    HINTERNET h = nullptr;
    ~Handle() {
        if (h != nullptr) InternetCloseHandle(h);
    }
};

// The raw side; false on any failure.
bool RawDownload(unsigned short port, const std::string& path) {
    Handle root;
    root.h = InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (root.h == nullptr) return false;
    Handle connection;
    connection.h = InternetConnectA(root.h, "127.0.0.1", port, "", "", INTERNET_SERVICE_HTTP, 0, 0);
    if (connection.h == nullptr) return false;
    Handle request;
    request.h =
        HttpOpenRequestA(connection.h, "GET", "big", nullptr, nullptr, nullptr, kRequestFlags, 0);
    if (request.h == nullptr) return false;
    if (!HttpSendRequestA(request.h, nullptr, 0, nullptr, 0)) return false;
    char text[260] = {};
    DWORD length = sizeof(text) - 1;
    if (!HttpQueryInfoA(request.h, HTTP_QUERY_STATUS_CODE, text, &length, nullptr) ||
        std::atoi(text) != 200) {
        return false;
    }
    length = sizeof(text) - 1;
    if (!HttpQueryInfoA(request.h, HTTP_QUERY_CONTENT_LENGTH, text, &length, nullptr)) {
        return false;
    }
    const unsigned long long expected = std::strtoull(text, nullptr, 10);

    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::vector<char> buffer(kChunk);
    unsigned long long total = 0;
    bool ok = true;
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request.h, buffer.data(), kChunk, &got)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        DWORD written = 0;
        if (!WriteFile(file, buffer.data(), got, &written, nullptr) || written != got) {
            ok = false;
            break;
        }
        total += got;
    }
    if (!FlushFileBuffers(file)) ok = false;
    CloseHandle(file);
    return ok && total == expected;
}

struct Progress {
    unsigned calls = 0;
    static int Callback(void* userData, const mivetrak::TransferProgress*) {
        ++static_cast<Progress*>(userData)->calls;
        return 1;
    }
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

void Summary(const char* name, const std::vector<double>& seconds, double mib) {
    const auto [low, high] = std::minmax_element(seconds.begin(), seconds.end());
    const double median = Median(seconds);
    std::printf("%-13s median %.3f s (%.1f MiB/s), spread %.3f .. %.3f s (%+.0f%% .. %+.0f%%)\n",
                name, median, mib / median, *low, *high, (*low / median - 1.0) * 100.0,
                (*high / median - 1.0) * 100.0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: download_vs_raw PORT FOLDER [RUNS]\n");
        return 2;
    }
    const auto port = static_cast<unsigned short>(std::atoi(argv[1]));
    std::string folder = argv[2];
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 11;
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/big";
    const std::string sessionFile = folder + "session.bin";
    const std::string rawFile = folder + "raw.bin";

    std::unique_ptr<mivetrak::PlatformHolder> holder = mivetrak::CreateWin32Platform();
    mivetrak::Platform& platform = holder->Get();
    // Only the agent matters here, and each download names its own; no connection test runs.
    const mivetrak::Deployment deployment{url, kAgent, "", "", std::nullopt};
    mivetrak::DownloadRequest request;
    request.agent = kAgent;
    request.url = url;
    request.localPath = sessionFile;

    // One untimed round each, so that both sides start with the connection machinery warm.
    {
        mivetrak::InternetSession session(platform, deployment);
        if (!session.DownloadFile(request) || !RawDownload(port, rawFile)) {
            std::fprintf(stderr, "warm-up download failed\n");
            return 1;
        }
    }
    const unsigned long long size = FileSize(rawFile);
    if (size == 0 || FileSize(sessionFile) != size) {
        std::fprintf(stderr, "sizes differ: %llu vs %llu\n", FileSize(sessionFile), size);
        return 1;
    }
    const double mib = static_cast<double>(size) / (1024.0 * 1024.0);
    std::printf("body: %llu bytes (%.1f MiB), %d runs per side, alternating\n", size, mib, runs);

    std::vector<double> sessionSeconds;
    std::vector<double> rawSeconds;
    for (int run = 0; run < runs; ++run) {
        Progress progress;
        double start = Seconds();
        {
            mivetrak::InternetSession session(platform, deployment);
            mivetrak::DownloadRequest counted = request;
            counted.callback = &Progress::Callback;
            counted.userData = &progress;
            if (!session.DownloadFile(counted)) {
                std::fprintf(stderr, "DownloadFile failed in run %d\n", run + 1);
                return 1;
            }
        }
        sessionSeconds.push_back(Seconds() - start);

        start = Seconds();
        if (!RawDownload(port, rawFile)) {
            std::fprintf(stderr, "raw download failed in run %d\n", run + 1);
            return 1;
        }
        rawSeconds.push_back(Seconds() - start);
        if (FileSize(sessionFile) != size || FileSize(rawFile) != size) {
            std::fprintf(stderr, "short file in run %d\n", run + 1);
            return 1;
        }
        std::printf("run %d: DownloadFile %.3f s (%u callbacks), raw loop %.3f s\n", run + 1,
                    sessionSeconds.back(), progress.calls, rawSeconds.back());
    }
    Summary("DownloadFile", sessionSeconds, mib);
    Summary("raw loop", rawSeconds, mib);
    // Throughput is size over time, so the ratio of throughputs is the inverse ratio of times.
    const double ratio = Median(rawSeconds) / Median(sessionSeconds);
    std::printf("download_vs_raw: %.2f\n", ratio);
    std::fflush(stdout);
    return 0;
}
