#include "junit.h"

#include <cstdio>
#include <fstream>

namespace zorv_host {

std::string xmlText(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
                out += escaped;
            } else if (c >= 0x80) {
                // The texts are bytes, not promised UTF-8: keep the file valid.
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

std::string xmlAttribute(const std::string& text)
{
    std::string out;
    for (char c : xmlText(text))
        out += c == '\n' ? "&#10;" : c == '\r' ? "&#13;" : c == '\t' ? "&#9;" : std::string(1, c);
    return out;
}

namespace {

void writeSuite(std::ostream& out, const std::string& suiteName, const std::vector<JunitCase>& cases)
{
    int failures = 0, skipped = 0;
    double total = 0;
    for (const JunitCase& c : cases) {
        failures += c.outcome == JunitCase::Outcome::fail ? 1 : 0;
        skipped += c.outcome == JunitCase::Outcome::skip ? 1 : 0;
        total += c.seconds;
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", total);
    out << "  <testsuite name=\"" << xmlText(suiteName) << "\" tests=\"" << cases.size() << "\" failures=\""
        << failures << "\" errors=\"0\" skipped=\"" << skipped << "\" time=\"" << time << "\">\n";
    for (const JunitCase& c : cases) {
        std::snprintf(time, sizeof time, "%.3f", c.seconds);
        out << "    <testcase name=\"" << xmlText(c.name) << "\" classname=\"" << xmlText(c.className)
            << "\" time=\"" << time << "\"";
        if (c.outcome == JunitCase::Outcome::pass && c.output.empty()) {
            out << "/>\n";
            continue;
        }
        out << ">\n";
        switch (c.outcome) {
        case JunitCase::Outcome::fail:
            out << "      <failure message=\"" << xmlAttribute(c.message) << "\""
                << (c.type.empty() ? "" : " type=\"" + xmlText(c.type) + "\"") << ">" << xmlText(c.output)
                << "</failure>\n";
            break;
        case JunitCase::Outcome::skip:
            out << "      <skipped message=\"" << xmlAttribute(c.message) << "\"/>\n";
            break;
        case JunitCase::Outcome::warn:
            out << "      <system-out>WARN: " << xmlText(c.message) << "\n" << xmlText(c.output) << "</system-out>\n";
            break;
        case JunitCase::Outcome::pass:
            out << "      <system-out>" << xmlText(c.output) << "</system-out>\n";
            break;
        }
        out << "    </testcase>\n";
    }
    out << "  </testsuite>\n";
}

} // namespace

void writeJunit(std::ostream& out, const std::vector<JunitSuite>& suites)
{
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<testsuites>\n";
    for (const JunitSuite& suite : suites)
        writeSuite(out, suite.name, suite.cases);
    out << "</testsuites>\n";
}

void writeJunit(std::ostream& out, const std::string& suiteName, const std::vector<JunitCase>& cases)
{
    writeJunit(out, std::vector<JunitSuite>{{suiteName, cases}});
}

bool writeJunitFile(const std::string& path, const std::string& suiteName, const std::vector<JunitCase>& cases,
                    std::string& error)
{
    return writeJunitFile(path, std::vector<JunitSuite>{{suiteName, cases}}, error);
}

bool writeJunitFile(const std::string& path, const std::vector<JunitSuite>& suites, std::string& error)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        error = "cannot write " + path;
        return false;
    }
    writeJunit(file, suites);
    file.flush();
    if (!file) {
        error = "writing " + path + " failed";
        return false;
    }
    return true;
}

} // namespace zorv_host
