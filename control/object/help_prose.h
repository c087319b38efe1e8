// The prose of the help reference, kept as text in resources/help_reference.txt and
// compiled into the control, rather than written inside string literals.
//
// The text's form: "[member NAME]" opens the paragraph for the type library member NAME,
// "[page NAME]" a paragraph of the page's own text; the lines up to the next heading are
// that paragraph, joined with single spaces. Lines that start with '#' are comments and
// blank lines are ignored. Paragraphs are HTML fragments, written into the page as they
// are. Plain C++, no Qt.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vort {

struct HelpProse {
    std::map<std::string, std::string, std::less<>> members; // by member name
    std::map<std::string, std::string, std::less<>> page;    // by paragraph name
};

// Parses text in the form above. A heading of another kind, a heading without a name or
// without a paragraph, a name given twice, or text before the first heading gives
// nothing, with *error naming the line and what is wrong.
std::optional<HelpProse> parseHelpProse(std::string_view text, std::string* error);

// The text compiled in from resources/help_reference.txt (generated source).
std::string_view helpProseText();

// helpProseText() parsed, once. Throws std::runtime_error with the parse error when
// that text is malformed (a fault of the build, which the help test reports).
const HelpProse& helpProse();

} // namespace vort
