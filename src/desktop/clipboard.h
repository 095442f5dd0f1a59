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

// Where nothing on the desktop keeps what this program put on the clipboard
// (a Wayland session, or X11 without a clipboard manager), a small server
// packaged for the purpose keeps it: wl-copy or xclip, which take the text,
// go into the background, offer it until another program takes the
// clipboard, and then end, so a server left by an earlier close is replaced
// by the next copy, never piled up. Nothing here waits for the server: the
// text is handed over in memory. True when one was started.
bool handClipboardToServer();

}  // namespace tarnwell
