#pragma once
// The windows' view of the message table.
#include <cstddef>

#include <QString>

#include "settings/messages.h"

// Entry n of MessageTable as the windows show it; n in 0..kMessageCount-1.
inline QString Message(int n)
{
    return QString::fromStdString(MessageTable[static_cast<std::size_t>(n)]);
}
