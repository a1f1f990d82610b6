#include "framework/MessageMap.h"

bool MessageHandler::Invoke(Dialog& dialog, WindowMessage& msg) const
{
    if (m_command) {
        (dialog.*m_command)();
        return true;
    }
    return (dialog.*m_message)(msg);
}

const MessageMapEntry* FindMessageHandler(const MessageMap& map, UINT message, WPARAM wParam)
{
    for (const MessageMapEntry& entry : map) {
        if (entry.message != message) {
            continue;
        }
        if (message != WM_COMMAND) {
            return &entry;
        }
        if (entry.id == LOWORD(wParam) && HIWORD(wParam) == 0) {
            return &entry;
        }
    }
    return nullptr;
}
