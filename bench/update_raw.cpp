// The plain program of the update benchmark: the same protocol work as the updater, done as
// directly as WinInet and kernel32 allow, with nothing else around it. It fetches the index,
// asks for the database's headers (closing that request with the body unread), downloads the
// database with 64 KiB reads into a work file and copies it into each folder.
//
//   update_raw INDEX_URL WORK_FILE FOLDER...
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

constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;

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
    if (argc < 4) {
        std::printf("usage: update_raw INDEX_URL WORK_FILE FOLDER...\n");
        return 2;
    }
    const char* indexUrl = argv[1];
    const char* workFile = argv[2];

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
        InternetHandle request(
            InternetOpenUrlA(root.Get(), indexUrl, nullptr, 0, kRequestFlags, 0));
        if (request.Get() == nullptr) return Fail("index request");
        if (!ReadAll(request.Get(), index)) return Fail("index read");
    }
    const std::string databaseUrl = PrimaryUrl(index);
    if (databaseUrl.empty()) return Fail("index without Primary");

    // The headers only; closing the request with its body unread costs what it costs.
    DWORD contentLength = 0;
    {
        InternetHandle request(
            InternetOpenUrlA(root.Get(), databaseUrl.c_str(), nullptr, 0, kRequestFlags, 0));
        if (request.Get() == nullptr) return Fail("header request");
        DWORD status = 0;
        DWORD size = sizeof status;
        if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                            &size, nullptr) ||
            status != 200) {
            return Fail("status");
        }
        size = sizeof contentLength;
        if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                            &contentLength, &size, nullptr)) {
            return Fail("Content-Length");
        }
        SYSTEMTIME lastModified;
        size = sizeof lastModified;
        if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME,
                            &lastModified, &size, nullptr)) {
            return Fail("Last-Modified");
        }
    }

    DWORD total = 0;
    {
        InternetHandle request(
            InternetOpenUrlA(root.Get(), databaseUrl.c_str(), nullptr, 0, kRequestFlags, 0));
        if (request.Get() == nullptr) return Fail("download request");
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

    for (int i = 3; i < argc; ++i) {
        std::string target = argv[i];
        if (!target.empty() && target.back() != '\\') target += '\\';
        target += "Tolvar32.bdb";
        if (!CopyFileA(workFile, target.c_str(), FALSE)) return Fail("copy");
    }
    DeleteFileA(workFile);

    QueryPerformanceCounter(&end);
    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) /
                           static_cast<double>(frequency.QuadPart);
    std::printf("raw_seconds=%.4f bytes=%lu\n", seconds, static_cast<unsigned long>(total));
    return 0;
}
