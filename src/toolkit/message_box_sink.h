// Shows the core's messages to the user as modal boxes captioned with the application title.
#pragma once

#include <QString>

#include "common/message_sink.h"

class QWidget;

namespace wirelark {

class CMessageBoxSink final : public IMessageSink {
public:
    static QString Caption() { return QStringLiteral("Wirelark  Light"); }

    explicit CMessageBoxSink(QWidget* parent = nullptr) : m_pParent(parent) {}

    // May be called from any thread; the box is always shown on the GUI thread, and the caller
    // waits until it is closed.
    void ShowMessage(const std::string& text, MessageIcon icon = MessageIcon::None) override;

private:
    QWidget* m_pParent;
};

}  // namespace wirelark
