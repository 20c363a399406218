#pragma once
// Message boxes shown from any thread. The front-end installs a provider (the
// wizard shows a real dialog and blocks the caller until it is answered); the
// default provider, for headless runs, writes to stderr and answers OK or No.

#include <string>

namespace carillon::platform {

class MessageTarget;

// Buttons and icons, with the values of the flags they stand for.
enum MessageBoxFlags : unsigned {
    MB_OK = 0x00000000u,
    MB_YESNO = 0x00000004u,
    MB_ICONERROR = 0x00000010u,  // also called MB_ICONHAND
    MB_ICONHAND = MB_ICONERROR,
    MB_ICONWARNING = 0x00000030u,  // also called MB_ICONEXCLAMATION
    MB_ICONEXCLAMATION = MB_ICONWARNING,
    MB_ICONINFORMATION = 0x00000040u,  // also called MB_ICONASTERISK
    MB_ICONASTERISK = MB_ICONINFORMATION,
    // The second button (No) is the default: Enter and Escape answer No.
    MB_DEFBUTTON2 = 0x00000100u,
    MB_BUTTON_MASK = 0x0000000Fu,
    MB_ICON_MASK = 0x000000F0u,
    MB_DEFBUTTON_MASK = 0x00000F00u,
};

// Answers.
enum MessageBoxResult : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

struct MessageBoxRequest {
    MessageTarget* owner = nullptr;
    std::string text;
    std::string caption;
    unsigned flags = MB_OK;
};

class MessageBoxProvider {
public:
    virtual ~MessageBoxProvider() = default;
    // Shows the box and returns the answer; may block until a person answers.
    virtual int Show(const MessageBoxRequest& request) = 0;
};

// Writes "caption: text" to stderr; answers IDOK, or IDNO for a question.
class StderrMessageBoxProvider : public MessageBoxProvider {
public:
    int Show(const MessageBoxRequest& request) override;
};

// Shows a box through the installed provider.
int MessageBox(MessageTarget* owner, const std::string& text, const std::string& caption, unsigned flags);

// Installs provider (not owned; it must outlive its installation). Null
// restores the default. Returns the provider that was installed before.
MessageBoxProvider* InstallMessageBoxProvider(MessageBoxProvider* provider);

// Installs a provider for the lifetime of a scope.
class ScopedMessageBoxProvider {
public:
    explicit ScopedMessageBoxProvider(MessageBoxProvider* provider)
        : previous_(InstallMessageBoxProvider(provider)) {}
    ~ScopedMessageBoxProvider() { InstallMessageBoxProvider(previous_); }
    ScopedMessageBoxProvider(const ScopedMessageBoxProvider&) = delete;
    ScopedMessageBoxProvider& operator=(const ScopedMessageBoxProvider&) = delete;

private:
    MessageBoxProvider* previous_;
};

}  // namespace carillon::platform
