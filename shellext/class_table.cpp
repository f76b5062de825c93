// The class factory's table: one {&CLSID, create} row per class. To make a class creatable,
// declare its create function (see CreateObjectFn) in the class's header, include that header
// below and put the function in the class's row. A row whose create function is null answers
// CLASS_E_CLASSNOTAVAILABLE.
#include "shellext/class_table.h"

#include "shellext/collection_folder.h"
#include "shellext/context_menu.h"
#include "shellext/drop_target.h"
#include "shellext/execute_hook.h"
#include "shellext/file_handlers.h"

namespace kwill::shellext {
namespace {

const ComClass kComClasses[] = {
    // KwillShellExecuteHook
    {&kClsidShellExecuteHook, CreateShellExecuteHook},

    // KwillContextMenu, folder mode
    {&kClsidContextMenu, CreateFolderContextMenu},

    // KwillContextMenu, desktop mode
    {&kClsidDesktopContextMenu, CreateDesktopContextMenu},

    // KwillQueryInfo
    {&kClsidQueryInfo, CreateQueryInfo},

    // KwillIconHandler
    {&kClsidIconHandler, CreateIconHandler},

    // KwillDropTarget
    {&kClsidDropTarget, CreateDropTarget},

    // KwillFileCollectionShellExtension
    {&kClsidFileCollection, CreateFileCollectionShellExtension},
};

}  // namespace

std::span<const ComClass> ComClasses() {
    return kComClasses;
}

const ComClass* FindComClass(REFCLSID clsid) {
    for (const ComClass& row : kComClasses)
        if (::IsEqualCLSID(clsid, *row.clsid)) return &row;
    return nullptr;
}

}  // namespace kwill::shellext
