#include "validator.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iostream>
#include <random>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "child_process.h"
#include "command_catalogue.h"
#include "junit.h"
#include "guarded_memory.h"
#include "layout.h"
#include "library_loader.h"
#include "scenario.h"
#include "session.h"
#include "sim_host.h"
#include "validator/check_kit.h"
#include "paths.h"
#include "vocabulary.h"

namespace zorv_host {

namespace {

using namespace validation;

using Status = CheckStatus;

using CheckResult = CheckVerdict;

using Check = CheckDefinition;

// A finding of a check that fails only from a higher strictness is a WARN.
bool warnsOnly(const Check& check, int strictness) { return check.failsFrom > strictness; }

// Runs one check in this process.
CheckResult runCheckHere(const Check& check, const std::string& library, const Context& base)
{
    setCurrentEvent("loading " + library);
    ComponentLibrary loaded(library);
    // The one check that is about loading says why; the others only that
    // they did not run.
    if (!loaded.factory())
        return check.failsWithoutLibrary
                   ? CheckResult{Status::fail, loaded.error(), ResultKind::loadFailed}
                   : CheckResult{Status::skip, "not run: the library cannot be loaded (library.factory says why)",
                                 ResultKind::loadFailed};
    Context context = base;
    context.factory = loaded.factory();
    try {
        check.run(context);
    } catch (const CheckFailed& failed) {
        return CheckResult{Status::fail, failed.reason, failed.kind, failed.cause};
    } catch (const CheckWarned& warned) {
        return CheckResult{Status::warn, warned.reason, warned.kind};
    } catch (const CheckSkipped& skipped) {
        return CheckResult{Status::skip, skipped.reason};
    } catch (const std::exception& error) {
        return CheckResult{Status::fail, std::string("exception from the component: ") + error.what()};
    }
    return CheckResult{};
}

// The first line of text that says something (skipping rules of '=').
std::string firstWordyLine(const std::string& text)
{
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        for (char c : line)
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
                return line;
    }
    return "";
}

// The checks that failed of one fault: its kind and what broke.
struct SharedFault {
    ResultKind kind;
    std::string fault;
    std::vector<std::string> checks;
};

// Where several checks failed of one fault, says so once: it is one fault
// to mend, not several.
void printSharedCauses(const std::vector<SharedFault>& failedFor)
{
    for (const SharedFault& shared : failedFor) {
        if (shared.checks.size() < 2)
            continue;
        std::string names;
        for (const std::string& name : shared.checks)
            names += (names.empty() ? "" : ", ") + name;
        std::cout << "one cause, " << shared.checks.size() << " failed checks (" << names << "): " << shared.fault
                  << "\n";
    }
}

// Runs one check in a child process and reads its verdict.
CheckResult runCheckIsolated(const Check& check, const std::string& library, const Context& context,
                             double timeout)
{
    std::vector<std::string> args = {validateEntry, library, "--run-check", check.name, "--seed",
                                     std::to_string(context.seed), "--strictness", std::to_string(context.strictness)};
    if (!guarded::enabled())
        args.push_back("--no-guard");
    for (const std::string& controls : context.sources->controls)
        args.insert(args.end(), {"--controls", controls});
    for (const std::string& scenario : context.sources->scenarios)
        args.insert(args.end(), {"--scenario", scenario});
    ChildOutcome child = runSelf(args, timeout);
    if (child.timedOut)
        return CheckResult{Status::fail,
                           withStuckSite("no verdict within " + std::to_string(static_cast<int>(timeout))
                                             + " s: the component hangs or is too slow",
                                         componentReport(child.err).frames, library),
                           ResultKind::hang};
    // The child's standard output holds its verdict and nothing else.
    std::size_t start = 0;
    std::optional<std::string> line = finalLine(child.out, start);
    std::optional<CheckVerdict> verdict = line && start == 0 ? readCheckVerdict(*line) : std::nullopt;
    if (!verdict) {
        ComponentReport report = componentReport(child.err);
        if (report.sentence.empty())
            return CheckResult{Status::fail, "the check process ended (" + child.description + ")",
                               ResultKind::processEnded};
        // A fault on guarded memory names its own kind.
        const CrashSite site = describeCrashSite(report.frames, library);
        return CheckResult{Status::fail, withCrashSite(report.sentence, site),
                           report.kind ? resultKindOf(*report.kind) : ResultKind::crash,
                           crashFault(report.fault, site, report.kind.has_value())};
    }
    if (verdict->status != Status::fail && (child.exitCode != 0 || child.crashed)) {
        // The check held, but the process failed on its way out (a leak
        // checker, a destructor of the component's library).
        std::string first = firstWordyLine(child.err);
        return CheckResult{Status::fail, "the check process ended badly after the check (" + child.description
                                             + ")" + (first.empty() ? "" : ": " + first)};
    }
    return *verdict;
}


// A pattern of --only or --skip names the check, or the group it is in.
bool patternSelects(const std::string& pattern, const std::string& name)
{
    return globMatch(pattern, name) || globMatch(pattern + ".*", name);
}

bool selected(const std::string& name, const std::vector<std::string>& only, const std::vector<std::string>& skip)
{
    auto matches = [&](const std::vector<std::string>& patterns) {
        return std::any_of(patterns.begin(), patterns.end(),
                           [&](const std::string& p) { return patternSelects(p, name); });
    };
    return (only.empty() || matches(only)) && !matches(skip);
}

// The names --only and --skip take: every check's and every group's.
std::vector<std::string> selectableNames()
{
    std::vector<std::string> names;
    for (const Check& check : checkRegistry().all()) {
        const std::string group = check.name.substr(0, check.name.find('.'));
        for (const std::string& name : {group, check.name})
            if (std::find(names.begin(), names.end(), name) == names.end())
                names.push_back(name);
    }
    return names;
}

// A pattern that selects no check is a typo: a selection of nothing would
// pass while it checks nothing.
bool patternsSelectChecks(const std::vector<std::string>& patterns, const char* option)
{
    for (const std::string& pattern : patterns) {
        const auto& checks = checkRegistry().all();
        if (std::any_of(checks.begin(), checks.end(),
                        [&](const Check& check) { return patternSelects(pattern, check.name); }))
            continue;
        const std::string nearest = nearestWord(pattern, selectableNames());
        std::cerr << "zorv-host validate: " << option << " " << pattern << ": no check or group has that name"
                  << (nearest.empty() ? "" : " (did you mean \"" + nearest + "\"?)")
                  << "; validate --list names them all\n";
        return false;
    }
    return true;
}

} // namespace

std::vector<CheckInfo> listChecks()
{
    std::vector<CheckInfo> list;
    for (const Check& check : checkRegistry().all())
        list.push_back({check.name, check.description, check.failsFrom});
    return list;
}

std::vector<std::uint64_t> roundSeeds(std::uint64_t first, int rounds, bool randomise)
{
    std::vector<std::uint64_t> seeds = {first};
    std::mt19937_64 random(first);
    for (int r = 1; r < rounds; ++r)
        seeds.push_back(randomise ? random() % 1000000007u : first);
    return seeds;
}

std::vector<std::size_t> shuffledOrder(std::size_t count, std::uint64_t seed)
{
    std::vector<std::size_t> order(count);
    for (std::size_t i = 0; i < count; ++i)
        order[i] = i;
    // Fisher-Yates with a plain modulus: std::shuffle's draws differ between
    // standard libraries, and a round must replay anywhere.
    std::mt19937_64 random(seed ^ 0x5eedf00du);
    for (std::size_t i = count; i > 1; --i)
        std::swap(order[i - 1], order[static_cast<std::size_t>(random() % i)]);
    return order;
}

namespace {

struct Tally {
    int passed = 0, failed = 0, skipped = 0, warned = 0;

    void count(Status status)
    {
        (status == Status::pass   ? passed
         : status == Status::fail ? failed
         : status == Status::warn ? warned
                                  : skipped) += 1;
    }
    void add(const Tally& other)
    {
        passed += other.passed;
        failed += other.failed;
        skipped += other.skipped;
        warned += other.warned;
    }
    std::string text() const
    {
        return std::to_string(passed) + " passed, " + std::to_string(failed) + " failed"
               + (warned ? ", " + std::to_string(warned) + " warned" : "")
               + (skipped ? ", " + std::to_string(skipped) + " skipped" : "");
    }
};

} // namespace

const char validateEntry[] = "validate";

std::string checkVerdictLine(const CheckVerdict& verdict)
{
    return std::string("verdict ") + checkStatusName(verdict.status) + " "
           + (verdict.kind == ResultKind::none ? "-" : resultKindName(verdict.kind)) + " " + quoteText(verdict.reason)
           + " " + quoteText(verdict.cause);
}

std::optional<CheckVerdict> readCheckVerdict(const std::string& line)
{
    std::istringstream fields(line);
    std::string word, status, kind;
    if (!(fields >> word >> status >> kind) || word != "verdict")
        return std::nullopt;
    // Exactly one blank between fields; the two quoted texts are all the rest.
    const std::size_t reasonAt = word.size() + status.size() + kind.size() + 3;
    if (line.compare(0, reasonAt, word + " " + status + " " + kind + " ") != 0)
        return std::nullopt;
    std::optional<CheckStatus> named = checkStatusFromName(status);
    std::optional<ResultKind> found = kind == "-" ? std::optional<ResultKind>(ResultKind::none)
                                                  : resultKindFromName(kind);
    std::optional<std::vector<std::string>> texts = unquoteTexts(line.substr(reasonAt));
    if (!named || !found || !texts || texts->size() != 2)
        return std::nullopt;
    return CheckVerdict{*named, (*texts)[0], *found, (*texts)[1]};
}

namespace {

// The child's side: one check, its verdict a record for the parent.
int runOneCheck(const ValidateOptions& options, const Context& context)
{
    const Check* check = checkRegistry().find(options.runCheck);
    if (!check) {
        std::cerr << "zorv-host validate: no check named " << options.runCheck << "\n";
        return 2;
    }
    // Taken before the library loads: nothing the component prints, even
    // while loading, reaches the verdict's stream.
    RecordStream verdicts;
    if (!verdicts.taken()) {
        std::cerr << "zorv-host validate: cannot set up the verdict stream\n";
        return 2;
    }
    installCrashReporter();
    setFaultKindsReported(true);
    CheckResult result = runCheckHere(*check, options.library, context);
    verdicts.out() << checkVerdictLine(result) << "\n" << std::flush;
    return 0;
}

// One validation: its rounds of the selected checks, what they found, and
// the reports made of it.
class ValidationRun {
public:
    ValidationRun(const ValidateOptions& options, const Context& context, double timeout)
        : options_(options), context_(context), timeout_(timeout),
          seeds_(roundSeeds(context.seed, options.repeat, options.randomise))
    {
        for (const Check& check : checkRegistry().all())
            if (selected(check.name, options.only, options.skip))
                selection_.push_back(&check);
    }

    void printHeader() const;
    void runRound(int round);
    // Writes the JUnit file, the JSON or the summary; returns the exit status.
    int finish();

private:
    struct Outcome {
        CheckResult result;
        double seconds = 0;
    };
    std::vector<const Check*> orderOf(const Context& round) const;
    void record(const Check& check, Outcome& outcome, int round, const Context& roundContext, Tally& tally,
                JunitSuite& suite);
    void printRoundsSummary() const;
    std::string replayFlags() const { return options_.randomise ? " --randomise" : ""; }

    const ValidateOptions& options_;
    const Context& context_;
    const double timeout_;
    const std::vector<std::uint64_t> seeds_;
    std::vector<const Check*> selection_;
    Tally total_;
    nlohmann::json jsonChecks_ = nlohmann::json::array(), jsonRounds_ = nlohmann::json::array();
    std::vector<JunitSuite> suites_;
    std::vector<int> failedRounds_;
    bool unloadable_ = false;   // exit status 3, as for the other subcommands
    // The checks that failed of each fault, in the order they were shown:
    // one fault often fails many checks.
    std::vector<SharedFault> failedFor_;
};

void ValidationRun::printHeader() const
{
    if (options_.json)
        return;
    const int rounds = options_.repeat;
    std::cout << "validating " << options_.library << " (strictness " << context_.strictness;
    if (rounds == 1)
        std::cout << ", seed " << context_.seed << (options_.randomise ? ", checks in random order" : "")
                  << "; replay with --seed " << context_.seed << replayFlags() << ")\n";
    else
        std::cout << ", " << rounds << " rounds"
                  << (options_.randomise ? " in random order, a seed each" : ", seed " + std::to_string(context_.seed))
                  << "; replay them all with --seed " << context_.seed << " --repeat " << rounds << replayFlags()
                  << ")\n";
}

std::vector<const Check*> ValidationRun::orderOf(const Context& round) const
{
    std::vector<const Check*> order = selection_;
    if (options_.randomise) {
        std::vector<std::size_t> shuffled = shuffledOrder(selection_.size(), round.seed);
        for (std::size_t i = 0; i < shuffled.size(); ++i)
            order[i] = selection_[shuffled[i]];
    }
    return order;
}

void ValidationRun::runRound(int round)
{
    const int rounds = options_.repeat;
    Context roundContext = context_;
    roundContext.seed = seeds_[round - 1];
    const std::vector<const Check*> order = orderOf(roundContext);
    if (rounds > 1 && !options_.json)
        std::cout << "round " << round << " of " << rounds << ": seed " << roundContext.seed
                  << "; replay with --seed " << roundContext.seed << replayFlags() << std::endl;
    std::vector<Outcome> outcomes(order.size());
    Tally tally;
    JunitSuite suite{"zorv-host validate " + options_.library
                         + (rounds > 1 ? " round " + std::to_string(round) + " (seed "
                                             + std::to_string(roundContext.seed) + ")"
                                       : ""),
                     {}};
    auto work = [&](std::size_t i) {
        auto start = std::chrono::steady_clock::now();
        try {
            outcomes[i].result = options_.inProcess
                                     ? runCheckHere(*order[i], options_.library, roundContext)
                                     : runCheckIsolated(*order[i], options_.library, roundContext, timeout_);
        } catch (const std::exception& error) {
            outcomes[i].result = CheckResult{Status::fail, std::string("the validator failed: ") + error.what()};
        }
        outcomes[i].seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    auto done = [&](std::size_t i) { record(*order[i], outcomes[i], round, roundContext, tally, suite); };
    // In-process checks share this process's state: one at a time.
    forEachConcurrently(options_.inProcess ? 1 : options_.jobs, order.size(), work, done);
    total_.add(tally);
    if (tally.failed)
        failedRounds_.push_back(round);
    suites_.push_back(std::move(suite));
    jsonRounds_.push_back({{"round", round},
                           {"seed", roundContext.seed},
                           {"passed", tally.passed},
                           {"failed", tally.failed},
                           {"warned", tally.warned},
                           {"skipped", tally.skipped}});
    if (rounds > 1 && !options_.json)
        std::cout << "round " << round << ": " << tally.text() << "\n";
}

void ValidationRun::record(const Check& check, Outcome& outcome, int round, const Context& roundContext,
                           Tally& tally, JunitSuite& suite)
{
    CheckResult& result = outcome.result;
    if (result.status == Status::fail && warnsOnly(check, roundContext.strictness))
        result.status = Status::warn;
    tally.count(result.status);
    unloadable_ = unloadable_ || result.kind == ResultKind::loadFailed;
    if (result.status == Status::fail && !result.reason.empty()) {
        auto same = std::find_if(failedFor_.begin(), failedFor_.end(), [&](const SharedFault& shared) {
            return shared.kind == result.kind && shared.fault == result.fault();
        });
        if (same == failedFor_.end())
            failedFor_.push_back({result.kind, result.fault(), {check.name}});
        else
            same->checks.push_back(check.name);
    }
    const std::string area = std::string(check.name).substr(0, std::string(check.name).find('.'));
    suite.cases.push_back({check.name, area,
                           result.status == Status::pass   ? JunitCase::Outcome::pass
                           : result.status == Status::fail ? JunitCase::Outcome::fail
                           : result.status == Status::warn ? JunitCase::Outcome::warn
                                                           : JunitCase::Outcome::skip,
                           result.reason, "", outcome.seconds, resultKindName(result.kind)});
    if (options_.json)
        jsonChecks_.push_back({{"name", check.name},
                               {"round", round},
                               {"status", checkStatusName(result.status)},
                               {"reason", result.reason},
                               {"kind", result.kind == ResultKind::none ? nlohmann::json()
                                                                        : nlohmann::json(resultKindName(result.kind))},
                               {"seconds", outcome.seconds}});
    else
        std::cout << checkStatusName(result.status) << "  " << check.name
                  << (result.reason.empty() ? "" : ": " + result.reason) << std::endl;
}

void ValidationRun::printRoundsSummary() const
{
    std::string which;
    for (int round : failedRounds_)
        which += (which.empty() ? "" : ", ") + std::to_string(round) + " (seed " + std::to_string(seeds_[round - 1])
                 + ")";
    std::cout << options_.repeat << " rounds: " << total_.text()
              << (which.empty() ? ""
                                : std::string("; failures in round") + (failedRounds_.size() > 1 ? "s " : " ") + which)
              << "\n";
}

int ValidationRun::finish()
{
    if (!options_.junit.empty()) {
        std::string error;
        if (!writeJunitFile(options_.junit, suites_, error)) {
            std::cerr << "zorv-host validate: " << error << "\n";
            return 2;
        }
    }
    if (options_.json) {
        std::cout << nlohmann::json{{"schema", validateJsonSchema},
                                    {"library", options_.library},
                                    {"seed", context_.seed},
                                    {"strictness", context_.strictness},
                                    {"randomised", options_.randomise},
                                    {"rounds", jsonRounds_},
                                    {"checks", jsonChecks_},
                                    {"passed", total_.passed},
                                    {"failed", total_.failed},
                                    {"warned", total_.warned},
                                    {"skipped", total_.skipped}}
                         .dump(2)
                  << "\n";
    } else if (options_.repeat == 1) {
        printSharedCauses(failedFor_);
        std::cout << total_.text() << "\n";
    } else {
        printRoundsSummary();
    }
    return unloadable_ ? 3 : total_.failed == 0 ? 0 : 1;
}

} // namespace

int runValidate(const ValidateOptions& options)
{
    Context context;
    context.strictness = options.strictness;
    if (options.seed)
        context.seed = *options.seed;
    guarded::setEnabled(options.guard);
    if (options.repeat < 1 || options.jobs < 1) {
        std::cerr << "zorv-host validate: --repeat and -j take a whole number of at least 1\n";
        return 2;
    }
    Vocabulary given;
    std::string error;
    if (!loadVocabularySources(options.sources, given, error)) {
        std::cerr << "zorv-host validate: " << error << "\n";
        return 2;
    }
    if (!patternsSelectChecks(options.only, "--only") || !patternsSelectChecks(options.skip, "--skip"))
        return 2;
    context.given = &given;
    context.sources = &options.sources;
    context.libraryFolder = folderOf(options.library);
    if (!options.runCheck.empty())
        return runOneCheck(options, context);
    if (!options.seed)
        context.seed = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) % 1000000007u;
    const double timeout = options.timeout > 0 ? options.timeout : 60.0 * context.strictness;
    ValidationRun run(options, context, timeout);
    run.printHeader();
    if (options.inProcess) {
        installCrashReporter();
        describeCrashesHere(options.library);
    }
    for (int round = 1; round <= options.repeat; ++round)
        run.runRound(round);
    return run.finish();
}

} // namespace zorv_host
