// Cutting a record list (setup records SOH token EOT, with anything between them)
// into its tokens.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tcu::settings {

// Calls each with every token of text, in order, the moment it is cut: a SOH starts a
// token, everything up to the next EOT (a second SOH included) belongs to it. Characters
// outside records are skipped; a last record without its EOT is not yielded; SOH EOT
// yields an empty token. A SOH in the last character starts nothing. One pass over the
// text, whatever it holds.
void SplitRecords(std::string_view text, const std::function<void(std::string_view)>& each);
// The tokens of text, in order.
std::vector<std::string> SplitRecords(std::string_view text);

} // namespace tcu::settings
