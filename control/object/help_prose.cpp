#include "control/object/help_prose.h"

#include <stdexcept>

namespace vort {

namespace {

using Section = std::map<std::string, std::string, std::less<>>;

class ProseParser {
public:
    explicit ProseParser(std::string* error) : error_(error) {}

    bool line(size_t number, std::string_view text) {
        if (!text.empty() && text.back() == '\r')
            text.remove_suffix(1);
        if (text.empty() || text.front() == '#')
            return true;
        if (text.front() == '[')
            return heading(number, text);
        if (!section_)
            return fail(number, "text before the first heading");
        if (!paragraph_.empty())
            paragraph_ += ' ';
        paragraph_ += text;
        return true;
    }

    // Ends the paragraph under way: it must have text and a name not seen before.
    bool close() {
        if (!section_)
            return true;
        if (paragraph_.empty())
            return fail(headingLine_, "[" + name_ + "] has no text");
        if (!section_->emplace(name_, std::move(paragraph_)).second)
            return fail(headingLine_, "[" + name_ + "] is given twice");
        paragraph_.clear();
        return true;
    }

    HelpProse take() { return std::move(prose_); }

private:
    bool heading(size_t number, std::string_view text) {
        if (!close())
            return false;
        const size_t space = text.find(' ');
        if (text.back() != ']' || space == std::string_view::npos || space + 2 >= text.size())
            return fail(number, "a heading is \"[member NAME]\" or \"[page NAME]\"");
        const std::string_view kind = text.substr(1, space - 1);
        if (kind == "member")
            section_ = &prose_.members;
        else if (kind == "page")
            section_ = &prose_.page;
        else
            return fail(number, "unknown heading kind \"" + std::string(kind) + "\"");
        name_ = text.substr(space + 1, text.size() - space - 2);
        headingLine_ = number;
        return true;
    }

    bool fail(size_t number, const std::string& what) {
        if (error_)
            *error_ = "line " + std::to_string(number) + ": " + what;
        return false;
    }

    std::string* error_;
    HelpProse prose_;
    Section* section_ = nullptr;
    std::string name_, paragraph_;
    size_t headingLine_ = 0;
};

} // namespace

std::optional<HelpProse> parseHelpProse(std::string_view text, std::string* error) {
    ProseParser parser(error);
    for (size_t number = 1; !text.empty(); ++number) {
        const size_t end = text.find('\n');
        if (!parser.line(number, text.substr(0, end)))
            return std::nullopt;
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    if (!parser.close())
        return std::nullopt;
    return parser.take();
}

const HelpProse& helpProse() {
    static const HelpProse prose = [] {
        std::string error;
        std::optional<HelpProse> parsed = parseHelpProse(helpProseText(), &error);
        if (!parsed)
            throw std::runtime_error("help_reference.txt, " + error);
        return std::move(*parsed);
    }();
    return prose;
}

} // namespace vort
