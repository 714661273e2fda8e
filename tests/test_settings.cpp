/* The settings store: registry and INI file, stored values good and bad */
#include "engine_fixture.h"
#include "tavlib.h"

static const char soundKey[] = "Software\\Mondrel\\VELMO 2\\2.01\\Sound";

TEST_F(Engine, SaveWritesTheDefaultValueAsText)
{
    EXPECT_EQ(SaveSetting("Sound", "1"), 1);
    const fake::RegValue *value = fake::FindRegValue(soundKey);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, (DWORD)REG_SZ);
    EXPECT_EQ(value->data, std::string("1", 2));
    EXPECT_EQ(SaveSetting("Sound", "0"), 1);
    EXPECT_EQ(LoadIntSetting("Sound", 7), 0);
    EXPECT_EQ(fake::world.openKeys, 0);
}

TEST_F(Engine, StoredTextsReadAsNumbersOrTheDefault)
{
    const struct { DWORD type; std::string data; int expected; } cases[] = {
        {REG_SZ, std::string("1", 2), 1},
        {REG_SZ, std::string("0", 2), 0},
        {REG_SZ, std::string("01", 3), 1},
        {REG_SZ, std::string("2147483647", 11), 2147483647},
        {REG_SZ, std::string(79, '0') + "3" + '\0', 3},     /* 80 characters fit */
        {REG_SZ, std::string("1", 1), 1},                   /* stored without terminator */
        {REG_SZ, std::string("-1", 3), -5},
        {REG_SZ, std::string(" 1", 3), -5},
        {REG_SZ, std::string("1a", 3), -5},
        {REG_SZ, std::string("\xB9", 2), -5},
        {REG_SZ, std::string("", 1), -5},
        {REG_SZ, std::string("2147483648", 11), -5},        /* beyond int */
        {REG_SZ, std::string("99999999999", 12), -5},
        {REG_SZ, std::string(80, '1') + '1' + '\0', -5},    /* 81 characters do not fit */
        {REG_SZ, std::string(81, '0'), -5},                  /* 81 without terminator */
        {REG_DWORD, std::string("\1\0\0\0", 4), -5},
        {REG_BINARY, std::string("1", 2), -5},
    };
    EXPECT_EQ(LoadIntSetting("Sound", -5), -5);  /* no key */
    for (const auto &c : cases) {
        fake::PutRegValue(soundKey, c.type, c.data);
        EXPECT_EQ(LoadIntSetting("Sound", -5), c.expected) << c.data;
    }
    EXPECT_EQ(fake::world.openKeys, 0);
    EXPECT_TRUE(fake::world.boxes.empty());
}

TEST_F(Engine, RegistryFailuresReadAsDefaultOrReportZero)
{
    const fake::Call saveFailures[] = {fake::REG_CREATE_KEY, fake::REG_SET_VALUE, fake::REG_CLOSE_KEY};
    for (fake::Call call : saveFailures) {
        SetUp();
        fake::Fail(call);
        EXPECT_EQ(SaveSetting("Sound", "1"), 0) << call;
    }

    const fake::Call loadFailures[] = {fake::REG_OPEN_KEY, fake::REG_QUERY_VALUE};
    for (fake::Call call : loadFailures) {
        SetUp();
        fake::PutRegValue(soundKey, REG_SZ, std::string("1", 2));
        fake::Fail(call);
        EXPECT_EQ(LoadIntSetting("Sound", 0), 0) << call;
        EXPECT_TRUE(fake::world.boxes.empty());
        EXPECT_EQ(fake::world.openKeys, 0);
    }

    SetUp();
    fake::PutRegValue(soundKey, REG_SZ, std::string("1", 2));
    fake::Fail(fake::REG_CLOSE_KEY);
    EXPECT_EQ(LoadIntSetting("Sound", 0), 1);
    EXPECT_EQ(Boxes(), (Texts{"Cannot store/retrieve data to/from the registry"}));
    EXPECT_EQ(fake::world.boxes[0].caption, "VELMO 2 - Error");
}

TEST_F(Engine, Win32sKeepsSettingsInTheIniFile)
{
    const struct { DWORD version; int win32s; } versions[] = {
        {0x80000003, 1},    /* Win32s on Windows 3.1 */
        {0xC0000004, 0},    /* Windows 95 */
        {0x05650004, 0},    /* Windows NT 4 */
        {0x23F00206, 0},
    };
    for (const auto &v : versions) {
        fake::world.version = v.version;
        EXPECT_EQ(IsWin32s(), v.win32s) << std::hex << v.version;
    }

    fake::world.version = 0x80000003;
    EXPECT_EQ(SaveSetting("Sound", "1"), 1);
    EXPECT_EQ(fake::world.profiles["velmo.ini"][""]["sound"], "1");
    EXPECT_EQ(LoadIntSetting("Sound", 0), 1);
    EXPECT_TRUE(fake::world.registry.empty());

    char text[TEXT_SIZE];
    fake::world.profiles["velmo.ini"][""]["sound"] = std::string(100, '4');
    LoadSetting("Sound", text);
    EXPECT_EQ(std::string(text), std::string(80, '4'));
    fake::world.profiles["velmo.ini"][""]["sound"] = "-1";
    EXPECT_EQ(LoadIntSetting("Sound", 3), 3);
}
