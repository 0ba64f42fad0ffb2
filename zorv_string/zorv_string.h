// The control system's text library: texts, text lists and list iterators.
//
// These declarations are the binary contract with the host's text library
// (zorv_string.dll on Windows, libzorv_string.so natively). Every operation is
// out of line so that a component depends only on the symbol names and on
// sizeof of the classes, never on their inner working. Do not add, remove or
// change an operation: on Windows the parameter types, const-ness and return
// types decide the imported (mangled) names.
//
// Ownership: a text or list returned by value is a new object owned by the
// caller; a returned reference points into an existing object. Constructors
// copy their input. Not thread-safe: one object is used by one thread at a time.
//
// Behaviours this implementation chooses (see docs/zorv_string.md):
// comparisons are byte-exact and case-sensitive; toInt() saturates; split()
// cuts at the first separator; arg() replaces every occurrence of the
// lowest-numbered placeholder %1..%99.
#ifndef ZORV_STRING_H
#define ZORV_STRING_H

// Storage reserves. A component holds texts and lists inline and keeps them
// and iterators on its stack, so it sets aside sizeof bytes for each, and the
// host's own library writes as many as its objects have. These sizes are
// therefore fixed, generous, and larger than any implementation of the
// library needs (reasoning in docs/zorv_string.md). They are part of the
// binary contract: change them never.
#define ZORV_STRING_RESERVE (sizeof(void*) == 4 ? 64 : 96)
#define ZORV_STRINGLIST_RESERVE (sizeof(void*) == 4 ? 64 : 96)
#define ZORV_STRINGLIST_ITERATOR_RESERVE (sizeof(void*) == 4 ? 16 : 32)

#if defined(_WIN32)
#  if defined(ZORV_STRING_BUILD)
#    define ZORV_STRING_API __declspec(dllexport)
#  else
#    define ZORV_STRING_API __declspec(dllimport)
#  endif
#else
#  define ZORV_STRING_API __attribute__((visibility("default")))
#endif

class zorv_stringlist;

class ZORV_STRING_API zorv_string {
public:
    zorv_string();                              // ""
    zorv_string(const char* text);              // a copy; null is taken as ""
    zorv_string(const zorv_string& other);      // a copy
    // The value as text. Always called with (value, 0, 0, 10) in this system:
    // plain decimal. fill pads on the left up to width characters ('\0' pads
    // with blanks); base 2..36, any other base is taken as 10.
    zorv_string(int value, char fill, unsigned int width, int base);
    // Frees the characters: pointers taken with const char* die with it.
    virtual ~zorv_string();

    // Each replaces or extends the content with a copy; pointers taken
    // before with const char* are then no longer valid.
    zorv_string& operator=(const char* text);   // null is taken as ""
    zorv_string& operator=(const zorv_string& other);
    zorv_string& operator+=(const zorv_string& other);

    // The characters and a closing NUL; valid while this text lives unchanged.
    operator const char*() const;
    unsigned int length() const;   // characters before the NUL

    // Decimal value: optional blanks, an optional sign, at least one digit,
    // optional blanks. Anything else gives 0; values beyond the int range give
    // INT_MAX or INT_MIN.
    int toInt() const;

    // Cuts at the first sep: before gets the text before it, after the text
    // after it; returns its position. Without sep: before = the whole text,
    // after = "", result -1.
    int split(char sep, zorv_string& before, zorv_string& after) const;

    // A copy with every occurrence of the lowest-numbered placeholder left
    // (%1 .. %99) replaced by the argument; unchanged when none is left.
    zorv_string arg(const zorv_string& value) const;
    zorv_string arg(int value, char fill, unsigned int width, int base) const;

private:
    friend struct zorv_text_ops;   // the library's own helpers
    char* data_;              // points at local_ or at a heap block
    unsigned int length_;
    unsigned int capacity_;   // usable characters at data_, not counting the NUL
    // Short texts live here, with no heap block: the rest of the reserve.
    char local_[ZORV_STRING_RESERVE - 2 * sizeof(void*) - 2 * sizeof(unsigned int)];
#if defined(ZORV_STRING_TEST_OVERSIZE_TEXT)
    char oversize_[ZORV_STRING_TEST_OVERSIZE_TEXT];   // a test build posing as a larger library
#endif
};
#if !defined(ZORV_STRING_TEST_OVERSIZE_TEXT)
static_assert(sizeof(zorv_string) == ZORV_STRING_RESERVE, "zorv_string keeps its reserve");
static_assert(sizeof(void*) != 4 || sizeof(zorv_string) == 64, "64 bytes per text on 32-bit targets");
static_assert(sizeof(void*) != 8 || sizeof(zorv_string) == 96, "96 bytes per text on 64-bit targets");
#endif

// Byte-exact comparisons; a null const char* compares as "".
ZORV_STRING_API bool operator==(const zorv_string& a, const char* b);
ZORV_STRING_API bool operator!=(const zorv_string& a, const char* b);
ZORV_STRING_API bool operator!=(const zorv_string& a, const zorv_string& b);
// True when the text is exactly the decimal form of value ("1" for 1, not "01").
ZORV_STRING_API bool operator==(const zorv_string& a, int value);
// A new text, the left operand first; a null const char* is taken as "".
ZORV_STRING_API const zorv_string operator+(const zorv_string& a, const zorv_string& b);
ZORV_STRING_API const zorv_string operator+(const zorv_string& a, const char* b);
ZORV_STRING_API const zorv_string operator+(const char* a, const zorv_string& b);

// Iterates a list from first item to last. A plain value; appending to the
// list invalidates it.
class ZORV_STRING_API zorv_stringlistIterator {
public:
    bool operator!=(const zorv_stringlistIterator& other) const;   // another position
    // The item here, in the list itself; only before end(), and valid until
    // the list is appended to or destroyed.
    zorv_string& operator*() const;
    zorv_stringlistIterator operator++();   // advances in place, returns the new position

private:
    friend class zorv_stringlist;
    explicit zorv_stringlistIterator(zorv_string* item);
    zorv_string* item_;
    unsigned char unused_[ZORV_STRINGLIST_ITERATOR_RESERVE - sizeof(void*)];   // the rest of the reserve
};
static_assert(sizeof(zorv_stringlistIterator) == ZORV_STRINGLIST_ITERATOR_RESERVE,
              "zorv_stringlistIterator keeps its reserve");
static_assert(sizeof(void*) != 4 || sizeof(zorv_stringlistIterator) == 16, "16 bytes per iterator on 32-bit targets");
static_assert(sizeof(void*) != 8 || sizeof(zorv_stringlistIterator) == 32, "32 bytes per iterator on 64-bit targets");

class ZORV_STRING_API zorv_stringlist {
public:
    zorv_stringlist();                                 // an empty list
    zorv_stringlist(const zorv_stringlist& other);   // independent copy
    // The pieces of text between separators, in order, empty pieces kept;
    // an empty text gives an empty list.
    zorv_stringlist(const zorv_string& text, char sep);
    // Frees the items: references and iterators into the list die with it.
    virtual ~zorv_stringlist();

    zorv_stringlist& operator<<(const zorv_string& item);   // appends a copy
    // The items in order joined by sep, none after the last; "" when empty.
    zorv_string toString(char sep);

    // The first item and the position past the last; fetch end() anew for
    // each test, as appending moves it.
    const zorv_stringlistIterator begin();
    const zorv_stringlistIterator end();

private:
    friend struct zorv_text_ops;
    zorv_stringlist& operator=(const zorv_stringlist&);   // not offered; never defined
    zorv_string* items_;
    unsigned int count_;
    unsigned int capacity_;
    unsigned char unused_[ZORV_STRINGLIST_RESERVE - 2 * sizeof(void*) - 2 * sizeof(unsigned int)];   // the rest of the reserve
#if defined(ZORV_STRING_TEST_OVERSIZE_LIST)
    unsigned char oversize_[ZORV_STRING_TEST_OVERSIZE_LIST];   // a test build posing as a larger library
#endif
};
#if !defined(ZORV_STRING_TEST_OVERSIZE_LIST)
static_assert(sizeof(zorv_stringlist) == ZORV_STRINGLIST_RESERVE, "zorv_stringlist keeps its reserve");
static_assert(sizeof(void*) != 4 || sizeof(zorv_stringlist) == 64, "64 bytes per list on 32-bit targets");
static_assert(sizeof(void*) != 8 || sizeof(zorv_stringlist) == 96, "96 bytes per list on 64-bit targets");
#endif

#endif
