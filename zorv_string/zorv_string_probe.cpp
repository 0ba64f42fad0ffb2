// The storage probe. Every object under test lives at the start of its own
// heap block of reserve + guard bytes; the guard is filled with a pattern
// before the object is made and read after it is gone. Only operations of
// the library touch the blocks, and every result returned by value is
// constructed straight into a block (guaranteed copy elision), so what the
// library writes for an object is all it writes.
#include "zorv_string_probe.h"

#include "zorv_crt.h"
#include "zorv_string.h"

namespace {

class Slot {
public:
    Slot(const char* className, unsigned int reserve, unsigned char pattern)
        : className_(className), reserve_(reserve), pattern_(pattern),
          block_(static_cast<unsigned char*>(malloc(reserve + zorv_probe_guard_bytes)))
    {
        if (block_)
            memset(block_, pattern, reserve + zorv_probe_guard_bytes);
    }
    ~Slot() { free(block_); }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

    bool ready() const { return block_ != nullptr; }
    void* at() const { return block_; }

    // Bytes up to and including the last changed guard byte; 0 when none changed.
    unsigned int used() const
    {
        for (unsigned int i = zorv_probe_guard_bytes; i > 0; --i)
            if (block_[reserve_ + i - 1] != pattern_)
                return reserve_ + i;
        return 0;
    }

    void report(zorv_probe_result& result) const
    {
        unsigned int bytes = used();
        if (bytes > 0 && (result.fits || bytes - reserve_ > result.bytesUsed - result.reserve)) {
            result.fits = false;
            result.className = className_;
            result.bytesUsed = bytes;
            result.reserve = reserve_;
        }
    }

private:
    const char* className_;
    unsigned int reserve_;
    unsigned char pattern_;
    unsigned char* block_;
};

const char textName[] = "zorv_string";
const char listName[] = "zorv_stringlist";
const char iteratorName[] = "zorv_stringlistIterator";

// Long enough that no library keeps it inside a small object, with the
// placeholders and separators the operations below need.
const char sample[] = "probe=%1 and %2,a text longer than any inline buffer of a text object,x";

bool probeOnce(unsigned char pattern, zorv_probe_result& result)
{
    const unsigned int textReserve = sizeof(zorv_string);
    const unsigned int listReserve = sizeof(zorv_stringlist);
    const unsigned int iteratorReserve = sizeof(zorv_stringlistIterator);
    enum { empty, fromChars, copy, number, argText, argNumber, before, after, joined, texts };
    enum { emptyList, splitList, copiedList, lists };
    enum { first, last, advanced, iterators };
    Slot* text[texts];
    Slot* list[lists];
    Slot* iterator[iterators];
    // Slots are themselves on the heap: this runs on a host thread whose
    // stack we do not want to grow by pages.
    bool ready = true;
    for (int i = 0; i < texts; ++i)
        ready = (text[i] = new (std::nothrow) Slot(textName, textReserve, pattern)) && text[i]->ready() && ready;
    for (int i = 0; i < lists; ++i)
        ready = (list[i] = new (std::nothrow) Slot(listName, listReserve, pattern)) && list[i]->ready() && ready;
    for (int i = 0; i < iterators; ++i)
        ready = (iterator[i] = new (std::nothrow) Slot(iteratorName, iteratorReserve, pattern)) &&
                iterator[i]->ready() && ready;

    if (ready) {
        zorv_string* e = new (text[empty]->at()) zorv_string();
        zorv_string* s = new (text[fromChars]->at()) zorv_string(sample);
        zorv_string* c = new (text[copy]->at()) zorv_string(*s);
        zorv_string* n = new (text[number]->at()) zorv_string(-2147483647, 0, 0, 10);
        *e = sample;
        *e = *c;
        *c += *s;
        *n += *c;
        zorv_string* a1 = new (text[argText]->at()) zorv_string(s->arg(*c));
        zorv_string* a2 = new (text[argNumber]->at()) zorv_string(a1->arg(-2147483647, 0, 0, 10));
        zorv_string* b = new (text[before]->at()) zorv_string();
        zorv_string* f = new (text[after]->at()) zorv_string();
        s->split('=', *b, *f);

        zorv_stringlist* l0 = new (list[emptyList]->at()) zorv_stringlist();
        zorv_stringlist* l1 = new (list[splitList]->at()) zorv_stringlist(*a2, ',');
        *l0 << *a2;
        *l0 << *b;
        *l0 << *f;
        zorv_stringlist* l2 = new (list[copiedList]->at()) zorv_stringlist(*l1);
        *l2 << *n;
        zorv_string* j = new (text[joined]->at()) zorv_string(l2->toString('\n'));

        zorv_stringlistIterator* i0 = new (iterator[first]->at()) zorv_stringlistIterator(l0->begin());
        zorv_stringlistIterator* i1 = new (iterator[last]->at()) zorv_stringlistIterator(l0->end());
        zorv_stringlistIterator* i2 = new (iterator[advanced]->at()) zorv_stringlistIterator(++*i0);
        unsigned int seen = 0;
        while (*i0 != *i1 && seen < 16) {
            seen += (**i0).length() > 0 ? 1u : 0u;
            ++*i0;
        }
        (void)i2;

        // Iterators are plain values: nothing to destroy.
        j->~zorv_string();
        l2->~zorv_stringlist();
        l1->~zorv_stringlist();
        l0->~zorv_stringlist();
        zorv_string* made[] = {f, b, a2, a1, n, c, s, e};
        for (zorv_string* t : made)
            t->~zorv_string();
    }

    for (int i = 0; i < texts; ++i)
        if (text[i]) {
            if (ready)
                text[i]->report(result);
            delete text[i];
        }
    for (int i = 0; i < lists; ++i)
        if (list[i]) {
            if (ready)
                list[i]->report(result);
            delete list[i];
        }
    for (int i = 0; i < iterators; ++i)
        if (iterator[i]) {
            if (ready)
                iterator[i]->report(result);
            delete iterator[i];
        }
    return ready;
}

} // namespace

zorv_probe_result zorv_probe_text_library()
{
    zorv_probe_result result = {true, nullptr, 0, 0};
    // Two patterns: a byte the library happens to write with the value of
    // one pattern still differs from the other.
    const unsigned char patterns[] = {0xA5, 0x5A};
    for (unsigned char pattern : patterns) {
        if (!probeOnce(pattern, result)) {
            zorv_probe_result noMemory = {false, "memory", 0, 0};
            return noMemory;
        }
    }
    return result;
}

void zorv_probe_describe(const zorv_probe_result& result, const char* component, char* buffer, unsigned int size)
{
    if (size == 0)
        return;
    // The module's own formatter: it cuts at size and always ends the text.
    if (result.fits)
        zorv_format(buffer, size, "%s: the text library's objects fit their reserves", component);
    else if (result.bytesUsed == 0)
        zorv_format(buffer, size, "%s: no memory to check the text library; no component is made", component);
    else
        zorv_format(buffer, size, "%s: %s of the text library uses %u bytes, more than the %u reserved; no component is made",
                    component, result.className, result.bytesUsed, result.reserve);
}
