// A libFuzzer target over what reads bytes from a settings file that anyone
// may have edited: the reader and its index, the loader, and the window
// keys' write-back.  Besides not crashing (under AddressSanitizer and
// UndefinedBehaviorSanitizer), each input must keep three promises:
// - the index answers every look-up as a plain pass over the text does;
// - a window key that is written back reads back as written;
// - writing it back changes no other key, nor how the file is decoded.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/BackupConfig.h"
#include "platform/IniFile.h"
#include "platform/Profile.h"

namespace {

// Names the loader asks for, and a few that differ from them only in case
// or that the dictionary makes easy to reach.
const char* const SECTIONS[] = {"全般", "バックアップセット1", "バックアップセット2", "s", "S"};
const char* const KEYS[] = {"バックアップセット数", "画面表示レベル", "ウィンドウ位置X", "バックアップ元", "バックアップ先", "k", "K"};

void Check(bool bHolds)
{
    if (!bHolds)
        abort();
}

// A name as the text holds it; false when its encoding cannot.
bool InTextEncoding(const CIniText& text, const char* pszName, std::string& name)
{
    if (text.GetEncoding() != ENCODING_SHIFT_JIS) {
        name = pszName;
        return true;
    }
    return ConvertText(pszName, ENCODING_NATIVE, ENCODING_SHIFT_JIS, name);
}

void CheckIndex(const CIniText& text)
{
    for (const char* pszSection : SECTIONS) {
        for (const char* pszKey : KEYS) {
            std::string section, key, indexed, plain;
            if (!InTextEncoding(text, pszSection, section) || !InTextEncoding(text, pszKey, key))
                continue;
            const bool bIndexed = text.Find(section.c_str(), key.c_str(), indexed);
            const bool bPlain = FindIniValue(text.GetText(), text.GetEncoding(), section.c_str(), key.c_str(), plain);
            Check(bIndexed == bPlain && indexed == plain);
        }
    }
}

std::string Read(const CIniText& text, const char* pszSection, const char* pszKey)
{
    char szValue[SETTING_TEXT_BUFFER];
    ReadIniString(text, pszSection, pszKey, szValue, sizeof szValue);
    return szValue;
}

void CheckWriteBack(const CIniText& text)
{
    std::string updated;
    if (!SetIniString(text, "全般", "ウィンドウ位置X", "-1234", updated))
        return;
    CIniText after;
    after.Assign(updated);
    Check(after.GetEncoding() == text.GetEncoding());
    Check(Read(after, "全般", "ウィンドウ位置X") == "-1234");
    for (const char* pszSection : SECTIONS) {
        for (const char* pszKey : KEYS) {
            if (std::string(pszKey) != "ウィンドウ位置X")
                Check(Read(after, pszSection, pszKey) == Read(text, pszSection, pszKey));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::string bytes(reinterpret_cast<const char*>(pData), nSize);
    CBackupConfig config(nullptr);
    config.LoadBytes(bytes);
    CIniText text;
    text.Assign(bytes);
    CheckIndex(text);
    CheckWriteBack(text);
    return 0;
}
