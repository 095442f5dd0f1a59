#include "desktop/windowframe.h"

#include <wayland-client.h>
#include <QGuiApplication>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tarnwell {

namespace {

void noteGlobal(void* data, wl_registry*, std::uint32_t, const char* interface, std::uint32_t) {
    if (std::strcmp(interface, "zxdg_decoration_manager_v1") == 0)
        *static_cast<bool*>(data) = true;
}

void forgetGlobal(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener = {noteGlobal, forgetGlobal};

}  // namespace

bool windowSystemDrawsTitleBar() {
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return true;
    // A socket handed over by the compositor can be used once, and Qt has
    // used it: trust Qt's title bar there rather than steal the connection.
    if (std::getenv("WAYLAND_SOCKET"))
        return true;
    // A connection of its own, for one look at what the compositor offers.
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return true;
    bool decorates = false;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &decorates);
    const bool answered = wl_display_roundtrip(display) >= 0;
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return decorates || !answered;
}

}  // namespace tarnwell
