// The dialog GNOME Keyring asks for, without a display: gcr's own system prompter (the one behind
// gcr-prompter and GNOME Shell's keyring dialog) with gcr's scripted prompt in place of the
// window. It owns org.gnome.keyring.SystemPrompter on the session bus and answers every password
// prompt the same way:
//   keyring-prompter cancel     as a user who dismisses the dialog
//   keyring-prompter password   with the first line of its standard input, as a user who types it
// It prints "ready" once it owns the name, and ends when its standard input closes.
// libgcr-base-3 and GLib come with gnome-keyring; they are opened at run time, as no headers of
// theirs are installed for building.

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <iostream>
#include <string>
#include <unistd.h>

namespace
{

using GType = unsigned long;
struct Opaque;

// GLib and GIO
using BusGetSync = Opaque *(*)(int busType, Opaque *cancellable, Opaque **error);
using NameCallback = void (*)(Opaque *connection, const char *name, void *data);
using OwnName = unsigned (*)(Opaque *connection, const char *name, int flags, NameCallback acquired,
                             NameCallback lost, void *data, void (*freeData)(void *));
using FdCallback = int (*)(int fd, int condition, void *data);
using FdAdd = unsigned (*)(int fd, int condition, FdCallback callback, void *data);
using MainLoopNew = Opaque *(*)(Opaque *context, int running);
using MainLoopRun = void (*)(Opaque *loop);
// gcr
using MockStart = const char *(*)();
using ExpectPasswordOk = void (*)(const char *password, const char *firstProperty, ...);
using ExpectPasswordCancel = void (*)();
using MockPromptType = GType (*)();
using PrompterNew = Opaque *(*)(int mode, GType promptType);
using PrompterRegister = void (*)(Opaque *prompter, Opaque *connection);

constexpr int SessionBus = 2;         // G_BUS_TYPE_SESSION
constexpr int SinglePrompt = 0;       // GCR_SYSTEM_PROMPTER_SINGLE
constexpr int InputOrHangUp = 1 | 16; // G_IO_IN | G_IO_HUP
constexpr int AnswersQueued = 64;     // each prompt takes one

template <typename Function> bool resolve(void *library, const char *name, Function &function)
{
    function = reinterpret_cast<Function>(::dlsym(library, name));
    if (function == nullptr) {
        std::cerr << "keyring-prompter: " << name << " not found\n";
    }
    return function != nullptr;
}

void acquired(Opaque *, const char *, void *)
{
    std::cout << "ready" << std::endl;
}

void lost(Opaque *, const char *name, void *)
{
    std::cerr << "keyring-prompter: could not own " << name << " on the session bus\n";
    ::_exit(1);
}

// Ends with its input: no GLib teardown, whose singletons live until the process does.
int inputReady(int fd, int, void *)
{
    char buffer[256];
    if (::read(fd, buffer, sizeof buffer) <= 0) {
        ::_exit(0);
    }
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string answer = argc == 2 ? argv[1] : "";
    if (answer != "cancel" && answer != "password") {
        std::cerr << "usage: keyring-prompter cancel|password\n";
        return 2;
    }
    std::string password;
    if (answer == "password" && !std::getline(std::cin, password)) {
        std::cerr << "keyring-prompter: no password on standard input\n";
        return 2;
    }

    void *gio = ::dlopen("libgio-2.0.so.0", RTLD_NOW | RTLD_GLOBAL);
    void *glib = ::dlopen("libglib-2.0.so.0", RTLD_NOW | RTLD_GLOBAL);
    void *gcr = ::dlopen("libgcr-base-3.so.1", RTLD_NOW | RTLD_GLOBAL);
    if (gio == nullptr || glib == nullptr || gcr == nullptr) {
        std::cerr << "keyring-prompter: " << ::dlerror() << '\n';
        return 1;
    }
    BusGetSync busGetSync;
    OwnName ownName;
    FdAdd fdAdd;
    MainLoopNew mainLoopNew;
    MainLoopRun mainLoopRun;
    MockStart mockStart;
    ExpectPasswordOk expectPasswordOk;
    ExpectPasswordCancel expectPasswordCancel;
    MockPromptType mockPromptType;
    PrompterNew prompterNew;
    PrompterRegister prompterRegister;
    if (!resolve(gio, "g_bus_get_sync", busGetSync) ||
        !resolve(gio, "g_bus_own_name_on_connection", ownName) ||
        !resolve(glib, "g_unix_fd_add", fdAdd) || !resolve(glib, "g_main_loop_new", mainLoopNew) ||
        !resolve(glib, "g_main_loop_run", mainLoopRun) ||
        !resolve(gcr, "gcr_mock_prompter_start", mockStart) ||
        !resolve(gcr, "gcr_mock_prompter_expect_password_ok", expectPasswordOk) ||
        !resolve(gcr, "gcr_mock_prompter_expect_password_cancel", expectPasswordCancel) ||
        !resolve(gcr, "_gcr_mock_prompt_get_type", mockPromptType) ||
        !resolve(gcr, "gcr_system_prompter_new", prompterNew) ||
        !resolve(gcr, "gcr_system_prompter_register", prompterRegister)) {
        return 1;
    }

    // The scripted answers live with gcr's mock prompter, which must run for them to be queued;
    // its own prompter, on a connection without a well-known name, is never asked.
    mockStart();
    for (int i = 0; i < AnswersQueued; ++i) {
        if (answer == "cancel") {
            expectPasswordCancel();
        } else {
            expectPasswordOk(password.c_str(), nullptr);
        }
    }
    std::fill(password.begin(), password.end(), '\0');

    Opaque *bus = busGetSync(SessionBus, nullptr, nullptr);
    if (bus == nullptr) {
        std::cerr << "keyring-prompter: no session bus\n";
        return 1;
    }
    Opaque *prompter = prompterNew(SinglePrompt, mockPromptType());
    prompterRegister(prompter, bus);
    ownName(bus, "org.gnome.keyring.SystemPrompter", 0, acquired, lost, nullptr, nullptr);
    fdAdd(STDIN_FILENO, InputOrHangUp, inputReady, nullptr);
    mainLoopRun(mainLoopNew(nullptr, 0));
    return 0;
}
