#include "command/scripted_host.h"

#include <gtest/gtest.h>

int ScriptedHost::Box(const std::string& text, const std::string& caption, unsigned f)
{
    (void)caption;
    seen.push_back("box " + text);
    flags.push_back(f);
    if ((f & mb::ButtonMask) == mb::OK)
        return mb::IDOK;
    if (answers.empty()) {
        ADD_FAILURE() << "unscripted question: " << text;
        return mb::IDCANCEL;
    }
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

bool ScriptedHost::AskProperties(ImageTexts& t)
{
    seen.push_back("properties");
    if (dialogOk)
        t = texts;
    return dialogOk;
}

bool ScriptedHost::AskImageTexts(ImageTexts& t)
{
    seen.push_back("dialog");
    if (dialogOk)
        t = texts;
    return dialogOk;
}

void ScriptedHost::ProcessMessages()
{
    if (++pumps == escAtPump)
        cancel = true;
}
