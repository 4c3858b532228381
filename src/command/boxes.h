#pragma once
// What every command's boxes share: the texts from the message table and
// the style of a box owned by the main window.
#include <string>
#include <string_view>

#include "settings/boxflags.h"
#include "settings/messages.h"

namespace commandbox {

inline std::string Msg(int n, std::string_view arg = {})
{
    return MessageText(n, arg);
}

inline constexpr unsigned kStyle = mb::TASKMODAL | mb::SETFOREGROUND;
inline constexpr unsigned kError = mb::OK | mb::ICONERROR | kStyle;

} // namespace commandbox
