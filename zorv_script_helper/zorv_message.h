// Event message records and the views handlers read them through.
//
// ParsedMessage and ButtonEvent cross the boundary: the host builds them for
// button events, so their fields, order and widths are fixed. Handlers never
// touch them directly; they read copies through MessageView and ButtonView.
#ifndef ZORV_MESSAGE_H
#define ZORV_MESSAGE_H

#include <stddef.h>
#include <stdint.h>

#include "zorv_string.h"

// The module's one static empty text. Every text pointer of a ParsedMessage
// or decodeZORVString that was not set points here, so none is ever null.
extern const char zorv_shared_empty_text[1];

// A message text split in place: head, up to 32 dotted path parts and the
// value after the first '='. Example: "a.b=c" gives head "a", part "b",
// value "c". Owns one copy of the text (buffer); built in place, never copied.
struct ParsedMessage {
    static constexpr int maxParts = 32;

    const char* head;              // text before the first '.' or '='
    const char* parts[maxParts];   // slot k: text after the (k+1)-th dot
    const char* value;             // text after the first '='
    int32_t partCount;             // filled slots of parts, 0..32
    uint8_t hasValue;              // 1 when an '=' was found
    char* buffer;                  // owned copy of the text, null when empty

    // text may be null (read as empty); it is copied, stays the caller's, and
    // is not referred to afterwards. Every pointer above then points into
    // buffer or at zorv_shared_empty_text, valid until the record is destroyed.
    explicit ParsedMessage(const char* text);
    // Frees buffer; the pointers into it die with it.
    ~ParsedMessage();

    ParsedMessage(const ParsedMessage&) = delete;
    ParsedMessage& operator=(const ParsedMessage&) = delete;
};

// The host's record for a button event, lent with code 2 for the call only;
// the component reads it through a ButtonView and never keeps or frees it.
struct ButtonEvent {
    uint32_t hostWord0;            // host data, never read by the component
    uint32_t hostWord1;            // host data, never read by the component
    const char* panelId;           // panel that holds the control
    const char* controlId;         // control that fired
    const ParsedMessage* message;  // the control's event text, parsed
};

// Views are one-pointer records built by the dispatcher on its stack for one
// handler call. Accessors return independent copies, owned by the caller,
// that outlive the view; call them during that handler only.
class MessageView {
public:
    // Built by the dispatcher over a record it keeps alive for the handler
    // call; message is never null.
    explicit MessageView(const ParsedMessage* message) : message_(message) {}
    zorv_string command() const;   // the head
    zorv_string value() const;     // the value; empty when there was no '='
    // Whether the head is exactly word (byte for byte, as the text library's
    // == compares), with no copy made; a null word is taken as "".
    bool commandIs(const char* word) const;

private:
    const ParsedMessage* message_;
};

class ButtonView {
public:
    // Built by the dispatcher over the host's record for the handler call;
    // event is never null (a null record reaches no handler).
    explicit ButtonView(const ButtonEvent* event) : event_(event) {}
    zorv_string panel() const;     // panelId
    zorv_string id() const;        // controlId
    zorv_string command() const;   // head of the event's message; "" without a message
    zorv_string value() const;     // value of the event's message; "" without a message

private:
    const ButtonEvent* event_;
};

// The view handed to the handlers of codes 1, 6 and 7: the raw data word.
class EventView {
public:
    explicit EventView(void* data) : data_(data) {}
    // The host's word as it came, opaque: never read through, kept or freed.
    void* data() const { return data_; }

private:
    void* data_;
};

// The layout shared with the host.
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ParsedMessage) == 148, "ParsedMessage layout is shared with the host");
static_assert(offsetof(ParsedMessage, head) == 0, "ParsedMessage layout");
static_assert(offsetof(ParsedMessage, parts) == 4, "ParsedMessage layout");
static_assert(offsetof(ParsedMessage, value) == 132, "ParsedMessage layout");
static_assert(offsetof(ParsedMessage, partCount) == 136, "ParsedMessage layout");
static_assert(offsetof(ParsedMessage, hasValue) == 140, "ParsedMessage layout");
static_assert(offsetof(ParsedMessage, buffer) == 144, "ParsedMessage layout");
static_assert(offsetof(ButtonEvent, panelId) == 8, "ButtonEvent layout is shared with the host");
static_assert(offsetof(ButtonEvent, controlId) == 12, "ButtonEvent layout");
static_assert(offsetof(ButtonEvent, message) == 16, "ButtonEvent layout");
#else
static_assert(sizeof(ParsedMessage) == 288, "ParsedMessage: same field order, natural alignment");
static_assert(offsetof(ParsedMessage, value) == 264, "ParsedMessage layout");
static_assert(offsetof(ParsedMessage, partCount) == 272, "ParsedMessage layout");
static_assert(offsetof(ParsedMessage, hasValue) == 276, "ParsedMessage layout");
static_assert(offsetof(ParsedMessage, buffer) == 280, "ParsedMessage layout");
static_assert(offsetof(ButtonEvent, panelId) == 8, "ButtonEvent: leading words stay 32-bit");
static_assert(offsetof(ButtonEvent, controlId) == 16, "ButtonEvent layout");
static_assert(offsetof(ButtonEvent, message) == 24, "ButtonEvent layout");
#endif
static_assert(sizeof(MessageView) == sizeof(void*) && sizeof(ButtonView) == sizeof(void*)
                  && sizeof(EventView) == sizeof(void*),
              "views are one pointer");

#endif
