#pragma once
// The windows' view of the message catalogue.
#include <string_view>

#include <QString>

#include "settings/messages.h"

// An entry of the catalogue as the windows show it.
inline QString Message(const MessageCatalogue& messages, MessageId id)
{
    return QString::fromStdString(messages.Text(id));
}

// The entry with its one "%s" filled.
inline QString Message(const MessageCatalogue& messages, MessageId id, std::string_view arg)
{
    return QString::fromStdString(messages.Text(id, arg));
}
