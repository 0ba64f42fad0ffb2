#include <gtest/gtest.h>

#include "parent_panel.h"

using namespace zorv_host;

TEST(ParentPanel, ActsOnlyOnTheNotificationsItKnowsWithWholeNumbers)
{
    using Kind = ParentReaction::Kind;
    struct Case {
        const char* notification;
        Kind kind;
        int destination;
    };
    const Case cases[] = {
        {"activate=34", Kind::activate, 34},
        {"activate=-1", Kind::activate, -1},
        {"activate=", Kind::none, 0},
        {"activate=3x", Kind::none, 0},
        {"activate=99999999999", Kind::none, 0},   // no int holds it
        {"Activate=3", Kind::none, 0},
        {"xactivate=3", Kind::none, 0},
        {"clearsource=-1", Kind::clearSource, 0},
        {"clearsource=0", Kind::none, 0},
        {"clearsource=-1 ", Kind::none, 0},
        {"", Kind::none, 0},
    };
    for (const Case& c : cases) {
        ParentReaction reaction = parentReactionTo(c.notification);
        EXPECT_EQ(reaction.kind, c.kind) << c.notification;
        EXPECT_EQ(reaction.destination, c.destination) << c.notification;
    }
}

TEST(ParentPanel, ActiveDestinationMessagesReadBackAndOthersDoNot)
{
    for (int destination : {0, 7, -1, 2147483647})
        EXPECT_EQ(activeDestinationIn(activeDestinationMessage(destination)), destination);
    for (const char* other : {"activedest=", "activedest=x", "activedest", "source=3", "activedest=1=2"})
        EXPECT_EQ(activeDestinationIn(other), std::nullopt) << other;
}

TEST(ParentPanel, AStartingPlacementIsSentWhatIsSetAndTheActiveDestinationLast)
{
    Placement bare;
    EXPECT_TRUE(placementConfiguration(bare, std::nullopt).empty());
    EXPECT_EQ(placementConfiguration(bare, 5), std::vector<std::string>{"activedest=5"});

    Placement full;
    full.instance = "DEST1";
    full.selectedbg = "sel_on";
    full.deselectedbg = "sel_off";
    EXPECT_EQ(placementConfiguration(full, 12),
              (std::vector<std::string>{"instance=DEST1", "selectedbg=sel_on", "deselectedbg=sel_off", "activedest=12"}));
    full.selectedbg.clear();
    EXPECT_EQ(placementConfiguration(full, std::nullopt),
              (std::vector<std::string>{"instance=DEST1", "deselectedbg=sel_off"}));
}
