// The plain program of the update benchmarks: the updater's protocol work, done as directly as
// WinInet and kernel32 allow, with nothing else around it. It fetches the index, asks for the
// database's headers with HEAD, downloads the database with 64 KiB reads into a work file and
// copies it into each folder. All requests go through one root, with the updater's agent and
// request flags.
//
//   update_raw [--no-headers] [--flush] INDEX_URL WORK_FILE FOLDER...
//
// --no-headers leaves the HEAD out (the least work that can update the folders: the index, the
// body and the copies); --flush flushes each copy to the disk before the next step.
//
// Prints "raw_seconds=S bytes=N" for the work from the index request to the last copy, or
// "raw_error=..." and exits with 1.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
    ~InternetHandle() {
        if (handle_ != nullptr) InternetCloseHandle(handle_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET Get() const { return handle_; }

private:
    HINTERNET handle_;
};

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;

int Fail(const char* what) {
    std::printf("raw_error=%s (%lu)\n", what, static_cast<unsigned long>(GetLastError()));
    return 1;
}

// The index is INI text; the database's URL is the value of its Primary key.
std::string PrimaryUrl(const std::string& index) {
    const std::string key = "Primary=";
    size_t at = index.find(key);
    if (at == std::string::npos) return std::string();
    at += key.size();
    const size_t end = index.find_first_of("\r\n", at);
    return index.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// One HTTP request for url with verb, sent, its status 200; its connection and request
// close with it.
class Request {
public:
    Request(HINTERNET root, const std::string& url, const char* verb) {
        char host[256] = {};
        char path[2048] = {};
        URL_COMPONENTSA parts{};
        parts.dwStructSize = sizeof parts;
        parts.lpszHostName = host;
        parts.dwHostNameLength = sizeof host;
        parts.lpszUrlPath = path;
        parts.dwUrlPathLength = sizeof path;
        if (!InternetCrackUrlA(url.c_str(), 0, 0, &parts)) return;
        connection_ =
            InternetConnectA(root, host, parts.nPort, "", "", INTERNET_SERVICE_HTTP, 0, 0);
        if (connection_ == nullptr) return;
        request_ =
            HttpOpenRequestA(connection_, verb, path, nullptr, nullptr, nullptr, kRequestFlags, 0);
        if (request_ == nullptr || !HttpSendRequestA(request_, nullptr, 0, nullptr, 0)) return;
        DWORD status = 0;
        DWORD size = sizeof status;
        ok_ = HttpQueryInfoA(request_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                             &size, nullptr) &&
              status == 200;
    }
    ~Request() {
        if (request_ != nullptr) InternetCloseHandle(request_);
        if (connection_ != nullptr) InternetCloseHandle(connection_);
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;
    bool Ok() const { return ok_; }
    HINTERNET Get() const { return request_; }

private:
    HINTERNET connection_ = nullptr;
    HINTERNET request_ = nullptr;
    bool ok_ = false;
};

// Opens the copy again and flushes it, as a program does that must not lose it to a crash.
bool FlushFile(const std::string& path) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Get() != INVALID_HANDLE_VALUE && FlushFileBuffers(file.Get());
}

bool ReadAll(HINTERNET request, std::string& out) {
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request, buffer, sizeof buffer, &got)) return false;
        if (got == 0) return true;
        out.append(buffer, got);
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool askHeaders = true;
    bool flush = false;
    int first = 1;
    for (; first < argc && std::strncmp(argv[first], "--", 2) == 0; ++first) {
        if (std::strcmp(argv[first], "--no-headers") == 0) {
            askHeaders = false;
        } else if (std::strcmp(argv[first], "--flush") == 0) {
            flush = true;
        } else {
            first = argc;  // unknown option: the usage below
        }
    }
    if (argc - first < 3) {
        std::printf("usage: update_raw [--no-headers] [--flush] INDEX_URL WORK_FILE FOLDER...\n");
        return 2;
    }
    const char* indexUrl = argv[first];
    const char* workFile = argv[first + 1];

    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);

    InternetHandle root(
        InternetOpenA("Orvanta File Update", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (root.Get() == nullptr) return Fail("InternetOpenA");

    std::string index;
    {
        Request request(root.Get(), indexUrl, "GET");
        if (!request.Ok()) return Fail("index request");
        if (!ReadAll(request.Get(), index)) return Fail("index read");
    }
    const std::string databaseUrl = PrimaryUrl(index);
    if (databaseUrl.empty()) return Fail("index without Primary");

    // The headers, as the updater asks for them before it decides to download.
    if (askHeaders) {
        Request request(root.Get(), databaseUrl, "HEAD");
        if (!request.Ok()) return Fail("header request");
        DWORD contentLength = 0;
        DWORD size = sizeof contentLength;
        if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                            &contentLength, &size, nullptr)) {
            return Fail("Content-Length");
        }
        // As text, as the updater reads it: the library's conversion to a SYSTEMTIME crashes on
        // some texts.
        char lastModified[256] = {};
        size = sizeof lastModified - 1;
        if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_LAST_MODIFIED, lastModified, &size,
                            nullptr)) {
            return Fail("Last-Modified");
        }
    }

    DWORD total = 0;
    DWORD contentLength = 0;
    {
        Request request(root.Get(), databaseUrl, "GET");
        if (!request.Ok()) return Fail("download request");
        DWORD size = sizeof contentLength;
        if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                            &contentLength, &size, nullptr)) {
            return Fail("Content-Length");
        }
        FileHandle file(CreateFileA(workFile, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.Get() == INVALID_HANDLE_VALUE) return Fail("work file");
        std::vector<char> buffer(64 * 1024);
        for (;;) {
            DWORD got = 0;
            if (!InternetReadFile(request.Get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                  &got)) {
                return Fail("download read");
            }
            if (got == 0) break;
            DWORD written = 0;
            if (!WriteFile(file.Get(), buffer.data(), got, &written, nullptr) || written != got) {
                return Fail("work file write");
            }
            total += got;
        }
    }
    if (total != contentLength) return Fail("length differs");

    for (int i = first + 2; i < argc; ++i) {
        std::string target = argv[i];
        if (!target.empty() && target.back() != '\\') target += '\\';
        target += "Tolvar32.bdb";
        if (!CopyFileA(workFile, target.c_str(), FALSE)) return Fail("copy");
        if (flush && !FlushFile(target)) return Fail("flush");
    }
    DeleteFileA(workFile);

    QueryPerformanceCounter(&end);
    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) /
                           static_cast<double>(frequency.QuadPart);
    std::printf("raw_seconds=%.4f bytes=%lu\n", seconds, static_cast<unsigned long>(total));
    return 0;
}
