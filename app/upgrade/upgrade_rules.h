// The small decisions of a firmware load: how revisions compare, which line settings
// fast load uses and gives back, and what the upload window's bar and animation show.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace tcu::upgrade {

// A revision as the load compares it: every "." removed and the rest read as one
// number, so 3.22 is 322 and 3.3 is 33. Blanks and a line end around it are white
// space. Throws RunTimeError 13 (type mismatch) when what is left is not a number.
double revisionValue(const QString& revision);

// True when loading the image would put an older revision on the scanner: the
// scanner's value is greater than the image's. Throws as revisionValue.
bool imageIsOlder(const QString& scannerRevision, const QString& imageVersion);

// The settings for a fast load: 115200 with the parity, data and stop bits of
// settings ("9600,N,8,1" gives "115200,N,8,1", "9600,E,7,1.5" "115200,E,7,1.5").
// Nothing when settings hold no comma.
std::optional<QString> fastLoadSettings(const QString& settings);

// The rate part of saved settings (the text before the first comma); nothing when
// there is no comma, so nothing was saved to go back to.
std::optional<QString> savedBaud(const QString& savedSettings);

// The progress bar after an OnFileInfo event: the maximum is fileSize (at least 1),
// the value the bytes sent so far, at most the maximum.
struct BarState {
    int32_t maximum = 100;
    int32_t value = 0;
    bool complete() const { return value == maximum; }
};
BarState barAfterFileInfo(int32_t fileSize, int32_t data);

// OnFileInfo's Action for a file the receiver skipped: the scanner kept what it had.
inline constexpr int16_t kFileSkippedAction = 9;
// The bar after an OnFileInfo event of any action: a skipped image leaves it empty,
// so the load never counts as complete.
BarState barAfterFileInfo(int16_t action, int32_t fileSize, int32_t data);

// Cells of the animation strip, and the cell after frame (0..17, then 0 again).
inline constexpr int16_t kAnimationCells = 18;
int16_t nextAnimationFrame(int16_t frame);

} // namespace tcu::upgrade
