// The XML document that every configuration file of the library goes through: the TinyXML
// document with a wide file name, loading that waits out a briefly locked file, and saving
// through a temporary file so that the target is only ever replaced by a complete document.
#pragma once

#include "frame/platform.h"

#include <tinyxml.h>

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>

namespace kwill {

inline constexpr int kXmlFileAttempts = 10;
inline constexpr DWORD kXmlRetryWaitMs = 20;
// The parser recurses once per element level and its node tree is freed and printed
// recursively too, so a hostile file nested thousands of levels deep would overflow the stack.
// Configuration files are a few levels deep; anything deeper than this is refused unparsed.
inline constexpr size_t kXmlMaxNesting = 256;

// The file-system calls of loading and saving. Tests replace them to skip the waits and to
// make a write, the flush, the close, a move or a replace fail; the defaults are the real ones.
struct XmlFileOps {
    void (*sleep)(DWORD ms);
    FILE* (*open)(const wchar_t* name, const wchar_t* mode);  // _wfopen_s; null on failure
    bool (*commit)(FILE* file);  // pushes the stream's buffer and the system's cache to disk
    int (*close)(FILE* file);    // fclose
    BOOL (*move)(const wchar_t* from, const wchar_t* to);                // MoveFileW
    BOOL (*replace)(const wchar_t* target, const wchar_t* replacement);  // ReplaceFileW
};
const XmlFileOps& DefaultXmlFileOps();
XmlFileOps& XmlFileSeam();

// Scans text the way the parser tokenises it and returns the deepest element nesting the
// parser could reach (never less than the real depth). Stops early once the depth exceeds
// limit; then *where (if given) points at the tag that went too deep.
size_t XmlNestingDepth(const char* text, size_t limit = static_cast<size_t>(-1),
                       const char** where = nullptr);

class XmlDocumentFile : public TiXmlDocument {
  public:
    XmlDocumentFile();
    explicit XmlDocumentFile(const wchar_t* name);
    XmlDocumentFile(const XmlDocumentFile& other);
    XmlDocumentFile& operator=(const XmlDocumentFile& other);
    ~XmlDocumentFile() override = default;

    // Stores a copy of the name (null: none) and sets the document value to its UTF-8 form,
    // which is empty when that form does not fit in MAX_PATH bytes.
    void SetWideFileName(const wchar_t* name);
    const wchar_t* WideFileName() const { return wideName_ ? wideName_->c_str() : nullptr; }
    // False when the narrow value was changed behind the wide name's back.
    bool HasConsistentFileName() const;

    bool LoadFile(TiXmlEncoding encoding = TIXML_DEFAULT_ENCODING);
    bool LoadFile(const wchar_t* name, TiXmlEncoding encoding = TIXML_DEFAULT_ENCODING);
    bool LoadFile(FILE* stream, TiXmlEncoding encoding = TIXML_DEFAULT_ENCODING);
    bool SaveFile() const;
    bool SaveFile(const wchar_t* name) const;

    // Whether a save writes a UTF-8 byte-order mark; a load sets it when the file had one.
    bool WriteBom() const;
    void SetWriteBom(bool write);

    // Parses text in memory, refusing documents nested deeper than kXmlMaxNesting.
    // NestingRefused tells that refusal apart from the parser's own element errors.
    bool NestingRefused() const { return nestingRefused_; }
    const char* Parse(const char* text, TiXmlParsingData* data = nullptr,
                      TiXmlEncoding encoding = TIXML_DEFAULT_ENCODING) override;

    // Clears the read-only, hidden and system attributes of an existing file, keeping the
    // others. True when there was nothing to clear or the clearing worked.
    static bool ClearProtectiveAttributes(const wchar_t* path);

  protected:
    // The stream operator parses element by element, recursively; take the whole stream and
    // let the guarded Parse have it instead.
    void StreamIn(std::istream* in, TIXML_STRING* tag) override;

  private:
    bool LoadNamed(const wchar_t* name, TiXmlEncoding encoding);
    bool ReadStream(FILE* stream, TiXmlEncoding encoding);
    bool SaveNamed(const wchar_t* name) const;
    void SetErrorAt(int id, int row, int column);

    std::optional<std::wstring> wideName_;
    bool nestingRefused_ = false;
};

}  // namespace kwill
