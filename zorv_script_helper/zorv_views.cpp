// The views handlers read events through: every accessor returns a copy.
#include "zorv_message.h"

#include "zorv_crt.h"

zorv_string MessageView::command() const { return zorv_string(message_->head); }

zorv_string MessageView::value() const { return zorv_string(message_->value); }

bool MessageView::commandIs(const char* word) const { return strcmp(message_->head, word ? word : "") == 0; }

zorv_string ButtonView::panel() const { return zorv_string(event_->panelId); }

zorv_string ButtonView::id() const { return zorv_string(event_->controlId); }

// A host that sends no message record gets an empty command and value.
zorv_string ButtonView::command() const
{
    return zorv_string(event_->message ? event_->message->head : zorv_shared_empty_text);
}

zorv_string ButtonView::value() const
{
    return zorv_string(event_->message ? event_->message->value : zorv_shared_empty_text);
}
