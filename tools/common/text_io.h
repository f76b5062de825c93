// UTF-8 / UTF-16 conversion and whole-file and standard-stream I/O for the tool and benchmark.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kwill::tools {

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// Standard output and error in binary mode, so UTF-8 goes out byte for byte.
void UseBinaryStdio();
void WriteOut(std::string_view text);
void WriteErr(std::string_view text);

std::vector<uint8_t> ReadAllStdin();
// Reads a whole file, with a progress bar for big files on a terminal. On failure *error (if
// given) receives the system's error code.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::wstring& path,
                                                  unsigned long* error = nullptr);

// The system's own text for an error code ("The system cannot find the file specified."), with
// the number after it; just the number where the system has no text.
std::string SystemMessage(unsigned long error);

// True when standard error is an interactive console, where a progress bar helps and does not
// end up in a log.
bool StderrIsTerminal();

// A progress bar on standard error for work over a known total, drawn only on a terminal and only
// when the total is above the threshold; the destructor ends its line.
class Progress {
  public:
    static constexpr uint64_t kDefaultThreshold = 64ull << 20;
    explicit Progress(uint64_t total, uint64_t threshold = kDefaultThreshold);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    void Update(uint64_t done);
    // Ends the bar's line, so that a message can follow on a line of its own.
    void Finish();

  private:
    uint64_t total_;
    bool shown_;
    int lastPercent_ = -1;
};

// Splits UTF-8 text into lines without their line ends ("\n" or "\r\n").
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace kwill::tools
