// The three places that name the classes agree: the class factory's table, the registration
// rows and the public header. A class registered under one CLSID and created under another
// would register fine and never load.
#include <initguid.h>

#include "include/kwilllib/shellext.h"
#include "shellext/class_table.h"
#include "shellext/registration_table.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace kwill::shellext {
namespace {

TEST(ClassTable, AgreesWithTheRegistrationRowsAndThePublicHeader) {
    const GUID* published[] = {&CLSID_KwillShellExecuteHook,
                               &CLSID_KwillContextMenu,
                               &CLSID_KwillDesktopContextMenu,
                               &CLSID_KwillQueryInfo,
                               &CLSID_KwillIconHandler,
                               &CLSID_KwillDropTarget,
                               &CLSID_KwillFileCollectionShellExtension};
    ASSERT_EQ(ComClasses().size(), std::size(published));
    // The class keys come first among the registration rows, one root row per class.
    std::vector<std::wstring> classKeys;
    for (const RegRow& row : RegistrationRows())
        if (row.anchor == HKEY_LOCAL_MACHINE && row.key &&
            std::wcsncmp(row.key, L"Software\\Classes\\CLSID\\", 23) == 0)
            classKeys.push_back(row.key + 23);
    ASSERT_EQ(classKeys.size(), std::size(published));
    for (size_t i = 0; i < std::size(published); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(::IsEqualGUID(*ComClasses()[i].clsid, *published[i]));
        EXPECT_EQ(FindComClass(*published[i]), &ComClasses()[i]);
        wchar_t text[40];
        ASSERT_GT(::StringFromGUID2(*published[i], text, 40), 0);
        EXPECT_EQ(::_wcsicmp(text, classKeys[i].c_str()), 0);
    }
    EXPECT_EQ(FindComClass(IID_IUnknown), nullptr);
}

}  // namespace
}  // namespace kwill::shellext
