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
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::wstring& path);

// Splits UTF-8 text into lines without their line ends ("\n" or "\r\n").
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace kwill::tools
