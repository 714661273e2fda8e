/* Named settings: a key each under HKEY_CURRENT_USER, or an entry of the
   program's INI file under Win32s */
#include <windows.h>
#include <limits.h>
#include <string.h>
#include "resource.h"
#include "tavlib.h"

#define KEY_PATH_SIZE (1024 + TEXT_SIZE)

int IsWin32s(void)
{
    DWORD version = GetVersion();

    return (version & 0x80000000) && (version & 0xFF) < 4;
}

static void SettingKeyPath(const char *name, char *path)
{
    size_t prefix, length = strlen(name);

    LoadText(IDS_REG_PREFIX, path, 1024);
    prefix = strlen(path);
    FATAL_CHECK(prefix + length > 1024, IDS_REG_ERROR);
    memcpy(path + prefix, name, length + 1);
}

static void ProfileNames(char *section, char *file)
{
    LoadText(IDS_INI_SECTION, section, TEXT_SIZE);
    LoadText(IDS_INI_FILE, file, TEXT_SIZE);
}

int SaveSetting(const char *name, const char *value)
{
    char path[KEY_PATH_SIZE];
    char noClass[] = "";
    HKEY key = NULL;
    DWORD disposition;
    LONG set, closed;

    if (IsWin32s()) {
        char section[TEXT_SIZE], file[TEXT_SIZE];
        ProfileNames(section, file);
        /* A write that did not happen is not reported as done */
        return WritePrivateProfileStringA(section, name, value, file) ? 1 : 0;
    }
    SettingKeyPath(name, path);
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, noClass, 0, KEY_ALL_ACCESS,
                        NULL, &key, &disposition) != ERROR_SUCCESS)
        return 0;
    set = RegSetValueExA(key, "", 0, REG_SZ, (const BYTE *)value, (DWORD)strlen(value) + 1);
    closed = RegCloseKey(key);
    return set == ERROR_SUCCESS && closed == ERROR_SUCCESS;
}

/* Keeps a REG_SZ value only when it holds at most 80 characters; a value
   stored without its terminator is terminated here */
static void KeepShortText(char *out, DWORD size)
{
    DWORD n = 0;

    while (n < size && out[n])
        n++;
    if (n >= TEXT_SIZE)
        n = 0;
    out[n] = 0;
}

void LoadSetting(const char *name, char *out)
{
    char path[KEY_PATH_SIZE];
    HKEY key;
    DWORD type = 0, size = TEXT_SIZE;

    out[0] = 0;
    if (IsWin32s()) {
        char section[TEXT_SIZE], file[TEXT_SIZE];
        ProfileNames(section, file);
        GetPrivateProfileStringA(section, name, "", out, TEXT_SIZE, file);
        return;
    }
    SettingKeyPath(name, path);
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (RegQueryValueExA(key, "", NULL, &type, (LPBYTE)out, &size) == ERROR_SUCCESS
        && type == REG_SZ)
        KeepShortText(out, size);
    else
        out[0] = 0;
    if (RegCloseKey(key) != ERROR_SUCCESS)
        ShowMessage(mainWindow, IDS_REG_ERROR, 0);
}

int LoadIntSetting(const char *name, int fallback)
{
    char text[TEXT_SIZE];
    long long value = 0;

    LoadSetting(name, text);
    if (!text[0])
        return fallback;
    for (const char *c = text; *c; c++) {
        if (*c < '0' || *c > '9')
            return fallback;
        value = value * 10 + (*c - '0');
        /* Digits beyond the range of int fall back too */
        if (value > INT_MAX)
            return fallback;
    }
    return (int)value;
}
