// The parent panel's side of its conversation with the components placed on
// it: the messages it sends a placement, and what it does with a
// notification ("HN") a component raises. The workbench is such a parent;
// scenarios play the parent's messages as written.
#ifndef ZORV_HOST_PARENT_PANEL_H
#define ZORV_HOST_PARENT_PANEL_H

#include <optional>
#include <string>
#include <vector>

#include "panel_file.h"

namespace zorv_host {

// The configuration a placement is sent when it starts (and again after a
// restart): "instance=", "selectedbg=" and "deselectedbg=", each only when
// set, then "activedest=" when the panel has an active destination.
std::vector<std::string> placementConfiguration(const Placement& placement, std::optional<int> activeDestination);

// "activedest=N": the panel's active destination is N, for every placement.
std::string activeDestinationMessage(int destination);

// The destination a parent message makes active, or none when the message
// is no "activedest=" with a whole number.
std::optional<int> activeDestinationIn(const std::string& message);

struct ParentReaction {
    enum class Kind {
        none,          // the parent only notes the notification
        activate,      // "activate=N": destination N becomes the panel's active one
        clearSource,   // "clearsource=-1": the panel's source selection is cleared
    };
    Kind kind = Kind::none;
    int destination = 0;   // activate only
};

// What the parent does with a notification's text.
ParentReaction parentReactionTo(const std::string& notification);

} // namespace zorv_host

#endif
