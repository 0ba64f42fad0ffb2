#include "parent_panel.h"

#include "host_model.h"   // wholeNumber

namespace zorv_host {

namespace {

const std::string activeDestinationWord = "activedest=";
const std::string activateWord = "activate=";
const std::string clearSourceNotification = "clearsource=-1";

// The whole number after word at the start of text, if text starts so.
std::optional<int> numberAfter(const std::string& word, const std::string& text)
{
    if (text.compare(0, word.size(), word) != 0)
        return std::nullopt;
    return wholeNumber(text.substr(word.size()));
}

} // namespace

std::vector<std::string> placementConfiguration(const Placement& placement, std::optional<int> activeDestination)
{
    std::vector<std::string> messages;
    if (!placement.instance.empty())
        messages.push_back("instance=" + placement.instance);
    if (!placement.selectedbg.empty())
        messages.push_back("selectedbg=" + placement.selectedbg);
    if (!placement.deselectedbg.empty())
        messages.push_back("deselectedbg=" + placement.deselectedbg);
    if (activeDestination)
        messages.push_back(activeDestinationMessage(*activeDestination));
    return messages;
}

std::string activeDestinationMessage(int destination) { return activeDestinationWord + std::to_string(destination); }

std::optional<int> activeDestinationIn(const std::string& message)
{
    return numberAfter(activeDestinationWord, message);
}

ParentReaction parentReactionTo(const std::string& notification)
{
    if (std::optional<int> destination = numberAfter(activateWord, notification))
        return {ParentReaction::Kind::activate, *destination};
    if (notification == clearSourceNotification)
        return {ParentReaction::Kind::clearSource, 0};
    return {};
}

} // namespace zorv_host
