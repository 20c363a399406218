#include "platform/MessageBox.h"

#include <atomic>
#include <cstdio>

namespace carillon::platform {
namespace {

StderrMessageBoxProvider g_defaultProvider;
std::atomic<MessageBoxProvider*> g_provider{&g_defaultProvider};

}  // namespace

int StderrMessageBoxProvider::Show(const MessageBoxRequest& request) {
    std::fprintf(stderr, "%s%s%s\n", request.caption.c_str(), request.caption.empty() ? "" : ": ",
                 request.text.c_str());
    return (request.flags & MB_BUTTON_MASK) == MB_YESNO ? IDNO : IDOK;
}

int MessageBox(MessageTarget* owner, const std::string& text, const std::string& caption, unsigned flags) {
    return g_provider.load()->Show(MessageBoxRequest{owner, text, caption, flags});
}

MessageBoxProvider* InstallMessageBoxProvider(MessageBoxProvider* provider) {
    MessageBoxProvider* previous = g_provider.exchange(provider != nullptr ? provider : &g_defaultProvider);
    return previous == &g_defaultProvider ? nullptr : previous;
}

}  // namespace carillon::platform
