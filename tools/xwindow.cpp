// Finds a top-level X11 window by its title and waits for it or asks it to close
// (WM_DELETE_WINDOW, as a window manager's close would). Used by the start-up test.
//   xwindow wait  <title> <timeout-ms> [pid]   exit 0 once a mapped window has that title
//   xwindow close <title> [pid]                exit 0 when the close request was sent
// With a pid, only that process's windows count (_NET_WM_PID): on a shared display another
// program's window of the same title must not be taken for ours.
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

std::string property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop)
{
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr);
    std::string value;
    if (reply) {
        value.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                     size_t(xcb_get_property_value_length(reply)));
        std::free(reply);
    }
    return value;
}

bool isMapped(xcb_connection_t* c, xcb_window_t w)
{
    xcb_get_window_attributes_reply_t* attrs =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
    const bool mapped = attrs && attrs->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attrs);
    return mapped;
}

bool ownedBy(xcb_connection_t* c, xcb_window_t w, unsigned long pid)
{
    if (pid == 0)
        return true;
    const std::string value = property(c, w, atom(c, "_NET_WM_PID"));
    if (value.size() != sizeof(uint32_t))
        return false;
    uint32_t owner = 0;
    std::memcpy(&owner, value.data(), sizeof owner);
    return owner == pid;
}

xcb_window_t findWindow(xcb_connection_t* c, xcb_window_t parent, const std::string& title, int depth,
                        unsigned long pid)
{
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, parent), nullptr);
    if (!tree)
        return XCB_WINDOW_NONE;
    const xcb_atom_t netName = atom(c, "_NET_WM_NAME");
    xcb_window_t found = XCB_WINDOW_NONE;
    xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && found == XCB_WINDOW_NONE; ++i) {
        const xcb_window_t w = children[i];
        if ((property(c, w, netName) == title || property(c, w, XCB_ATOM_WM_NAME) == title) && isMapped(c, w)
            && ownedBy(c, w, pid))
            found = w;
        else if (depth > 0)
            found = findWindow(c, w, title, depth - 1, pid);
    }
    std::free(tree);
    return found;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: xwindow wait <title> <timeout-ms> [pid] | close <title> [pid]\n");
        return 2;
    }
    const std::string command = argv[1];
    const std::string title = argv[2];
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "xwindow: no X display\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;

    if (command == "wait") {
        const int timeoutMs = argc > 3 ? std::atoi(argv[3]) : 10000;
        const unsigned long pid = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            if (findWindow(c, root, title, 2, pid) != XCB_WINDOW_NONE) {
                xcb_disconnect(c);
                return 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        xcb_disconnect(c);
        return 1;
    }
    if (command == "close") {
        const unsigned long pid = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 0;
        const xcb_window_t w = findWindow(c, root, title, 2, pid);
        if (w == XCB_WINDOW_NONE) {
            xcb_disconnect(c);
            return 1;
        }
        xcb_client_message_event_t event;
        std::memset(&event, 0, sizeof event);
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = w;
        event.type = atom(c, "WM_PROTOCOLS");
        event.data.data32[0] = atom(c, "WM_DELETE_WINDOW");
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c, 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        xcb_flush(c);
        xcb_disconnect(c);
        return 0;
    }
    xcb_disconnect(c);
    return 2;
}
