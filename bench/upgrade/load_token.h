// The load token that puts the scanner into image reception, and reading its answer.
#pragma once

#include <string>
#include <string_view>

namespace upgrade_bench {

// SOH, the application-1 load token, EOT: the frame the configuration program sends
// before it starts the ZMODEM transmission.
inline constexpr std::string_view kLoadTokenFrame = "\x01<A1CODE=Z>\x04";

enum class TokenAnswer { None, Ack, Nak };
const char* tokenAnswerName(TokenAnswer a);

// The scanner's answer within the bytes received so far: the first ACK or NAK decides;
// other bytes (noise, line ends) are passed over. None while neither has come.
TokenAnswer firstAnswer(std::string_view received);

// Writes the load token to fd (a raw terminal, blocking or not) and waits up to timeoutMs
// for the answer, reading nothing past it. None on time-out or a failing descriptor
// (error says which).
TokenAnswer exchangeLoadToken(int fd, int timeoutMs, std::string& error);

} // namespace upgrade_bench
