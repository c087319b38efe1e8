// What tcu prints while an image is transferred: on a terminal one bar line rewritten in
// place (percent, bytes, rate, time left), otherwise plain progress lines, one each time
// another tenth of the file has gone.
#pragma once

#include <QString>
#include <cstdint>

namespace tcu::cli {

struct TransferProgress {
    int64_t bytes = 0;    // sent so far
    int64_t total = 0;    // the file's size (0: unknown)
    double seconds = 0.0; // since the transfer started
};

// Whole percent sent, 0..100 (0 while the size is unknown).
int percentOf(const TransferProgress& p);
// Bytes a second so far (0 before the first half second).
double rateOf(const TransferProgress& p);
// "m:ss" left at the rate so far; "--:--" when it cannot be told yet.
QString timeLeftText(const TransferProgress& p);

// The bar line, without a line end: "[#####-----]  45 %  12345/27400 bytes  1.2 kB/s
// 0:13 left"; width is the number of cells of the bar.
QString barLine(const TransferProgress& p, int width = 30);
// A plain line: "upgrade: 45 % (12345 of 27400 bytes, 1.2 kB/s, 0:13 left)".
QString plainLine(const TransferProgress& p);

} // namespace tcu::cli
