// numtext.cpp -- integer-digit routines for peak-line numbers.
//
// For non-negative values below 2^31 the texts are exactly those of the
// original routines. Negative values get a "-" in front of the text of
// their magnitude; values of 2^31 or more get their whole integer part;
// NaN and infinities are written "nan", "inf" and "-inf".
#include "output/numtext.h"

#include <cmath>
#include <cstdio>
#include <cstring>

// Position 35 + r is the digit of |r| for a remainder r of -9..9.
static const char digit_table[] =
    "zyxwvutsrqponmlkjihgfedcba9876543210123456789abcdefghijklmnopqrstuvwxyz";

static const double powers_of_ten[] = {1e0, 1e1, 1e2, 1e3, 1e4,
                                       1e5, 1e6, 1e7, 1e8, 1e9, 1e10};

void reverse(char* text, int32_t len)
{
    int32_t i = 0, j = len - 1;
    while (i < j) {
        char c = text[i];
        text[i] = text[j];
        text[j] = c;
        i++;
        j--;
    }
}

int32_t intToStr(int32_t x, char* text, int32_t d)
{
    int32_t i = 0;
    while (x != 0) {
        text[i++] = static_cast<char>('0' + (x - 10 * (x / 10)));
        x = x / 10;
    }
    while (i < d)
        text[i++] = '0';
    reverse(text, i);
    text[i] = '\0';
    return i;
}

static int32_t copy_text(char* text, const char* s)
{
    int32_t n = static_cast<int32_t>(std::strlen(s));
    std::memcpy(text, s, static_cast<size_t>(n) + 1);
    return n;
}

// Integer part of a float of 2^31 or more, in full (exact: such a float
// is an integer).
static int32_t big_integer_text(float n, char* text)
{
    int len = std::snprintf(text, ftoa_max, "%.0f", static_cast<double>(n));
    return len < 0 ? 0 : len;
}

int32_t ftoa(float n, char* text, int32_t afterpoint)
{
    if (std::isnan(n))
        return copy_text(text, "nan");
    if (n < 0) {
        text[0] = '-';
        return 1 + ftoa(-n, text + 1, afterpoint);
    }
    if (std::isinf(n))
        return copy_text(text, "inf");
    int32_t i;
    float frac;
    if (n >= 2147483648.0f) {
        i = big_integer_text(n, text);
        frac = 0;
    } else {
        int32_t ip = static_cast<int32_t>(n);
        frac = n - static_cast<float>(ip);
        i = intToStr(ip, text, 0);
    }
    if (afterpoint <= 0)
        return i;
    text[i] = '.';
    double scale = afterpoint <= 10 ? powers_of_ten[afterpoint]
                                    : std::pow(10.0, afterpoint);
    // Rounded to single precision before the truncation: 1.0079 stays
    // 1.0079 although its float lies just below.
    float product = static_cast<float>(static_cast<double>(frac) * scale);
    int32_t f = static_cast<int32_t>(product);
    return i + 1 + intToStr(f, text + i + 1, afterpoint);
}

char* itoa(int32_t value, char* text)
{
    int32_t p = 0;
    int32_t last = value;  // the last value divided: the leading digit's
    for (;;) {
        int32_t q = value / 10;
        int32_t r = value - 10 * q;
        text[p++] = digit_table[35 + r];
        last = value;
        if (q == 0)
            break;
        value = q;
    }
    if (last < 0)
        text[p++] = '-';
    text[p] = '\0';
    reverse(text, p);
    return text;
}

int32_t float2int(double x)
{
    if (std::isnan(x))
        return 0;
    if (x >= 2147483647.0)
        return INT32_MAX;
    if (x <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(x);
}

int32_t value_text(float v, char* text)
{
    if (std::isnan(v))
        return copy_text(text, "nan");
    if (std::isinf(v))
        return copy_text(text, v < 0 ? "-inf" : "inf");
    float t = std::trunc(v);
    if (t < 0) {
        text[0] = '-';
        return 1 + value_text(-t, text + 1);
    }
    if (t >= 2147483648.0f)
        return big_integer_text(t, text);
    return intToStr(static_cast<int32_t>(t), text, 0);
}
