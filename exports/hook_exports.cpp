// The shell execute hook's dry run, for diagnosis: what the hook would do with a request.
#include "exports/export.h"
#include "shellext/execute_hook.h"

#include <algorithm>
#include <cstring>
#include <new>

// Describes what the shell execute hook of this process would do with the request, without
// sending anything or changing any flag: lines "action: ...", "rule: ...", and for a folder the
// host would get "request code:", "path:", "item list:" and "select:". Writes the text into buffer
// (chars characters, cut and terminated) and returns its full length; 0 for a null request or a
// cbSize below the structure's size. A null buffer or 0 characters only asks for the length.
KWILL_EXPORT int DescribeExecuteHook(const SHELLEXECUTEINFOW* request, wchar_t* buffer, int chars) {
    if (!request || request->cbSize < sizeof(SHELLEXECUTEINFOW)) return 0;
    try {
        std::wstring text = kwill::shellext::DescribeExecuteHook(*request);
        if (buffer && chars > 0) {
            size_t n = std::min(text.size(), static_cast<size_t>(chars) - 1);
            std::memcpy(buffer, text.data(), n * sizeof(wchar_t));
            buffer[n] = L'\0';
        }
        return static_cast<int>(text.size());
    } catch (const std::bad_alloc&) {
        return 0;
    }
}
