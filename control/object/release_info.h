// The control's version and build stamp, as its About box and help show them. The
// build date and time are fixed texts, not the compiler's, so every build of this
// release reads the same.
#pragma once

namespace vort {

inline constexpr int kVersionMajor = 2;
inline constexpr int kVersionMinor = 7;
inline constexpr int kReleaseNumber = 69;
inline constexpr const char* kBuildDate = "Jan 12 2002";
inline constexpr const char* kBuildTime = "19:15:36";

} // namespace vort
