// Error messages to the user: a box with an error icon and one OK button that blocks until it is
// closed, or a line on stderr when there is no display to show it on.
#pragma once

#include <string>

namespace kl::platform {

// Title and text are UTF-8. Returns true when the box was shown and closed, false when the message
// went to stderr instead.
bool ShowErrorMessage(const std::string& title, const std::string& text);

} // namespace kl::platform
