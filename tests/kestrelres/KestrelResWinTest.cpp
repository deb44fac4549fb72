// kestrelres_win_tests [kestrelres.dll]
// The resource DLL loaded as a Windows program loads it, its resources
// found through the Win32 calls: every bitmap by FindResource and LoadBitmap
// with its exact size and depth, the menu by LoadMenu, the string by
// LoadString, the cursor's hot spot, the icons' images, the manifest and the
// version; the tick export by ordinal 1 and by no name; nothing left once it
// is freed. Prints each failure and the count of checks; exits 1 on failure.
#include "tests/kestrelres/Dib.h"
#include "tests/kestrelres/ExpectedResources.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

int checks = 0;
int failures = 0;

void Check(bool ok, const std::string& what)
{
    ++checks;
    if (!ok) {
        ++failures;
        std::printf("FAIL: %s\n", what.c_str());
    }
}

std::string Id(const char* kind, int id)
{
    return std::string(kind) + " " + std::to_string(id);
}

const WORD kLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// A resource's bytes, in the library's language; empty when it is missing.
struct Bytes {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

Bytes Find(HMODULE module, LPCWSTR type, int id)
{
    HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(id), kLanguage);
    if (found == nullptr)
        return {};
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr)
        return {};
    return {static_cast<const unsigned char*>(data), SizeofResource(module, found)};
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list)
{
    if (IS_INTRESOURCE(name))
        reinterpret_cast<std::set<int>*>(list)->insert(static_cast<int>(reinterpret_cast<ULONG_PTR>(name)));
    return TRUE;
}

void CheckBitmaps(HMODULE module)
{
    std::set<int> want;
    for (const expected::Bitmap& b : expected::kBitmaps) {
        const std::string what = Id("bitmap", b.id);
        want.insert(b.id);
        const Bytes raw = Find(module, MAKEINTRESOURCEW(2) /* RT_BITMAP */, b.id);
        const std::optional<dib::Header> h = dib::Read(raw.data, raw.size, false);
        Check(h.has_value(), what + ": a DIB in the resource");
        if (h) {
            Check(h->width == b.width && h->height == b.height, what + ": size");
            Check(h->bits == b.bits && h->compression == 0, what + ": depth");
        }
        HBITMAP bitmap = LoadBitmapW(module, MAKEINTRESOURCEW(b.id));
        BITMAP info{};
        Check(bitmap != nullptr && GetObjectW(bitmap, sizeof info, &info) == sizeof info && info.bmWidth == b.width &&
                  info.bmHeight == b.height,
              what + ": LoadBitmap");
        if (bitmap != nullptr)
            DeleteObject(bitmap);
        auto* section = static_cast<HBITMAP>(LoadImageW(module, MAKEINTRESOURCEW(b.id), IMAGE_BITMAP, 0, 0,
                                                        LR_CREATEDIBSECTION));
        DIBSECTION dibSection{};
        Check(section != nullptr && GetObjectW(section, sizeof dibSection, &dibSection) == sizeof dibSection &&
                  dibSection.dsBmih.biBitCount == b.bits,
              what + ": LoadImage as a DIB section of that depth");
        if (section != nullptr)
            DeleteObject(section);
    }
    std::set<int> have;
    EnumResourceNamesW(module, MAKEINTRESOURCEW(2), CollectName, reinterpret_cast<LONG_PTR>(&have));
    Check(have == want, "no bitmaps but the listed ones");
}

void CheckString(HMODULE module)
{
    wchar_t text[128] = {};
    const int length = LoadStringW(module, expected::kStringId, text, 128);
    const std::string title = expected::kTitle;
    Check(std::wstring(text, static_cast<std::size_t>(length > 0 ? length : 0)) ==
              std::wstring(title.begin(), title.end()),
          Id("string", expected::kStringId));
}

std::string MenuText(HMENU menu, UINT position)
{
    char text[128] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

void CheckMenu(HMODULE module)
{
    HMENU menu = LoadMenuW(module, MAKEINTRESOURCEW(expected::kMenuId));
    Check(menu != nullptr, Id("menu", expected::kMenuId));
    if (menu == nullptr)
        return;
    Check(GetMenuItemCount(menu) == 1 && MenuText(menu, 0) == expected::kMenuPopup, "one popup \"Help\"");
    HMENU help = GetSubMenu(menu, 0);
    Check(help != nullptr && GetMenuItemCount(help) == static_cast<int>(expected::kHelpMenu.size()),
          "the Help popup's item count");
    for (UINT i = 0; help != nullptr && i < expected::kHelpMenu.size(); ++i) {
        const expected::MenuItem& want = expected::kHelpMenu[i];
        MENUITEMINFOA item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU;
        const bool got = GetMenuItemInfoA(help, i, TRUE, &item) != FALSE;
        const std::string what = "menu item " + std::to_string(i);
        if (want.text == nullptr) {
            Check(got && (item.fType & MFT_SEPARATOR) != 0, what + ": a separator");
            continue;
        }
        Check(got && (item.fType & MFT_SEPARATOR) == 0 && item.hSubMenu == nullptr &&
                  item.wID == static_cast<UINT>(want.id) && MenuText(help, i) == want.text,
              what + ": " + want.text);
    }
    DestroyMenu(menu);
}

void CheckCursor(HMODULE module)
{
    const std::string what = Id("cursor", expected::kCursorId);
    Check(Find(module, MAKEINTRESOURCEW(12) /* RT_GROUP_CURSOR */, expected::kCursorId).data != nullptr,
          what + ": a cursor group");
    HCURSOR cursor = LoadCursorW(module, MAKEINTRESOURCEW(expected::kCursorId));
    ICONINFO info{};
    Check(cursor != nullptr && GetIconInfo(cursor, &info) != FALSE, what + ": LoadCursor");
    if (cursor == nullptr)
        return;
    Check(!info.fIcon && info.xHotspot == expected::kHotX && info.yHotspot == expected::kHotY, what + ": hot spot");
    // Black and white: no colour bitmap, a mask of twice the height.
    BITMAP mask{};
    Check(info.hbmColor == nullptr && info.hbmMask != nullptr &&
              GetObjectW(info.hbmMask, sizeof mask, &mask) == sizeof mask && mask.bmWidth == expected::kCursorSize &&
              mask.bmHeight == 2 * expected::kCursorSize,
          what + ": 32 x 32 black and white");
    if (info.hbmMask != nullptr)
        DeleteObject(info.hbmMask);
    if (info.hbmColor != nullptr)
        DeleteObject(info.hbmColor);
}

// GRPICONDIR: reserved, type, count, then 14-byte entries whose last word
// is the id of the RT_ICON resource holding the image.
void CheckIconGroup(HMODULE module, int id, const std::vector<int>& sizes, int bits)
{
    const std::string what = Id("icon", id);
    const Bytes group = Find(module, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, id);
    const std::size_t count = group.size >= 6 ? dib::Le16(group.data + 4) : 0;
    Check(group.data != nullptr && dib::Le16(group.data + 2) == 1 && count == sizes.size() &&
              group.size >= 6 + 14 * count,
          what + ": a group of " + std::to_string(sizes.size()));
    for (std::size_t i = 0; i < count && i < sizes.size() && group.size >= 6 + 14 * count; ++i) {
        const unsigned char* entry = group.data + 6 + 14 * i;
        const int side = sizes[i];
        Check(entry[0] == side && entry[1] == side && static_cast<int>(dib::Le16(entry + 6)) == bits,
              what + ": entry " + std::to_string(side));
        const Bytes image = Find(module, MAKEINTRESOURCEW(3) /* RT_ICON */, static_cast<int>(dib::Le16(entry + 12)));
        const std::optional<dib::Header> h = dib::Read(image.data, image.size, true);
        Check(h.has_value() && h->width == side && h->height == 2 * side && h->bits == bits,
              what + ": image " + std::to_string(side));
        HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, side, side, 0);
        Check(icon != nullptr, what + ": LoadImage at " + std::to_string(side));
        if (icon != nullptr)
            DestroyIcon(static_cast<HICON>(icon));
    }
}

void CheckManifest(HMODULE module)
{
    const Bytes manifest = Find(module, MAKEINTRESOURCEW(24) /* RT_MANIFEST */, expected::kManifestId);
    const std::string text(reinterpret_cast<const char*>(manifest.data), manifest.size);
    for (const char* part : {"name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
                             "publicKeyToken=\"6595b64144ccf1df\"", "version=\"1.0.0.0\""})
        Check(text.find(part) != std::string::npos, std::string("manifest: ") + part);
}

void CheckVersion(HMODULE module)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    std::vector<unsigned char> block(size);
    Check(size > 0 && GetFileVersionInfoW(path, 0, size, block.data()) != FALSE, "version information");
    if (size == 0)
        return;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    Check(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) != FALSE &&
              fixed != nullptr && fixed->dwFileVersionMS == 0x00010000 && fixed->dwFileVersionLS == 0x00010001 &&
              fixed->dwProductVersionMS == 0x00010000 && fixed->dwProductVersionLS == 0x00010001,
          "file and product version 1.0.1.1");
    wchar_t* description = nullptr;
    const std::string title = expected::kTitle;
    Check(VerQueryValueW(block.data(), L"\\StringFileInfo\\040904b0\\FileDescription",
                         reinterpret_cast<void**>(&description), &length) != FALSE &&
              description != nullptr && std::wstring(description) == std::wstring(title.begin(), title.end()),
          "the description");
}

using Tick = DWORD (*)();

void CheckTick(HMODULE module)
{
    // void (*)() first: a cast GCC accepts between any function types.
    const auto tick = reinterpret_cast<Tick>(reinterpret_cast<void (*)()>(GetProcAddress(module, MAKEINTRESOURCEA(1))));
    Check(tick != nullptr, "an export at ordinal 1");
    Check(GetProcAddress(module, "KestrelResTickCount") == nullptr, "no export by name");
    if (tick == nullptr)
        return;
    const DWORD first = tick();
    const DWORD second = tick();
    Check(second >= first, "the tick count does not go back");
    // The system's own count, read before and after, brackets it.
    const DWORD before = GetTickCount();
    const DWORD value = tick();
    const DWORD after = GetTickCount();
    Check(value - before <= after - before, "the system's tick count");
}

} // namespace

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "kestrelres.dll";
    HMODULE module = LoadLibraryA(path);
    if (module == nullptr) {
        std::printf("FAIL: LoadLibrary(%s): error %lu\n", path, GetLastError());
        return 1;
    }
    CheckBitmaps(module);
    CheckString(module);
    CheckMenu(module);
    CheckCursor(module);
    CheckIconGroup(module, expected::kLargeIconId, {expected::kLargeIconSizes.begin(), expected::kLargeIconSizes.end()},
                   expected::kLargeIconBits);
    CheckIconGroup(module, expected::kSmallIconId, {expected::kSmallIconSize}, expected::kSmallIconBits);
    CheckManifest(module);
    CheckVersion(module);
    CheckTick(module);

    Check(FreeLibrary(module) != FALSE, "FreeLibrary");
    Check(GetModuleHandleA("kestrelres.dll") == nullptr, "unloaded after FreeLibrary");

    std::printf("%d checks, %d failed\n", checks, failures);
    return failures == 0 ? 0 : 1;
}
