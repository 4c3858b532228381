#pragma once
// The texts of a program run without a language file beside it.
#include "settings/messages.h"

inline const MessageCatalogue& BuiltInMessages()
{
    static const MessageCatalogue builtIn = MessageCatalogue::Load("/nonexistent/tessarine");
    return builtIn;
}
