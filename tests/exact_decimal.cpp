#include "exact_decimal.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

/* Unsigned integer in base 10^9 limbs, least significant first */
typedef std::vector<uint32_t> Limbs;
const uint32_t BASE = 1000000000;

void MultiplySmall(Limbs &n, uint32_t factor)
{
    uint64_t carry = 0;
    for (uint32_t &limb : n) {
        carry += (uint64_t)limb * factor;
        limb = (uint32_t)(carry % BASE);
        carry /= BASE;
    }
    while (carry) {
        n.push_back((uint32_t)(carry % BASE));
        carry /= BASE;
    }
}

void AddSmall(Limbs &n, uint32_t add)
{
    uint64_t carry = add;
    for (size_t i = 0; carry; i++) {
        if (i == n.size())
            n.push_back(0);
        carry += n[i];
        n[i] = (uint32_t)(carry % BASE);
        carry /= BASE;
    }
}

std::string ToString(const Limbs &n)
{
    std::string s;
    for (size_t i = n.size(); i-- > 0;) {
        std::string part = std::to_string(n[i]);
        if (!s.empty())
            part.insert(0, 9 - part.size(), '0');
        s += part;
    }
    return s;
}

/* digits * 10^shift, shift counted from the last digit */
Decimal Normalize(const std::string &digits, int shift)
{
    size_t first = digits.find_first_not_of('0');
    Decimal d;
    if (first == std::string::npos)
        return d;
    size_t last = digits.find_last_not_of('0');
    d.digits = digits.substr(first, last - first + 1);
    d.exponent = (int)(digits.size() - first) - 1 + shift;
    return d;
}

/* Adds one unit in the last place of a digit string; true on a carry out */
bool Increment(std::string &digits)
{
    for (size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            digits[i]++;
            return false;
        }
        digits[i] = '0';
    }
    digits.insert(0, 1, '1');
    return true;
}

std::string Layout(bool negative, const Decimal &d)
{
    std::string out = negative ? "-" : "";
    const std::string &s = d.digits;
    int e = d.exponent;

    if (e < -4 || e >= 12) {
        out += s[0];
        if (s.size() > 1)
            out += "." + s.substr(1);
        std::string magnitude = std::to_string(e < 0 ? -e : e);
        out += std::string("e") + (e < 0 ? '-' : '+')
            + std::string(3 - magnitude.size(), '0') + magnitude;
    } else {
        out += PlainText(d);
    }
    return out;
}

std::string TextFrom(double value, bool twoSteps)
{
    if (value != value)
        return "nan";
    if (value == 0)
        return "0";
    bool negative = value < 0;
    if (value - value != 0)
        return negative ? "-inf" : "inf";
    Decimal d = ExactDecimalOf(value);
    if (twoSteps)
        d = RoundDecimal(RoundDecimal(d, 17, true), 12, false);
    else
        d = RoundDecimal(d, 12, false);
    return Layout(negative, d);
}

} // namespace

uint64_t BitsOf(double value)
{
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

double FromBits(uint64_t bits)
{
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

Decimal ExactDecimal(uint64_t m, int e)
{
    return ExactDecimalWide(0, m, e);
}

Decimal ExactDecimalWide(uint64_t hi, uint64_t lo, int e)
{
    Limbs n;
    for (uint64_t v = hi; v; v /= BASE)
        n.push_back((uint32_t)(v % BASE));
    MultiplySmall(n, 1u << 16);
    MultiplySmall(n, 1u << 16);
    AddSmall(n, (uint32_t)(lo >> 32));
    MultiplySmall(n, 1u << 16);
    MultiplySmall(n, 1u << 16);
    AddSmall(n, (uint32_t)lo);
    while (!n.empty() && n.back() == 0)
        n.pop_back();
    if (n.empty())
        return Decimal();
    if (e >= 0) {
        for (; e > 0; e -= 29)
            MultiplySmall(n, 1u << (e < 29 ? e : 29));
        return Normalize(ToString(n), 0);
    }
    /* m 2^e = m 5^-e / 10^-e */
    for (int k = -e; k > 0; k -= 13) {
        uint32_t factor = 1;
        for (int i = 0; i < (k < 13 ? k : 13); i++)
            factor *= 5;
        MultiplySmall(n, factor);
    }
    return Normalize(ToString(n), e);
}

Decimal ExactDecimalOf(double value)
{
    uint64_t bits = BitsOf(value) & 0x7FFFFFFFFFFFFFFFULL;
    int biased = (int)(bits >> 52);
    uint64_t m = bits & 0x000FFFFFFFFFFFFFULL;
    if (biased == 0)
        return ExactDecimal(m, -1074);
    return ExactDecimal(m | 0x0010000000000000ULL, biased - 1075);
}

Decimal MidpointAbove(uint64_t bits)
{
    int biased = (int)(bits >> 52);
    uint64_t m = bits & 0x000FFFFFFFFFFFFFULL;
    if (biased)
        m |= 0x0010000000000000ULL;
    else
        biased = 1;
    return ExactDecimal(2 * m + 1, biased - 1076);
}

Decimal ParseDecimal(const std::string &text)
{
    size_t point = text.find('.');
    std::string digits = text;
    int shift = 0;
    if (point != std::string::npos) {
        digits.erase(point, 1);
        shift = -(int)(text.size() - point - 1);
    }
    return Normalize(digits, shift);
}

int CompareDecimal(const Decimal &a, const Decimal &b)
{
    if (a.digits.empty() || b.digits.empty())
        return a.digits.empty() ? (b.digits.empty() ? 0 : -1) : 1;
    if (a.exponent != b.exponent)
        return a.exponent < b.exponent ? -1 : 1;
    int c = a.digits.compare(b.digits);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

Decimal RoundDecimal(const Decimal &d, int count, bool halfEven)
{
    if ((int)d.digits.size() <= count)
        return d;
    std::string kept = d.digits.substr(0, count);
    char next = d.digits[count];
    bool beyond = d.digits.find_first_not_of('0', count + 1) != std::string::npos;
    bool up;
    if (next != '5')
        up = next > '5';
    else if (halfEven)
        up = beyond || ((kept.back() - '0') & 1);
    else
        up = true;
    int exponent = d.exponent;
    if (up && Increment(kept))
        exponent++;
    return Normalize(kept, exponent - (int)kept.size() + 1);
}

std::string ReferenceText(double value)
{
    return TextFrom(value, true);
}

std::string DirectText(double value)
{
    return TextFrom(value, false);
}

std::string PlainText(const Decimal &d)
{
    if (d.digits.empty())
        return "0";
    std::string s = d.digits;
    int e = d.exponent;
    if (e < 0)
        return "0." + std::string(-e - 1, '0') + s;
    if ((int)s.size() <= e + 1)
        return s + std::string(e + 1 - s.size(), '0');
    return s.substr(0, e + 1) + "." + s.substr(e + 1);
}

bool IsNearestDouble(const Decimal &d, uint64_t bits)
{
    const uint64_t infinity = 0x7FF0000000000000ULL;
    bool even = !(bits & 1);
    if (bits > infinity)
        return false;
    if (bits < infinity) {
        int c = CompareDecimal(d, MidpointAbove(bits));
        if (c > 0 || (c == 0 && !even))
            return false;
    }
    if (bits > 0) {
        int c = CompareDecimal(d, MidpointAbove(bits - 1));
        if (c < 0 || (c == 0 && !even))
            return false;
    }
    return true;
}

std::string Hex(uint64_t bits)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llx", (unsigned long long)bits);
    return text;
}
