// Fuzzes the in-place message parse against a plain string model of it.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "zorv_message.h"

namespace {

struct Model {
    bool empty = true;
    std::string head;
    std::vector<std::string> parts;
    bool hasValue = false;
    std::string value;
};

// The same rules, written over std::string: dots cut parts until the first
// '='; the 32nd part keeps the rest of the text.
Model model(const std::string& text)
{
    Model m;
    if (text.empty())
        return m;
    m.empty = false;
    std::size_t end = text.find_first_of(".=");
    m.head = text.substr(0, end);
    while (end != std::string::npos) {
        if (text[end] == '=') {
            m.hasValue = true;
            m.value = text.substr(end + 1);
            break;
        }
        std::size_t start = end + 1;
        if (m.parts.size() == 31) {
            m.parts.push_back(text.substr(start));
            break;
        }
        end = text.find_first_of(".=", start);
        m.parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    }
    return m;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));   // a message ends at its NUL
    ParsedMessage parsed(text.c_str());
    Model expected = model(text);

    check((parsed.buffer == nullptr) == expected.empty);
    check(parsed.partCount == static_cast<int32_t>(expected.parts.size()));
    check(parsed.hasValue == (expected.hasValue ? 1 : 0));
    if (expected.empty) {
        check(parsed.head == zorv_shared_empty_text && parsed.value == zorv_shared_empty_text);
    } else {
        check(parsed.head == parsed.buffer && parsed.head == expected.head);
        check(expected.hasValue ? parsed.value == expected.value : parsed.value == zorv_shared_empty_text);
    }
    for (int k = 0; k < ParsedMessage::maxParts; ++k) {
        check(parsed.parts[k] != nullptr);
        if (k < parsed.partCount)
            check(parsed.parts[k] == expected.parts[static_cast<std::size_t>(k)]);
        else
            check(parsed.parts[k] == zorv_shared_empty_text);
    }
    return 0;
}
