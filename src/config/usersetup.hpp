#pragma once
#include <cstdint>

// The user's set-up hook: announces itself on the console; sets errorcode 0.
void USERSETUP(std::int32_t& errorcode);
