#pragma once

#include <QString>
#include <chrono>

namespace tarnwell {

// The system clipboard. Either operation may fail while another program holds
// the clipboard; callers retry.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual bool clear() = 0;
    virtual bool setText(const QString& text) = 0;
};

class QtClipboard : public Clipboard {
public:
    bool clear() override;
    bool setText(const QString& text) override;
};

// On X11 the clipboard is served by the program that set it, and is gone
// when that program ends, unless a clipboard manager has taken it over (the
// CLIPBOARD_MANAGER / SAVE_TARGETS handshake). Asks the manager, where one
// runs and this program owns the clipboard, and waits at most `limit` for it
// to say it has taken it. True when it did.
bool handClipboardToManager(std::chrono::milliseconds limit);

}  // namespace tarnwell
