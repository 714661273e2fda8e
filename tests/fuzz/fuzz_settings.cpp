/* Any stored Sound value of any type, in the registry or the INI file.
   First byte: bit 0 INI file, bit 1 nothing stored. Bytes 1-4: the
   registry value's type. The rest is the stored value. */
#include <limits.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <string>
#include "fakewin.h"
#include "globals.h"
#include "harness.h"
#include "resource.h"
#include "tavlib.h"

static const char keyPath[] = "Software\\Mondrel\\VELMO 2\\2.01\\Sound";

/* The text a load must give: the stored text when it fits 80 characters */
static std::string ExpectedText(bool ini, bool missing, DWORD type, const std::string &data)
{
    std::string text = data.substr(0, data.find('\0'));

    if (missing)
        return "";
    if (ini)
        return text.substr(0, 80);
    if (type != REG_SZ || data.size() > 81 || text.size() > 80)
        return "";
    return text;
}

/* Digits only, up to the largest int */
static int ExpectedNumber(const std::string &text, int fallback)
{
    size_t first = 0;

    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return fallback;
    while (first + 1 < text.size() && text[first] == '0')
        first++;
    std::string digits = text.substr(first);
    if (digits.size() > 10 || (digits.size() == 10 && digits > "2147483647"))
        return fallback;
    return (int)strtol(digits.c_str(), nullptr, 10);
}

static void CheckQuiet()
{
    REQUIRE(fake::world.boxes.empty());
    REQUIRE(fake::world.openKeys == 0);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    bool ini = data[0] & 1, missing = data[0] & 2;
    DWORD type = (DWORD)data[1] | (DWORD)data[2] << 8 | (DWORD)data[3] << 16 | (DWORD)data[4] << 24;
    std::string stored(reinterpret_cast<const char *>(data + 5), size - 5);

    NewSession(0, 198);
    LoadText(IDS_SOUND_KEY, soundKeyName, sizeof(soundKeyName));
    if (ini)
        fake::world.version = 0x80000003;
    if (!missing) {
        if (ini)
            fake::world.profiles["velmo.ini"][""]["sound"] = stored;
        else
            fake::PutRegValue(keyPath, type, stored);
    }

    std::string expected = ExpectedText(ini, missing, type, stored);
    char *out = new char[TEXT_SIZE];    /* exactly its size: an overrun is caught */
    memset(out, 'j', TEXT_SIZE);
    LoadSetting(soundKeyName, out);
    REQUIRE(memchr(out, 0, TEXT_SIZE) != nullptr && expected == out);
    delete[] out;
    CheckQuiet();
    REQUIRE(LoadIntSetting(soundKeyName, -7) == ExpectedNumber(expected, -7));
    soundOn = LoadIntSetting(soundKeyName, 0);
    REQUIRE(soundOn == ExpectedNumber(expected, 0));
    CheckQuiet();

    /* A load never changes what is stored */
    if (!missing && !ini) {
        const fake::RegValue *value = fake::FindRegValue(keyPath);
        REQUIRE(value && value->type == type && value->data == stored);
    }

    /* What is saved reads back */
    std::string text = stored.substr(0, stored.find('\0')).substr(0, 80);
    REQUIRE(SaveSetting(soundKeyName, text.c_str()) == 1);
    char back[TEXT_SIZE];
    LoadSetting(soundKeyName, back);
    REQUIRE(text == back);
    CheckQuiet();
    return 0;
}
