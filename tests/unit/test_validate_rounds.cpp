// validate's rounds and jobs: the seeds and orders of randomised rounds, the
// concurrent runner's ordering, and the JUnit report of several rounds.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "child_process.h"
#include "junit.h"
#include "validator.h"
#include "validator/check_kit.h"

namespace zorv_host {
namespace {

TEST(ValidateRounds, ARoundsOrderIsAPermutationDrawnFromItsSeedAlone)
{
    for (std::size_t count : {0u, 1u, 2u, 16u, 100u}) {
        for (std::uint64_t seed : {0ull, 7ull, 263643228ull}) {
            std::vector<std::size_t> order = shuffledOrder(count, seed);
            ASSERT_EQ(order.size(), count);
            EXPECT_EQ(std::set<std::size_t>(order.begin(), order.end()).size(), count) << "a check twice or missing";
            EXPECT_TRUE(std::all_of(order.begin(), order.end(), [&](std::size_t i) { return i < count; }));
            EXPECT_EQ(order, shuffledOrder(count, seed)) << "the same seed must replay the same order";
        }
    }
    // Sixteen checks: seeds differ, orders differ, and not merely the
    // identity (a shuffle that shuffles nothing would pass the above).
    std::vector<std::size_t> identity = shuffledOrder(16, 0);
    std::sort(identity.begin(), identity.end());
    std::set<std::vector<std::size_t>> seen;
    for (std::uint64_t seed = 1; seed <= 20; ++seed)
        seen.insert(shuffledOrder(16, seed));
    EXPECT_GT(seen.size(), 18u);
    EXPECT_EQ(seen.count(identity), 0u);
}

TEST(ValidateRounds, SeedsOfLaterRoundsComeFromTheFirst)
{
    struct Case {
        std::uint64_t first;
        int rounds;
        bool randomise;
    };
    for (const Case& c : {Case{7, 1, true}, Case{7, 5, false}, Case{7, 5, true}, Case{123456, 8, true}}) {
        std::vector<std::uint64_t> seeds = roundSeeds(c.first, c.rounds, c.randomise);
        ASSERT_EQ(seeds.size(), static_cast<std::size_t>(c.rounds));
        EXPECT_EQ(seeds[0], c.first) << "the first round runs the seed given";
        EXPECT_EQ(seeds, roundSeeds(c.first, c.rounds, c.randomise)) << "the first seed replays the run";
        std::set<std::uint64_t> distinct(seeds.begin(), seeds.end());
        EXPECT_EQ(distinct.size(), c.randomise ? seeds.size() : 1u) << "fresh seeds only when randomised";
        for (std::uint64_t seed : seeds)
            EXPECT_LT(seed, 1000000007u) << "seeds stay as short as the drawn ones";
    }
    // A longer run starts with the rounds of a shorter one.
    std::vector<std::uint64_t> three = roundSeeds(99, 3, true), five = roundSeeds(99, 5, true);
    EXPECT_TRUE(std::equal(three.begin(), three.end(), five.begin()));
}

TEST(ForEachConcurrently, RunsEveryItemOnceAndReportsInOrder)
{
    for (int jobs : {1, 2, 3, 8}) {
        for (std::size_t count : {0u, 1u, 5u, 40u}) {
            std::vector<std::atomic<int>> runs(count);
            std::vector<std::size_t> reported;
            forEachConcurrently(
                jobs, count,
                [&](std::size_t i) {
                    // Later items finish first, so an out-of-order report would show.
                    std::this_thread::sleep_for(std::chrono::microseconds(50 * (count - i)));
                    runs[i]++;
                },
                [&](std::size_t i) {
                    EXPECT_EQ(runs[i].load(), 1) << "reported before its work finished, item " << i;
                    reported.push_back(i);
                });
            std::vector<std::size_t> expected(count);
            for (std::size_t i = 0; i < count; ++i)
                expected[i] = i;
            EXPECT_EQ(reported, expected) << jobs << " jobs, " << count << " items";
            for (std::size_t i = 0; i < count; ++i)
                EXPECT_EQ(runs[i].load(), 1) << "item " << i << " with " << jobs << " jobs";
        }
    }
}

TEST(ForEachConcurrently, RunsUpToJobsAtATime)
{
    // Each item waits until as many items as jobs are in flight together:
    // with true concurrency all of them meet. They give up together at one
    // deadline, far beyond what load can delay a thread by, so that only a
    // runner that never has jobs items in flight fails (and soon after it).
    for (int jobs : {2, 3}) {
        std::mutex mutex;
        std::condition_variable moved;
        int inFlight = 0, most = 0, met = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        forEachConcurrently(
            jobs, static_cast<std::size_t>(jobs) * 2,
            [&](std::size_t) {
                std::unique_lock<std::mutex> lock(mutex);
                most = std::max(most, ++inFlight);
                moved.notify_all();
                met += moved.wait_until(lock, deadline, [&] { return most >= jobs; }) ? 1 : 0;
                --inFlight;
            },
            [](std::size_t) {});
        EXPECT_EQ(most, jobs);
        EXPECT_EQ(met, jobs * 2);
    }
}

TEST(Junit, OneSuitePerRound)
{
    std::vector<JunitSuite> suites = {
        {"run round 1 (seed 7)", {{"a.x", "a", JunitCase::Outcome::pass, "", "", 0.5}}},
        {"run round 2 (seed 9)",
         {{"a.x", "a", JunitCase::Outcome::fail, "broke", "", 0.25}, {"b.y", "b", JunitCase::Outcome::skip, "", "", 0}}}};
    std::ostringstream out;
    writeJunit(out, suites);
    const std::string xml = out.str();
    EXPECT_EQ(xml.rfind("<?xml", 0), 0u);
    std::size_t first = xml.find("<testsuite name=\"run round 1 (seed 7)\" tests=\"1\" failures=\"0\"");
    std::size_t second = xml.find("<testsuite name=\"run round 2 (seed 9)\" tests=\"2\" failures=\"1\" errors=\"0\" "
                                  "skipped=\"1\"");
    ASSERT_NE(first, std::string::npos) << xml;
    ASSERT_NE(second, std::string::npos) << xml;
    EXPECT_LT(first, second);
    EXPECT_LT(xml.find("</testsuite>"), second) << "the suites must not nest";
    EXPECT_EQ(xml.find("<testsuites>"), xml.rfind("<testsuites>"));
    EXPECT_EQ(xml.substr(xml.size() - 14), "</testsuites>\n");
}

} // namespace
} // namespace zorv_host

namespace zorv_host::validation {
namespace {

// The areas add their checks themselves; the registry is what --list and
// --run-check read, so names must be unique, each area's checks adjacent,
// and the strictness marks as the checks' findings mean them.
TEST(CheckKit, APressSaysWhereItsTextIsNotTheControlsOwn)
{
    const PanelControl boom{"1", "Boom", "fire=1", "from the layout Tally.zorv_ui"};
    const struct {
        PanelControl control;
        std::string text, described;
    } cases[] = {
        {boom, "fire=1", "button 1 Boom with event text \"fire=1\" (from the layout Tally.zorv_ui)"},
        {boom, "press",
         "button 1 Boom with event text \"press\" (from the layout Tally.zorv_ui, where its event text is \"fire=1\")"},
        {boom, "", "button 1 Boom (from the layout Tally.zorv_ui, where its event text is \"fire=1\")"},
        {PanelControl{"2", "Go", "", ""}, "press", "button 2 Go with event text \"press\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(validation::describePress(c.control, c.text), c.described);
}

TEST(CheckRegistry, AreasAddUniqueAdjacentChecks)
{
    const std::vector<CheckDefinition>& all = checkRegistry().all();
    ASSERT_GT(all.size(), 10u);
    std::set<std::string> names, areasDone;
    std::string area;
    for (const CheckDefinition& check : all) {
        EXPECT_TRUE(names.insert(check.name).second) << check.name << " twice";
        EXPECT_NE(check.run, nullptr) << check.name;
        EXPECT_FALSE(check.description.empty()) << check.name;
        EXPECT_EQ(checkRegistry().find(check.name), &check);
        const std::string mine = check.name.substr(0, check.name.find('.'));
        if (mine != area) {
            EXPECT_TRUE(areasDone.insert(mine).second) << "the " << mine << " checks are split apart";
            area = mine;
        }
        // Robustness beyond the contract, a layout that is not there, and
        // a stalled handler only fail the thorough run.
        EXPECT_EQ(check.failsFrom == 3,
                  mine == "robustness" || check.name == "library.layouts" || check.name == "handlers.time")
            << check.name;
        EXPECT_TRUE(check.failsFrom == 0 || check.failsFrom == 1 || check.failsFrom == 3) << check.name;
    }
    EXPECT_EQ(checkRegistry().find("no.such_check"), nullptr);
    // Only the factory check fails on a library that does not load; it runs first.
    EXPECT_TRUE(all.front().failsWithoutLibrary);
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const CheckDefinition& c) { return c.failsWithoutLibrary; }), 1);
    // listChecks() is the registry, in its order.
    std::vector<CheckInfo> listed = listChecks();
    ASSERT_EQ(listed.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(listed[i].name, all[i].name);
        EXPECT_EQ(listed[i].failsFrom, all[i].failsFrom);
    }
}

} // namespace
} // namespace zorv_host::validation
