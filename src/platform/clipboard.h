#pragma once

#include <QString>

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

}  // namespace tarnwell
