#pragma once
// Shared by the resource script and the program.
#define PELMORA_APP_ICON 107

#ifdef __cplusplus
namespace pelmora::winapp {
inline constexpr int kAppIconId = PELMORA_APP_ICON;
}
#endif
