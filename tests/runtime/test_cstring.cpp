/* The program's own string and memory functions against the C library's, on
   random buffers and strings: the same bytes written, the same pointers and
   the same signs returned. The bytes include 128-255, which compare as
   unsigned, and strings share long prefixes. */
#include <gtest/gtest.h>
#include <random>
#include <string.h>
#include <string>
#include <vector>

#define CSTRING_NAME(name) velmo_##name
#include "../../velmo/runtime/cstring.cpp"

namespace {

std::mt19937 rng(20261207);

int Below(int n) { return (int)(rng() % (unsigned)n); }

/* Bytes from a few values, so that searches find them often; never 0 */
std::vector<unsigned char> Bytes(size_t n)
{
    static const unsigned char pool[] = {'a', 'b', '.', 0x7f, 0x80, 0xb6, 0xff, '1'};
    std::vector<unsigned char> out(n);
    for (auto &b : out)
        b = Below(4) ? pool[Below(sizeof pool)] : (unsigned char)(1 + Below(255));
    return out;
}

std::string Text(size_t n)
{
    std::vector<unsigned char> b = Bytes(n);
    return std::string(b.begin(), b.end());
}

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(CString, CopyMoveAndFillWriteWhatTheLibraryWrites)
{
    for (int round = 0; round < 20000; round++) {
        std::vector<unsigned char> ours = Bytes(96), theirs = ours;
        size_t n = (size_t)Below(40), from = (size_t)Below(48), to = (size_t)Below(48);
        int op = Below(3), c = Below(512) - 128;
        void *got = nullptr, *want = nullptr;
        if (op == 0 && (to + n <= from || from + n <= to)) {
            got = velmo_memcpy(&ours[to], &ours[from], n);
            want = memcpy(&theirs[to], &theirs[from], n);
        } else if (op == 1) {
            got = velmo_memmove(&ours[to], &ours[from], n);
            want = memmove(&theirs[to], &theirs[from], n);
        } else {
            got = velmo_memset(&ours[to], c, n);
            want = memset(&theirs[to], c, n);
        }
        ASSERT_EQ(ours, theirs) << "op " << op << " n " << n << " from " << from << " to " << to;
        ASSERT_EQ((unsigned char *)got - ours.data(), (unsigned char *)want - theirs.data());
    }
}

TEST(CString, ComparisonsHaveTheLibrarySign)
{
    for (int round = 0; round < 20000; round++) {
        std::string a = Text((size_t)Below(12)), b = a;
        if (Below(4))
            b = b.substr(0, (size_t)Below((int)b.size() + 1)) + Text((size_t)Below(4));
        size_t n = (size_t)Below((int)std::min(a.size(), b.size()) + 2);
        n = std::min(n, std::min(a.size(), b.size()) + 1);
        ASSERT_EQ(Sign(velmo_strcmp(a.c_str(), b.c_str())), Sign(strcmp(a.c_str(), b.c_str()))) << a << " " << b;
        ASSERT_EQ(Sign(velmo_memcmp(a.c_str(), b.c_str(), n)), Sign(memcmp(a.c_str(), b.c_str(), n))) << a << " " << b << " " << n;
    }
    EXPECT_GT(velmo_strcmp("\xb6", "a"), 0);
    EXPECT_LT(velmo_memcmp("a\x01", "a\xff", 2), 0);
    EXPECT_EQ(velmo_memcmp("ab", "ac", 1), 0);
}

TEST(CString, LengthsAndSearchesFindWhatTheLibraryFinds)
{
    for (int round = 0; round < 20000; round++) {
        std::string s = Text((size_t)Below(20));
        const char *p = s.c_str();
        int c = round % 7 == 0 ? 0 : round % 5 == 0 ? (signed char)0xb6 : Below(256);
        size_t max = (size_t)Below(24);
        ASSERT_EQ(velmo_strlen(p), strlen(p));
        ASSERT_EQ(velmo_strnlen(p, max), strnlen(p, max)) << max;
        ASSERT_EQ(velmo_strchr(p, c), strchr(p, c)) << s << " " << c;
        ASSERT_EQ(velmo_strrchr(p, c), strrchr(p, c)) << s << " " << c;
    }
}

TEST(CString, StringCopiesWriteWhatTheLibraryWrites)
{
    for (int round = 0; round < 20000; round++) {
        std::string s = Text((size_t)Below(16)), start = Text((size_t)Below(8));
        std::vector<char> ours(48, '#'), theirs(48, '#');
        size_t n = (size_t)Below(24);
        int op = Below(3);
        char *got, *want;
        if (op == 0) {
            got = velmo_strcpy(ours.data(), s.c_str()), want = strcpy(theirs.data(), s.c_str());
        } else if (op == 1) {
            got = velmo_strncpy(ours.data(), s.c_str(), n), want = strncpy(theirs.data(), s.c_str(), n);
        } else {
            memcpy(ours.data(), start.c_str(), start.size() + 1), memcpy(theirs.data(), start.c_str(), start.size() + 1);
            got = velmo_strcat(ours.data(), s.c_str()), want = strcat(theirs.data(), s.c_str());
        }
        ASSERT_EQ(ours, theirs) << "op " << op << " '" << s << "' n " << n;
        ASSERT_EQ(got - ours.data(), want - theirs.data());
    }
}

}
