// The destination button: shows one router destination, indicates whether it
// is the active one, and routes every source the parent sends to it while it
// is (the automatic take).
#ifndef SELVARIN_H
#define SELVARIN_H

#include "zorv_script_helper.h"

class Selvarin : public zorv_script_helper {
public:
    // Loads the layout into panel 1; sends nothing else.
    Selvarin(zorv_client_callback* host, const char* basePath);
    ~Selvarin() override;

protected:
    void buttonCallback(ButtonView* view) override;
    int eventOneCallback(EventView* view) override;
    zorv_string parentCallback(MessageView* view) override;
    void timerCallback(int timer) override;

private:
    void take(const zorv_string& sourceText);
    void showSelection();
    void changeInstance(const zorv_string& name);

    zorv_string instance;       // instance name, as last set by "instance"
    zorv_string selectedBg;     // state sheet of "Ident" while selected
    zorv_string deselectedBg;   // state sheet of "Ident" while not selected
    int device;                 // router number of the instance; 0 when none
    int offset;                 // destination number; -1 until the first lookup
    bool selected;              // this destination is the active one
};

#endif
