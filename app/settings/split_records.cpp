#include "app/settings/split_records.h"

#include "app/settings/vocabulary.h"

namespace tcu::settings {

void SplitRecords(std::string_view text, const std::function<void(std::string_view)>& each) {
    const size_t length = text.size();
    size_t pos = 0;
    // The last character can never start a record.
    while (length > 0 && pos < length - 1) {
        if (text[pos] != kSoh) {
            ++pos;
            continue;
        }
        const size_t end = text.find(kEot, pos + 1);
        if (end == std::string_view::npos)
            return; // unterminated: dropped, and nothing can follow it
        each(text.substr(pos + 1, end - pos - 1));
        pos = end + 1;
    }
}

std::vector<std::string> SplitRecords(std::string_view text) {
    std::vector<std::string> tokens;
    SplitRecords(text, [&](std::string_view t) { tokens.emplace_back(t); });
    return tokens;
}

} // namespace tcu::settings
