// A small Windows program that the GUI tests run beside Tandemix.exe, in the
// same Wine session, to see what a user would see and to do what a user
// would do where the X display cannot tell: the controls inside a window,
// their texts and places.  It also checks the dialog resources of the
// program against the template table the GTK program is laid out from.
//
//   WindowProbe show [caption]      the window with that caption (default
//                                   "Tandemix"): its rectangles and controls
//   WindowProbe owned               the window that the progress window owns
//   WindowProbe templates EXE       compares EXE's dialog and string resources
//                                   with the table; exit status 1 on a difference
//
// Output is one JSON object per line, in UTF-8.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Dialog.h"

namespace {

std::string Utf8FromWide(const wchar_t* pszWide, int nLength)
{
    if (nLength == 0)
        return std::string();
    int nBytes = WideCharToMultiByte(CP_UTF8, 0, pszWide, nLength, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(nBytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, pszWide, nLength, &out[0], nBytes, nullptr, nullptr);
    return out;
}

std::string Json(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char sz[8];
            std::snprintf(sz, sizeof sz, "\\u%04x", c);
            out += sz;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string JsonRect(const RECT& rc)
{
    char sz[96];
    std::snprintf(sz, sizeof sz, "[%ld, %ld, %ld, %ld]", static_cast<long>(rc.left), static_cast<long>(rc.top),
                  static_cast<long>(rc.right), static_cast<long>(rc.bottom));
    return sz;
}

std::string WindowText(HWND hWnd)
{
    wchar_t szText[2048];
    int nLength = GetWindowTextW(hWnd, szText, 2048);
    return Utf8FromWide(szText, nLength);
}

BOOL CALLBACK PrintChild(HWND hChild, LPARAM lParam)
{
    HWND hParent = reinterpret_cast<HWND>(lParam);
    if (GetParent(hChild) != hParent)
        return TRUE;
    RECT rc;
    GetWindowRect(hChild, &rc);
    MapWindowPoints(nullptr, hParent, reinterpret_cast<POINT*>(&rc), 2);
    char szClass[64];
    GetClassNameA(hChild, szClass, sizeof szClass);
    std::printf("{\"control\": %d, \"class\": %s, \"rect\": %s, \"visible\": %s, \"style\": %lu, \"text\": %s}\n",
                static_cast<int>(static_cast<short>(GetDlgCtrlID(hChild))), Json(szClass).c_str(),
                JsonRect(rc).c_str(), IsWindowVisible(hChild) ? "true" : "false",
                static_cast<unsigned long>(GetWindowLongA(hChild, GWL_STYLE)), Json(WindowText(hChild)).c_str());
    return TRUE;
}

void PrintWindow(HWND hWnd)
{
    RECT rcWindow;
    GetWindowRect(hWnd, &rcWindow);
    RECT rcClient;
    GetClientRect(hWnd, &rcClient);
    POINT ptOrigin = {0, 0};
    ClientToScreen(hWnd, &ptOrigin);
    std::printf("{\"caption\": %s, \"rect\": %s, \"client\": %s, \"origin\": [%ld, %ld], "
                "\"enabled\": %s}\n",
                Json(WindowText(hWnd)).c_str(), JsonRect(rcWindow).c_str(),
                JsonRect(rcClient).c_str(), static_cast<long>(ptOrigin.x), static_cast<long>(ptOrigin.y),
                IsWindowEnabled(hWnd) ? "true" : "false");
    EnumChildWindows(hWnd, &PrintChild, reinterpret_cast<LPARAM>(hWnd));
}

struct OwnedSearch {
    HWND hOwner;
    HWND hFound;
};

BOOL CALLBACK FindOwned(HWND hWnd, LPARAM lParam)
{
    OwnedSearch* pSearch = reinterpret_cast<OwnedSearch*>(lParam);
    if (GetWindow(hWnd, GW_OWNER) == pSearch->hOwner && IsWindowVisible(hWnd)) {
        pSearch->hFound = hWnd;
        return FALSE;
    }
    return TRUE;
}

// ---------------------------------------------------------------------------
// Reading dialog templates out of a module.

class TemplateReader {
public:
    TemplateReader(const BYTE* pData, size_t nSize) : m_pData(pData), m_nSize(nSize), m_nPos(0), m_bOverrun(false) {}

    WORD Word()
    {
        WORD n = 0;
        Read(&n, sizeof n);
        return n;
    }
    DWORD Dword()
    {
        DWORD n = 0;
        Read(&n, sizeof n);
        return n;
    }
    short Short() { return static_cast<short>(Word()); }
    BYTE Byte()
    {
        BYTE n = 0;
        Read(&n, sizeof n);
        return n;
    }
    void AlignDword() { m_nPos = (m_nPos + 3) & ~static_cast<size_t>(3); }

    // A string or an ordinal (0xFFFF followed by the number).
    void StringOrOrdinal(std::wstring& text, int& nOrdinal)
    {
        text.clear();
        nOrdinal = -1;
        WORD first = Word();
        if (first == 0xFFFF) {
            nOrdinal = Word();
            return;
        }
        for (WORD c = first; c != 0 && !m_bOverrun; c = Word())
            text += static_cast<wchar_t>(c);
    }

    bool Overrun() const { return m_bOverrun; }

private:
    void Read(void* p, size_t n)
    {
        if (m_nPos + n > m_nSize) {
            m_bOverrun = true;
            std::memset(p, 0, n);
            return;
        }
        std::memcpy(p, m_pData + m_nPos, n);
        m_nPos += n;
    }

    const BYTE* m_pData;
    size_t m_nSize;
    size_t m_nPos;
    bool m_bOverrun;
};

int g_nDifferences = 0;

void Difference(UINT nDialog, int nItem, const char* pszWhat, const std::string& resource, const std::string& table)
{
    ++g_nDifferences;
    std::printf("{\"dialog\": %u, \"item\": %d, \"differs\": %s, \"resource\": %s, \"table\": %s}\n", nDialog, nItem,
                Json(pszWhat).c_str(), Json(resource).c_str(), Json(table).c_str());
}

void CompareNumber(UINT nDialog, int nItem, const char* pszWhat, long nResource, long nTable)
{
    if (nResource != nTable)
        Difference(nDialog, nItem, pszWhat, std::to_string(nResource), std::to_string(nTable));
}

void CompareText(UINT nDialog, int nItem, const char* pszWhat, const std::wstring& resource, const char* pszTable)
{
    std::string fromResource = Utf8FromWide(resource.c_str(), static_cast<int>(resource.size()));
    std::string fromTable = pszTable != nullptr ? pszTable : "";
    if (fromResource != fromTable)
        Difference(nDialog, nItem, pszWhat, fromResource, fromTable);
}

void CompareDialog(HMODULE hModule, UINT nID)
{
    const DialogTemplate* pTable = FindDialogTemplate(nID);
    HRSRC hResource = FindResourceA(hModule, MAKEINTRESOURCEA(nID), MAKEINTRESOURCEA(5));   // RT_DIALOG
    if (pTable == nullptr || hResource == nullptr) {
        Difference(nID, -1, "presence", hResource != nullptr ? "yes" : "no", pTable != nullptr ? "yes" : "no");
        return;
    }
    const BYTE* pData = static_cast<const BYTE*>(LockResource(LoadResource(hModule, hResource)));
    TemplateReader in(pData, SizeofResource(hModule, hResource));

    bool bExtended = false;
    DWORD dwStyle = 0;
    DWORD dwExStyle = 0;
    if (in.Word() == 1 && in.Word() == 0xFFFF) {
        bExtended = true;
        in.Dword();   // help id
        dwExStyle = in.Dword();
        dwStyle = in.Dword();
    } else {
        in = TemplateReader(pData, SizeofResource(hModule, hResource));
        dwStyle = in.Dword();
        dwExStyle = in.Dword();
    }
    WORD nItems = in.Word();
    short x = in.Short(), y = in.Short(), cx = in.Short(), cy = in.Short();
    std::wstring text;
    int nOrdinal;
    in.StringOrOrdinal(text, nOrdinal);   // menu
    in.StringOrOrdinal(text, nOrdinal);   // class
    in.StringOrOrdinal(text, nOrdinal);   // caption
    CompareText(nID, -1, "caption", text, pTable->pszCaption);
    CompareNumber(nID, -1, "style", static_cast<long>(dwStyle), static_cast<long>(pTable->dwStyle));
    CompareNumber(nID, -1, "exstyle", static_cast<long>(dwExStyle), static_cast<long>(pTable->dwExStyle));
    CompareNumber(nID, -1, "x", x, pTable->x);
    CompareNumber(nID, -1, "y", y, pTable->y);
    CompareNumber(nID, -1, "cx", cx, pTable->cx);
    CompareNumber(nID, -1, "cy", cy, pTable->cy);
    if ((dwStyle & DS_SETFONT) != 0) {
        CompareNumber(nID, -1, "point size", in.Word(), pTable->nPointSize);
        if (bExtended) {
            in.Word();   // weight
            in.Byte();   // italic
            in.Byte();   // character set
        }
        in.StringOrOrdinal(text, nOrdinal);
        CompareText(nID, -1, "font", text, pTable->pszFont);
    }
    CompareNumber(nID, -1, "item count", nItems, pTable->nItems);

    for (int i = 0; i < nItems && i < pTable->nItems && !in.Overrun(); ++i) {
        const DialogItemTemplate& item = pTable->pItems[i];
        in.AlignDword();
        DWORD dwItemStyle;
        long nItemID;
        if (bExtended) {
            in.Dword();   // help id
            in.Dword();   // extended style
            dwItemStyle = in.Dword();
        } else {
            dwItemStyle = in.Dword();
            in.Dword();   // extended style
        }
        short ix = in.Short(), iy = in.Short(), icx = in.Short(), icy = in.Short();
        nItemID = bExtended ? static_cast<long>(static_cast<int>(in.Dword())) : static_cast<long>(in.Short());
        std::wstring className;
        int nClassAtom;
        in.StringOrOrdinal(className, nClassAtom);
        std::wstring itemText;
        int nTextOrdinal;
        in.StringOrOrdinal(itemText, nTextOrdinal);
        WORD nExtra = in.Word();
        for (WORD n = 0; n < nExtra; ++n)
            in.Byte();

        // A class is an atom of a predefined class or its name.
        std::string itemClass = nClassAtom == 0x80 ? "BUTTON" : nClassAtom == 0x82 ? "STATIC" : "?";
        if (nClassAtom < 0) {
            itemClass = Utf8FromWide(className.c_str(), static_cast<int>(className.size()));
            for (char& c : itemClass)
                c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
        if (itemClass != item.pszClass)
            Difference(nID, i, "class", itemClass, item.pszClass);
        CompareNumber(nID, i, "id", nItemID, item.nID);
        CompareNumber(nID, i, "style", static_cast<long>(dwItemStyle), static_cast<long>(item.dwStyle));
        CompareNumber(nID, i, "x", ix, item.x);
        CompareNumber(nID, i, "y", iy, item.y);
        CompareNumber(nID, i, "cx", icx, item.cx);
        CompareNumber(nID, i, "cy", icy, item.cy);
        if (item.pszText == nullptr)
            CompareNumber(nID, i, "icon", nTextOrdinal, static_cast<long>(item.nIconID));
        else
            CompareText(nID, i, "text", itemText, item.pszText);
    }
    if (in.Overrun())
        Difference(nID, -1, "length", "short", "");
}

int CompareTemplates(const char* pszModule)
{
    HMODULE hModule = LoadLibraryExA(pszModule, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (hModule == nullptr) {
        std::printf("{\"error\": \"cannot load the program\"}\n");
        return 2;
    }
    CompareDialog(hModule, 100);
    CompareDialog(hModule, 102);

    wchar_t szString[256];
    int nLength = LoadStringW(hModule, 101, szString, 256);
    const std::string fromResource = nLength > 0 ? Utf8FromWide(szString, nLength) : "";
    const char* pszTable = FindStringResource(101);
    if (nLength <= 0 || pszTable == nullptr || fromResource != pszTable)
        Difference(0, 101, "string", fromResource, pszTable ? pszTable : "");

    // The icon group: a 32 x 32 and a 16 x 16 image of 16 colours.
    HRSRC hGroup = FindResourceA(hModule, MAKEINTRESOURCEA(128), MAKEINTRESOURCEA(14));   // RT_GROUP_ICON
    std::string images;
    if (hGroup != nullptr) {
        const BYTE* pGroup = static_cast<const BYTE*>(LockResource(LoadResource(hModule, hGroup)));
        WORD nCount = *reinterpret_cast<const WORD*>(pGroup + 4);
        for (WORD i = 0; i < nCount && 6 + 14 * (i + 1) <= static_cast<int>(SizeofResource(hModule, hGroup)); ++i) {
            const BYTE* pEntry = pGroup + 6 + 14 * i;
            char sz[32];
            std::snprintf(sz, sizeof sz, "%s%dx%d/%d", images.empty() ? "" : " ", pEntry[0], pEntry[1], pEntry[2]);
            images += sz;
        }
    }
    if (images != "32x32/16 16x16/16")
        Difference(0, 128, "icon images", images, "32x32/16 16x16/16");

    FreeLibrary(hModule);
    std::printf("{\"differences\": %d}\n", g_nDifferences);
    return g_nDifferences == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "show") {
        HWND hWnd = FindWindowA("#32770", argc > 2 ? argv[2] : "Tandemix");
        if (hWnd == nullptr) {
            std::printf("{\"error\": \"no such window\"}\n");
            return 1;
        }
        PrintWindow(hWnd);
        return 0;
    }
    if (command == "owned") {
        OwnedSearch search = {FindWindowA("#32770", "Tandemix"), nullptr};
        if (search.hOwner != nullptr)
            EnumWindows(&FindOwned, reinterpret_cast<LPARAM>(&search));
        if (search.hFound == nullptr) {
            std::printf("{\"error\": \"no such window\"}\n");
            return 1;
        }
        PrintWindow(search.hFound);
        return 0;
    }
    if (command == "templates" && argc > 2)
        return CompareTemplates(argv[2]);
    std::fprintf(stderr, "usage: WindowProbe show [caption] | owned | templates EXE\n");
    return 2;
}
