#include "hostlink/host_prefs.h"

#include "frame/xml_document.h"
#include "hostlink/config_paths.h"
#include "hostlink/config_values.h"
#include "hostlink/host_interface.h"
#include "hostlink/host_request.h"

#include <rpc.h>

#include <cstring>
#include <vector>

namespace kwill::host {
namespace {

std::u16string FromCodePage(UINT codePage, const char* text) {
    if (!text || !*text) return {};
    int n = ::MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (n <= 1) return {};
    std::u16string out(static_cast<size_t>(n), u'\0');
    ::MultiByteToWideChar(codePage, 0, text, -1, reinterpret_cast<wchar_t*>(out.data()), n);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

ArchiveFormatEntry ZipEntry() {
    ArchiveFormatEntry entry;
    std::memcpy(entry.guid, &kZipFormatGuid, sizeof(entry.guid));
    entry.extension = u".zip";
    entry.description = u"ZIP";
    return entry;
}

// The "fmt" children of one list element: each with "ext", "desc" and a "guid" that parses.
void ReadFormatList(const TiXmlElement* list, bool zipOn, std::vector<ArchiveFormatEntry>& out) {
    for (const TiXmlElement* fmt = list ? list->FirstChildElement("fmt") : nullptr; fmt;
         fmt = fmt->NextSiblingElement("fmt")) {
        const char* ext = fmt->Attribute("ext");
        const char* desc = fmt->Attribute("desc");
        const char* guidText = fmt->Attribute("guid");
        GUID guid;
        if (!ext || !desc || !guidText ||
            ::UuidFromStringA(reinterpret_cast<RPC_CSTR>(const_cast<char*>(guidText)), &guid) !=
                RPC_S_OK) {
            continue;
        }
        if (!zipOn && ::IsEqualGUID(guid, kZipFormatGuid)) continue;
        ArchiveFormatEntry entry;
        std::memcpy(entry.guid, &guid, sizeof(entry.guid));
        entry.extension = FromCodePage(CP_ACP, ext);
        entry.description = FromCodePage(CP_ACP, desc);
        out.push_back(std::move(entry));
    }
}

}  // namespace

void HostPrefsFlags::Reset() {
    static_cast<PrefsFlagsData&>(*this) = PrefsFlagsData{};
    loaded = false;
    source = PrefsSource::kNone;
}

bool HostPrefsFlags::Load(bool full) {
    HWND window = FindHostWindow();
    if (window && LoadFromHost(window, full)) return true;
    return LoadFromFiles(full);
}

bool HostPrefsFlags::LoadFromHost(HWND window, bool full) {
    Reset();
    const UINT message = ::RegisterWindowMessageW(kMsgGetPrefsFlags);
    if (!message) return false;
    uint64_t size = kPrefsReplyFlagBytes;
    if (full) {
        DWORD_PTR announced = 0;
        if (!::SendMessageTimeoutW(window, message, 0, 0, SMTO_ABORTIFHUNG, kPrefsRequestTimeoutMs,
                                   &announced) ||
            announced == 0) {
            return false;
        }
        size = announced;
    }
    if (size > kMaxPrefsReplyBytes) size = kMaxPrefsReplyBytes;

    std::vector<uint8_t> block;
    uint64_t answered = 0;
    for (int round = 0; round < 2; ++round) {
        block.assign(size + sizeof(uint32_t), 0);
        const uint32_t request = full ? kPrefsRequestFull : kPrefsRequestFlagsOnly;
        std::memcpy(block.data(), &request, sizeof(request));
        LRESULT result = 0;
        if (!SendHostRequest(block.data(), static_cast<uint32_t>(size), sizeof(request), window,
                             message, &result, kPrefsRequestTimeoutMs) ||
            result == 0) {
            return false;
        }
        answered = static_cast<uint64_t>(result);
        if (answered <= size || size == kMaxPrefsReplyBytes) break;
        size = answered < kMaxPrefsReplyBytes ? answered : kMaxPrefsReplyBytes;
    }
    const size_t length = static_cast<size_t>(answered < size ? answered : size);
    ParsePrefsReply(std::span<const uint8_t>(block.data(), length), *this);
    loaded = true;
    source = PrefsSource::kHost;
    return true;
}

bool HostPrefsFlags::LoadFromFiles(bool full) {
    using namespace kwill::config;
    Reset();
    XmlDocumentFile prefs;
    if (LoadConfigDocument(prefs, kPrefsFile, kUserConfig) != LoadOutcome::kLoaded) return false;
    const TiXmlElement* flags = FindPrefsChild(prefs, "flags");
    settings1 = static_cast<uint64_t>(AttributeFlag(flags, "settings1"));
    settings2 = static_cast<uint64_t>(AttributeFlag(flags, "settings2"));
    settings4 = static_cast<uint64_t>(AttributeFlag(flags, "settings4"));
    zipFlags = static_cast<uint64_t>(AttributeFlag(FindPrefsChild(prefs, "zip"), "flags"));
    loaded = true;
    source = PrefsSource::kFiles;
    if (!full) return true;

    const bool zipOn = (zipFlags & 1) != 0;
    XmlDocumentFile archives;
    if (LoadConfigDocument(archives, kArchivesFile, kUserConfig) != LoadOutcome::kLoaded) {
        archiveContext = kDefaultArchiveContext;
        if (zipOn) {
            for (auto& list : formatLists) list.push_back(ZipEntry());
        }
        return true;
    }
    const TiXmlElement* context = FindPrefsChild(archives, "archive_context");
    archiveContext = static_cast<uint32_t>(AttributeFlag(context, "flags"));
    for (int i = 0; i < kFormatListCount && context; ++i) {
        ReadFormatList(context->FirstChildElement(kFormatListNames[i]), zipOn, formatLists[i]);
    }

    XmlDocumentFile state;
    if (LoadConfigDocument(state, kArchiveStateFile, kLocalState) != LoadOutcome::kLoaded) {
        return true;
    }
    if (const TiXmlElement* top = state.FirstChildElement("archives")) {
        const TiXmlElement* formats = top->FirstChildElement("extraction_formats");
        const TiXmlElement* mappings = top->FirstChildElement("extraction_mappings");
        extractionFormats = FromCodePage(CP_UTF8, formats ? formats->GetText() : nullptr);
        extractionMappings = FromCodePage(CP_UTF8, mappings ? mappings->GetText() : nullptr);
    }
    return true;
}

}  // namespace kwill::host
