#pragma once
// What every command's boxes share: the texts from the host's catalogue and
// the style of a box owned by the main window.
#include <string>
#include <string_view>

#include "command/commandhost.h"
#include "settings/boxflags.h"
#include "settings/messages.h"

namespace commandbox {

// A text of the catalogue the host carries.
inline std::string Msg(const CommandHost& host, MessageId id, std::string_view arg = {})
{
    return host.messages.Text(id, arg);
}

inline constexpr unsigned kStyle = mb::TASKMODAL | mb::SETFOREGROUND;
inline constexpr unsigned kError = mb::OK | mb::ICONERROR | kStyle;

} // namespace commandbox
