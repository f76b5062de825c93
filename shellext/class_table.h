// The classes that the library's class factory can create.
#pragma once

#include "frame/platform.h"

#include <unknwn.h>

#include <span>

namespace kwill::shellext {

// The classes' CLSIDs, as registered (registration_table.cpp writes the same texts).
inline constexpr CLSID kClsidShellExecuteHook = {
    0x3CF9ECE0, 0x1A9F, 0x11d2, {0x8C, 0x73, 0x00, 0xC0, 0x6C, 0x20, 0x05, 0xDE}};
inline constexpr CLSID kClsidContextMenu = {
    0xE9FE4040, 0x3C93, 0x11d4, {0x80, 0x06, 0x00, 0x20, 0x18, 0x60, 0xE8, 0x8A}};
inline constexpr CLSID kClsidDesktopContextMenu = {
    0xB9DD4945, 0x1BED, 0x4cb7, {0x99, 0x4C, 0xF4, 0x0B, 0x72, 0xB7, 0x72, 0x5A}};
inline constexpr CLSID kClsidQueryInfo = {
    0x2DF394BA, 0x1955, 0x4a52, {0x90, 0x0E, 0x30, 0x38, 0x36, 0x13, 0x5F, 0x67}};
inline constexpr CLSID kClsidIconHandler = {
    0xBBD5F00E, 0x26A6, 0x4fb2, {0xBA, 0xE1, 0x31, 0x54, 0x3C, 0x0B, 0xEA, 0x47}};
inline constexpr CLSID kClsidDropTarget = {
    0xF85D7E1E, 0x9662, 0x4b38, {0xB1, 0xAE, 0x3C, 0xF1, 0xE9, 0x58, 0x1A, 0x3C}};
inline constexpr CLSID kClsidFileCollection = {
    0xD2FCA36D, 0x93CD, 0x46f2, {0x83, 0x24, 0x63, 0x08, 0xF6, 0xE3, 0x1B, 0x53}};

// Makes a new object with one reference held by the caller, or returns null when there is no
// memory for it. Create functions never throw.
using CreateObjectFn = IUnknown* (*)();

struct ComClass {
    const CLSID* clsid;
    CreateObjectFn create;  // null while the class is not built: CLASS_E_CLASSNOTAVAILABLE
};

// Every class of the server, in registration order.
std::span<const ComClass> ComClasses();

// The row of a CLSID, or null for a CLSID that is not the library's.
const ComClass* FindComClass(REFCLSID clsid);

}  // namespace kwill::shellext
