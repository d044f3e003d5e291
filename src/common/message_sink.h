// How the core tells the user something: the shell shows a modal box captioned "Wirelark  Light",
// tests record the texts.
#pragma once

#include <string>

namespace wirelark {

enum class MessageIcon { None, Information, Warning, Error };

class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    // Returns once the user has seen the message (a modal box has been closed).
    virtual void ShowMessage(const std::string& text, MessageIcon icon = MessageIcon::None) = 0;
};

}  // namespace wirelark
