// Signing the language files with the release key: the "CERT" resource of english.dll and the
// translation archives. Shared by kwillsign and the tests that make their own signed files.
#pragma once

#include "frame/platform.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kwill::tools {

// The private key configure made or was given.
std::wstring DefaultSigningKeyPath();

// A path as the build passes it: a Unix path names the same file through drive Z:.
std::wstring WindowsPath(const std::wstring& path);

// The 32-byte seed of an Ed25519 private key in PKCS#8 PEM.
bool ReadSigningSeed(const std::wstring& pemPath, uint8_t seed[32]);

// Copies `in` to `out` (unless they are the same) and adds the "CERT" resource that vouches for
// its string tables and dialogs. On failure says why.
bool CertifyLanguageModule(const std::wstring& in, const std::wstring& out, const uint8_t seed[32],
                           std::string& error);

// Writes a translation archive: "<code>.json" and its "signature", both encrypted with the
// translation password. The document must pass the library's checks.
bool PackTranslation(const std::wstring& out, const std::wstring& code,
                     const std::vector<uint8_t>& json, const uint8_t seed[32], std::string& error);

}  // namespace kwill::tools
