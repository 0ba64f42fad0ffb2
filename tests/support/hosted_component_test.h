// A test fixture: a TestComponent on a recording host whose books must
// balance when the test ends — every query reply handed back, no rule broken.
#ifndef ZORV_TEST_HOSTED_COMPONENT_TEST_H
#define ZORV_TEST_HOSTED_COMPONENT_TEST_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim_host.h"
#include "test_component.h"

class HostedComponentTest : public ::testing::Test {
protected:
    zorv_host::SimHost host;
    TestComponent component{&host, ""};

    void TearDown() override
    {
        EXPECT_EQ(host.outstandingReplies(), 0u) << "every query reply comes back";
        EXPECT_EQ(host.takeNotes(), std::vector<std::string>{});
    }
};

#endif
