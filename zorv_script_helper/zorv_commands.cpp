// The host command channel: every line a component sends to its host.
#include "zorv_crt.h"
#include "zorv_debug_output.h"
#include "zorv_internal.h"
#include "zorv_script_helper.h"

namespace {

// Writes value in plain decimal just before end and returns where it starts;
// end must have 11 bytes before it ("-2147483648"). The same digits as the
// text library's (value, 0, 0, 10), without a text object.
char* decimalBefore(char* end, int value)
{
    unsigned int magnitude = value < 0 ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
    char* p = end;
    do {
        *--p = static_cast<char>('0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0);
    if (value < 0)
        *--p = '-';
    return p;
}

// One command line, built in place: pieces are copied into a buffer on the
// stack (a heap block only for lines longer than it), so sending a command
// costs no text objects and no formatting pass. Pieces are appended as they
// are rather than filled into placeholders, so an argument that itself holds
// "%2" goes out unchanged.
class Line {
public:
    explicit Line(const char* verb) { piece(verb); }
    ~Line()
    {
        if (data_ != local_)
            delete[] data_;
    }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    // " '{text}'"
    Line& quoted(const zorv_string& text) { return openQuote().piece(text).closeQuote(); }

    // " '{prefix}{text}'"
    Line& quoted(const char* prefix, const zorv_string& text)
    {
        return openQuote().piece(prefix).piece(text).closeQuote();
    }

    // " '{first}{joint}{second}'"
    Line& quoted(const zorv_string& first, const char* joint, const zorv_string& second)
    {
        return openQuote().piece(first).piece(joint).piece(second).closeQuote();
    }

    // " {value}" in plain decimal
    Line& number(int value)
    {
        char digits[12];
        char* end = digits + sizeof digits;
        char* start = decimalBefore(end, value);
        *--start = ' ';
        append(start, static_cast<size_t>(end - start));
        return *this;
    }

    const char* text() const { return data_; }

private:
    Line& openQuote() { return append(" '", 2); }
    Line& closeQuote() { return append("'", 1); }
    Line& piece(const char* text) { return append(text, strlen(text)); }
    Line& piece(const zorv_string& text) { return append(text, text.length()); }

    Line& append(const char* piece, size_t n)
    {
        if (length_ + n >= capacity_)
            grow(length_ + n + 1);
        memcpy(data_ + length_, piece, n);
        length_ += n;
        data_[length_] = '\0';
        return *this;
    }

    void grow(size_t needed)
    {
        size_t capacity = capacity_ * 2 > needed ? capacity_ * 2 : needed;
        char* block = new char[capacity];
        memcpy(block, data_, length_ + 1);
        if (data_ != local_)
            delete[] data_;
        data_ = block;
        capacity_ = capacity;
    }

    char local_[128];
    char* data_ = local_;
    size_t length_ = 0;
    size_t capacity_ = sizeof local_;
};

} // namespace

int zorv_read_int(const char* text)
{
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = *p == '-';
    if (*p == '+' || *p == '-')
        ++p;
    const unsigned int limit = static_cast<unsigned int>(INT_MAX) + (negative ? 1u : 0u);
    unsigned int magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        unsigned int d = static_cast<unsigned int>(*p - '0');
        magnitude = magnitude > (limit - d) / 10 ? limit : magnitude * 10 + d;
    }
    if (!negative)
        return static_cast<int>(magnitude);
    return magnitude == limit ? INT_MIN : -static_cast<int>(magnitude);
}

const char* zorv_script_helper::sendCommand(const char* line)
{
    if (!host)
        return nullptr;
    return host->callback(const_cast<char*>(line), zorv_code::command);
}

void zorv_script_helper::releaseReply(const char* reply)
{
    if (host && reply)
        host->callback(const_cast<char*>(reply), zorv_code::release);
}

bool zorv_script_helper::query(const char* line, zorv_string& out)
{
    const char* reply = sendCommand(line);
    if (!reply)
        return false;
    out = reply;   // copy first: the host may reuse the memory once it is back
    releaseReply(reply);
    return true;
}

bool zorv_script_helper::panelShow(const zorv_string& panel, const zorv_string& layout,
                                   const zorv_string& extra)
{
    Line line("PS");
    line.quoted(panel);
    if (basePath != "")
        line.quoted(basePath, "/", layout);
    else
        line.quoted(layout);
    if (extra != "")
        line.quoted(extra);
    if (!host)
        return true;
    return sendCommand(line.text()) != nullptr;   // a success token, never handed back
}

void zorv_script_helper::textPut(const zorv_string& property, const zorv_string& value,
                                 const zorv_string& panel, const zorv_string& control)
{
    sendCommand(Line("TP").quoted(property, "=", value).quoted(panel).quoted(control).text());
}

void zorv_script_helper::textGet(const zorv_string& property, const zorv_string& panel,
                                 const zorv_string& control, zorv_string& out)
{
    zorv_string reply;
    if (!query(Line("TG").quoted(panel).quoted(control).quoted(property).text(), reply)) {
        out = "";
        return;
    }
    if (property == "all") {
        out = reply;
        return;
    }
    zorv_string name;
    zorv_string value;
    reply.split('=', name, value);
    if (strcmp(name, property) == 0) {
        out = value;
        return;
    }
    const zorv_string none;
    debugPrint("textGet: value returned \"%1\" was not the value requested \"%2\" (value returned "
               "was \"%3\" from control \"%4\", on panel \"%5\")",
               name, property, reply, control, panel, none, none, none, none);
    out = "";
}

void zorv_script_helper::routeCrosspoint(int device, int source, int destination,
                                         const zorv_string& tail, bool flag)
{
    sendCommand(Line("RC")
                    .number(device)
                    .number(source)
                    .number(destination)
                    .quoted(",", tail)
                    .number(flag ? 1 : 0)
                    .text());
}

void zorv_script_helper::timerStart(int timer, int interval)
{
    Line line("ET");
    line.number(timer);
    if (interval != 0)
        line.number(interval);
    sendCommand(line.text());
}

void zorv_script_helper::timerStop(int timer) { sendCommand(Line("ET").number(timer).text()); }

void zorv_script_helper::notifyHost(const zorv_string& text) { sendCommand(Line("HN").quoted(text).text()); }

bool zorv_script_helper::instanceLookup(zorv_string instance, int* device, int* offset)
{
    if (device)
        *device = 0;
    if (offset)
        *offset = 0;
    if (!host)
        return false;
    const char* reply = sendCommand(Line("SD").quoted(instance).text());
    if (!reply)
        return false;
    {
        decodeZORVString tokens(reply, '\'');   // the splitter copies the reply
        if (device)
            *device = zorv_read_int(tokens.tokens[0]);
        if (offset)
            *offset = zorv_read_int(tokens.tokens[1]);
    }
    releaseReply(reply);
    return true;
}

zorv_stringlist zorv_script_helper::controlList(const zorv_string& panel, const zorv_string& prefix)
{
    zorv_string reply;
    if (!query(Line("XI").quoted(panel).quoted(prefix).text(), reply))
        return zorv_stringlist();
    return zorv_stringlist(reply, ',');
}

void zorv_script_helper::detachHost() { sendCommand("AS"); }

void zorv_script_helper::debugPrint(const zorv_string& format, const zorv_string& a1,
                                    const zorv_string& a2, const zorv_string& a3,
                                    const zorv_string& a4, const zorv_string& a5,
                                    const zorv_string& a6, const zorv_string& a7,
                                    const zorv_string& a8, const zorv_string& a9)
{
    const zorv_string text = format.arg(a1).arg(a2).arg(a3).arg(a4).arg(a5).arg(a6).arg(a7).arg(a8).arg(a9);
    zorv_debug_output(text);
}
