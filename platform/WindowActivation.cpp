#include "platform/WindowActivation.h"

#include <QGuiApplication>
#include <QWidget>

#include <cstdlib>
#include <cstring>

#include <xcb/xcb.h>

namespace platform {
namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
  const auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
  const xcb_atom_t result = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return result;
}

xcb_window_t rootOf(xcb_connection_t* connection, xcb_window_t window) {
  xcb_query_tree_reply_t* reply = xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
  const xcb_window_t root = reply ? reply->root : xcb_window_t{XCB_WINDOW_NONE};
  std::free(reply);
  return root;
}

bool windowManagerActivates(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t activeWindow) {
  const xcb_atom_t supported = atom(connection, "_NET_SUPPORTED");
  const auto cookie = xcb_get_property(connection, 0, root, supported, XCB_ATOM_ATOM, 0, 1024);
  xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr);
  bool found = false;
  if (reply && reply->format == 32) {
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
    const int count = xcb_get_property_value_length(reply) / 4;
    for (int i = 0; i < count && !found; ++i) found = atoms[i] == activeWindow;
  }
  std::free(reply);
  return found;
}

// On X11 the toolkit asks for the focus with the time of the last event it saw, which any
// later click elsewhere outdates: the window manager (or, without one, the server) then leaves
// the focus where it is. A second start is the user asking now, so the request goes out as the
// user's own, as a task bar's would.
void activateOnX11(QWidget* window) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (!connection) return;
  const auto id = static_cast<xcb_window_t>(window->winId());
  const xcb_window_t root = rootOf(connection, id);
  if (root == XCB_WINDOW_NONE) return;
  const xcb_atom_t activeWindow = atom(connection, "_NET_ACTIVE_WINDOW");
  if (activeWindow != XCB_ATOM_NONE && windowManagerActivates(connection, root, activeWindow)) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = id;
    event.type = activeWindow;
    event.data.data32[0] = 2;  // source: a direct request of the user's
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
  } else {
    xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, id, XCB_CURRENT_TIME);
  }
  xcb_flush(connection);
}

}  // namespace

void bringToFront(QWidget* window) {
  // A window that was never shown, or is already closed, stays so.
  if (!window || !window->isVisible()) return;
  window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  window->raise();
  window->activateWindow();
  if (QGuiApplication::platformName() == QLatin1String("xcb")) activateOnX11(window);
}

}  // namespace platform
