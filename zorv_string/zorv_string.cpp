// Our implementation of the text library. Plain C++ over the C runtime (no
// standard library), so the same source builds the Windows DLL.
#define ZORV_STRING_BUILD
#include "zorv_string.h"

#include "zorv_crt.h"


namespace {

// The longest text this library makes; keeps every length sum representable.
const unsigned int maxTextLength = UINT_MAX / 4;
// A field wider than this is cut to it: a pad of gigabytes is never intended.
const unsigned int maxFieldWidth = 1024;

char* allocChars(unsigned int capacity)
{
    if (capacity > maxTextLength)
        zorv_out_of_memory();
    void* block = malloc(capacity + 1u);
    if (!block)
        zorv_out_of_memory();
    return static_cast<char*>(block);
}

unsigned int textLength(const char* text)
{
    if (!text)
        return 0;
    size_t n = strlen(text);
    if (n > maxTextLength)
        zorv_out_of_memory();
    return static_cast<unsigned int>(n);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Writes value in base (2..36) into out, right-aligned, returns the start.
// out must have room for 33 characters before end.
char* formatNumber(char* end, int value, int base)
{
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    unsigned int magnitude = value < 0 ? 0u - static_cast<unsigned int>(value)
                                       : static_cast<unsigned int>(value);
    char* p = end;
    do {
        *--p = digits[magnitude % static_cast<unsigned int>(base)];
        magnitude /= static_cast<unsigned int>(base);
    } while (magnitude != 0);
    if (value < 0)
        *--p = '-';
    return p;
}

// A placeholder is '%' and one or two digits naming 1..99. Returns its number
// and its length in *size, or 0 when position i starts none.
int placeholderAt(const char* text, unsigned int i, unsigned int length, unsigned int* size)
{
    if (text[i] != '%' || i + 1 >= length || !isDigit(text[i + 1]) || text[i + 1] == '0')
        return 0;
    int number = text[i + 1] - '0';
    *size = 2;
    if (i + 2 < length && isDigit(text[i + 2])) {
        number = number * 10 + (text[i + 2] - '0');
        *size = 3;
    }
    return number;
}

int lowestPlaceholder(const char* text, unsigned int length)
{
    int lowest = 0;
    for (unsigned int i = 0; i < length; ++i) {
        unsigned int size = 0;
        int number = placeholderAt(text, i, length, &size);
        if (number != 0 && (lowest == 0 || number < lowest))
            lowest = number;
    }
    return lowest;
}

} // namespace

// Storage helpers with access to the private members.
struct zorv_text_ops {
    static void init(zorv_string& s)
    {
        s.data_ = s.local_;
        s.length_ = 0;
        s.capacity_ = sizeof(s.local_) - 1;
        s.local_[0] = '\0';
#if defined(ZORV_STRING_TEST_OVERSIZE_TEXT)
        memset(s.oversize_, 0, sizeof s.oversize_);
#endif
    }

    static void release(zorv_string& s)
    {
        if (s.data_ != s.local_)
            free(s.data_);
    }

    // Makes room for capacity characters, keeping the content. The caller's
    // source may point into the old block: it is freed only by the caller
    // via the returned pointer (null when nothing moved).
    static char* grow(zorv_string& s, unsigned int capacity)
    {
        if (capacity <= s.capacity_)
            return nullptr;
        unsigned int doubled = s.capacity_ <= maxTextLength / 2 ? s.capacity_ * 2 : maxTextLength;
        unsigned int newCapacity = capacity > doubled ? capacity : doubled;
        char* block = allocChars(newCapacity);
        memcpy(block, s.data_, s.length_ + 1u);
        char* old = s.data_ != s.local_ ? s.data_ : nullptr;
        s.data_ = block;
        s.capacity_ = newCapacity;
        return old;
    }

    static void assign(zorv_string& s, const char* text, unsigned int n)
    {
        char* old = grow(s, n);
        // text may lie inside s: memmove-safe copy before the old block goes.
        for (unsigned int i = 0; i < n; ++i)
            s.data_[i] = text[i];
        s.data_[n] = '\0';
        s.length_ = n;
        free(old);
    }

    static void append(zorv_string& s, const char* text, unsigned int n)
    {
        if (n > maxTextLength - s.length_)
            zorv_out_of_memory();
        char* old = grow(s, s.length_ + n);
        memcpy(s.data_ + s.length_, text, n);   // text may be s itself: old is still alive
        s.length_ += n;
        s.data_[s.length_] = '\0';
        free(old);
    }

    static void appendNumber(zorv_string& s, int value, char fill, unsigned int width, int base)
    {
        if (base < 2 || base > 36)
            base = 10;
        char buffer[40];
        char* end = buffer + sizeof(buffer);
        char* start = formatNumber(end, value, base);
        unsigned int digits = static_cast<unsigned int>(end - start);
        if (width > maxFieldWidth)
            width = maxFieldWidth;
        char pad = fill == '\0' ? ' ' : fill;
        for (unsigned int i = digits; i < width; ++i)
            append(s, &pad, 1);
        append(s, start, digits);
    }

    static bool equals(const zorv_string& a, const char* b, unsigned int n)
    {
        return a.length_ == n && memcmp(a.data_, b, n) == 0;
    }

    // A copy of s with every occurrence of the lowest placeholder replaced by
    // replacement[0..n).
    static zorv_string substitute(const zorv_string& s, const char* replacement, unsigned int n)
    {
        int lowest = lowestPlaceholder(s.data_, s.length_);
        if (lowest == 0)
            return s;
        zorv_string result;
        unsigned int runStart = 0;
        for (unsigned int i = 0; i < s.length_;) {
            unsigned int size = 0;
            if (placeholderAt(s.data_, i, s.length_, &size) == lowest) {
                append(result, s.data_ + runStart, i - runStart);
                append(result, replacement, n);
                i += size;
                runStart = i;
            } else {
                ++i;
            }
        }
        append(result, s.data_ + runStart, s.length_ - runStart);
        return result;
    }

    // Moves the items into a block for capacity items and returns the old
    // block, still holding its items, for the caller to drop once whatever
    // it copies from has been copied.
    static zorv_string* listGrow(zorv_stringlist& l, unsigned int capacity)
    {
        if (capacity > maxTextLength / sizeof(zorv_string))
            zorv_out_of_memory();
        void* block = malloc(capacity * sizeof(zorv_string));
        if (!block)
            zorv_out_of_memory();
        zorv_string* items = static_cast<zorv_string*>(block);
        for (unsigned int i = 0; i < l.count_; ++i)
            new (&items[i]) zorv_string(l.items_[i]);
        zorv_string* old = l.items_;
        l.items_ = items;
        l.capacity_ = capacity;
        return old;
    }

    static void listDrop(zorv_string* items, unsigned int count)
    {
        for (unsigned int i = 0; i < count; ++i)
            items[i].~zorv_string();
        free(items);
    }

    static void listReserve(zorv_stringlist& l, unsigned int capacity)
    {
        if (capacity > l.capacity_)
            listDrop(listGrow(l, capacity), l.count_);
    }

    // text may be an item of l itself: the old block outlives the copy.
    static void listAppend(zorv_stringlist& l, const char* text, unsigned int n)
    {
        zorv_string* old = nullptr;
        if (l.count_ == l.capacity_)
            old = listGrow(l, l.capacity_ < 4 ? 4 : l.capacity_ * 2);
        zorv_string* item = new (&l.items_[l.count_]) zorv_string();
        zorv_text_ops::assign(*item, text, n);
        ++l.count_;
        if (old)
            listDrop(old, l.count_ - 1);
    }

    static void listInit(zorv_stringlist& l)
    {
        memset(l.unused_, 0, sizeof l.unused_);
#if defined(ZORV_STRING_TEST_OVERSIZE_LIST)
        memset(l.oversize_, 0, sizeof l.oversize_);
#endif
        l.items_ = nullptr;
        l.count_ = 0;
        l.capacity_ = 0;
    }
};

// ---- zorv_string ----

zorv_string::zorv_string() { zorv_text_ops::init(*this); }

zorv_string::zorv_string(const char* text)
{
    zorv_text_ops::init(*this);
    zorv_text_ops::assign(*this, text, textLength(text));
}

zorv_string::zorv_string(const zorv_string& other)
{
    zorv_text_ops::init(*this);
    zorv_text_ops::assign(*this, other.data_, other.length_);
}

zorv_string::zorv_string(int value, char fill, unsigned int width, int base)
{
    zorv_text_ops::init(*this);
    zorv_text_ops::appendNumber(*this, value, fill, width, base);
}

zorv_string::~zorv_string() { zorv_text_ops::release(*this); }

zorv_string& zorv_string::operator=(const char* text)
{
    zorv_text_ops::assign(*this, text, textLength(text));
    return *this;
}

zorv_string& zorv_string::operator=(const zorv_string& other)
{
    if (this != &other)
        zorv_text_ops::assign(*this, other.data_, other.length_);
    return *this;
}

zorv_string& zorv_string::operator+=(const zorv_string& other)
{
    zorv_text_ops::append(*this, other.data_, other.length_);
    return *this;
}

zorv_string::operator const char*() const { return data_; }

unsigned int zorv_string::length() const { return length_; }

#if !defined(ZORV_STRING_TEST_OMIT_TOINT)   // a test build lacking one operation
int zorv_string::toInt() const
{
    unsigned int i = 0;
    while (i < length_ && isBlank(data_[i]))
        ++i;
    bool negative = false;
    if (i < length_ && (data_[i] == '+' || data_[i] == '-'))
        negative = data_[i++] == '-';
    // Accumulate the magnitude, saturating one past INT_MAX so INT_MIN fits.
    const unsigned int limit = static_cast<unsigned int>(INT_MAX) + (negative ? 1u : 0u);
    unsigned int magnitude = 0;
    unsigned int digits = 0;
    for (; i < length_ && isDigit(data_[i]); ++i, ++digits) {
        unsigned int d = static_cast<unsigned int>(data_[i] - '0');
        magnitude = magnitude > (limit - d) / 10 ? limit : magnitude * 10 + d;
    }
    while (i < length_ && isBlank(data_[i]))
        ++i;
    if (digits == 0 || i != length_)
        return 0;
    if (!negative)
        return static_cast<int>(magnitude);
    return magnitude == limit ? INT_MIN : -static_cast<int>(magnitude);
}
#endif

int zorv_string::split(char sep, zorv_string& before, zorv_string& after) const
{
    // before or after may be this text: take the pieces from a copy.
    zorv_string whole(*this);
    for (unsigned int i = 0; i < whole.length_; ++i) {
        if (whole.data_[i] == sep) {
            zorv_text_ops::assign(before, whole.data_, i);
            zorv_text_ops::assign(after, whole.data_ + i + 1, whole.length_ - i - 1);
            return static_cast<int>(i);
        }
    }
    before = whole;
    after = "";
    return -1;
}

zorv_string zorv_string::arg(const zorv_string& value) const
{
    return zorv_text_ops::substitute(*this, value.data_, value.length_);
}

zorv_string zorv_string::arg(int value, char fill, unsigned int width, int base) const
{
    zorv_string number(value, fill, width, base);
    return zorv_text_ops::substitute(*this, number.data_, number.length_);
}

// ---- free operators ----

bool operator==(const zorv_string& a, const char* b)
{
    return zorv_text_ops::equals(a, b ? b : "", textLength(b));
}

bool operator!=(const zorv_string& a, const char* b) { return !(a == b); }

bool operator!=(const zorv_string& a, const zorv_string& b)
{
    return !zorv_text_ops::equals(a, b, b.length());
}

bool operator==(const zorv_string& a, int value)
{
    zorv_string number(value, 0, 0, 10);
    return zorv_text_ops::equals(a, number, number.length());
}

const zorv_string operator+(const zorv_string& a, const zorv_string& b)
{
    zorv_string result(a);
    result += b;
    return result;
}

const zorv_string operator+(const zorv_string& a, const char* b) { return a + zorv_string(b); }

const zorv_string operator+(const char* a, const zorv_string& b) { return zorv_string(a) + b; }

// ---- zorv_stringlistIterator ----

zorv_stringlistIterator::zorv_stringlistIterator(zorv_string* item) : item_(item), unused_() {}

bool zorv_stringlistIterator::operator!=(const zorv_stringlistIterator& other) const
{
    return item_ != other.item_;
}

zorv_string& zorv_stringlistIterator::operator*() const { return *item_; }

zorv_stringlistIterator zorv_stringlistIterator::operator++()
{
    ++item_;
    return *this;
}

// ---- zorv_stringlist ----

zorv_stringlist::zorv_stringlist() { zorv_text_ops::listInit(*this); }

zorv_stringlist::zorv_stringlist(const zorv_stringlist& other)
{
    zorv_text_ops::listInit(*this);
    zorv_text_ops::listReserve(*this, other.count_);
    for (unsigned int i = 0; i < other.count_; ++i)
        *this << other.items_[i];
}

zorv_stringlist::zorv_stringlist(const zorv_string& text, char sep)
{
    zorv_text_ops::listInit(*this);
    const char* p = text;
    unsigned int n = text.length();
    if (n == 0)
        return;
    unsigned int pieces = 1;
    for (unsigned int i = 0; i < n; ++i)
        pieces += p[i] == sep ? 1u : 0u;
    zorv_text_ops::listReserve(*this, pieces);
    unsigned int start = 0;
    for (unsigned int i = 0; i <= n; ++i) {
        if (i == n || p[i] == sep) {
            zorv_text_ops::listAppend(*this, p + start, i - start);
            start = i + 1;
        }
    }
}

zorv_stringlist::~zorv_stringlist() { zorv_text_ops::listDrop(items_, count_); }

zorv_stringlist& zorv_stringlist::operator<<(const zorv_string& item)
{
    zorv_text_ops::listAppend(*this, item, item.length());
    return *this;
}

zorv_string zorv_stringlist::toString(char sep)
{
    zorv_string result;
    for (unsigned int i = 0; i < count_; ++i) {
        if (i != 0)
            zorv_text_ops::append(result, &sep, 1);
        result += items_[i];
    }
    return result;
}

const zorv_stringlistIterator zorv_stringlist::begin() { return zorv_stringlistIterator(items_); }

const zorv_stringlistIterator zorv_stringlist::end() { return zorv_stringlistIterator(items_ + count_); }
