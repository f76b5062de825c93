#include "frame/xml_document.h"

#include <io.h>

#include <cstring>
#include <istream>
#include <iterator>
#include <new>

// The parser keeps the error position and the byte-order-mark flag private and offers no
// setter. An explicit instantiation may name private members, which gives the document a
// pointer to each: the depth guard reports where the nesting went too deep, and callers can
// ask for a byte-order mark on a new document.
namespace {

template <typename Tag, typename Tag::type Member>
struct MemberAccess {
    friend typename Tag::type MemberOf(Tag) { return Member; }
};
struct ErrorLocationTag {
    using type = TiXmlCursor TiXmlDocument::*;
    friend type MemberOf(ErrorLocationTag);
};
struct BomFlagTag {
    using type = bool TiXmlDocument::*;
    friend type MemberOf(BomFlagTag);
};
template struct MemberAccess<ErrorLocationTag, &TiXmlDocument::errorLocation>;
template struct MemberAccess<BomFlagTag, &TiXmlDocument::useMicrosoftBOM>;

}  // namespace

namespace kwill {
namespace {

constexpr DWORD kProtectiveAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

void RealSleep(DWORD ms) {
    ::Sleep(ms);
}

FILE* RealOpen(const wchar_t* name, const wchar_t* mode) {
    FILE* file = nullptr;
    if (_wfopen_s(&file, name, mode) != 0) return nullptr;
    return file;
}

bool RealCommit(FILE* file) {
    if (std::fflush(file) != 0) return false;
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && ::FlushFileBuffers(handle);
}

int RealClose(FILE* file) {
    return std::fclose(file);
}

BOOL RealMove(const wchar_t* from, const wchar_t* to) {
    return ::MoveFileW(from, to);
}

BOOL RealReplace(const wchar_t* target, const wchar_t* replacement) {
    return ::ReplaceFileW(target, replacement, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                          nullptr);
}

constexpr XmlFileOps kDefaultOps = {RealSleep, RealOpen, RealCommit,
                                    RealClose, RealMove, RealReplace};

bool Exists(const wchar_t* path) {
    return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// The UTF-8 form of a file name as the document value holds it: empty when the name does not
// fit in MAX_PATH bytes or does not convert.
std::string NarrowName(const wchar_t* name) {
    char buffer[MAX_PATH];
    int n = ::WideCharToMultiByte(CP_UTF8, 0, name, -1, buffer, MAX_PATH, nullptr, nullptr);
    return n > 0 ? std::string(buffer, n - 1) : std::string();
}

bool StartsWith(const char* p, const char* prefix) {
    return std::strncmp(p, prefix, std::strlen(prefix)) == 0;
}

// The parser's test for the character after '<' that starts an element.
bool StartsElementName(unsigned char c) {
    return c >= 127 || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Moves past the first occurrence of end, or to the terminator.
const char* SkipPast(const char* p, const char* end) {
    const char* found = std::strstr(p, end);
    return found ? found + std::strlen(end) : p + std::strlen(p);
}

// Row and column (0-based) of a position, counted as the parser counts them: tabs to the next
// tab stop, a UTF-8 sequence as one column.
void Locate(const char* text, const char* at, int tabSize, int& row, int& column) {
    row = 0;
    column = 0;
    for (const char* p = text; p < at; ++p) {
        auto c = static_cast<unsigned char>(*p);
        if (c == '\n') {
            ++row;
            column = 0;
        } else if (c == '\t' && tabSize > 0) {
            column = (column / tabSize + 1) * tabSize;
        } else if ((c & 0xC0) != 0x80 && !(p == text && c == 0xEF)) {
            ++column;
        }
    }
}

}  // namespace

const XmlFileOps& DefaultXmlFileOps() {
    return kDefaultOps;
}

XmlFileOps& XmlFileSeam() {
    static XmlFileOps ops = kDefaultOps;
    return ops;
}

// The scan follows the parser's own tokenising: comments, CDATA sections, declarations and
// unknown tags are skipped to their end marker (never further than the parser skips), quoted
// attribute values are skipped inside element tags, and "</" closes a level. Wherever the two
// could disagree the parser stops with an error, so the scan never reports less nesting than
// the parser would build.
size_t XmlNestingDepth(const char* text, size_t limit, const char** where) {
    if (where) *where = nullptr;
    if (!text) return 0;
    size_t depth = 0;
    size_t deepest = 0;
    const char* p = text;
    while ((p = std::strchr(p, '<')) != nullptr) {
        const char* tag = p;
        if (StartsWith(p, "<!--")) {
            p = SkipPast(p + 4, "-->");
        } else if (StartsWith(p, "<![CDATA[")) {
            p = SkipPast(p + 9, "]]>");
        } else if (p[1] == '/') {
            if (depth > 0) --depth;
            p = SkipPast(p + 2, ">");
        } else if (!StartsElementName(static_cast<unsigned char>(p[1]))) {
            p = SkipPast(p + 1, ">");  // declaration, DOCTYPE or anything the parser keeps as is
        } else {
            ++p;
            bool selfClosing = false;
            while (*p && *p != '>') {
                if (*p == '"' || *p == '\'') {
                    const char* close = std::strchr(p + 1, *p);
                    p = close ? close + 1 : p + std::strlen(p);
                } else {
                    selfClosing = *p == '/';
                    ++p;
                }
            }
            if (*p == '>') ++p;
            // An empty element is one level deeper for as long as the parser is in it.
            size_t level = depth + 1;
            if (!selfClosing) depth = level;
            if (level > deepest) deepest = level;
            if (deepest > limit) {
                if (where) *where = tag;
                return deepest;
            }
        }
    }
    return deepest;
}

XmlDocumentFile::XmlDocumentFile() = default;

XmlDocumentFile::XmlDocumentFile(const wchar_t* name) {
    SetWideFileName(name);
    ClearError();
}

XmlDocumentFile::XmlDocumentFile(const XmlDocumentFile& other)
    : TiXmlDocument(other), wideName_(other.wideName_), nestingRefused_(other.nestingRefused_) {}

XmlDocumentFile& XmlDocumentFile::operator=(const XmlDocumentFile& other) {
    if (this != &other) {
        TiXmlDocument::operator=(other);
        wideName_ = other.wideName_;
        nestingRefused_ = other.nestingRefused_;
    }
    return *this;
}

void XmlDocumentFile::SetWideFileName(const wchar_t* name) {
    wideName_.reset();
    if (name) {
        wideName_.emplace(name);
        SetValue(NarrowName(name));
    } else {
        SetValue("");
    }
}

bool XmlDocumentFile::HasConsistentFileName() const {
    if (!wideName_) return ValueStr().empty();
    return NarrowName(wideName_->c_str()) == ValueStr();
}

bool XmlDocumentFile::WriteBom() const {
    return this->*MemberOf(BomFlagTag{});
}

void XmlDocumentFile::SetWriteBom(bool write) {
    this->*MemberOf(BomFlagTag{}) = write;
}

void XmlDocumentFile::SetErrorAt(int id, int row, int column) {
    SetError(id, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
    TiXmlCursor& at = this->*MemberOf(ErrorLocationTag{});
    at.row = row;
    at.col = column;
}

const char* XmlDocumentFile::Parse(const char* text, TiXmlParsingData* data,
                                   TiXmlEncoding encoding) {
    const char* tooDeep = nullptr;
    XmlNestingDepth(text, kXmlMaxNesting, &tooDeep);
    nestingRefused_ = tooDeep != nullptr;
    if (tooDeep) {
        Clear();
        ClearError();
        int row, column;
        Locate(text, tooDeep, TabSize(), row, column);
        SetErrorAt(TIXML_ERROR_PARSING_ELEMENT, row, column);
        return nullptr;
    }
    return TiXmlDocument::Parse(text, data, encoding);
}

void XmlDocumentFile::StreamIn(std::istream* in, TIXML_STRING* tag) {
    tag->append(std::istreambuf_iterator<char>(*in), std::istreambuf_iterator<char>());
}

bool XmlDocumentFile::ClearProtectiveAttributes(const wchar_t* path) {
    if (!path) return true;
    DWORD attributes = ::GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & kProtectiveAttributes)) return true;
    DWORD kept = attributes & ~kProtectiveAttributes;
    return ::SetFileAttributesW(path, kept ? kept : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool XmlDocumentFile::LoadFile(TiXmlEncoding encoding) {
    ClearError();
    if (!wideName_ || !HasConsistentFileName()) {
        SetError(TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    return LoadNamed(wideName_->c_str(), encoding);
}

bool XmlDocumentFile::LoadFile(const wchar_t* name, TiXmlEncoding encoding) {
    SetWideFileName(name);
    return LoadFile(encoding);
}

bool XmlDocumentFile::LoadFile(FILE* stream, TiXmlEncoding encoding) {
    ClearError();
    return ReadStream(stream, encoding);
}

// Another process (the host saving, a backup tool, a virus scanner) may hold the file for a
// moment: retry the open while the file exists, and give up at once when it does not.
bool XmlDocumentFile::LoadNamed(const wchar_t* name, TiXmlEncoding encoding) {
    const XmlFileOps& ops = XmlFileSeam();
    FILE* stream = nullptr;
    for (int attempt = 1; attempt <= kXmlFileAttempts; ++attempt) {
        stream = ops.open(name, L"rb");
        if (stream || !Exists(name)) break;
        if (attempt < kXmlFileAttempts) ops.sleep(kXmlRetryWaitMs);
    }
    if (!stream) {
        SetError(TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    bool ok = ReadStream(stream, encoding);
    ops.close(stream);
    return ok;
}

bool XmlDocumentFile::ReadStream(FILE* stream, TiXmlEncoding encoding) {
    Clear();
    location.Clear();
    if (!stream) {
        SetError(TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    long long length = -1;
    if (_fseeki64(stream, 0, SEEK_END) == 0) length = _ftelli64(stream);
    if (length == 0) {
        SetError(TIXML_ERROR_DOCUMENT_EMPTY, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    // A configuration file is small; refuse what cannot be one rather than exhaust memory.
    constexpr long long kMaxDocumentBytes = 1LL << 30;
    if (length < 0 || length > kMaxDocumentBytes || _fseeki64(stream, 0, SEEK_SET) != 0) {
        SetError(TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    std::string text;
    try {
        text.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        SetError(TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    if (std::fread(text.data(), 1, text.size(), stream) != text.size()) {
        SetError(TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    // Line ends as the parser's own file loading normalises them: CR LF and a lone CR become
    // LF. Like the parser, the document ends at the first zero byte.
    size_t out = 0;
    for (size_t in = 0; in < text.size() && text[in] != '\0'; ++in) {
        if (text[in] == '\r') {
            text[out++] = '\n';
            if (in + 1 < text.size() && text[in + 1] == '\n') ++in;
        } else {
            text[out++] = text[in];
        }
    }
    text.resize(out);
    try {
        Parse(text.c_str(), nullptr, encoding);
    } catch (const std::bad_alloc&) {
        Clear();
        SetError(TIXML_ERROR, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
    }
    return !Error();
}

bool XmlDocumentFile::SaveFile() const {
    if (!wideName_ || !HasConsistentFileName()) return false;
    return SaveNamed(wideName_->c_str());
}

bool XmlDocumentFile::SaveFile(const wchar_t* name) const {
    return SaveNamed(name);
}

// The document goes to "<name>.tmp" first; only a temporary file that was written, flushed to
// disk and closed without error ever replaces the target, so a full disk or a crash at any
// point leaves the old file or the new one, never a mix. A temporary file that cannot be put
// in place is removed.
bool XmlDocumentFile::SaveNamed(const wchar_t* name) const {
    if (!name || !*name) return false;
    const XmlFileOps& ops = XmlFileSeam();
    std::wstring temporary = std::wstring(name) + L".tmp";
    const wchar_t* tmp = temporary.c_str();

    FILE* stream = nullptr;
    for (int attempt = 1; attempt <= kXmlFileAttempts && !stream; ++attempt) {
        stream = ops.open(tmp, L"w");
        if (stream) break;
        DWORD attributes = ::GetFileAttributesW(tmp);
        bool protectedFile =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & kProtectiveAttributes);
        if (!protectedFile || ClearProtectiveAttributes(tmp)) stream = ops.open(tmp, L"w");
        if (!stream && attempt < kXmlFileAttempts) ops.sleep(kXmlRetryWaitMs);
    }
    if (!stream) return false;

    // The parser's writer reports a failed write only through the stream's error flag, which
    // stays set; check it, then the flush to disk and the close, each of which can be where a
    // full disk shows.
    bool written = TiXmlDocument::SaveFile(stream);
    written = written && ops.commit(stream);
    written = ops.close(stream) == 0 && written;
    if (!written) {
        ClearProtectiveAttributes(tmp);
        ::DeleteFileW(tmp);
        return false;
    }

    ClearProtectiveAttributes(tmp);
    ClearProtectiveAttributes(name);
    if (ops.move(tmp, name)) return true;
    for (int round = 1; round <= kXmlFileAttempts; ++round) {
        if (ops.replace(name, tmp)) return true;
        if (round == kXmlFileAttempts || !Exists(tmp)) break;
        ops.sleep(kXmlRetryWaitMs);
        if (ops.move(tmp, name)) return true;
    }
    ::DeleteFileW(tmp);
    return false;
}

}  // namespace kwill
