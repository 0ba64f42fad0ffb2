// A source selector button: the parent panel sets which source it selects
// ("source=N") and what it shows ("label=TEXT"); a press of "Select" tells
// the parent panel to select that source.
#include "zorv_script_helper.h"

// A quote inside a text argument would make the line ambiguous for the host,
// which escapes nothing: the label goes without its quotes.
static zorv_string withoutQuotes(const zorv_string& text)
{
    zorv_string kept, rest = text, before, after;
    while (rest.split('\'', before, after) >= 0) {
        kept += before;
        rest = after;
    }
    kept += rest;
    return kept;
}

class Selector : public zorv_script_helper {
public:
    Selector(zorv_client_callback* host, const char* basePath) : zorv_script_helper(host, basePath)
    {
        panelShow(zorv_string(1, 0, 0, 10), "selector.zorv_ui", zorv_string());
    }

protected:
    void buttonCallback(ButtonView* view) override
    {
        if (view->id() == "Select")
            notifyHost(zorv_string("selectsource=") + zorv_string(source, 0, 0, 10));
    }
    int eventOneCallback(EventView*) override { return 0; }
    zorv_string parentCallback(MessageView* view) override
    {
        const zorv_string command = view->command();
        if (command == "source")
            source = view->value().toInt();
        else if (command == "label")
            textPut("text", withoutQuotes(view->value()), zorv_string(1, 0, 0, 10), "Label");
        else if (command == "_events")
            return "selectsource=*";
        else if (command == "_commands")
            return "source=[number]\nlabel=[text]";   // a list joined by line feeds
        return zorv_string();   // the empty reply reaches the host as null
    }
    void timerCallback(int) override {}

private:
    int source = 0;
};

ZORV_PLUGIN_EXPORT zorv_client_callback* ZORV_PLUGIN_CALL
load_zorv_client_script(zorv_client_callback* host, const char* basePath)
{
    return new (std::nothrow) Selector(host, basePath);
}
