#include "tools/common/text_io.h"

#include "frame/platform.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace kwill::tools {

std::wstring WideFromUtf8(std::string_view text) {
    if (text.empty()) return {};
    int n =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string Utf8FromWide(std::wstring_view text) {
    if (text.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

void UseBinaryStdio() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

void WriteOut(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}
void WriteErr(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

std::vector<uint8_t> ReadAllStdin() {
    std::vector<uint8_t> data;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), stdin)) > 0) {
        data.insert(data.end(), chunk, chunk + n);
    }
    return data;
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::wstring& path, unsigned long* error) {
    auto fail = [&](DWORD code) -> std::optional<std::vector<uint8_t>> {
        if (error) *error = code;
        return std::nullopt;
    };
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail(::GetLastError());
    LARGE_INTEGER size{};
    uint64_t total = 0;
    if (::GetFileType(file) == FILE_TYPE_DISK && ::GetFileSizeEx(file, &size))
        total = static_cast<uint64_t>(size.QuadPart);
    std::vector<uint8_t> data;
    DWORD code = 0;
    {
        Progress progress(total);
        if (total) data.reserve(static_cast<size_t>(total));
        std::vector<uint8_t> chunk(1 << 20);
        for (;;) {
            DWORD got = 0;
            if (!::ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
                code = ::GetLastError();
                if (code == ERROR_BROKEN_PIPE) code = 0;
                break;
            }
            if (got == 0) break;
            data.insert(data.end(), chunk.data(), chunk.data() + got);
            progress.Update(data.size());
        }
    }
    ::CloseHandle(file);
    if (code) return fail(code);
    return data;
}

std::string SystemMessage(unsigned long error) {
    wchar_t* text = nullptr;
    DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", n);
    if (text) ::LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    std::string number = "error " + std::to_string(error);
    return message.empty() ? number : Utf8FromWide(message) + " (" + number + ")";
}

bool StderrIsTerminal() {
    HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return err && err != INVALID_HANDLE_VALUE &&
           (::GetConsoleMode(err, &mode) || ::GetFileType(err) == FILE_TYPE_CHAR);
}

Progress::Progress(uint64_t total, uint64_t threshold)
    : total_(total), shown_(total > threshold && StderrIsTerminal()) {}

Progress::~Progress() {
    Finish();
}

void Progress::Finish() {
    if (shown_ && lastPercent_ >= 0) WriteErr("\n");
    shown_ = false;
}

void Progress::Update(uint64_t done) {
    if (!shown_ || !total_) return;
    int percent = static_cast<int>((done < total_ ? done : total_) * 100 / total_);
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    constexpr int kWidth = 40;
    int filled = percent * kWidth / 100;
    WriteErr("\r[" + std::string(filled, '#') + std::string(kWidth - filled, ' ') + "] " +
             std::to_string(percent) + "%");
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') --stop;
        lines.emplace_back(text.substr(start, stop - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace kwill::tools
