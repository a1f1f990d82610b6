// A declarative message map: a static table of {message, command id, member
// handler}, searched in table order. The lookup is a pure function, so a table
// can be checked without any window.
#pragma once

#include <cstddef>

// Dialog must be complete before any pointer to its members is declared:
// some compilers pick a member-pointer layout from what they know of the class.
#include "framework/Dialog.h"
#include "platform/Win32.h"

// One message as the dialog procedure received it, and the result a handler
// gives back for it.
struct WindowMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
};

// The id of a table entry for a message other than WM_COMMAND.
constexpr UINT kAnyId = 0xFFFFFFFFu;

// A member function of a dialog class, of one of two shapes:
//   void Handler()                   a command; it always handles it
//   bool Handler(WindowMessage& msg) any message; false leaves it to the
//                                    system's default processing
class MessageHandler {
public:
    using Command = void (Dialog::*)();
    using Message = bool (Dialog::*)(WindowMessage&);

    // Implicit, so a table lists &Derived::OnSomething directly. Derived must
    // derive from Dialog without virtual inheritance.
    template <class Derived>
    constexpr MessageHandler(void (Derived::*handler)())
        : m_command(static_cast<Command>(handler))
    {
    }
    template <class Derived>
    constexpr MessageHandler(bool (Derived::*handler)(WindowMessage&))
        : m_message(static_cast<Message>(handler))
    {
    }

    // Calls the handler on `dialog`, which must be of the handler's class.
    // Returns whether the message was handled.
    bool Invoke(Dialog& dialog, WindowMessage& msg) const;

private:
    Command m_command = nullptr;
    Message m_message = nullptr;
};

struct MessageMapEntry {
    UINT message;
    UINT id;  // for WM_COMMAND the command id, otherwise kAnyId
    MessageHandler handler;
};

// A view of a static table.
class MessageMap {
public:
    constexpr MessageMap() = default;
    template <std::size_t N>
    constexpr MessageMap(const MessageMapEntry (&entries)[N]) : m_entries(entries), m_count(N)
    {
    }

    const MessageMapEntry* begin() const { return m_entries; }
    const MessageMapEntry* end() const { return m_entries + m_count; }

private:
    const MessageMapEntry* m_entries = nullptr;
    std::size_t m_count = 0;
};

// The first entry of `map` for this message, or nullptr. A WM_COMMAND entry
// matches its command id with notification code 0 (a button click or a menu
// command); any other entry matches its message whatever the parameters.
const MessageMapEntry* FindMessageHandler(const MessageMap& map, UINT message, WPARAM wParam);
