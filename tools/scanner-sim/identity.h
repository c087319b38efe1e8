#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace scanner_sim {

// What the scanner tells about itself. Texts are stored without padding or line end.
struct Identity {
    std::string app1Revision = "3.22";
    std::string app2Revision = "1.00";
    std::string bootRevision = "1.00"; // loaded with "<BTCODE=Z>"; no query reports it
    std::string hardwareRevision = "HW1.0";
    std::string model = "SCANSIM1";
    std::string webAddress = "www.example.com";
    std::string serialNumber = "SN00012345";
    std::string registrationKey;
};

// Longest registration key the scanner stores (the program's entry box holds 30).
inline constexpr size_t kMaxRegistrationKey = 30;

// Names by which the control channel and the command line address identity fields:
// the query keys APP1RV, APP2RV, HARDRV, FINGER, WEBSIT, SERIAL, REGKEY, and BOOTRV.
std::string* identityField(Identity& identity, std::string_view name);

// The answer line (ending CR LF) to an identity query key ("APP1RV", ...); nothing for a
// key that is not an identity query. Revisions are sent as a 7-character field and the
// model as an 8-character field, left-aligned and blank-padded, so that a program taking
// the first 7 or 8 characters never takes the line end with them; the web address,
// serial number and key are sent as they are.
std::optional<std::string> identityAnswer(const Identity& identity, std::string_view key);

// Revision text such as "3.22" or "3.22.01" as major.minor for comparisons: the leading
// "digits[.digits]" read as a decimal number; 0 when the text does not start that way.
double revisionValue(std::string_view revision);

// Serial number and registration key exist from application-1 revision 3.22 on.
bool hasSerialAndKey(const Identity& identity);

// Checks a registration key written by "<REGKEY=...>": up to 30 characters, no control
// characters (they would break the answer line). Returns false with a reason.
bool checkRegistrationKey(std::string_view key, std::string& error);

} // namespace scanner_sim
