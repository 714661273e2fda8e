/* The string table as compiled into a Windows program matches the one the
   code and the host tests read */
#include <gtest/gtest.h>
#include <windows.h>
#include "resource.h"

TEST(Resources, CompiledStringTableHoldsEveryText)
{
    const struct { UINT id; const char *text; } table[] = {
#define VELMO_STRING(id, text) {id, text},
#include "strings.inc"
#undef VELMO_STRING
    };
    for (const auto &entry : table) {
        char buffer[1024] = "unset";
        int length = LoadStringA(GetModuleHandleA(NULL), entry.id, buffer, sizeof(buffer));
        if (!entry.text[0])
            buffer[length] = 0;     /* an empty text is not stored at all */
        EXPECT_STREQ(buffer, entry.text) << entry.id;
    }
    char cut[9];
    EXPECT_EQ(LoadStringA(GetModuleHandleA(NULL), IDS_ERROR_CAPTION, cut, sizeof(cut)), 8);
    EXPECT_STREQ(cut, "VELMO 2 ");
}
