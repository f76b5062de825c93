// The password of the translation archives (".tarnml"). The language strings read them with it
// and the packing tool writes them with it; this is the one place it is kept.
#pragma once

namespace kwill::zip {

inline constexpr char kTranslationArchivePassword[] = "wickerfen";

}  // namespace kwill::zip
