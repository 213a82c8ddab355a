#pragma once
// What the About panel shows besides the version.
#include <string_view>

namespace pelmora::mac {

inline constexpr std::string_view kApplicationName = "Pelmora";

// Three lines: what the program is, who made the renderer and the image
// assets, and the protocol it speaks. UTF-8.
std::string_view aboutCredits();

}  // namespace pelmora::mac
