// Fuzzes the text library against std::string models: arg chains, split,
// toInt, list construction and toString, concatenation and comparison.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "zorv_string.h"

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

std::string str(const zorv_string& s) { return std::string(static_cast<const char*>(s), s.length()); }

bool digit(char c) { return c >= '0' && c <= '9'; }

// %1..%99, no leading zero; returns the number and its length, or 0.
int placeholder(const std::string& t, std::size_t i, std::size_t& size)
{
    if (t[i] != '%' || i + 1 >= t.size() || !digit(t[i + 1]) || t[i + 1] == '0')
        return 0;
    size = 2;
    int n = t[i + 1] - '0';
    if (i + 2 < t.size() && digit(t[i + 2])) {
        n = n * 10 + (t[i + 2] - '0');
        size = 3;
    }
    return n;
}

std::string modelArg(const std::string& t, const std::string& value)
{
    int lowest = 0;
    for (std::size_t i = 0, size = 0; i < t.size(); ++i) {
        int n = placeholder(t, i, size);
        if (n && (!lowest || n < lowest))
            lowest = n;
    }
    if (!lowest)
        return t;
    std::string out;
    for (std::size_t i = 0, size = 0; i < t.size();) {
        if (placeholder(t, i, size) == lowest) {
            out += value;
            i += size;
        } else {
            out += t[i++];
        }
    }
    return out;
}

int modelToInt(const std::string& t)
{
    std::size_t i = t.find_first_not_of(" \t");
    std::size_t end = t.find_last_not_of(" \t");
    if (i == std::string::npos)
        return 0;
    std::string core = t.substr(i, end - i + 1);
    bool negative = core[0] == '-';
    std::size_t digits = core[0] == '-' || core[0] == '+' ? 1 : 0;
    if (digits == core.size())
        return 0;
    long long value = 0;
    for (std::size_t k = digits; k < core.size(); ++k) {
        if (!digit(core[k]))
            return 0;
        value = value * 10 + (core[k] - '0');
        if (value > 1LL << 32)
            value = 1LL << 32;   // far enough past the int range to saturate
    }
    value = negative ? -value : value;
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

std::string text(FuzzedDataProvider& in, std::size_t max)
{
    std::string t = in.ConsumeRandomLengthString(max);
    return t.substr(0, t.find('\0'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    zorv_string s(text(in, 64).c_str());
    std::string m = str(s);
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange<int>(0, 9)) {
        case 0: {
            std::string v = text(in, 32);
            s = s.arg(zorv_string(v.c_str()));
            m = modelArg(m, v);
            break;
        }
        case 1: {
            int v = in.ConsumeIntegral<int>();
            s = s.arg(v, 0, 0, 10);
            m = modelArg(m, std::to_string(v));
            break;
        }
        case 2: {
            std::string v = text(in, 32);
            s += zorv_string(v.c_str());
            m += v;
            break;
        }
        case 3: {
            std::string v = text(in, 32);
            switch (in.ConsumeIntegralInRange<int>(0, 2)) {
            case 0: s = v.c_str() + s; m = v + m; break;
            case 1: s = s + v.c_str(); m = m + v; break;
            default: s = s + zorv_string(v.c_str()); m = m + v; break;
            }
            break;
        }
        case 4: {
            char sep = in.ConsumeIntegral<char>();
            zorv_string before, after;
            int at = s.split(sep, before, after);
            std::size_t found = m.find(sep);
            check(sep == '\0' || at == (found == std::string::npos ? -1 : static_cast<int>(found)));
            if (at >= 0)
                check(str(before) + sep + str(after) == m);
            else
                check(str(before) == m && after.length() == 0);
            break;
        }
        case 5:
            check(s.toInt() == modelToInt(m));
            break;
        case 6: {
            char sep = in.ConsumeIntegral<char>();
            if (sep == '\0')
                break;
            zorv_stringlist list(s, sep);
            std::size_t count = 0;
            for (zorv_stringlistIterator it = list.begin(); it != list.end(); ++it, ++count)
                check(str(*it).find(sep) == std::string::npos);
            check(count == (m.empty() ? 0 : 1 + static_cast<std::size_t>(std::count(m.begin(), m.end(), sep))));
            check(str(list.toString(sep)) == m);
            zorv_stringlist copy(list);
            copy << s;
            check(str(copy.toString(sep)) == (m.empty() ? m : m + sep + m));
            break;
        }
        case 7: {
            std::string v = text(in, 16);
            check((s == v.c_str()) == (m == v));
            check((s != v.c_str()) == (m != v));
            check((s != zorv_string(v.c_str())) == (m != v));
            break;
        }
        case 8: {
            int v = in.ConsumeIntegral<int>();
            check((s == v) == (m == std::to_string(v)));
            break;
        }
        case 9: {
            const zorv_string& self = s;
            s = self;   // self-assignment keeps the text
            break;
        }
        }
        check(s.length() == m.size() && str(s) == m);
        check(static_cast<const char*>(s)[s.length()] == '\0');
    }
    return 0;
}
