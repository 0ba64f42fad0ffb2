// Robustness beyond the contract: odd and huge inputs. A finding fails at
// strictness 3 only; below it is a WARN.
#include "validator/check_kit.h"

namespace zorv_host::validation {

namespace {

void checkNullButton(const Context& c)
{
    Rig rig(c.factory, false);
    setCurrentEvent("button event with null data");
    require(rig.session.rawEvent(zorv_code::button, nullptr) == nullptr, "a button event with null data answered non-null");
    destroy(rig.session);
    requireNoNotes(rig.host, "a button event with null data");
}

// Odd texts as parent messages, as the values of the words the component
// declares, and as the event texts of "Monitor" and of its own controls.
void sendOddTexts(const Context& c, Rig& rig, const std::vector<std::string>& texts)
{
    const Vocabulary vocabulary = discover(c, rig.session, rig.host);
    std::vector<std::string> declaredWords;
    for (const std::string& entry : vocabulary.declared)
        if (entry.find('=') != std::string::npos)
            declaredWords.push_back(entry.substr(0, entry.find('=')));
    std::vector<PanelControl> buttons = {{"1", "Monitor", "", ""}};
    buttons.insert(buttons.end(), vocabulary.controls.begin(), vocabulary.controls.end());
    for (const std::string& text : texts) {
        const std::string shown = shownText(text);
        setCurrentEvent("parent " + quoteText(shown));
        rig.session.parentMessage(text);
        for (const std::string& word : declaredWords) {
            setCurrentEvent("parent " + quoteText(shownText(word + "=" + text)));
            rig.session.parentMessage(word + "=" + text);
        }
        for (const PanelControl& button : buttons) {
            setCurrentEvent(describeButton(PanelControl{button.panel, button.control, shown, button.origin}));
            rig.session.button(button.panel, button.control, text);
        }
        requireNoNotes(rig.host, "after " + quoteText(shown));
    }
}

void checkHugeMessage(const Context& c)
{
    Rig rig(c.factory, false);
    const std::string mib(1 << 20, 'x');
    sendOddTexts(c, rig, {mib, "source=" + mib, "instance=" + mib, mib + "=1"});
    destroy(rig.session);
}

void checkDots(const Context& c)
{
    Rig rig(c.factory, false);
    std::string dots(40, '.'), dotted;
    for (int i = 0; i < 40; ++i)
        dotted += "a.";
    sendOddTexts(c, rig, {dots, dots + "=1", dotted + "b=1", "source" + dots + "=1", "return" + dots});
    destroy(rig.session);
}

void checkAllBytes(const Context& c)
{
    Rig rig(c.factory, false);
    std::string every;
    for (int b = 1; b < 256; ++b)
        every += static_cast<char>(b);
    std::vector<std::string> texts = {every, "source=" + every, "instance=" + every, every + "=" + every};
    for (int b = 1; b < 256; ++b)
        texts.push_back("instance=" + std::string(1, static_cast<char>(b)));
    sendOddTexts(c, rig, texts);
    destroy(rig.session);
}

} // namespace

void addRobustnessChecks(CheckRegistry& registry)
{
    registry.add({"robustness.null_button",
                  "a button event with null data",
                  checkNullButton, 3});
    registry.add({"robustness.huge_message",
                  "parent messages and event texts of 1 MiB",
                  checkHugeMessage, 3});
    registry.add({"robustness.dots",
                  "texts of 40 dots",
                  checkDots, 3});
    registry.add({"robustness.bytes",
                  "every byte value 1-255 inside texts",
                  checkAllBytes, 3});
}

} // namespace zorv_host::validation
